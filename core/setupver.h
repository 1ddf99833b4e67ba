// Version texts of the main program as the installer reads them. A version is
// major * 100 + minor, written "1.05".
#pragma once
#include <cstdint>
#include <string_view>

namespace pv::setupver {

// The version this installer installs, read strictly: digits, one dot, digits
// (either run may be empty); anything else fails. "1.5" gives 1 and 5.
bool parseSetupVersion(std::string_view text, std::int32_t& major, std::int32_t& minor);

// The version of an installed program, read leniently as one number: the digits
// before and after the first dot run together ("1.05" is 105, "1.5" is 15), and the
// reading stops at anything else. Very long digit runs wrap instead of overflowing.
std::int32_t parseInstalledVersion(std::string_view text);

}  // namespace pv::setupver
