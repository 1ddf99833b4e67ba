#include "core/error.h"

namespace pv {

std::string formatText(std::string_view fmt, std::string_view arg) {
  std::string out(fmt);
  // "%s" is plain ASCII and cannot start inside a double-byte character: its
  // '%' (0x25) is below every trailing byte of code page 932.
  auto at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

std::string formatText(std::string_view fmt, std::initializer_list<std::string_view> args) {
  std::string out(fmt);
  std::size_t from = 0;
  for (std::string_view arg : args) {
    const auto at = out.find("%s", from);
    if (at == std::string::npos) break;
    out.replace(at, 2, arg);
    from = at + arg.size();
  }
  return out;
}

}  // namespace pv
