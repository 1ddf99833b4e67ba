// LHA member headers: reading levels 0, 1 and 2, writing level 2.
//
// Reading:  Member m; Status s = parseHeader(src, offset, m);
//   Never reads outside src, never loops forever; a malformed header answers
//   Error::DamagedArchive with a detail, an I/O failure Error::ArchiveReadFailed.
//   A header at offset must start there (no scanning); see archive.h for walking.
// Writing:  HeaderFields f; ...; std::vector<uint8_t> h; Status s = buildLevel2Header(f, h);
//   Level 2, OS ID 'M', ext headers in the order 0x00 (header CRC), 0x01 (name),
//   0x02 (folders, each followed by 0xFF), 0x40 (attributes, when not plain 0x20),
//   0x41 (FILETIMEs, when given); one pad byte when the length's low byte would be 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lzh/error.h"
#include "lzh/io.h"

namespace pv::lzh {

enum class Method { Lh0, Lh5, Lh6, Lh7, Lhd, Other };

// "-lh5-" -> Method::Lh5; anything unknown -> Method::Other.
Method methodFromId(const char id[5]);
const char* methodId(Method m);  // "-lh0-" ...; "" for Other

// DOS attribute bits.
constexpr std::uint16_t kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04,
                        kAttrDirectory = 0x10, kAttrArchive = 0x20;

// FILETIME ticks (100 ns since 1601 UTC); 0 = not known.
struct FileTimes {
  std::uint64_t creation = 0;
  std::uint64_t lastWrite = 0;
  std::uint64_t lastAccess = 0;
};

struct ExtHeader {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> data;  // payload without the type byte and the next-size field
};

// One member as read from an archive.
struct Member {
  // Where it lies in the archive.
  std::uint64_t headerOffset = 0;
  std::uint64_t headerSize = 0;   // bytes from headerOffset to dataOffset
  std::uint64_t dataOffset = 0;
  std::uint64_t packedSize = 0;   // compressed data only (0x42 honoured)
  std::uint64_t originalSize = 0;
  std::uint64_t endOffset() const { return dataOffset + packedSize; }

  int level = 0;
  char methodId[6] = {0};  // the five method bytes as stored, NUL-terminated
  Method method = Method::Other;
  std::uint16_t crc = 0;   // CRC-16 of the original data
  std::uint8_t osId = 0;   // 0 for level 0 (which has none)
  bool hasHeaderCrc = false;

  // Names, raw bytes (Shift-JIS from Windows tools). Folder separators are turned into
  // '\' whatever the header used (0xFF in ext 0x02, '\' or '/' in level-0/1 names),
  // splitting by whole Shift-JIS characters.
  std::string dir;       // folder part without trailing '\', may be empty
  std::string fileName;  // last component; empty for most folder entries
  std::string path;      // dir + '\' + fileName, or just one of them; no trailing '\'
  // The folder and name bytes exactly as stored (folder first, 0xFF between them when
  // the folder does not end in a separator), for checks that must see what `path`
  // tidies away, such as a leading separator.
  std::string storedName;
  bool isDirectory() const { return method == Method::Lhd; }

  // Attributes: ext 0x40 if present, else the base byte for level 0, else 0x20
  // (0x10 for folder entries).
  std::uint16_t attributes = kAttrArchive;

  // Modification time. rawTime is the 4 bytes at offset 15: DOS local time for
  // levels 0/1, Unix UTC seconds for level 2.
  std::uint32_t rawTime = 0;
  bool timeIsDos = false;       // true: rawTime is a local DOS time and no UTC time was stored
  std::int64_t unixTime = 0;    // level-2 base time, or ext 0x54; when timeIsDos: dosTimeToUnix(rawTime)
  bool hasWinTimes = false;     // ext 0x41 present
  FileTimes winTimes;

  bool hasUnixMode = false;     // ext 0x50
  std::uint16_t unixMode = 0;
  bool hasUnixIds = false;      // ext 0x51
  std::uint16_t unixGid = 0, unixUid = 0;

  // Every extended header in stored order (0x00 included), so nothing is lost.
  std::vector<ExtHeader> extHeaders;
};

Status parseHeader(ByteSource& src, std::uint64_t offset, Member& out);

// Fields of a level-2 header to write.
struct HeaderFields {
  Method method = Method::Lh5;      // Lh0, Lh5 or Lhd
  std::uint32_t packedSize = 0;
  std::uint32_t originalSize = 0;
  std::uint16_t crc = 0;
  // Member path, Shift-JIS, '\' separators (split by whole characters); for a folder
  // entry the folder's own path. A trailing '\' is ignored.
  std::string path;
  std::uint16_t attributes = kAttrArchive;  // DOS bits; 0x10 is forced for folders
  std::uint32_t unixTime = 0;               // base time field (UTC seconds)
  bool hasWinTimes = false;                 // write ext 0x41
  FileTimes winTimes;
};

// Offsets inside a header produced by buildLevel2Header, for filling in later.
struct Level2Layout {
  std::size_t headerCrcOffset = 0;  // the two header-CRC bytes in ext 0x00
};

// Builds the header bytes. BadName for an empty path, an empty component, "." or "..",
// or a name with 0xFF; TooLarge when the header would exceed 65535 bytes.
Status buildLevel2Header(const HeaderFields& f, std::vector<std::uint8_t>& out, Level2Layout* layout = nullptr);

// Rewrites method, packed size and data CRC of a header built above (original size
// too), then recomputes its header CRC.
void patchLevel2Header(std::vector<std::uint8_t>& header, const Level2Layout& layout, Method method,
                       std::uint32_t packedSize, std::uint32_t originalSize, std::uint16_t crc);

// Splits a member path at single-byte '\' characters (Shift-JIS aware). Empty
// components are kept so callers can reject them.
std::vector<std::string> splitPath(const std::string& path);

// Key for comparing member names as Windows does: ASCII letters folded to lower
// case by whole Shift-JIS characters, '/' taken as '\', trailing '\' dropped.
std::string nameKey(const std::string& path);

}  // namespace pv::lzh
