#include "win/version.h"

#include <windows.h>

#include <optional>
#include <vector>

namespace pv::win {

std::string ReadVersionString(const std::string& file, backup::VersionKind which) {
  DWORD unused = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &unused);
  if (size == 0) return {};
  std::vector<char> buf(size);
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, buf.data())) return {};
  const char* begin = buf.data();
  const char* end = begin + buf.size();
  auto query = [&](const std::string& sub) -> std::optional<backup::VersionValue> {
    void* p = nullptr;
    UINT len = 0;
    if (!::VerQueryValueA(buf.data(), sub.c_str(), &p, &len) || !p) return std::nullopt;
    const char* c = static_cast<const char*>(p);
    // The text must lie in our buffer; how far it may be read is up to its end.
    if (c < begin || c >= end) return std::nullopt;
    return backup::VersionValue{c, static_cast<std::uint32_t>(len), static_cast<std::size_t>(end - c)};
  };
  return backup::ReadVersionText(query, which);
}

}  // namespace pv::win
