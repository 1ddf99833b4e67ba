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

}  // namespace pv
