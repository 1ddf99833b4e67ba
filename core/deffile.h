// The definitions file: named backup definitions as lines of text.
//
// One definition is: name, "{", DestDir, ArcName, VerFile, Flags, BaseDir,
// "{", FileList..., "}", "{", ExclExts..., "}", "{", DelExts..., "}", "}".
// Note the order: DestDir before ArcName, the exclusions before the deletions.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pv {

// One backup definition (its name is kept beside it, in the list that holds it).
struct TBuckup {
  std::string ArcName;   // archive name pattern without extension (\d \f \p escapes)
  std::string DestDir;   // folder the archive is written to
  std::string VerFile;   // file whose version resource feeds \f and \p
  std::int32_t Flags = 0;  // bit 0: always a new archive, bit 1: open afterwards
  std::string BaseDir;   // base folder, ending in '\'
  std::vector<std::string> FileList;  // entries relative to BaseDir; folders end in '\'
  std::vector<std::string> DelExts;   // extensions deleted from the tree during a run
  std::vector<std::string> ExclExts;  // extensions left out of the archive
};

bool operator==(const TBuckup& a, const TBuckup& b);
inline bool operator!=(const TBuckup& a, const TBuckup& b) { return !(a == b); }

namespace deffile {

// A definition takes at least this many lines (three empty lists).
constexpr std::size_t kMinLines = 14;

// Appends the lines of one definition.
void appendLines(std::vector<std::string>& out, const std::string& name, const TBuckup& rec);

// Where reading ended: the definitions handed over and, when reading stopped
// with text left unread, the 0-based line of the first definition not taken
// (kWhole when everything was read or only empty lines were left).
constexpr std::size_t kWhole = static_cast<std::size_t>(-1);
struct ReadResult {
  std::size_t definitions = 0;
  std::size_t stoppedAt = kWhole;
  bool whole() const { return stoppedAt == kWhole; }
};

// Reads definitions from the lines of a file and hands each complete one to add,
// in file order. Damage (a missing or misplaced bracket line, too few lines, a list
// without its "}") ends reading without an error. A Flags line that is not an
// integer drops the definition being read and throws pv::Error after the earlier
// ones have been handed over. *result (optional) is kept up to date as reading
// goes, so it is right also when read throws.
void read(const std::vector<std::string>& lines,
          const std::function<void(std::string name, TBuckup rec)>& add, ReadResult* result = nullptr);

// Whether the file's lines were written as UTF-8 rather than Shift-JIS: a UTF-8
// byte-order mark, or text that is valid UTF-8 with multi-byte characters and either
// is not valid Shift-JIS or holds a three-byte UTF-8 character (every Japanese
// character is one; Shift-JIS text all but never forms one).
bool looksLikeUtf8(const std::vector<std::string>& lines);

// Whether a list entry survives writing and reading: not exactly "}" (it would
// close the list early) and free of line breaks. Value lines only need the latter.
bool storableEntry(const std::string& entry);
bool storableValue(const std::string& value);
// Whether every field and list entry of the record can be written and read back.
bool storable(const TBuckup& rec);

}  // namespace deffile
}  // namespace pv
