// libFuzzer target: the definitions file reader on arbitrary bytes. Whatever it takes
// from a file must survive a save: read -> write -> read gives the same definitions,
// and writing those gives the same bytes again. Nothing may crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/deffile.h"
#include "core/error.h"
#include "core/textlines.h"

namespace {

using Definitions = std::vector<std::pair<std::string, pv::TBuckup>>;

Definitions readAll(const std::string& bytes) {
  Definitions defs;
  try {
    pv::deffile::read(pv::splitLines(bytes), [&](std::string name, pv::TBuckup rec) {
      defs.emplace_back(std::move(name), std::move(rec));
    });
  } catch (const pv::Error&) {
    // A Flags line that is no number: the definitions before it stay, as at start-up.
  }
  return defs;
}

std::string writeAll(const Definitions& defs) {
  std::vector<std::string> lines;
  for (const auto& [name, rec] : defs) pv::deffile::appendLines(lines, name, rec);
  return pv::joinLines(lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  (void)pv::deffile::looksLikeUtf8(pv::splitLines(input));

  const Definitions first = readAll(input);
  for (const auto& [name, rec] : first)
    if (!pv::deffile::storable(rec)) std::abort();  // what was read can be written
  const std::string written = writeAll(first);
  const Definitions second = readAll(written);
  if (second != first) std::abort();
  if (writeAll(second) != written) std::abort();
  return 0;
}
