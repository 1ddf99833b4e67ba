// Files of text lines and the program's own paths. Failures throw pv::Error with
// the texts the user sees.
#pragma once
#include <string>
#include <vector>

namespace pv::win {

// "ファイル %s を作成できません", "ファイル %s を開けません", "ストリームへの書き込みエラー".
extern const char* const kCannotCreate;
extern const char* const kCannotOpen;
extern const char* const kWriteError;

// Full path of the running executable.
std::string exePath();
bool fileExists(const std::string& path);  // a file, not a folder
bool dirExists(const std::string& path);
// The temporary folder, ending in '\' (asks the length first, then the path).
std::string tempPath();

// Reads a text file as lines (CR, LF or CR LF end a line).
std::vector<std::string> loadLines(const std::string& path);
// Writes the lines, each followed by CR LF, creating or truncating the file.
void saveLines(const std::string& path, const std::vector<std::string>& lines);
// Replaces the file's content without ever leaving it half written: the content
// goes to a new file in the same folder, is flushed to disk, and only then takes
// the place of the old file. On failure the old file stays as it was and the new
// one is removed; the error names `path`.
void replaceFileContent(const std::string& path, const std::string& bytes);

}  // namespace pv::win
