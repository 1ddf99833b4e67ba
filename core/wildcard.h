// File-name wildcards as Windows users know them, without <windows.h>:
// '*' stands for any run of characters (none included), '?' for exactly one character.
// Letters A-Z and a-z match each other; everything else (Shift-JIS characters as whole
// characters) matches only itself.
#pragma once
#include <string_view>

namespace pv::wildcard {

bool match(std::string_view pattern, std::string_view name);

// True when pattern has '*' or '?' (whole characters only: no trailing byte counts).
bool hasWildcards(std::string_view pattern);

}  // namespace pv::wildcard
