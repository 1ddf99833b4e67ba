#include "core/setupver.h"

namespace pv::setupver {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
// Unsigned arithmetic wraps where a signed one would be undefined.
std::int32_t append(std::int32_t v, char c) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) * 10u + static_cast<std::uint32_t>(c - '0'));
}

}  // namespace

bool parseSetupVersion(std::string_view text, std::int32_t& major, std::int32_t& minor) {
  std::size_t i = 0;
  major = 0;
  for (;; ++i) {
    if (i == text.size()) return false;
    if (text[i] == '.') break;
    if (!isDigit(text[i])) return false;
    major = append(major, text[i]);
  }
  minor = 0;
  for (++i; i < text.size(); ++i) {
    if (!isDigit(text[i])) return false;
    minor = append(minor, text[i]);
  }
  return true;
}

std::int32_t parseInstalledVersion(std::string_view text) {
  std::int32_t v = 0;
  bool dotSeen = false;
  for (char c : text) {
    if (isDigit(c)) {
      v = append(v, c);
    } else if (c == '.' && !dotSeen) {
      dotSeen = true;
    } else {
      break;
    }
  }
  return v;
}

}  // namespace pv::setupver
