// Taking members out of an archive without letting a hostile archive choose where
// its files land.
//
//   std::string rel;
//   NameProblem p = safeMemberPath(member, rel);   // rel: "proj\\表\\a.c", relative
//   if (p == NameProblem::None) write to folder + '\\' + rel
//
// A name is judged by its bytes as stored, cut into components at '\', '/' and 0xFF
// by whole Shift-JIS characters (as Windows reads it on a Japanese system), and once
// more at every 0x5C and 0x2F byte (as a reader that ignores Shift-JIS would), so
// that neither reading can climb above the target folder. Refused: an empty name, a
// leading separator (absolute, server), any ':' (drive letters, streams), ".." or any
// component made only of dots and spaces except ".", a folder component that ends in a
// dot or a space (Windows would make the folder without them and then not find it),
// device names (CON, NUL, COM1..., also with an extension), control characters and
// < > " | ? *, and a Shift-JIS lead byte without a valid trail byte. "." components are
// dropped; the last component loses its trailing dots and spaces, as Windows drops them
// ("a.txt." is the file a.txt).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "lzh/header.h"

namespace pv::lzh {

enum class NameProblem { None, Empty, Absolute, Drive, Parent, Device, BadCharacter, BadShiftJis, FolderEnd };

// English name for logs and tests ("Parent").
const char* nameProblemName(NameProblem p);

// Checks stored name bytes; on None, out is the relative path with '\' separators.
NameProblem safeRelativePath(std::string_view stored, std::string& out);
// The same for a member (its storedName).
NameProblem safeMemberPath(const Member& m, std::string& out);

// Member selection by the names of a command line, as FindFirst selects: none, "",
// "*" and "*.*" select every member; a pattern with a folder part is matched against
// the whole path, one without against the last component alone.
bool memberSelected(const std::vector<std::string>& patterns, const Member& m);

}  // namespace pv::lzh
