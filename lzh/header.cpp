#include "lzh/header.h"

#include <cstring>

#include "core/sjis.h"
#include "lzh/crc16.h"
#include "lzh/timestamps.h"

namespace pv::lzh {
namespace {

// Level-1 extended headers live outside the base header and are read one by one;
// a chain longer than this is taken as damage rather than read into memory.
constexpr std::size_t kMaxLevel1Header = 1u << 20;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t le64(const std::uint8_t* p) { return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32); }
void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}
void put64(std::uint8_t* p, std::uint64_t v) {
  put32(p, static_cast<std::uint32_t>(v));
  put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

Status damaged(const char* why) { return Status::fail(Error::DamagedArchive, {}, why); }
Status ioFailed() { return Status::fail(Error::ArchiveReadFailed, {}, "archive read failed"); }

bool isSeparator(const std::string& s, std::size_t i, std::size_t len) {
  return len == 1 && (s[i] == '\\' || s[i] == '/');
}

// Splits raw name bytes into components at 0xFF bytes (never part of a Shift-JIS
// character) and at single-byte '\' or '/'; empty components are dropped.
void appendComponents(const std::string& raw, std::vector<std::string>& out) {
  std::string cur;
  for (std::size_t i = 0; i < raw.size();) {
    if (static_cast<unsigned char>(raw[i]) == 0xFF) {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
      ++i;
      continue;
    }
    std::size_t len = sjis::charLen(raw, i);
    if (len == 2 && static_cast<unsigned char>(raw[i + 1]) == 0xFF) len = 1;
    if (isSeparator(raw, i, len)) {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.append(raw, i, len);
    }
    i += len;
  }
  if (!cur.empty()) out.push_back(std::move(cur));
}

std::string join(const std::vector<std::string>& comps, std::size_t from, std::size_t to) {
  std::string s;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from) s += '\\';
    s += comps[i];
  }
  return s;
}

// Fills dir, fileName and path from the raw directory and name bytes.
void setNames(Member& m, const std::string& rawDir, const std::string& rawName) {
  std::vector<std::string> comps;
  appendComponents(rawDir, comps);
  appendComponents(rawName, comps);
  const std::size_t n = comps.size();
  if (m.isDirectory() || n == 0) {
    m.dir = join(comps, 0, n);
    m.fileName.clear();
  } else {
    m.dir = join(comps, 0, n - 1);
    m.fileName = comps[n - 1];
  }
  m.path = join(comps, 0, n);
  m.storedName = rawDir;
  if (!rawDir.empty() && !rawName.empty()) {
    const unsigned char last = static_cast<unsigned char>(rawDir.back());
    if (last != 0xFF && last != '/' && !sjis::endsWithChar(rawDir, '\\')) m.storedName += '\xFF';
  }
  m.storedName += rawName;
}

struct ExtState {
  std::string rawDir, rawName;
  bool hasName = false;
  std::size_t crcPos = 0;  // position of the header-CRC bytes inside the header buffer
};

// Interprets one extended header whose payload is h[pos .. pos+len).
void takeExt(Member& m, ExtState& st, std::uint8_t type, const std::uint8_t* p, std::size_t len,
             std::size_t posInHeader) {
  ExtHeader e;
  e.type = type;
  e.data.assign(p, p + len);
  m.extHeaders.push_back(std::move(e));
  switch (type) {
    case 0x00:
      if (len >= 2 && !m.hasHeaderCrc) {
        m.hasHeaderCrc = true;
        st.crcPos = posInHeader;
      }
      break;
    case 0x01:
      st.rawName.assign(reinterpret_cast<const char*>(p), len);
      st.hasName = true;
      break;
    case 0x02:
      st.rawDir.assign(reinterpret_cast<const char*>(p), len);
      break;
    case 0x40:
      if (len >= 2) m.attributes = le16(p);
      break;
    case 0x41:
      if (len >= 24) {
        m.hasWinTimes = true;
        m.winTimes.creation = le64(p);
        m.winTimes.lastWrite = le64(p + 8);
        m.winTimes.lastAccess = le64(p + 16);
      }
      break;
    case 0x42:
      if (len >= 16) {
        m.packedSize = le64(p);
        m.originalSize = le64(p + 8);
      }
      break;
    case 0x50:
      if (len >= 2) {
        m.hasUnixMode = true;
        m.unixMode = le16(p);
      }
      break;
    case 0x51:
      if (len >= 4) {
        m.hasUnixIds = true;
        m.unixGid = le16(p);
        m.unixUid = le16(p + 2);
      }
      break;
    case 0x54:
      if (len >= 4) {
        m.unixTime = le32(p);
        m.timeIsDos = false;
      }
      break;
    default:
      break;
  }
}

