// The library's own version, kept here only: 1.00, reported by UnlhaGetVersion as 100
// and written into the version resource. (The sub-version is the product's, from
// pv_version.h.) Macros only, so that the resource script can read it too.
#pragma once
#define UNLHA_VERSION_MAJOR 1
#define UNLHA_VERSION_MINOR 00
#define UNLHA_STR_(x) #x
#define UNLHA_STR(x) UNLHA_STR_(x)
#define UNLHA_VERSION_TEXT UNLHA_STR(UNLHA_VERSION_MAJOR) "." UNLHA_STR(UNLHA_VERSION_MINOR)
#define UNLHA_VERSION (UNLHA_VERSION_MAJOR * 100 + UNLHA_VERSION_MINOR)
