#include "core/backup.h"

#include <cstdio>

#include "core/sjis.h"

namespace pv::backup {

std::string FormatDate(const Date& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", d.year, d.month, d.day);
  return buf;
}

std::string ExpandArcName(std::string_view DestDir, std::string_view ArcName, std::string_view VerFile,
                          const Date& today, const VersionReader& readVersion) {
  std::string path(DestDir);
  // A root such as "D:" or a folder given with its backslash needs none added.
  if (!sjis::endsWithChar(DestDir, '\\') && !sjis::endsWithChar(DestDir, ':')) path += '\\';

  const std::string verFile(VerFile);
  auto version = [&](VersionKind which) {
    if (!verFile.empty() && readVersion) path += readVersion(verFile, which);
  };

  for (std::size_t i = 0; i < ArcName.size();) {
    std::size_t n = sjis::charLen(ArcName, i);
    if (n == 2 || ArcName[i] != '\\') {
      path.append(ArcName.substr(i, n));
      i += n;
      continue;
    }
    std::size_t next = i + 1;
    if (next >= ArcName.size()) break;  // a lone backslash at the end
    std::size_t m = sjis::charLen(ArcName, next);
    if (m == 1) {
      switch (ArcName[next]) {
        case 'd': path += FormatDate(today); break;
        case 'f': version(VersionKind::FileVersion); break;
        case 'p': version(VersionKind::ProductVersion); break;
        default: break;  // unknown escape: both characters go
      }
    }
    i = next + m;
  }
  path += ".lzh";
  return path;
}

std::string FileExt(std::string_view name) {
  std::size_t dot = sjis::findLast(name, '.');
  if (dot == std::string_view::npos) return {};
  return sjis::lowerAscii(name.substr(dot));
}

namespace {

bool matchOne(std::string_view e, std::string_view p) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < e.size() && j < p.size()) {
    std::size_t pn = sjis::charLen(p, j);
    if (pn == 1 && p[j] == '*') return true;  // E still has a character here
    std::size_t en = sjis::charLen(e, i);
    if (en != pn || e.compare(i, en, p.substr(j, pn)) != 0) return false;
    i += en;
    j += pn;
  }
  return i == e.size() && j == p.size();
}

}  // namespace

bool MatchExt(std::string_view ext, const std::vector<std::string>& patterns) {
  for (const auto& p : patterns)
    if (matchOne(ext, p)) return true;
  return false;
}

void WalkFolder(FileSystem& fs, const std::string& BaseDir, const std::string& R, const WalkRules& rules,
                std::vector<std::string>& list) {
  fs.listFolder(BaseDir + R, [&](const FolderEntry& entry) {
    if (entry.name.empty() || entry.name == "." || entry.name == "..") return;
    if (entry.folder) {
      WalkFolder(fs, BaseDir, R + entry.name + "\\", rules, list);
      return;
    }
    const std::string ext = FileExt(entry.name);
    if (MatchExt(ext, rules.DelExts)) {
      fs.deleteFile(BaseDir + R + entry.name);  // deletion wins over exclusion
    } else if (!MatchExt(ext, rules.ExclExts)) {
      list.push_back(R + entry.name);
    }
  });
}

std::vector<std::string> CollectFiles(FileSystem& fs, const std::string& BaseDir,
                                      const std::vector<std::string>& FileList, const WalkRules& rules) {
  std::vector<std::string> list;
  for (const auto& entry : FileList) {
    if (sjis::endsWithChar(entry, '\\'))
      WalkFolder(fs, BaseDir, entry, rules, list);
    else
      list.push_back(entry);
  }
  return list;
}

std::vector<std::string> ResponseLines(const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  lines.reserve(names.size());
  for (const auto& n : names) lines.push_back('"' + n + '"');
  return lines;
}

std::string ResponsePath(std::string_view TempDir) {
  std::string p(TempDir);
  p += kResponseFileName;
  return p;
}

std::string CommandLine(std::string_view archivePath, std::string_view BaseDir, std::string_view TempDir) {
  std::string cmd = "u -r2 -x1 -jm2 -a1 -t1 ";
  cmd += '"';
  cmd += archivePath;
  cmd += "\" \"";
  cmd += BaseDir;
  cmd += "\" \"@";
  cmd += ResponsePath(TempDir);
  cmd += '"';
  return cmd;
}

std::string VersionSubBlock(const VersionQuery& query, VersionKind which) {
  auto tr = query("\\VarFileInfo\\Translation");
  // One entry is two 16-bit values; a shorter table has none to read.
  if (!tr || !tr->data || tr->length < 4 || tr->available < 4) return {};
  auto u16 = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(tr->data[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(tr->data[at + 1])) << 8;
  };
  char key[16];
  std::snprintf(key, sizeof key, "%04X%04X", u16(0), u16(2));
  std::string sub = "\\StringFileInfo\\";
  sub += key;
  sub += which == VersionKind::FileVersion ? "\\FileVersion" : "\\ProductVersion";
  return sub;
}

std::string ReadVersionText(const VersionQuery& query, VersionKind which) {
  const std::string sub = VersionSubBlock(query, which);
  if (sub.empty()) return {};
  auto v = query(sub);
  if (!v || !v->data || v->length == 0) return {};
  std::size_t limit = v->available < kVersionTextMax ? v->available : kVersionTextMax;
  std::size_t n = 0;
  while (n < limit && v->data[n] != '\0') ++n;
  std::string text(v->data, n);
  // Cut at the limit: a double-byte character split there is dropped whole.
  if (n == limit) {
    std::size_t i = 0;
    while (i < text.size()) {
      std::size_t len = sjis::isLead(static_cast<unsigned char>(text[i])) ? 2 : 1;
      if (i + len > text.size()) break;
      i += len;
    }
    text.resize(i);
  }
  return text;
}

}  // namespace pv::backup