bool checkHeaderCrc(std::vector<std::uint8_t>& h, std::size_t crcPos) {
  const std::uint16_t stored = le16(&h[crcPos]);
  h[crcPos] = h[crcPos + 1] = 0;
  const std::uint16_t calc = crc16(h.data(), h.size());
  put16(&h[crcPos], stored);
  return calc == stored;
}

void takeCommon(Member& m, const std::uint8_t* h) {
  std::memcpy(m.methodId, h + 2, 5);
  m.methodId[5] = 0;
  m.method = methodFromId(m.methodId);
  m.originalSize = le32(h + 11);
  m.rawTime = le32(h + 15);
  m.level = h[20];
}

void finishAttributes(Member& m, bool hasAttrExt) {
  if (!hasAttrExt && m.isDirectory()) m.attributes = kAttrDirectory;
}

bool hasExt(const Member& m, std::uint8_t type) {
  for (const auto& e : m.extHeaders)
    if (e.type == type) return true;
  return false;
}

std::uint8_t checksum(const std::uint8_t* p, std::size_t n) {
  unsigned s = 0;
  for (std::size_t i = 0; i < n; ++i) s += p[i];
  return static_cast<std::uint8_t>(s);
}

Status parseLevel0(ByteSource& src, std::uint64_t offset, std::uint64_t avail, Member& m) {
  std::uint8_t first;
  if (!src.readAt(offset, &first, 1)) return ioFailed();
  const std::size_t total = first + 2u;
  if (first < 22) return damaged("level-0 header too short");
  if (total > avail) return damaged("truncated header");
  std::vector<std::uint8_t> h(total);
  if (!src.readAt(offset, h.data(), total)) return ioFailed();
  if (checksum(&h[2], first) != h[1]) return damaged("header checksum mismatch");
  takeCommon(m, h.data());
  const std::size_t n = h[21];
  if (24 + n > total) return damaged("name runs past the header");
  m.packedSize = le32(&h[7]);
  m.attributes = h[19];
  m.crc = le16(&h[22 + n]);
  m.timeIsDos = true;
  m.unixTime = dosTimeToUnix(m.rawTime);
  // Extended area of the Unix port: 'U', version, mtime, mode, uid, gid.
  const std::size_t extra = total - 24 - n;
  if (extra >= 12 && h[24 + n] == 'U') {
    m.timeIsDos = false;
    m.unixTime = le32(&h[26 + n]);
    m.hasUnixMode = true;
    m.unixMode = le16(&h[30 + n]);
  }
  m.headerSize = total;
  setNames(m, {}, std::string(reinterpret_cast<const char*>(&h[22]), n));
  finishAttributes(m, false);
  if (m.isDirectory()) m.attributes |= kAttrDirectory;
  return {};
}

Status parseLevel1(ByteSource& src, std::uint64_t offset, std::uint64_t avail, Member& m) {
  std::uint8_t first;
  if (!src.readAt(offset, &first, 1)) return ioFailed();
  const std::size_t base = first + 2u;
  if (first < 25) return damaged("level-1 header too short");
  if (base > avail) return damaged("truncated header");
  std::vector<std::uint8_t> h(base);
  if (!src.readAt(offset, h.data(), base)) return ioFailed();
  if (checksum(&h[2], first) != h[1]) return damaged("header checksum mismatch");
  takeCommon(m, h.data());
  const std::size_t n = h[21];
  if (27 + n > base) return damaged("name runs past the header");
  const std::uint32_t skip = le32(&h[7]);
  m.attributes = h[19];
  m.crc = le16(&h[22 + n]);
  m.osId = h[base - 3];
  m.timeIsDos = true;
  m.unixTime = dosTimeToUnix(m.rawTime);

  ExtState st;
  st.rawName.assign(reinterpret_cast<const char*>(&h[22]), n);
  std::size_t next = le16(&h[base - 2]);
  std::uint64_t extTotal = 0;
  while (next != 0) {
    if (next < 3) return damaged("extended header size below 3");
    if (h.size() + next > avail) return damaged("truncated extended header");
    if (h.size() + next > kMaxLevel1Header) return damaged("extended headers too long");
    const std::size_t at = h.size();
    h.resize(at + next);
    if (!src.readAt(offset + at, &h[at], next)) return ioFailed();
    takeExt(m, st, h[at], &h[at + 1], next - 3, at + 1);
    extTotal += next;
    next = le16(&h[at + next - 2]);
  }
  if (extTotal > skip) return damaged("extended headers larger than the skip size");
  if (!hasExt(m, 0x42)) m.packedSize = skip - extTotal;
  if (m.hasHeaderCrc && !checkHeaderCrc(h, st.crcPos)) return damaged("header CRC mismatch");
  m.headerSize = h.size();
  setNames(m, st.rawDir, st.rawName);
  finishAttributes(m, hasExt(m, 0x40));
  if (m.isDirectory()) m.attributes |= kAttrDirectory;
  return {};
}

