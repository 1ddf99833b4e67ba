// Lazerase.exe: deletes files, and then their folder, for a program that cannot
// because it runs from that folder. No window, no message, exit code 0 always.
//
//   Lazerase <file>                        waits 10 s, deletes the file, removes its folder if empty
//   Lazerase -n <folder> <name> [<name>..] deletes folder\name for each name, removes the folder if empty
//
// The command line is split here, not by the C runtime: the runtime turns "D:\"
// into D:" and counts "" as an argument, which would break a folder at a drive root.
#include <windows.h>

#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/sjis.h"

namespace {

void waitForm(const std::string& file) {
  ::Sleep(10000);
  ::DeleteFileA(file.c_str());
  // The folder is what stands before the last backslash, found by whole characters.
  const std::size_t slash = pv::sjis::findLast(file, '\\');
  if (slash == std::string::npos || slash == 0) return;
  ::RemoveDirectoryA(file.substr(0, slash).c_str());
}

void namedForm(const std::string& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) ::DeleteFileA((folder + "\\" + name).c_str());
  // Only an empty folder goes: files not named and sub-folders keep it.
  if (!folder.empty()) ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> args = pv::cmdline::splitProgramArgs(::GetCommandLineA());
  if (!args.empty()) args.erase(args.begin());  // the program name
  if (args.size() == 1) {
    waitForm(args[0]);
  } else if (args.size() >= 3 && args[0] == "-n") {
    namedForm(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  }
  return 0;
}
