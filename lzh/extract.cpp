#include "lzh/extract.h"

#include "core/arccmd.h"
#include "core/sjis.h"
#include "core/wildcard.h"

namespace pv::lzh {
namespace {

bool isSeparatorByte(unsigned char c) { return c == '\\' || c == '/' || c == 0xFF; }

bool isTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

bool onlyDotsAndSpaces(std::string_view c) {
  for (char ch : c)
    if (ch != '.' && ch != ' ') return false;
  return true;
}

// CON, AUX.txt, "nul .c", COM1...: Windows opens the device whatever the folder.
bool isDeviceName(std::string_view c) {
  std::string base = sjis::lowerAscii(c.substr(0, c.find('.')));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

NameProblem checkComponent(std::string_view c) {
  for (char ch : c) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (u < 0x20 || ch == '<' || ch == '>' || ch == '"' || ch == '|' || ch == '?' || ch == '*')
      return NameProblem::BadCharacter;
    if (ch == ':') return NameProblem::Drive;
  }
  if (c != "." && onlyDotsAndSpaces(c)) return NameProblem::Parent;
  if (isDeviceName(c)) return NameProblem::Device;
  return NameProblem::None;
}

// Byte-wise reading: every 0x5C and 0x2F separates. False when ".." climbs above the start.
bool staysInsideBytewise(std::string_view s) {
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && !isSeparatorByte(static_cast<unsigned char>(s[i]))) continue;
    const std::string_view c = s.substr(start, i - start);
    start = i + 1;
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (--depth < 0) return false;
    } else {
      ++depth;
    }
  }
  return true;
}

}  // namespace

const char* nameProblemName(NameProblem p) {
  switch (p) {
    case NameProblem::None: return "None";
    case NameProblem::Empty: return "Empty";
    case NameProblem::Absolute: return "Absolute";
    case NameProblem::Drive: return "Drive";
    case NameProblem::Parent: return "Parent";
    case NameProblem::Device: return "Device";
    case NameProblem::BadCharacter: return "BadCharacter";
    case NameProblem::BadShiftJis: return "BadShiftJis";
    case NameProblem::FolderEnd: return "FolderEnd";
  }
  return "?";
}

NameProblem safeRelativePath(std::string_view stored, std::string& out) {
  out.clear();
  if (stored.empty()) return NameProblem::Empty;
  if (isSeparatorByte(static_cast<unsigned char>(stored[0]))) return NameProblem::Absolute;
  std::vector<std::string_view> comps;
  std::size_t start = 0, i = 0;
  while (i <= stored.size()) {
    if (i == stored.size() || isSeparatorByte(static_cast<unsigned char>(stored[i]))) {
      comps.push_back(stored.substr(start, i - start));
      start = ++i;
      continue;
    }
    if (sjis::isLead(static_cast<unsigned char>(stored[i]))) {
      if (i + 1 >= stored.size() || !isTrail(static_cast<unsigned char>(stored[i + 1])))
        return NameProblem::BadShiftJis;
      i += 2;
    } else {
      ++i;
    }
  }
  // The last component that names something; the ones before it are folders.
  std::size_t last = comps.size();
  for (std::size_t k = 0; k < comps.size(); ++k)
    if (!comps[k].empty() && comps[k] != ".") last = k;
  for (std::size_t k = 0; k < comps.size(); ++k) {
    std::string_view c = comps[k];
    if (c.empty()) continue;  // "a//b" reads as "a\b"
    const NameProblem p = checkComponent(c);
    if (p != NameProblem::None) {
      out.clear();
      return p;
    }
    if (c == ".") continue;
    if (c.back() == '.' || c.back() == ' ') {
      // Judged here, before any folder is made: "sub \a" would make "sub" and then miss it.
      if (k != last) {
        out.clear();
        return NameProblem::FolderEnd;
      }
      while (c.back() == '.' || c.back() == ' ') c.remove_suffix(1);  // not all: checkComponent
    }
    if (!out.empty()) out += '\\';
    out.append(c);
  }
  if (!staysInsideBytewise(stored)) {
    out.clear();
    return NameProblem::Parent;
  }
  return out.empty() ? NameProblem::Empty : NameProblem::None;
}

NameProblem safeMemberPath(const Member& m, std::string& out) { return safeRelativePath(m.storedName, out); }

bool memberSelected(const std::vector<std::string>& patterns, const Member& m) {
  if (patterns.empty()) return true;
  for (const std::string& p : patterns) {
    if (p.empty() || p == "*" || p == "*.*") return true;
    if (arccmd::lastComponent(p).size() != p.size()) {
      if (wildcard::match(p, m.path)) return true;
    } else if (wildcard::match(p, arccmd::lastComponent(m.path))) {
      return true;
    }
  }
  return false;
}

}  // namespace pv::lzh
