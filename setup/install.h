// Steps of the install run that the uninstall and the tests share.
#pragma once
#include <string>

namespace pv::setup {

// True when the Windows drive cannot hold the program files in its own clusters
// (asked only when installing to another drive). Overwrites the space figures.
bool CheckWindowsDriveSpace();

// Copies source over target unless target is at least as new: by the file version
// when the source carries one, else by the DOS time of the last write; a target of
// the same version or date but another size is a broken copy and is replaced. The
// copy goes to a temporary name beside the target and takes its place only when
// whole; it is never read-only. True when target is in place afterwards.
bool CopyIfNewer(const std::string& source, const std::string& target);

// The folder text as a full path ("X:\..." or "\\server\share\..."), with "." and
// ".." resolved and without a trailing backslash (a drive root keeps its own). Empty
// for a text that names no full path: "pelbo", "C:pelbo", "\pelbo".
std::string FullFolderPath(const std::string& text);
// True when both texts name the same folder (full paths compared without case).
bool SameFolder(const std::string& a, const std::string& b);
// The folder is the Windows folder, the System folder (either view of it on 64-bit
// Windows) or the installer's own: installing there would break the installation.
bool ReservedFolder(const std::string& folder);

// On a first installation shows the shortcut dialog and adds the ticked bits.
void AskShortcuts();

// Writes the uninstall entry and, where the system keeps one, the cache record.
// A key that cannot be opened is passed over; a value that cannot be set is shown
// in an error box and answers false.
bool WriteUninstallEntry();

}  // namespace pv::setup
