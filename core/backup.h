// The parts of a backup run that need no Windows: the archive name, extension
// matching, the folder walk's decisions, the response file and the archiver's
// command line, and picking the version text out of a version resource.
// All text is Shift-JIS; names are scanned by whole characters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pv::backup {

enum class VersionKind { FileVersion, ProductVersion };

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
};

// "yyyy.mm.dd".
std::string FormatDate(const Date& d);

// Answers the version text of a file, empty when it has none.
using VersionReader = std::function<std::string(const std::string& file, VersionKind which)>;

// The archive path: DestDir, a backslash unless DestDir already ends with a
// backslash or a colon, ArcName with its escapes expanded, then ".lzh".
// Escapes: \d the date, \f and \p the FileVersion and ProductVersion of VerFile
// (nothing when VerFile is empty); a backslash before anything else drops both
// characters, and a backslash at the very end ends the name.
std::string ExpandArcName(std::string_view DestDir, std::string_view ArcName, std::string_view VerFile,
                          const Date& today, const VersionReader& readVersion);

// Extension of a file name (from its last point, the point included; empty without
// one), with A to Z lowered. The name must not carry a folder part.
std::string FileExt(std::string_view name);

// True when one of the patterns matches the extension. A "*" in a pattern matches
// one or more further characters and ends the comparison; otherwise both must end
// together. Case-sensitive: the extension is expected in lower case.
bool MatchExt(std::string_view ext, const std::vector<std::string>& patterns);

// ---------------------------------------------------------------- the walk
// What the walk asks of the file system. listFolder calls visit for each entry of
// the folder (full path ending in a backslash) in the order the file system gives
// them, "." and ".." included or not; it does nothing for a folder it cannot read.
// The entry's visit may recurse into listFolder before the next entry arrives.
struct FolderEntry {
  std::string name;
  bool folder = false;
};
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual void listFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& visit) = 0;
  // Failure is passed over.
  virtual void deleteFile(const std::string& path) = 0;
};

struct WalkRules {
  std::vector<std::string> DelExts;   // files deleted from the tree and not listed
  std::vector<std::string> ExclExts;  // files left out of the archive
};

// Walks BaseDir + R (R relative, ending in a backslash, or empty) depth first:
// deletes the files DelExts matches, appends "R\name" of every other file that
// ExclExts does not match to `list`, and descends into every folder at once.
void WalkFolder(FileSystem& fs, const std::string& BaseDir, const std::string& R, const WalkRules& rules,
                std::vector<std::string>& list);

// Names to archive for a file list: a file entry (no trailing backslash) is taken
// as it stands, whatever its extension; a folder entry is walked.
std::vector<std::string> CollectFiles(FileSystem& fs, const std::string& BaseDir,
                                      const std::vector<std::string>& FileList, const WalkRules& rules);

// ---------------------------------------------------------------- response file and command line
inline constexpr std::string_view kResponseFileName = "pelbo.tmp";

// The response file's lines: each name in double quotes (the file ends every
// line with CR LF).
std::vector<std::string> ResponseLines(const std::vector<std::string>& names);

// TempDir + "pelbo.tmp" (TempDir ends in a backslash).
std::string ResponsePath(std::string_view TempDir);

// u -r2 -x1 -jm2 -a1 -t1 "archive" "BaseDir" "@TempDirpelbo.tmp"
std::string CommandLine(std::string_view archivePath, std::string_view BaseDir, std::string_view TempDir);

// ---------------------------------------------------------------- version text
// One value looked up in a version resource: where it starts, the length the
// lookup reported, and how many bytes of the resource buffer follow `data`
// (the hard limit for reading).
struct VersionValue {
  const char* data = nullptr;
  std::uint32_t length = 0;
  std::size_t available = 0;
};
using VersionQuery = std::function<std::optional<VersionValue>(const std::string& subBlock)>;

// Longest version text taken, in bytes; the rest is cut off.
inline constexpr std::size_t kVersionTextMax = 32;

// "\StringFileInfo\<language><code page>\FileVersion" (or ProductVersion) for the
// first "\VarFileInfo\Translation" entry, the digits upper-case hex; empty when
// the translation table is missing or too short.
std::string VersionSubBlock(const VersionQuery& query, VersionKind which);

// The version text: up to its terminating zero, at most kVersionTextMax bytes and
// never past the end of the resource buffer; empty when anything is missing.
std::string ReadVersionText(const VersionQuery& query, VersionKind which);

}  // namespace pv::backup
