// Integer text conversion the way the definitions file and the registry values
// are read: decimal only, an optional sign, leading blanks allowed, nothing after.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pv {

// "'%s' は整数ではありません": the error of a text that is no integer.
extern const char* const kNotAnInteger;

// The value, or nothing when the text is not a 32-bit decimal integer.
std::optional<std::int32_t> parseInt(std::string_view s);
// The value; throws pv::Error with kNotAnInteger otherwise.
std::int32_t strToInt(std::string_view s);
std::string intToStr(std::int64_t v);

}  // namespace pv
