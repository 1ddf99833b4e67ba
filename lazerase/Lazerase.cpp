// Lazerase.exe: deletes files, and then their folder, for a program that cannot
// because it runs from that folder. No window, no message, exit code 0 always.
//
//   Lazerase <file>                        waits 10 s, deletes the file, removes its folder if empty
//   Lazerase -n <folder> <name> [<name>..] deletes folder\name for each name, removes the folder if empty
//   Lazerase -p <count> -n <folder> <name> [<name>..]
//                                          the same, and then up to <count> folders above it, each
//                                          only when the one below has gone and it is empty itself
//
// The command line is split here, not by the C runtime: the runtime turns "D:\"
// into D:" and counts "" as an argument, which would break a folder at a drive root.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/sjis.h"

namespace {

// A drive root, or a share's root, is never removed, whatever the command line says.
bool isRoot(const std::string& folder) {
  char full[MAX_PATH * 2] = {};
  const DWORD n = ::GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return true;  // what cannot be resolved is not touched
  std::string p(full, n);
  while (pv::sjis::endsWithChar(p, '\\')) p.pop_back();
  if (p.size() <= 2) return true;  // "C:" or nothing
  if (p.compare(0, 2, "\\\\") != 0) return false;
  // \\server\share is a root unless a folder follows the share (whole characters).
  int separators = 0;
  for (std::size_t i = 2; i < p.size(); i += pv::sjis::charLen(p, i))
    if (p[i] == '\\') ++separators;
  return separators < 2;
}

void removeFolder(const std::string& folder) {
  if (!folder.empty() && !isRoot(folder)) ::RemoveDirectoryA(folder.c_str());
}

// A named file lies directly in the folder: no separator, no drive, no "." or "..",
// so that a name never reaches a file elsewhere.
bool plainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); i += pv::sjis::charLen(name, i))
    if (name[i] == '\\' || name[i] == '/' || name[i] == ':') return false;
  return true;
}

void waitForm(const std::string& file) {
  ::Sleep(10000);
  ::DeleteFileA(file.c_str());
  // The folder is what stands before the last backslash, found by whole characters.
  const std::size_t slash = pv::sjis::findLast(file, '\\');
  if (slash == std::string::npos || slash == 0) return;
  removeFolder(file.substr(0, slash));
}

void namedForm(const std::string& folder, const std::vector<std::string>& names, int parents) {
  for (const std::string& name : names)
    if (plainName(name)) ::DeleteFileA((folder + "\\" + name).c_str());
  // Only an empty folder goes: files not named and sub-folders keep it.
  removeFolder(folder);
  if (parents == 0 || folder.empty()) return;
  // The parents the installation created, upward from the full path; the first one
  // that stays (not empty, or a root) ends the climb.
  char full[MAX_PATH * 2] = {};
  const DWORD n = ::GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return;
  std::string p(full, n);
  while (pv::sjis::endsWithChar(p, '\\')) p.pop_back();
  if (::GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES) return;  // the folder itself stayed
  for (int i = 0; i < parents; ++i) {
    const std::size_t slash = pv::sjis::findLast(p, '\\');
    // "D:" alone would resolve to the drive's current folder, not its root.
    if (slash == std::string::npos || slash <= 2) return;
    p.resize(slash);
    if (isRoot(p) || !::RemoveDirectoryA(p.c_str())) return;
  }
}

// A count of parent folders: one or two digits, so a stray argument is never one.
bool parentCount(const std::string& text, int& out) {
  if (text.empty() || text.size() > 2) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  out = std::atoi(text.c_str());
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> args = pv::cmdline::splitProgramArgs(::GetCommandLineA());
  if (!args.empty()) args.erase(args.begin());  // the program name
  if (args.size() == 1) {
    waitForm(args[0]);
  } else if (args.size() >= 3 && args[0] == "-n") {
    namedForm(args[1], std::vector<std::string>(args.begin() + 2, args.end()), 0);
  } else if (int parents = 0; args.size() >= 5 && args[0] == "-p" && parentCount(args[1], parents) && args[2] == "-n") {
    namedForm(args[3], std::vector<std::string>(args.begin() + 4, args.end()), parents);
  }
  return 0;
}
