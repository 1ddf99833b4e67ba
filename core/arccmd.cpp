#include "core/arccmd.h"

#include <cstddef>

#include "core/cmdline.h"
#include "core/sjis.h"

namespace pv::arccmd {

namespace {

bool isSep(char c) { return c == '\\' || c == '/'; }

// True when the last character of s (by whole Shift-JIS characters) is one of set.
bool endsWithAny(std::string_view s, std::string_view set) {
  for (char c : set)
    if (sjis::endsWithChar(s, c)) return true;
  return false;
}

struct SwitchDef {
  const char* name;
  int maxValue;
  int bareValue;  // value of the switch written without digits
  int Switches::*intField;
  bool Switches::*boolField;
};

// Longer names first so that "jm" is never read as "j" followed by "m".
const SwitchDef kSwitches[] = {
    {"jm", 2, 1, &Switches::share, nullptr},
    {"r", 2, 1, &Switches::recurse, nullptr},
    {"x", 1, 1, nullptr, &Switches::storePaths},
    {"a", 1, 1, nullptr, &Switches::takeHiddenSystem},
    {"t", 1, 1, nullptr, &Switches::archiveTimeNewest},
    {"o", 1, 1, nullptr, &Switches::overwriteAlways},
};

bool applySwitch(std::string_view arg, Switches& sw) {
  const std::string lower = sjis::lowerAscii(arg.substr(1));
  if (lower == "-quiet") {
    sw.quiet = true;
    return true;
  }
  if (lower == "-new") {
    sw.fresh = true;
    return true;
  }
  for (const SwitchDef& def : kSwitches) {
    const std::string_view name(def.name);
    if (lower.compare(0, name.size(), name) != 0) continue;
    const std::string_view digits = std::string_view(lower).substr(name.size());
    int value = def.bareValue;
    if (!digits.empty()) {
      if (digits.size() > 2) return false;
      value = 0;
      for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
      }
    }
    if (value > def.maxValue) return false;
    if (def.intField) sw.*def.intField = value;
    if (def.boolField) sw.*def.boolField = value != 0;
    return true;
  }
  return false;
}

bool commandFromText(std::string_view text, Command& out) {
  if (text.size() != 1) return false;
  switch (text[0]) {
    case 'u': case 'U': out = Command::Update; return true;
    case 'a': case 'A': out = Command::Add; return true;
    case 'l': case 'L': out = Command::List; return true;
    case 't': case 'T': out = Command::Test; return true;
    case 'x': case 'X': out = Command::Extract; return true;
    case 'e': case 'E': out = Command::ExtractFlat; return true;
    case 'd': case 'D': out = Command::Delete; return true;
    default: return false;
  }
}

}  // namespace

ParseResult parse(std::string_view line, const ReadFileFn& readFile, CommandLine& out) {
  out = CommandLine{};
  const std::vector<std::string> args = cmdline::split(line);

  // --quiet counts wherever it stands, so that even a wrong line stays silent.
  for (const std::string& a : args) {
    if (a == "--") break;
    if (sjis::lowerAscii(a) == "--quiet") out.sw.quiet = true;
  }

  ParseResult result;
  bool haveCommand = false, haveArchive = false, afterArchive = false, switchesEnded = false;
  for (const std::string& arg : args) {
    if (!switchesEnded && arg == "--") {
      switchesEnded = true;
      continue;
    }
    if (!switchesEnded && !arg.empty() && arg[0] == '-') {
      if (arg.size() < 2 || !applySwitch(arg, out.sw)) {
        result.error = ParseError::BadSwitch;
        result.what = arg;
        return result;
      }
      continue;
    }
    if (!haveCommand) {
      if (!commandFromText(arg, out.command)) {
        result.error = ParseError::UnknownCommand;
        result.what = arg;
        return result;
      }
      haveCommand = true;
      continue;
    }
    const bool justAfterArchive = afterArchive;
    afterArchive = false;
    if (arg.size() > 1 && arg[0] == '@') {
      const std::string path = arg.substr(1);
      std::string bytes;
      if (!readFile || !readFile(path, bytes)) {
        result.error = ParseError::ResponseFile;
        result.what = path;
        return result;
      }
      for (std::string& name : cmdline::parseResponse(bytes)) out.names.push_back(std::move(name));
      continue;
    }
    if (!haveArchive) {
      out.archive = arg;
      haveArchive = true;
      afterArchive = true;
      continue;
    }
    // d works on the archive alone: whatever follows it is a name to delete.
    if (justAfterArchive && out.command != Command::Delete && endsWithAny(arg, "\\/:")) {
      out.baseDir = arg;
      continue;
    }
    if (!arg.empty()) out.names.push_back(arg);
  }

  if (!haveCommand) {
    result.error = ParseError::NoCommand;
  } else if (!haveArchive || out.archive.empty()) {
    result.error = ParseError::NoArchive;
  }
  return result;
}

bool isAbsolute(std::string_view path) {
  if (!path.empty() && isSep(path[0])) return true;
  if (path.size() >= 2 && path[1] == ':') {
    const char c = path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  }
  return false;
}

std::string joinPath(std::string_view base, std::string_view name) {
  if (base.empty() || isAbsolute(name)) return std::string(name);
  std::string out(base);
  if (!endsWithAny(base, "\\/:")) out += '\\';
  out.append(name);
  return out;
}

bool memberName(std::string_view listed, bool storePaths, std::string& out) {
  out.clear();
  std::string_view rest = listed;
  if (rest.size() >= 2 && rest[1] == ':' && isAbsolute(rest)) rest.remove_prefix(2);
  const bool unc = rest.size() >= 2 && isSep(rest[0]) && isSep(rest[1]);

  // Cut into components by whole characters.
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= rest.size();) {
    if (i == rest.size() || (sjis::charLen(rest, i) == 1 && isSep(rest[i]))) {
      parts.push_back(rest.substr(start, i - start));
      start = i + 1;
      if (i == rest.size()) break;
      ++i;
    } else {
      i += sjis::charLen(rest, i);
    }
  }

  std::vector<std::string_view> kept;
  int uncSkip = unc ? 2 : 0;  // server and share
  for (std::string_view p : parts) {
    if (p.empty() || p == ".") continue;
    if (uncSkip > 0) {
      --uncSkip;
      continue;
    }
    if (p == "..") return false;
    kept.push_back(p);
  }
  if (kept.empty()) return false;
  if (!storePaths) {
    out.assign(kept.back());
    return true;
  }
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i) out += '\\';
    out.append(kept[i]);
  }
  return true;
}

std::string_view lastComponent(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += sjis::charLen(path, i)) {
    const char c = path[i];
    if (sjis::charLen(path, i) == 1 && (c == '\\' || c == '/' || c == ':')) start = i + 1;
  }
  return path.substr(start);
}

std::string withDefaultExtension(std::string_view path) {
  std::string out(path);
  if (sjis::findLast(lastComponent(path), '.') == std::string_view::npos) out += ".lzh";
  return out;
}

}  // namespace pv::arccmd
