// Turning the names of a command into the files to store: wildcards and folders are
// searched, hidden and system files filtered by the switches, and every file's size,
// attributes and time stamps read from the file system.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/arccmd.h"
#include "unlha32/internal.h"

namespace pv::unlha {

struct SourceFile {
  std::string member;       // member name, '\' separators
  std::string path;         // the file on disk as we open it
  bool isFolder = false;
  std::uint64_t size = 0;
  DWORD attributes = 0;     // FILE_ATTRIBUTE_*
  FILETIME creation{}, lastWrite{}, lastAccess{};
  DWORD openError = 0;      // Windows error of the last failed open or read
};

// Fills files in the order of the names (a folder's contents in the order the file
// system gives them). tick is called now and then so that the progress window stays
// alive during long folder walks; false from it cancels.
// Names are taken as Windows resolves them (trailing dots and blanks of a component
// dropped); a name that is not whole Shift-JIS, holds a NUL, is longer than any path,
// or resolves to the base folder itself fails with UNLHA_ERR_BAD_NAME. A listed file
// or a folder that cannot be read (gone, denied) goes to unreadable instead of failing.
Failure collectFiles(const arccmd::CommandLine& cl, std::vector<SourceFile>& files,
                     std::vector<Unreadable>& unreadable, const std::function<bool()>& tick);

}  // namespace pv::unlha
