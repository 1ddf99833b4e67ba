// Text files as lists of lines: written with CR LF after every line, read with
// CR, LF or CR LF as a line end.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace pv {

// A line end after the last line does not add an empty line; "" gives no lines.
std::vector<std::string> splitLines(std::string_view text);
// Every line, the last one included, followed by CR LF; no lines gives "".
std::string joinLines(const std::vector<std::string>& lines);

}  // namespace pv
