#include "core/deffile.h"

#include <algorithm>

#include "core/convert.h"
#include "core/sjis.h"

namespace pv {

bool operator==(const TBuckup& a, const TBuckup& b) {
  return a.ArcName == b.ArcName && a.DestDir == b.DestDir && a.VerFile == b.VerFile && a.Flags == b.Flags &&
         a.BaseDir == b.BaseDir && a.FileList == b.FileList && a.DelExts == b.DelExts && a.ExclExts == b.ExclExts;
}

namespace deffile {
namespace {

void appendList(std::vector<std::string>& out, const std::vector<std::string>& list) {
  out.emplace_back("{");
  out.insert(out.end(), list.begin(), list.end());
  out.emplace_back("}");
}

// Reads list entries from lines[p] on up to the closing "}"; empty lines are
// skipped. Answers the index of that "}", or lines.size() when there is none.
std::size_t readList(const std::vector<std::string>& lines, std::size_t p, std::vector<std::string>& list) {
  for (; p < lines.size(); ++p) {
    const std::string& l = lines[p];
    if (l == "}") return p;
    if (!l.empty()) list.push_back(l);
  }
  return p;
}

}  // namespace

void appendLines(std::vector<std::string>& out, const std::string& name, const TBuckup& rec) {
  out.push_back(name);
  out.emplace_back("{");
  out.push_back(rec.DestDir);
  out.push_back(rec.ArcName);
  out.push_back(rec.VerFile);
  out.push_back(intToStr(rec.Flags));
  out.push_back(rec.BaseDir);
  appendList(out, rec.FileList);
  appendList(out, rec.ExclExts);
  appendList(out, rec.DelExts);
  out.emplace_back("}");
}

void read(const std::vector<std::string>& lines, const std::function<void(std::string, TBuckup)>& add,
          ReadResult* result) {
  ReadResult local;
  ReadResult& r = result ? *result : local;
  r = ReadResult{};
  const std::size_t n = lines.size();
  std::size_t p = 0;
  // Each test reads a line only after checking that it exists: a list that runs
  // to the end of the file must stop reading, not read past it.
  auto is = [&](std::size_t i, const char* text) { return i < n && lines[i] == text; };
  // Empty lines after the last definition are no loss.
  auto stop = [&] {
    bool rest = std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(p), lines.end(),
                            [](const std::string& l) { return !l.empty(); });
    r.stoppedAt = rest ? p : kWhole;
  };
  while (p < n) {
    if (n <= p + 13 || !is(p + 1, "{")) return stop();
    TBuckup rec;
    rec.DestDir = lines[p + 2];
    rec.ArcName = lines[p + 3];
    rec.VerFile = lines[p + 4];
    r.stoppedAt = p;                      // in case the conversion throws
    rec.Flags = strToInt(lines[p + 5]);  // throws: the record is dropped, reading stops
    r.stoppedAt = kWhole;
    rec.BaseDir = lines[p + 6];
    if (!is(p + 7, "{")) return stop();
    std::size_t q = readList(lines, p + 8, rec.FileList);
    if (!is(q + 1, "{")) return stop();
    q = readList(lines, q + 2, rec.ExclExts);
    if (!is(q + 1, "{")) return stop();
    q = readList(lines, q + 2, rec.DelExts);
    if (!is(q + 1, "}")) return stop();
    add(lines[p], std::move(rec));
    ++r.definitions;
    p = q + 2;
  }
}

namespace {

// Length of the UTF-8 sequence at s[i], 0 when it is not a valid one (overlong forms,
// surrogates and values beyond U+10FFFF included).
std::size_t utf8Length(const std::string& s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
  return n;
}

bool validShiftJis(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == 0x80 || c == 0xA0 || c >= 0xFD) return false;
    if (!sjis::isLead(c)) continue;
    if (++i >= s.size()) return false;
    const auto t = static_cast<unsigned char>(s[i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

}  // namespace

bool looksLikeUtf8(const std::vector<std::string>& lines) {
  if (!lines.empty() && lines.front().compare(0, 3, "\xEF\xBB\xBF") == 0) return true;
  bool multiByte = false, threeByte = false, shiftJis = true;
  for (const std::string& l : lines) {
    for (std::size_t i = 0; i < l.size();) {
      const std::size_t n = utf8Length(l, i);
      if (n == 0) return false;
      multiByte |= n > 1;
      threeByte |= n == 3;
      i += n;
    }
    shiftJis = shiftJis && validShiftJis(l);
  }
  return multiByte && (threeByte || !shiftJis);
}

bool storableValue(const std::string& value) { return value.find_first_of("\r\n") == std::string::npos; }

bool storableEntry(const std::string& entry) { return entry != "}" && storableValue(entry); }

bool storable(const TBuckup& rec) {
  auto entries = [](const std::vector<std::string>& list) { return std::all_of(list.begin(), list.end(), storableEntry); };
  return storableValue(rec.ArcName) && storableValue(rec.DestDir) && storableValue(rec.VerFile) &&
         storableValue(rec.BaseDir) && entries(rec.FileList) && entries(rec.ExclExts) && entries(rec.DelExts);
}

}  // namespace deffile
}  // namespace pv