Status parseLevel2(ByteSource& src, std::uint64_t offset, std::uint64_t avail, Member& m) {
  std::uint8_t sz[2];
  if (!src.readAt(offset, sz, 2)) return ioFailed();
  const std::size_t total = le16(sz);
  if (total < 26) return damaged("level-2 header too short");
  if (total > avail) return damaged("truncated header");
  std::vector<std::uint8_t> h(total);
  if (!src.readAt(offset, h.data(), total)) return ioFailed();
  takeCommon(m, h.data());
  m.packedSize = le32(&h[7]);
  m.crc = le16(&h[21]);
  m.osId = h[23];
  m.unixTime = m.rawTime;
  m.timeIsDos = false;

  ExtState st;
  std::size_t next = le16(&h[24]);
  std::size_t at = 26;
  while (next != 0) {
    if (next < 3) return damaged("extended header size below 3");
    if (at + next > total) return damaged("extended header runs past the header");
    takeExt(m, st, h[at], &h[at + 1], next - 3, at + 1);
    const std::size_t following = le16(&h[at + next - 2]);
    at += next;
    next = following;
  }
  if (m.hasHeaderCrc && !checkHeaderCrc(h, st.crcPos)) return damaged("header CRC mismatch");
  m.headerSize = total;
  setNames(m, st.rawDir, st.rawName);
  finishAttributes(m, hasExt(m, 0x40));
  return {};
}

}  // namespace

Method methodFromId(const char id[5]) {
  if (std::memcmp(id, "-lh", 3) != 0 || id[4] != '-') return Method::Other;
  switch (id[3]) {
    case '0': return Method::Lh0;
    case '5': return Method::Lh5;
    case '6': return Method::Lh6;
    case '7': return Method::Lh7;
    case 'd': return Method::Lhd;
    default: return Method::Other;
  }
}

const char* methodId(Method m) {
  switch (m) {
    case Method::Lh0: return "-lh0-";
    case Method::Lh5: return "-lh5-";
    case Method::Lh6: return "-lh6-";
    case Method::Lh7: return "-lh7-";
    case Method::Lhd: return "-lhd-";
    case Method::Other: break;
  }
  return "";
}

Status parseHeader(ByteSource& src, std::uint64_t offset, Member& out) {
  out = Member();
  out.headerOffset = offset;
  const std::uint64_t size = src.size();
  if (offset >= size || size - offset < 21) return damaged("truncated header");
  const std::uint64_t avail = size - offset;
  std::uint8_t b[21];
  if (!src.readAt(offset, b, sizeof b)) return ioFailed();
  if (b[2] != '-' || b[6] != '-') return damaged("no method ID where a header should start");
  Status s;
  switch (b[20]) {
    case 0: s = parseLevel0(src, offset, avail, out); break;
    case 1: s = parseLevel1(src, offset, avail, out); break;
    case 2: s = parseLevel2(src, offset, avail, out); break;
    default: return damaged("unknown header level");
  }
  if (!s.ok()) return s;
  out.headerOffset = offset;
  out.dataOffset = offset + out.headerSize;
  return s;
}

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> comps(1);
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t len = sjis::charLen(path, i);
    if (isSeparator(path, i, len))
      comps.emplace_back();
    else
      comps.back().append(path, i, len);
    i += len;
  }
  return comps;
}

