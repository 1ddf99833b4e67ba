// Path pieces for Shift-JIS paths: separators are found by whole characters,
// never by a byte that could be the second half of a double-byte character.
#pragma once
#include <string>
#include <string_view>

namespace pv::path {

// Up to and including the last '\' or ':' ("C:\Work\a.txt" -> "C:\Work\").
std::string dirPart(std::string_view p);
// After the last '\' or ':'.
std::string namePart(std::string_view p);
// From the last '.' of the name part on ("" when the name has none).
std::string extPart(std::string_view p);
// The extension replaced (or added): changeExt("C:\pelbo.exe", ".dat").
std::string changeExt(std::string_view p, std::string_view ext);
std::string withTrailingBackslash(std::string_view p);
std::string withoutTrailingBackslash(std::string_view p);

}  // namespace pv::path
