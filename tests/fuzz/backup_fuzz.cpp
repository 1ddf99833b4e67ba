// Arbitrary names, patterns and version resources through the backup run's text
// handling: nothing may read outside its input or split a double-byte character
// it was not given split.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/backup.h"

using namespace pv::backup;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Pieces separated by 0x00: DestDir, ArcName, extension, then patterns.
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) parts.emplace_back();
    else parts.back() += static_cast<char>(data[i]);
  }
  while (parts.size() < 3) parts.emplace_back();
  const std::vector<std::string> patterns(parts.begin() + 3, parts.end());

  std::string path = ExpandArcName(parts[0], parts[1], "v", Date{2002, 3, 15},
                                    [](const std::string&, VersionKind) { return std::string("1.0"); });
  if (path.size() < 4 || path.compare(path.size() - 4, 4, ".lzh") != 0) __builtin_trap();
  MatchExt(FileExt(parts[2]), patterns);

  // The whole input as a version value that ends where the input ends.
  VersionQuery q = [&](const std::string& sub) -> std::optional<VersionValue> {
    if (sub == "\\VarFileInfo\\Translation")
      return VersionValue{reinterpret_cast<const char*>(data), static_cast<std::uint32_t>(size), size};
    std::size_t skip = size > 4 ? 4 : size;
    return VersionValue{reinterpret_cast<const char*>(data) + skip, static_cast<std::uint32_t>(size - skip),
                        size - skip};
  };
  std::string v = ReadVersionText(q, VersionKind::FileVersion);
  if (v.size() > kVersionTextMax) __builtin_trap();
  return 0;
}
