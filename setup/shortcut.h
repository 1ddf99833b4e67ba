// Shell links of the installation: made by the install run, removed by the uninstall.
#pragma once
#include <string>

namespace pv::setup {

// The special folder (CSIDL) of one bit of ShortCutFlags: 1 Start menu programs,
// 2 Startup, 4 Desktop, 8 Send To; the all-users folders when common (Send To has
// none). 0 for any other bit.
int ShortcutFolder(int bit, bool common);

// Writes "<special folder>\<linkName>.lnk" pointing at folder\target, started in
// folder. Failures are passed over: a shortcut is a convenience, not the installation.
void CreateShortcut(const std::string& folder, const std::string& target, const std::string& linkName,
                    int specialFolder);

// Deletes "<special folder>\<linkName>.lnk"; silent when it or the folder is missing.
void DeleteShortcut(const std::string& linkName, int specialFolder);

}  // namespace pv::setup
