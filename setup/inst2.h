// The install-folder dialog. Its creation looks up an earlier installation and
// proposes the folder; while shown it measures the drive of the folder typed or
// browsed to and shows the space needed beside the space free.
#pragma once
#include <cstdint>
#include <string>

#include "widgets/SBDlg.h"
#include "win/controls.h"
#include "win/form.h"

namespace pv::setup {

class TSetDirDlg : public win::Form {
 public:
  TSetDirDlg();
  ~TSetDirDlg() override;

  win::Label& Label1;
  win::Edit& InstDir;
  win::Button& Button1;
  win::Label& Label2;
  win::Label& IDS;
  win::Label& Label3;
  win::Label& FDS;
  win::Button& OKBtn;
  win::Button& CancelBtn;
  TSBDialog& FolderDialog1;

  // The create handler: finds an earlier installation, sets the folder field and
  // measures its drive.
  void LookUpInstallation();
  // Measures the drive of DriveLetter and shows needed and free space.
  void UpdateSpaceFigures();
  void InstDirChange(win::Control& sender);
  void Button1Click(win::Control& sender);
};

// Version of the pelbo.exe in folder, 0 when there is none.
std::int32_t ReadInstalledVersion(const std::string& folder);

// Clusters a file of size bytes takes: one more than whole clusters, one for an
// empty file. A cluster size of 0 (never measured) counts every file as one.
std::uint32_t ClustersOf(std::int32_t size, std::uint32_t clusterSize);

}  // namespace pv::setup
