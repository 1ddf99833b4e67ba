// The archiver library's command language, without <windows.h>: the command letter,
// the switches, the archive, the base folder and the names to take, plus the rules
// that turn a listed path into a member name.
//
//   u -r2 -x1 -jm2 -a1 -t1 "D:\bak\src.lzh" "C:\proj\" "@C:\tmp\list.tmp"
//   ^ command   ^ switches   ^ archive        ^ base     ^ response file (names)
//
// Arguments are split by pv::cmdline::split. Switches begin with '-' and may stand
// anywhere; "--" alone makes every later argument a name. The first other argument is
// the command, the next the archive; an argument right after the archive that ends in
// '\' (or '/' or ':') is the base folder (d has none); the rest are names, and "@file" reads names
// from a response file (pv::cmdline::parseResponse). The meaning of each switch is in
// unlha32/README.md.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pv::arccmd {

enum class Command { Update, Add, List, Test, Extract, ExtractFlat, Delete };  // u a l t x e d

struct Switches {
  int recurse = 0;                  // -r0 / -r1 / -r2
  bool storePaths = true;           // -x1 (default) / -x0
  bool takeHiddenSystem = false;    // -a1 / -a0 (default)
  bool archiveTimeNewest = false;   // -t1 / -t0 (default)
  int share = 0;                    // -jm0 (default) / -jm1 / -jm2: what others may do with a file we read
  bool quiet = false;               // --quiet: no window of the library at all
  bool fresh = false;               // --new: u makes the archive anew from the names (see README)
  bool overwriteAlways = false;     // -o1: x/e replace existing files whatever their times
};

struct CommandLine {
  Command command = Command::Update;
  Switches sw;
  std::string archive;
  std::string baseDir;              // empty, or as given (ends in '\', '/' or ':')
  std::vector<std::string> names;   // from the line and the response files, in order
};

enum class ParseError {
  None,
  NoCommand,       // nothing but switches
  UnknownCommand,  // what = the argument
  BadSwitch,       // unknown switch or a value out of range; what = the argument
  NoArchive,       // command without an archive
  ResponseFile,    // what = the response file that could not be read
};

struct ParseResult {
  ParseError error = ParseError::None;
  std::string what;
  bool ok() const { return error == ParseError::None; }
};

// Reads a whole file into bytes; false when it cannot be read.
using ReadFileFn = std::function<bool(const std::string& path, std::string& bytes)>;

// Fills out as far as the line allows. out.sw.quiet is set whenever the line carries
// --quiet, even when the line is wrong otherwise, so that no error box is shown for it.
ParseResult parse(std::string_view line, const ReadFileFn& readFile, CommandLine& out);

// True for "X:...", "\..." and "/..." (UNC paths included).
bool isAbsolute(std::string_view path);

// base + name with one '\' between; name is taken alone when it is absolute or base is
// empty. Separators are scanned by whole Shift-JIS characters.
std::string joinPath(std::string_view base, std::string_view name);

// The member name for a listed path: '/' becomes '\'; a drive ("X:"), a UNC server and
// share ("\\srv\share") and leading '\' are dropped; "." and empty components vanish;
// a trailing '\' is dropped. With storePaths false only the last component remains.
// False (and out empty) when nothing remains or a component is "..": such a name would
// be written outside the folder it is extracted into.
bool memberName(std::string_view listed, bool storePaths, std::string& out);

// path, with ".lzh" appended when its last component has no '.'.
std::string withDefaultExtension(std::string_view path);

// Last component of a path (after the last '\', '/' or ':').
std::string_view lastComponent(std::string_view path);

}  // namespace pv::arccmd
