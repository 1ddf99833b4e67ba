// Splitting archiver command lines and reading response files, without <windows.h>.
//
//   split("u -r2 \"C:\\a b\\x.lzh\" \"C:\\base\\\" \"@C:\\tmp\\list.tmp\"")
//     -> {"u", "-r2", "C:\\a b\\x.lzh", "C:\\base\\", "@C:\\tmp\\list.tmp"}
//   parseResponse(bytes) -> one name a line
//
// Both work on Shift-JIS bytes and keep them as they are. Neither treats '\' as an
// escape: a folder path ends in '\' right before its closing quote ("C:\base\"), and the
// trailing byte of 表 or ソ is 0x5C too.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace pv::cmdline {

// Arguments of a command line. Blanks (space, tab, CR, LF) separate arguments outside
// double quotes; a double quote opens or closes a quoted stretch and is dropped, so
// ab"c d"e gives `abc de`. A pair of quotes with nothing between gives an empty
// argument. An unclosed quote runs to the end of the line.
std::vector<std::string> split(std::string_view line);

// Arguments of a program's own command line (GetCommandLineA), as the language
// runtime of our installer and deleter reads them: bytes 0x01 to 0x20 separate
// arguments, pairs of double quotes where an argument would start are skipped (an
// empty quoted argument is not counted), a double quote opens or closes a quoted
// stretch and is dropped, and nothing is an escape, so "D:\" gives `D:\`. A lone
// quote at the very end ends the list. Element 0 is the program name.
std::vector<std::string> splitProgramArgs(std::string_view line);

// Names of a response file: one a line, lines ended by CR LF or LF (a last line may
// lack its end). Blanks around a line are dropped; a name in double quotes is taken
// from between them (blanks inside kept, anything after the closing quote ignored).
// Blank lines and a DOS end-of-file byte (0x1A) at the end are skipped.
std::vector<std::string> parseResponse(std::string_view text);

}  // namespace pv::cmdline
