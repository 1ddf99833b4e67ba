#include "core/sbdlgopt.h"

#include "core/sjis.h"

namespace pv {

namespace {

struct OptionInfo {
  const char* name;
  unsigned flag;
};

// Indexed by ordinal.
constexpr OptionInfo kOptions[8] = {
    {"biBrowseForComputer", 0x1000},  // BIF_BROWSEFORCOMPUTER
    {"biBrowseForPrinter", 0x2000},   // BIF_BROWSEFORPRINTER
    {"biDontGoBelowDomain", 0x0002},  // BIF_DONTGOBELOWDOMAIN
    {"biReturnFSAncestors", 0x0008},  // BIF_RETURNFSANCESTORS
    {"biReturnOnlyFSDirs", 0x0001},   // BIF_RETURNONLYFSDIRS
    {"biStatusText", 0x0004},         // BIF_STATUSTEXT
    {"biNewStyle", 0x0040},           // BIF_NEWDIALOGSTYLE
    {"biEditBox", 0x0010},            // BIF_EDITBOX
};

bool isSeparator(char c) { return c == ',' || c == ' ' || c == '\t'; }

}  // namespace

unsigned browseFlags(TSBDlgOptions options) {
  unsigned flags = 0;
  for (int i = 0; i < 8; ++i)
    if (options.has(static_cast<TSBDlgOption>(i))) flags |= kOptions[i].flag;
  return flags;
}

std::optional<TSBDlgOptions> parseSBDlgOptions(std::string_view text) {
  while (!text.empty() && isSeparator(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSeparator(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '[') {
    if (text.back() != ']') return std::nullopt;
    text = text.substr(1, text.size() - 2);
  }
  TSBDlgOptions result;
  std::size_t i = 0;
  while (i < text.size()) {
    if (isSeparator(text[i])) { ++i; continue; }
    std::size_t end = i;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    std::string_view name = text.substr(i, end - i);
    bool known = false;
    for (int k = 0; k < 8; ++k)
      if (name == kOptions[k].name) { result.include(static_cast<TSBDlgOption>(k)); known = true; }
    if (!known) return std::nullopt;
    i = end;
  }
  return result;
}

std::optional<std::string> browsePreselection(std::string_view directory) {
  if (directory.empty()) return std::nullopt;
  std::string path(directory);
  if (path.size() > 3 && sjis::endsWithChar(path, '\\')) path.pop_back();
  return path;
}

}  // namespace pv
