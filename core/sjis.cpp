#include "core/sjis.h"

namespace pv::sjis {

std::size_t findLast(std::string_view s, char c) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += charLen(s, i))
    if (s[i] == c) found = i;
  return found;
}

bool endsWithChar(std::string_view s, char c) {
  if (s.empty()) return false;
  std::size_t last = 0;
  for (std::size_t i = 0; i < s.size(); i += charLen(s, i)) last = i;
  return last == s.size() - 1 && s[last] == c;
}

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = charLen(out, i);
    if (n == 1 && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    i += n;
  }
  return out;
}

}  // namespace pv::sjis
