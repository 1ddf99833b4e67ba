#include "core/convert.h"

#include <cstdint>

#include "core/error.h"
#include "core/messages.h"

namespace pv {

const char* const kNotAnInteger = msg::kNotAnInteger;

std::optional<std::int32_t> parseInt(std::string_view s) {
  std::size_t i = 0;
  // Leading blanks are passed over, as the classic integer conversion does;
  // anything after the digits (blanks included) makes the text no number.
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  if (i == s.size()) return std::nullopt;
  std::int64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > std::int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

std::int32_t strToInt(std::string_view s) {
  if (auto v = parseInt(s)) return *v;
  throw Error(formatText(kNotAnInteger, s));
}

std::string intToStr(std::int64_t v) { return std::to_string(v); }

}  // namespace pv
