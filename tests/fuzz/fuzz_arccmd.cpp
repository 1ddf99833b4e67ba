// libFuzzer target: archiver command lines, response files, member names and wildcards
// on arbitrary bytes. Nothing may crash, hang or read out of bounds, and member names
// must never come out with a ".." component or a leading '\'.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/arccmd.h"
#include "core/cmdline.h"
#include "core/sjis.h"
#include "core/wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  pv::arccmd::CommandLine cl;
  // Every "@file" reads the input itself as a response file.
  pv::arccmd::parse(input, [&](const std::string&, std::string& bytes) {
    bytes = input;
    return true;
  }, cl);

  for (const std::string& name : pv::cmdline::parseResponse(input)) {
    std::string member;
    for (bool paths : {true, false}) {
      if (!pv::arccmd::memberName(name, paths, member)) continue;
      // Components by whole Shift-JIS characters: 表 (95 5C) is no separator.
      std::string part;
      for (std::size_t i = 0; i <= member.size();) {
        const bool end = i == member.size();
        const std::size_t n = end ? 1 : pv::sjis::charLen(member, i);
        if (end || (n == 1 && member[i] == '\\')) {
          if (part.empty() || part == "." || part == "..") std::abort();
          part.clear();
        } else {
          part.append(member, i, n);
        }
        i += n;
      }
    }
    pv::arccmd::joinPath(name, input);
    pv::arccmd::withDefaultExtension(name);
  }

  // First half a pattern, second half a name.
  const std::size_t half = size / 2;
  pv::wildcard::match(input.substr(0, half), input.substr(half));
  return 0;
}
