// The install-folder dialog against the prefix's registry and drives: C: holds
// Windows, D: is a second fixed drive, E: a network drive (see wine-env.sh). The
// dialog is made here as the installer makes it at start, after the state that the
// background window sets.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver.h"
#include "setup/inst2.h"
#include "setup/state.h"
#include "win/app.h"

using namespace pv;
using namespace pv::setup;

namespace {

const char* const kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sorvane_pelbo";
const char* const kUserInstallKey = "Software\\Sorvane\\pelbo\\Install";

DWORD clusterSize(const char* root) {
  DWORD spc = 0, bps = 0, free = 0, total = 0;
  return GetDiskFreeSpaceA(root, &spc, &bps, &free, &total) ? spc * bps : 0;
}

std::string mb(std::uint32_t clusters, std::uint32_t size) {
  char t[64];
  std::snprintf(t, sizeof t, "%8.2f Mバイト", clusters / 1024.0 / 1024.0 * size);
  return t;
}

// Files of 4096, 10, 0, 5000 and 0 bytes: 2, 1, 1, 2 and 1 clusters of 4096.
std::uint32_t programClusters(std::uint32_t cs) { return (4096 / cs + 1) + (10 / cs + 1) + 1 + (5000 / cs + 1) + 1; }

class SetDirDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!win::app().handle()) win::app().initialize(GetModuleHandleA(nullptr));
    TearDown();
    WinDir = "C:\\windows";
    WinDrive = 'C';
    const std::int32_t sizes[] = {kDeleterSize, 4096, 10, 0, 5000, 0};
    std::copy(std::begin(sizes), std::end(sizes), FileSizes);
    ShortCutFlags = InstalledVersion = 0;
    InstalledDir.clear();
    Installed = false;
    DriveLetter = 0;
    ClusterSize = FreeClusters = NeededClusters = FileClusters = 0;
  }
  void TearDown() override {
    test::regDeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    test::regDeleteKey(HKEY_CURRENT_USER, "Software\\Sorvane");
    test::removeTree("D:\\Tools");
  }
  // An earlier installation whose pelbo.exe reports the version text of pv_ver<name>.exe.
  static void programAt(const std::string& folder, const std::string& name) {
    ASSERT_TRUE(test::makeDirs(folder) && test::copyFile(test::joinPath(test::binDir(), "pv_ver" + name + ".exe"),
                                                          folder + "\\pelbo.exe"))
        << test::lastError();
  }
};

// No earlier installation: the default folder on the Windows drive, the deleter
// counted there only; the figures follow the first character of the field.
TEST_F(SetDirDlgTest, DefaultFolderAndSpaceFiguresPerDrive) {
  auto dlg = win::createForm<TSetDirDlg>();
  EXPECT_EQ(dlg->InstDir.text(), "C:\\Program Files\\pelbo");
  EXPECT_FALSE(Installed);
  const DWORD csC = clusterSize("C:\\");
  ASSERT_GT(csC, 0u);
  EXPECT_EQ(FileClusters, programClusters(csC));
  EXPECT_EQ(NeededClusters, programClusters(csC) + kDeleterSize / csC + 1);
  EXPECT_EQ(dlg->IDS.caption(), mb(NeededClusters, csC));
  EXPECT_GT(FreeClusters, 0u);
  EXPECT_EQ(dlg->FDS.caption(), mb(FreeClusters, csC));
  // Looking wrote nothing: no empty uninstall entry is left behind.
  EXPECT_FALSE(test::regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

  // A lower-case letter names the same drive; the deleter stays on C:.
  ASSERT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_FIXED));
  dlg->InstDir.setText("d:\\Tools\\pelbo");
  EXPECT_EQ(DriveLetter, 'D');
  const DWORD csD = clusterSize("D:\\");
  EXPECT_EQ(dlg->IDS.caption(), mb(programClusters(csD), csD));
  EXPECT_GT(FreeClusters, 0u);

  // A network drive is measured like a fixed disk: its free space is no longer
  // shown as none (and so refused).
  ASSERT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_REMOTE));
  dlg->InstDir.setText("E:\\pelbo");
  const DWORD csE = clusterSize("E:\\");
  ASSERT_GT(csE, 0u);
  EXPECT_FALSE(FreeSpaceUnknown);
  EXPECT_GT(FreeClusters, 0u);
  EXPECT_EQ(dlg->FDS.caption(), mb(FreeClusters, csE));
  EXPECT_EQ(dlg->IDS.caption(), mb(programClusters(csE), csE));

  // An empty field measures the current drive; a leading backslash names no drive.
  dlg->InstDir.setText("");
  EXPECT_EQ(DriveLetter, 0);
  dlg->InstDir.setText("\\\\server\\share");
  EXPECT_EQ(FreeClusters, 0u);
}

// Where an earlier installation is found: the uninstall entry first (a "ShortCut"
// that is not a number is ignored there), then the per-user key; a folder without
// pelbo.exe is none.
TEST_F(SetDirDlgTest, EarlierInstallationFromEitherKey) {
  programAt("D:\\Tools\\pelbo", "104");
  ASSERT_TRUE(test::regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", "D:\\Tools\\pelbo"));
  ASSERT_TRUE(test::regWriteDword(HKEY_LOCAL_MACHINE, kUninstallKey, "ShortCut", 5));
  {
    auto dlg = win::createForm<TSetDirDlg>();
    EXPECT_TRUE(Installed);
    EXPECT_EQ(InstalledVersion, 104);
    EXPECT_EQ(dlg->InstDir.text(), "D:\\Tools\\pelbo");
    EXPECT_EQ(ShortCutFlags, 5);
    EXPECT_EQ(NeededClusters, programClusters(clusterSize("D:\\")));  // no deleter on D:
  }
  SetUp();
  programAt("D:\\Tools\\pelbo", "104");
  ASSERT_TRUE(test::regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", "D:\\Tools\\pelbo\\"));
  ASSERT_TRUE(test::regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "ShortCut", "5"));
  {
    auto dlg = win::createForm<TSetDirDlg>();
    EXPECT_EQ(InstalledVersion, 104);
    EXPECT_EQ(ShortCutFlags, 0);
  }
  SetUp();
  programAt("D:\\Tools\\pelbo", "105");
  ASSERT_TRUE(test::regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", "D:\\Tools"));
  ASSERT_TRUE(test::regWriteString(HKEY_CURRENT_USER, kUserInstallKey, "Dir", "D:\\Tools\\pelbo"));
  ASSERT_TRUE(test::regWriteString(HKEY_CURRENT_USER, kUserInstallKey, "ShortCut", "9"));
  {
    auto dlg = win::createForm<TSetDirDlg>();
    EXPECT_FALSE(Installed) << "D:\\Tools holds no pelbo.exe: no installation, and the per-user key is not read";
    EXPECT_EQ(dlg->InstDir.text(), "C:\\Program Files\\pelbo");
  }
  test::regDeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey);
  {
    auto dlg = win::createForm<TSetDirDlg>();
    EXPECT_TRUE(Installed);
    EXPECT_EQ(InstalledVersion, 105);
    EXPECT_EQ(ShortCutFlags, 9);
    EXPECT_EQ(dlg->InstDir.text(), "D:\\Tools\\pelbo");
  }
}

}  // namespace
