// The installer's start, end to end: pelboSetup.exe copied into a fresh folder with
// a pelbo.exe beside it whose ProductVersion the test chooses.
#include <gtest/gtest.h>

#include <string>

#include "driver.h"
#include "pv_version.h"

using namespace pv::test;

namespace {

const char* const kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sorvane_pelbo";
const char* const kUserKey = "Software\\Sorvane";

// The year of a file's last write, going back to before the DOS date can hold it.
bool setFileYear(const std::string& path, WORD year) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = 6;
  st.wDay = 15;
  st.wHour = 12;
  FILETIME ft{};
  if (!SystemTimeToFileTime(&st, &ft)) return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  return ok;
}

class SetupStart : public ::testing::Test {
 protected:
  void SetUp() override {
    regDeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    regDeleteKey(HKEY_CURRENT_USER, kUserKey);
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pelboSetup.exe"), dir_.file("pelboSetup.exe"))) << lastError();
  }
  void TearDown() override { regDeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey); }

  // pelbo.exe beside the installer: a stand-in carrying the version text `name`.
  void besideVersion(const std::string& name) {
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pv_ver" + name + ".exe"), dir_.file("pelbo.exe"))) << lastError();
  }
  Process startSetup(const std::vector<std::string>& args = {}) {
    return startProcess(dir_.file("pelboSetup.exe"), args, dir_.path());
  }
  // Ends without showing any window of its own, with exit code 0.
  void expectSilentEnd(const std::vector<std::string>& args = {}) {
    Process p = startSetup(args);
    ASSERT_TRUE(p) << lastError();
    ASSERT_TRUE(p.waitExit()) << dumpWindows(p.pid());
    EXPECT_EQ(p.exitCode(), 0u);
  }

  TempDir dir_{"setup"};
};

// Version 1.05 of a pelbo.exe last written in 1975 (before the DOS date's 1980):
// the caption, the labels and the year 2001; the window covers the work area; a
// second installer restores the first and ends.
TEST_F(SetupStart, BackgroundWindowAndSecondInstaller) {
  besideVersion("105");
  ASSERT_TRUE(setFileYear(dir_.file("pelbo.exe"), 1975));
  Process first = startSetup();
  ASSERT_TRUE(first) << lastError();
  HWND form = first.waitWindow("PvForm", "Pomvault  Ver 1.05 のインストール");
  ASSERT_TRUE(form) << dumpWindows(first.pid());
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const RECT r = windowRect(form);
  EXPECT_TRUE(EqualRect(&r, &work)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  EXPECT_TRUE(findChild(form, "Static", "Pomvault  Ver 1.05")) << dumpTree(form);
  EXPECT_TRUE(findChild(form, "Static", "Copyright (C) " PV_MAKER_NAME " 2001-2001")) << dumpTree(form);
  EXPECT_EQ(windowText(FindWindowA("TApplication", "Pelbo Setup")), "Pelbo Setup");

  ShowWindow(form, SW_MINIMIZE);
  ASSERT_TRUE(waitUntil([&] { return isMinimized(form); }, kShortTimeout));
  Process second = startSetup();
  ASSERT_TRUE(second) << lastError();
  ASSERT_TRUE(second.waitExit());
  EXPECT_EQ(second.exitCode(), 0u);
  EXPECT_TRUE(waitUntil([&] { return !isMinimized(form); })) << "the first installer was not restored";
  EXPECT_EQ(topWindows({.className = "PvForm", .title = "Pomvault  Ver 1.05 のインストール"}).size(), 1u);
  EXPECT_TRUE(first.running());
}

// Only digits, a dot and digits make a version; without one, or without pelbo.exe,
// the installer ends before any window.
TEST_F(SetupStart, UnreadableVersionEndsSilently) {
  expectSilentEnd();  // no pelbo.exe
  for (const char* name : {"105a", "1_0_5"}) {
    besideVersion(name);
    expectSilentEnd();
  }
  EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// With the main program running: the message, no window, the registry untouched.
TEST_F(SetupStart, RefusesWhileMainProgramRuns) {
  besideVersion("105");
  TempDir mainDir("main");
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.exe"), mainDir.file("pelbo.exe"))) << lastError();
  Process main = startProcess(mainDir.file("pelbo.exe"), {}, mainDir.path());
  ASSERT_TRUE(main.waitWindow("PvForm", "Pomvault")) << dumpWindows(main.pid());
  regDeleteKey(HKEY_CURRENT_USER, kUserKey);

  Process setup = startSetup();
  ASSERT_TRUE(setup) << lastError();
  HWND box = waitMessageBox("エラー", setup.pid());
  ASSERT_TRUE(box) << dumpWindows(setup.pid());
  const MessageBoxInfo info = readMessageBox(box);
  EXPECT_EQ(info.text, "Pomvault が実行中です。終了してからセットアッププログラムを再実行してください。");
  EXPECT_EQ(info.buttons, std::vector<std::string>{"OK"});
  EXPECT_FALSE(findWindow({.className = "PvForm", .title = "", .pid = setup.pid()}));
  ASSERT_TRUE(answerMessageBox(box, "OK"));
  ASSERT_TRUE(setup.waitExit());
  EXPECT_EQ(setup.exitCode(), 0u);
  EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, kUserKey));
  main.kill();
}

// Only "/r" exactly uninstalls: "/R" and "-r" end the installer and leave an
// installation as it was.
TEST_F(SetupStart, OtherParametersRemoveNothing) {
  besideVersion("105");
  TempDir installed("inst");
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pv_ver104.exe"), installed.file("pelbo.exe"))) << lastError();
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pelboSetup.exe"), installed.file("pelboSetup.exe"))) << lastError();
  ASSERT_TRUE(regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", installed.path()));
  ASSERT_TRUE(regWriteDword(HKEY_LOCAL_MACHINE, kUninstallKey, "ShortCut", 0));
  for (const char* arg : {"/R", "-r"}) {
    expectSilentEnd({arg});
    EXPECT_EQ(listDir(installed.path()), (std::vector<std::string>{"pelbo.exe", "pelboSetup.exe"})) << arg;
    EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), installed.path()) << arg;
  }
}

// What Windows reads from the two programs: the installer asks for administrator
// rights (it writes HKEY_LOCAL_MACHINE and the Windows folder) and carries the
// product icon; the deleter has no manifest and runs without a console.
TEST(SetupResources, ManifestIconAndSubsystem) {
  HMODULE m = LoadLibraryExA(joinPath(binDir(), "pelboSetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(m);
  HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_TRUE(r);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
  for (const char* part : {"name=\"Sorvane.pelbo.setup\"", "<description>pelbo Installer</description>",
                           "level=\"requireAdministrator\""})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  EXPECT_TRUE(FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)));  // RT_GROUP_ICON
  FreeLibrary(m);

  const std::string deleter = joinPath(binDir(), "Lazerase.exe");
  m = LoadLibraryExA(deleter.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(m);
  EXPECT_FALSE(FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)));
  FreeLibrary(m);
  const auto image = readFile(deleter);
  ASSERT_TRUE(image && image->size() > 0x100);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image->data() + *reinterpret_cast<const LONG*>(image->data() + 0x3C));
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

}  // namespace
