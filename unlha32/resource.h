// Resource identifiers of unlha32.dll.
#pragma once
#define IDD_ABOUT 100
#define IDC_ABOUT_VERSION 101
#define IDC_ABOUT_PRODUCT 102
#define IDC_ABOUT_ICON 103