std::string nameKey(const std::string& path) {
  std::string s;
  s.reserve(path.size());
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t len = sjis::charLen(path, i);
    if (isSeparator(path, i, len))
      s += '\\';
    else
      s.append(path, i, len);
    i += len;
  }
  if (sjis::endsWithChar(s, '\\')) s.pop_back();
  return sjis::lowerAscii(s);
}

Status buildLevel2Header(const HeaderFields& f, std::vector<std::uint8_t>& out, Level2Layout* layout) {
  std::string path = f.path;
  if (sjis::endsWithChar(path, '\\') || sjis::endsWithChar(path, '/')) path.pop_back();
  const std::vector<std::string> comps = splitPath(path);
  for (const auto& c : comps) {
    if (c.empty() || c == "." || c == ".." || c.find('\xFF') != std::string::npos)
      return Status::fail(Error::BadName, f.path, "name cannot be stored");
  }
  const bool isDir = f.method == Method::Lhd;
  const std::size_t dirCount = isDir ? comps.size() : comps.size() - 1;

  std::vector<std::vector<std::uint8_t>> exts;
  exts.push_back({0x00, 0, 0});
  std::vector<std::uint8_t> name{0x01};
  if (!isDir) name.insert(name.end(), comps.back().begin(), comps.back().end());
  exts.push_back(std::move(name));
  if (dirCount > 0) {
    std::vector<std::uint8_t> dir{0x02};
    for (std::size_t i = 0; i < dirCount; ++i) {
      dir.insert(dir.end(), comps[i].begin(), comps[i].end());
      dir.push_back(0xFF);
    }
    exts.push_back(std::move(dir));
  }
  std::uint16_t attr = static_cast<std::uint16_t>(f.attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive));
  if (isDir) attr |= kAttrDirectory;
  if (attr != kAttrArchive) exts.push_back({0x40, static_cast<std::uint8_t>(attr), static_cast<std::uint8_t>(attr >> 8)});
  if (f.hasWinTimes) {
    std::vector<std::uint8_t> t(25);
    t[0] = 0x41;
    put64(&t[1], f.winTimes.creation);
    put64(&t[9], f.winTimes.lastWrite);
    put64(&t[17], f.winTimes.lastAccess);
    exts.push_back(std::move(t));
  }

  std::size_t total = 26;
  for (const auto& e : exts) {
    if (e.size() + 2 > 0xFFFF) return Status::fail(Error::TooLarge, f.path, "name too long for a header");
    total += e.size() + 2;
  }
  // A classic reader takes a first byte of 0 for the end mark.
  const bool pad = (total & 0xFF) == 0;
  if (pad) ++total;
  if (total > 0xFFFF) return Status::fail(Error::TooLarge, f.path, "header longer than 65535 bytes");

  out.assign(total, 0);
  put16(&out[0], static_cast<std::uint32_t>(total));
  std::memcpy(&out[2], methodId(f.method), 5);
  put32(&out[7], f.packedSize);
  put32(&out[11], f.originalSize);
  put32(&out[15], f.unixTime);
  out[19] = 0x20;
  out[20] = 0x02;
  put16(&out[21], f.crc);
  out[23] = 'M';
  std::size_t at = 24;
  for (const auto& e : exts) {
    put16(&out[at], static_cast<std::uint32_t>(e.size() + 2));
    at += 2;
    std::memcpy(&out[at], e.data(), e.size());
    at += e.size();
  }
  put16(&out[at], 0);  // end of chain; the pad byte (if any) stays 0
  Level2Layout lay;
  lay.headerCrcOffset = 27;  // ext 0x00 comes first
  put16(&out[lay.headerCrcOffset], crc16(out.data(), out.size()));
  if (layout) *layout = lay;
  return {};
}

void patchLevel2Header(std::vector<std::uint8_t>& h, const Level2Layout& layout, Method method,
                       std::uint32_t packedSize, std::uint32_t originalSize, std::uint16_t crc) {
  std::memcpy(&h[2], methodId(method), 5);
  put32(&h[7], packedSize);
  put32(&h[11], originalSize);
  put16(&h[21], crc);
  put16(&h[layout.headerCrcOffset], 0);
  put16(&h[layout.headerCrcOffset], crc16(h.data(), h.size()));
}

}  // namespace pv::lzh
