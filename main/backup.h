// The backup run: one definition turned into an LHA archive by the archiver
// library, on the GUI thread, from the main window's Backup button.
#pragma once
#include <windows.h>

#include <string>

#include "core/backup.h"
#include "core/deffile.h"

namespace pv::win {
class StatusBar;
}
namespace pv::arc {
class TArchive;
}

namespace pv::backup {

// What a run needs of the main window.
struct RunContext {
  HWND owner = nullptr;                // owns the error box and the shell's window
  pv::win::StatusBar* status = nullptr;  // shows the progress texts
  pv::arc::TArchive* archive = nullptr;  // Archive1
  std::string TempDir;                 // ends in a backslash; holds the response file
};

// The whole run for one definition: archive name, folder walk with deletion and
// exclusion, response file, one command to the LHA library, optionally the shell's
// "open" on the new archive. A definition that lacks a destination, archive name or
// list, or whose folders hold no file, ends with a box saying so and nothing written.
// "Always new" has our library make the archive anew in place (--new), so the old one
// stays until the new one is checked and keeps what the library could not read; with
// another library the old archive is moved aside (<archive>.pvold) and deleted only
// once the new one is made, otherwise, and at the next run after a crash, put back.
// Files our library could not read (its warning code) count as made: the status text
// says so and nothing is opened. Throws pv::Error when the response file
// cannot be written (after the status text and cursor are put back).
void RunBackup(const TBuckup& b, const RunContext& ctx);

// FindFirstFileA over a folder: every entry but volume labels.
class WinFileSystem : public FileSystem {
 public:
  void listFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& visit) override;
  void deleteFile(const std::string& path) override;
};

}  // namespace pv::backup
