// Steps of the install run that the uninstall and the tests share.
#pragma once
#include <string>

namespace pv::setup {

// True when the Windows drive cannot hold the program files in its own clusters
// (asked only when installing to another drive). Overwrites the space figures.
bool CheckWindowsDriveSpace();

// Copies source over target unless target is at least as new (DOS time of the last
// write); true when target is in place afterwards.
bool CopyIfNewer(const std::string& source, const std::string& target);

// On a first installation shows the shortcut dialog and adds the ticked bits.
void AskShortcuts();

// Writes the uninstall entry and, where the system keeps one, the cache record.
// A key that cannot be opened is passed over; a value that cannot be set is shown
// in an error box and answers false.
bool WriteUninstallEntry();

}  // namespace pv::setup
