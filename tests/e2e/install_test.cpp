// The installer end to end: the release as a user unpacks it, pelboSetup.exe driven
// through its own dialogs, the installed program used, and the uninstall through
// Wine's list of installed programs up to the next logon (wineboot -r).
#include <gtest/gtest.h>
#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "core/deffile.h"
#include "driver.h"

using namespace pv::test;

namespace {

const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sorvane_pelbo";
const char* const kCacheKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";
const char* const kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kReleaseFiles[] = {"pelboSetup.exe", "pelbo.exe", "pelbo.hlp", "pelbo.cnt",
                                     "pelbo.txt",      "Lazerase.exe", "unlha32.dll"};
// What an installation folder holds.
const char* const kInstalledFiles[] = {"pelboSetup.exe", "pelbo.exe", "pelbo.hlp", "pelbo.cnt", "unlha32.dll"};

std::string windowsDir() {
  char buf[MAX_PATH] = {};
  GetWindowsDirectoryA(buf, MAX_PATH);
  return buf;
}

std::string specialFolder(int csidl) {
  char buf[MAX_PATH] = {};
  return SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) ? buf : "";
}

// A program of the prefix's system folder (Wine's own tools).
std::string systemProgram(const std::string& name) {
  char buf[MAX_PATH] = {};
  GetSystemDirectoryA(buf, MAX_PATH);
  return joinPath(buf, name);
}

struct Link {
  std::string path, workDir;
};

// Reads a shell link back: its target and working folder.
std::optional<Link> readLink(const std::string& file) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return std::nullopt;
  std::optional<Link> out;
  IPersistFile* pf = nullptr;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf))) &&
      SUCCEEDED(pf->Load(wide, STGM_READ))) {
    char target[MAX_PATH] = {}, dir[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, 0);
    link->GetWorkingDirectory(dir, MAX_PATH);
    out = Link{target, dir};
  }
  if (pf) pf->Release();
  link->Release();
  return out;
}

// Runs a console program of the prefix and answers what it wrote to its output.
std::string captureOutput(const std::string& commandLine) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return {};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = commandLine, out;
  if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    CloseHandle(writeEnd);
    writeEnd = nullptr;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  if (writeEnd) CloseHandle(writeEnd);
  CloseHandle(readEnd);
  return out;
}

// The uninstall entry's key as a user without administrator rights meets it:
// it exists, but nobody may write to it.
bool lockKey(const std::string& key) {
  HKEY k = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)) return false;
  EXPLICIT_ACCESSA ea[2] = {};
  BuildExplicitAccessWithNameA(&ea[0], const_cast<char*>("EVERYONE"), KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                               DENY_ACCESS, NO_INHERITANCE);
  BuildExplicitAccessWithNameA(&ea[1], const_cast<char*>("EVERYONE"), KEY_ALL_ACCESS, GRANT_ACCESS, NO_INHERITANCE);
  PACL acl = nullptr;
  bool ok = SetEntriesInAclA(2, ea, nullptr, &acl) == ERROR_SUCCESS &&
            SetSecurityInfo(k, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
  if (acl) LocalFree(acl);
  RegCloseKey(k);
  return ok;
}

bool stampFile(const std::string& file, const FILETIME& t) {
  HANDLE h = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  bool ok = h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, nullptr, &t);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return ok;
}

FILETIME lastWrite(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d);
  return d.ftLastWriteTime;
}

bool readOnly(const std::string& file) {
  const DWORD a = GetFileAttributesA(file.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

// The control that has the keyboard focus in the dialog's thread.
HWND focusIn(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ? info.hwndFocus : nullptr;
}

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    forgetInstallation();
    release = root_.file("Pomvault-release");
    target = root_.file("My Tools") + "\\pelbo";
    ASSERT_TRUE(makeDirs(release)) << lastError();
    // The release's files from the build; the help files may not be built yet.
    for (const char* f : kReleaseFiles) {
      const std::string from = joinPath(binDir(), f);
      if (fileExists(from)) {
        ASSERT_TRUE(copyFile(from, joinPath(release, f))) << lastError();
      } else {
        ASSERT_TRUE(std::string(f).rfind("pelbo.", 0) == 0 && std::string(f) != "pelbo.exe") << "missing " << from;
        ASSERT_TRUE(writeFile(joinPath(release, f), std::string("stand-in for ") + f + "\r\n"));
      }
    }
    moveCursor({1200, 1000});
  }

  void TearDown() override {
    if (proc_ && !proc_.waitExit(kShortTimeout)) proc_.kill();
    forgetInstallation();
    CoUninitialize();
  }

  // Nothing of an earlier test's installation is left in the prefix.
  void forgetInstallation() {
    regDeleteKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    regDeleteKey(HKEY_LOCAL_MACHINE, std::string(kCacheKey) + "\\Sorvane_pelbo");
    regDeleteValue(HKEY_LOCAL_MACHINE, kRunOnceKey, "Sorvane_pelbo");
    regDeleteKey(HKEY_CURRENT_USER, "Software\\Sorvane");
    for (const std::string& l : links()) deleteFile(l);
    deleteFile(joinPath(windowsDir(), "Lazerase.exe"));
  }

  // Every place a shortcut of ours may be made.
  static std::vector<std::string> links() {
    std::vector<std::string> out;
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_STARTUP, CSIDL_DESKTOPDIRECTORY, CSIDL_SENDTO, CSIDL_COMMON_PROGRAMS,
                      CSIDL_COMMON_STARTUP, CSIDL_COMMON_DESKTOPDIRECTORY})
      out.push_back(joinPath(specialFolder(csidl), "Pomvault.lnk"));
    return out;
  }
  static std::vector<std::string> existingLinks() {
    std::vector<std::string> out;
    for (const std::string& l : links())
      if (fileExists(l)) out.push_back(l);
    return out;
  }

  void startSetup(const std::vector<std::string>& args = {}, const std::string& exe = "") {
    proc_ = startProcess(exe.empty() ? joinPath(release, "pelboSetup.exe") : exe, args);
    ASSERT_TRUE(proc_) << lastError();
  }

  // A dialog of the installer by its caption.
  HWND dialog(const std::string& caption) {
    HWND h = waitWindow(WindowMatch{"", caption, proc_.pid(), true});
    EXPECT_TRUE(h) << caption << "\n" << dumpWindows(proc_.pid());
    return h;
  }
  void press(HWND dlg, const std::string& button) {
    HWND b = findChild(dlg, "Button", button);
    ASSERT_TRUE(b) << button << "\n" << dumpTree(dlg);
    ASSERT_TRUE(click(b)) << lastError();
  }

  // The box the run ends with (title, text), answered with its only button.
  std::string finalBox(const std::string& title, DWORD pid = 0) {
    HWND box = waitMessageBox(title, pid ? pid : proc_.pid());
    if (!box) {
      ADD_FAILURE() << "no box " << title << "\n" << dumpWindows(pid ? pid : proc_.pid());
      return {};
    }
    std::string text = messageBoxText(box);
    EXPECT_TRUE(answerMessageBox(box, "OK")) << lastError();
    return text;
  }

  // Viewer and folder dialog of a first installation, with the folder typed in.
  void throughFolderDialog(const std::string& folder) {
    startSetup();
    HWND view = dialog("概要/著作権");
    ASSERT_TRUE(view);
    press(view, "次へ");
    HWND dir = dialog("インストール準備");
    ASSERT_TRUE(dir);
    ASSERT_TRUE(setText(findChild(dir, "Edit"), folder)) << lastError();
    press(dir, "次へ");
  }

  // A whole first installation into target, ticking the shortcuts asked for.
  void install(bool startMenu, bool desktop) {
    throughFolderDialog(target);
    HWND cut = dialog("ショートカット設定");
    ASSERT_TRUE(cut);
    ASSERT_TRUE(setChecked(findChild(cut, "Button", "スタートメニューに登録"), startMenu));
    ASSERT_TRUE(setChecked(findChild(cut, "Button", "デスクトップに作成"), desktop));
    press(cut, "次へ");
    EXPECT_EQ(finalBox("情報"), "インストールが終了しました。");
    ASSERT_TRUE(proc_.waitExit()) << "the installer ends after the last box";
  }

  // The uninstall's question answered with OK, and its closing box.
  void confirmUninstall(DWORD pid = 0) {
    HWND ask = waitMessageBox("確認", pid);
    ASSERT_TRUE(ask) << dumpWindows();
    EXPECT_EQ(messageBoxText(ask), "アンインストールを実行してもよろしいですか？");
    ASSERT_TRUE(answerMessageBox(ask, "OK")) << lastError();
    EXPECT_EQ(finalBox("情報", windowPid(waitMessageBox("情報", pid))),
              "アンインストールが終了しました。\r\n次回起動時に完全削除されます。");
  }

  // The uninstall started from the installed copy, confirmed, up to its end.
  void uninstall() {
    startSetup({"/r"}, joinPath(target, "pelboSetup.exe"));
    confirmUninstall(proc_.pid());
    ASSERT_TRUE(proc_.waitExit());
  }

  // A key as the user presses it: to whatever control has the focus.
  void key(HWND dialog, UINT vk) {
    HWND focus = focusIn(dialog);
    ASSERT_TRUE(focus) << dumpTree(dialog);
    ASSERT_TRUE(pressKey(focus, vk)) << lastError();
  }
  bool focusOn(HWND dialog, const std::string& caption) {
    return waitUntil([&] { return getText(focusIn(dialog)) == caption; }, 5000);
  }

  // What Windows does at the next logon: the RunOnce value runs the deleter.
  static void nextLogon() {
    ASSERT_EQ(runProcess(systemProgram("wineboot.exe"), {"-r"}, "", 120000), std::optional<DWORD>(0)) << lastError();
  }

  TempDir root_{"pvinst"};
  std::string release, target;
  Process proc_;
};

// ---------------------------------------------------------------- the round trip

TEST_F(Installer, InstallUseAndRemoveLeavesNothing) {
  install(true, true);

  for (const char* f : kInstalledFiles) EXPECT_TRUE(fileExists(joinPath(target, f))) << f;
  EXPECT_FALSE(fileExists(joinPath(target, "pelbo.txt"))) << "the notice stays in the release";
  EXPECT_TRUE(fileExists(joinPath(windowsDir(), "Lazerase.exe")));

  // All-users Start menu and desktop (Wine reports NT 6.1).
  const std::string programs = joinPath(specialFolder(CSIDL_COMMON_PROGRAMS), "Pomvault.lnk");
  const std::string desktop = joinPath(specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY), "Pomvault.lnk");
  EXPECT_EQ(existingLinks(), (std::vector<std::string>{programs, desktop}));
  for (const std::string& l : {programs, desktop}) {
    auto link = readLink(l);
    ASSERT_TRUE(link) << l;
    EXPECT_EQ(lstrcmpiA(link->path.c_str(), joinPath(target, "pelbo.exe").c_str()), 0) << link->path;
    EXPECT_EQ(lstrcmpiA(link->workDir.c_str(), target.c_str()), 0) << link->workDir;
  }

  // The entry as the system's list of programs shows it, and what it runs.
  EXPECT_NE(captureOutput("uninstaller.exe --list").find("Sorvane_pelbo|||Pomvault"), std::string::npos)
      << captureOutput("uninstaller.exe --list");
  // The ten values (the registry lists them sorted, not in their order of writing).
  EXPECT_EQ(regValueNames(HKEY_LOCAL_MACHINE, kUninstallKey),
            (std::vector<std::string>{"DisplayName", "DisplayVersion", "HelpLink", "InstallLocation", "Publisher",
                                      "ShortCut", "UninstallString", "URLUpdateInfo", "VersionMajor",
                                      "VersionMinor"}));
  EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
            "\"" + target + "\\pelboSetup.exe\" /r");
  EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), target);
  EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), "1.05");
  EXPECT_EQ(regReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "ShortCut"), 5u);

  // One real backup with the installed program, started as its shortcut says.
  auto link = readLink(programs);
  ASSERT_TRUE(link);
  TempDir work("pvwork");
  const std::string src = work.file("src"), dest = work.file("dest");
  ASSERT_TRUE(makeDirs(src) && makeDirs(dest));
  ASSERT_TRUE(writeFile(joinPath(src, "note.txt"), "kept safe\r\n"));
  pv::TBuckup def;
  def.ArcName = "saved";
  def.DestDir = dest;
  def.BaseDir = src + "\\";
  def.FileList = {"note.txt"};
  std::vector<std::string> lines;
  pv::deffile::appendLines(lines, "mine", def);
  std::string dat;
  for (const auto& l : lines) dat += l + "\r\n";
  ASSERT_TRUE(writeFile(joinPath(target, "pelbo.dat"), dat));
  {
    Process pelbo = startProcess(link->path, {}, link->workDir);
    ASSERT_TRUE(pelbo) << lastError();
    HWND main = pelbo.waitWindow("", "Pomvault");
    ASSERT_TRUE(main) << dumpWindows(pelbo.pid());
    HWND list = findChild(main, "ListBox");
    HWND bar = findToolbar(main);
    ASSERT_TRUE(list && bar) << dumpTree(main);
    ASSERT_TRUE(clickListItem(list, 0)) << lastError();
    ASSERT_TRUE(waitUntil([&] {
      auto b = toolbarButton(bar, toolbarFind(bar, "Backup"));
      return b && b->enabled();
    }));
    ASSERT_TRUE(pressToolbarButton(bar, "Backup")) << lastError();
    EXPECT_TRUE(waitUntil([&] { return fileExists(joinPath(dest, "saved.lzh")); }, 60000)) << dumpWindows(pelbo.pid());
    ASSERT_TRUE(settle(main));
    closeWindow(main);
    ASSERT_TRUE(pelbo.waitExit()) << dumpWindows(pelbo.pid());
  }
  regWriteString(HKEY_CURRENT_USER, "Software\\Sorvane\\pelbo", "Top", "10");

  // Removed from the list of programs: Wine runs the entry's UninstallString.
  Process remove = startProcess(systemProgram("uninstaller.exe"), {"--remove", "Sorvane_pelbo"});
  ASSERT_TRUE(remove) << lastError();
  confirmUninstall();
  ASSERT_TRUE(remove.waitExit(30000));

  EXPECT_FALSE(fileExists(joinPath(target, "pelbo.exe")));
  EXPECT_FALSE(fileExists(joinPath(target, "pelbo.dat"))) << "the definitions go with the program";
  EXPECT_FALSE(fileExists(joinPath(target, "unlha32.dll")));
  EXPECT_TRUE(fileExists(joinPath(target, "pelboSetup.exe"))) << "still running while it removes the rest";
  EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, "Software\\Sorvane"));
  EXPECT_TRUE(existingLinks().empty());
  EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kRunOnceKey, "Sorvane_pelbo"),
            "Lazerase -p 1 -n \"" + target + "\" pelboSetup.exe");
  EXPECT_EQ(captureOutput("uninstaller.exe --list").find("Sorvane_pelbo"), std::string::npos);

  nextLogon();
  EXPECT_FALSE(dirExists(target)) << "left: " << listDir(target).size() << " entries";
  EXPECT_FALSE(dirExists(root_.file("My Tools"))) << "the install made it";
  EXPECT_TRUE(dirExists(root_.path())) << "it was there before";
  EXPECT_FALSE(regReadString(HKEY_LOCAL_MACHINE, kRunOnceKey, "Sorvane_pelbo").has_value());
  EXPECT_TRUE(fileExists(joinPath(dest, "saved.lzh"))) << "the user's archive is not the program's";
}

// The user's own file keeps the folder; the cache record is written where the
// system keeps one, and a cancelled question touches nothing.
TEST_F(Installer, UninstallKeepsTheUsersFilesAndHonoursCancel) {
  startSetup({"/r"});
  EXPECT_EQ(finalBox("エラー"), "インストールされていません。");
  ASSERT_TRUE(proc_.waitExit());

  ASSERT_TRUE(regWriteDword(HKEY_LOCAL_MACHINE, std::string(kCacheKey) + "\\Other", "Changed", 0));
  install(false, false);
  EXPECT_TRUE(existingLinks().empty());
  auto rec = regReadBinary(HKEY_LOCAL_MACHINE, std::string(kCacheKey) + "\\Sorvane_pelbo", "SlowInfoCache");
  ASSERT_TRUE(rec);
  ASSERT_EQ(rec->size(), 552u);
  EXPECT_EQ(rec->substr(0, 8), std::string("\x28\x02\0\0\x01\0\0\0", 8));
  EXPECT_EQ(rec->substr(24, 4), std::string(4, '\xFF'));
  ASSERT_TRUE(writeFile(joinPath(target, "my notes.txt"), "mine"));

  const std::string installed = joinPath(target, "pelboSetup.exe");
  startSetup({"/r"}, installed);
  HWND ask = waitMessageBox("確認", proc_.pid());
  ASSERT_TRUE(ask);
  ASSERT_TRUE(answerMessageBox(ask, "キャンセル"));
  ASSERT_TRUE(proc_.waitExit());
  for (const char* f : kInstalledFiles) EXPECT_TRUE(fileExists(joinPath(target, f))) << f;
  EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

  startSetup({"/r"}, installed);
  confirmUninstall(proc_.pid());
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, std::string(kCacheKey) + "\\Sorvane_pelbo"));
  EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, std::string(kCacheKey) + "\\Other"));
  regDeleteKey(HKEY_LOCAL_MACHINE, kCacheKey);
  nextLogon();
  EXPECT_EQ(listDir(target), (std::vector<std::string>{"my notes.txt"}));
}

// ---------------------------------------------------------------- refusals

TEST_F(Installer, RefusesToInstallOverTheSameVersion) {
  const std::string old = root_.file("old");
  ASSERT_TRUE(makeDirs(old));
  ASSERT_TRUE(copyFile(joinPath(release, "pelbo.exe"), joinPath(old, "pelbo.exe")));
  ASSERT_TRUE(regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", old));
  startSetup();
  EXPECT_EQ(finalBox("確認"), "最新バージョンがインストールされています。");
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(listDir(old), (std::vector<std::string>{"pelbo.exe"}));
  EXPECT_EQ(regValueNames(HKEY_LOCAL_MACHINE, kUninstallKey), (std::vector<std::string>{"InstallLocation"}));
  EXPECT_FALSE(fileExists(joinPath(windowsDir(), "Lazerase.exe")));
}

// An older installation is updated in its own folder without asking for the folder or
// the shortcuts; older files are replaced, newer ones (the user's own help) kept.
TEST_F(Installer, UpdateOverAnOlderVersionKeepsFolderAndShortcutChoice) {
  ASSERT_TRUE(makeDirs(target));
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pv_ver104.exe"), joinPath(target, "pelbo.exe")));
  ASSERT_TRUE(writeFile(joinPath(target, "pelbo.hlp"), "newer help"));
  FILETIME old{}, now{};
  SYSTEMTIME st{2020, 1, 0, 1, 12, 0, 0, 0};
  SystemTimeToFileTime(&st, &old);
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER hourAhead{{now.dwLowDateTime, now.dwHighDateTime}};
  hourAhead.QuadPart += 36000000000ull;  // newer than the release's files
  const FILETIME later{hourAhead.LowPart, hourAhead.HighPart};
  ASSERT_TRUE(stampFile(joinPath(target, "pelbo.exe"), old));
  ASSERT_TRUE(stampFile(joinPath(target, "pelbo.hlp"), later));
  ASSERT_TRUE(regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", target));
  ASSERT_TRUE(regWriteDword(HKEY_LOCAL_MACHINE, kUninstallKey, "ShortCut", 2));

  startSetup();
  press(dialog("概要/著作権"), "次へ");
  EXPECT_EQ(finalBox("情報"), "インストールが終了しました。") << "no folder or shortcut dialog on an update";
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(readFile(joinPath(target, "pelbo.exe")), readFile(joinPath(release, "pelbo.exe")));
  EXPECT_EQ(readFile(joinPath(target, "pelbo.hlp")), std::optional<std::string>("newer help"));
  EXPECT_EQ(regReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "ShortCut"), 2u);
  EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Pomvault");
  EXPECT_TRUE(existingLinks().empty()) << "an update makes no shortcuts";
}

// On the second fixed drive (the Windows drive has room too) the copy starts, and
// stops at the missing file.
TEST_F(Installer, MissingHelpContentsStopsBeforeAnythingIsRegistered) {
  ASSERT_TRUE(deleteFile(joinPath(release, "pelbo.cnt")));
  const std::string onD = "D:\\pvinst\\pelbo";
  throughFolderDialog(onD);
  EXPECT_EQ(finalBox("エラー"), "ファイルがコピーできません。");
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(listDir(onD), (std::vector<std::string>{"pelbo.exe", "pelbo.hlp", "pelboSetup.exe"}));
  removeTree("D:\\pvinst");
  EXPECT_FALSE(regReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName").has_value());
  EXPECT_TRUE(existingLinks().empty());
}

TEST_F(Installer, WithoutRightsOnTheMachineKeysInstallsUnregistered) {
  ASSERT_TRUE(lockKey(kUninstallKey));
  install(true, false);
  for (const char* f : kInstalledFiles) EXPECT_TRUE(fileExists(joinPath(target, f))) << f;
  EXPECT_EQ(existingLinks().size(), 1u);
  EXPECT_TRUE(regValueNames(HKEY_LOCAL_MACHINE, kUninstallKey).empty());
}

TEST_F(Installer, RefusesADriveWithoutSpace) {
  // A drive letter that names no disk has no free space.
  std::string folder;
  for (char d = 'Q'; d <= 'Y' && folder.empty(); ++d)
    if (GetDriveTypeA((std::string(1, d) + ":\\").c_str()) == DRIVE_NO_ROOT_DIR) folder = std::string(1, d) + ":\\pelbo";
  ASSERT_FALSE(folder.empty());
  throughFolderDialog(folder);
  EXPECT_EQ(finalBox("エラー"), "ディスクの空き領域が足りません");
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_FALSE(fileExists(joinPath(windowsDir(), "Lazerase.exe")));
}

TEST_F(Installer, CancelAtEachDialogLeavesNothing) {
  // Started from another folder, the installer still shows the notice beside it.
  proc_ = startProcess(joinPath(release, "pelboSetup.exe"), {}, root_.path());
  ASSERT_TRUE(proc_) << lastError();
  HWND view = dialog("概要/著作権");
  ASSERT_TRUE(view);
  HWND memo = findChild(view, "Edit");
  const std::string notice = readFile(joinPath(release, "pelbo.txt")).value_or("");
  ASSERT_GT(notice.size(), 10u);
  EXPECT_TRUE(waitUntil([&] { return getText(memo).compare(0, 10, notice, 0, 10) == 0; })) << getText(memo);
  press(view, "中止");
  ASSERT_TRUE(proc_.waitExit());

  startSetup();
  press(dialog("概要/著作権"), "次へ");
  HWND dir = dialog("インストール準備");
  ASSERT_TRUE(dir);
  ASSERT_TRUE(setText(findChild(dir, "Edit"), target));
  press(dir, "中止");
  ASSERT_TRUE(proc_.waitExit());

  EXPECT_FALSE(dirExists(target));
  EXPECT_FALSE(fileExists(joinPath(windowsDir(), "Lazerase.exe")));
  EXPECT_TRUE(regValueNames(HKEY_LOCAL_MACHINE, kUninstallKey).empty());
  EXPECT_TRUE(existingLinks().empty());
}

// ---------------------------------------------------------------- folders refused

// A folder that is not a full path, and the folders an installation must not go
// to, are refused before anything is created, copied or recorded.
TEST_F(Installer, RefusesRelativeAndSystemFolders) {
  const std::string reserved =
      "このフォルダにはインストールできません。\r\n"
      "Windows のフォルダ、システムのフォルダと\r\nセットアップのあるフォルダ以外を指定してください。";
  const std::pair<std::string, std::string> cases[] = {
      {"C:pelbo", "フォルダが作成できませんでした。"},
      {"pelbo", "フォルダが作成できませんでした。"},
      {windowsDir(), reserved},
      {systemProgram(""), reserved},
      {release + "\\", reserved},
  };
  for (const auto& [folder, text] : cases) {
    throughFolderDialog(folder);
    EXPECT_EQ(finalBox("エラー"), text) << folder;
    ASSERT_TRUE(proc_.waitExit()) << folder;
  }
  EXPECT_FALSE(fileExists(joinPath(windowsDir(), "Lazerase.exe")));
  EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// A path too long to create leaves none of the folders it began to make.
TEST_F(Installer, FolderThatCannotBeMadeLeavesNoFolder) {
  std::string deep = root_.file("deep");
  while (deep.size() < 281) deep += "\\folder";
  throughFolderDialog(deep);
  EXPECT_EQ(finalBox("エラー"), "フォルダが作成できませんでした。");
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_FALSE(dirExists(root_.file("deep")));
}

// ---------------------------------------------------------------- what is removed

// Installed again after an uninstall, before the next logon: the deleter the uninstall
// left for the folder must not take the new installer.
TEST_F(Installer, ReinstallBeforeTheNextLogonStaysWhole) {
  install(false, false);
  uninstall();
  ASSERT_TRUE(regReadString(HKEY_LOCAL_MACHINE, kRunOnceKey, "Sorvane_pelbo").has_value());
  install(false, false);
  EXPECT_FALSE(regReadString(HKEY_LOCAL_MACHINE, kRunOnceKey, "Sorvane_pelbo").has_value());
  nextLogon();
  for (const char* f : kInstalledFiles) EXPECT_TRUE(fileExists(joinPath(target, f))) << f;

  uninstall();
  nextLogon();
  EXPECT_FALSE(dirExists(target));
  EXPECT_FALSE(dirExists(root_.file("My Tools"))) << "made by the first install, taken over by the second";
}

// The folders the install made go at the next logon after the uninstall, deepest
// first; a parent that was there before stays, with what it holds.
TEST_F(Installer, UninstallRemovesTheFoldersItMade) {
  const std::string before = "D:\\pvinst-before";
  removeTree(before);
  ASSERT_TRUE(makeDirs(before) && writeFile(joinPath(before, "other.txt"), "x")) << lastError();
  target = before + "\\My Backup Tools\\表\\pelbo";
  install(false, false);
  uninstall();
  EXPECT_EQ(regReadString(HKEY_LOCAL_MACHINE, kRunOnceKey, "Sorvane_pelbo"),
            "Lazerase -p 2 -n \"" + target + "\" pelboSetup.exe");
  nextLogon();
  EXPECT_FALSE(dirExists(before + "\\My Backup Tools"));
  EXPECT_EQ(listDir(before), std::vector<std::string>{"other.txt"});
  removeTree(before);
}

// Another program's unlha32.dll in the folder is kept by the install and by the
// uninstall; copies from a read-only release are not read-only and all go.
TEST_F(Installer, ForeignLibraryStaysAndReadOnlyCopiesGo) {
  ASSERT_TRUE(makeDirs(target));
  ASSERT_TRUE(copyFile(joinPath(release, "unlha32.dll"), joinPath(target, "unlha32.dll")));
  for (const char* f : kReleaseFiles) ASSERT_TRUE(SetFileAttributesA(joinPath(release, f).c_str(), FILE_ATTRIBUTE_READONLY));
  install(false, false);
  for (const char* f : kReleaseFiles) SetFileAttributesA(joinPath(release, f).c_str(), FILE_ATTRIBUTE_NORMAL);
  for (const char* f : kInstalledFiles) EXPECT_FALSE(readOnly(joinPath(target, f))) << f;
  EXPECT_FALSE(readOnly(joinPath(windowsDir(), "Lazerase.exe")));

  uninstall();  // its closing box names nothing left behind
  nextLogon();
  EXPECT_EQ(listDir(target), (std::vector<std::string>{"unlha32.dll"}));
}

// A file of ours that cannot be removed (held open by another program) is named in
// the closing box, not passed over as removed.
TEST_F(Installer, UninstallNamesWhatItCouldNotRemove) {
  install(false, false);
  HANDLE held = CreateFileA(joinPath(target, "pelbo.hlp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  startSetup({"/r"}, joinPath(target, "pelboSetup.exe"));
  HWND ask = waitMessageBox("確認", proc_.pid());
  ASSERT_TRUE(ask);
  ASSERT_TRUE(answerMessageBox(ask, "OK"));
  const std::string text = finalBox("情報");
  CloseHandle(held);
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(text.rfind("アンインストールが終了しました。", 0), 0u) << text;
  EXPECT_NE(text.find("pelbo.hlp"), std::string::npos) << text;
  EXPECT_EQ(text.find("pelbo.exe"), std::string::npos) << text;
}

// A network drive tells its free space: it is shown, and the install goes ahead.
TEST_F(Installer, InstallsToANetworkDrive) {
  ASSERT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_REMOTE));
  target = "E:\\pvnet\\pelbo";
  startSetup();
  press(dialog("概要/著作権"), "次へ");
  HWND dir = dialog("インストール準備");
  ASSERT_TRUE(dir);
  ASSERT_TRUE(setText(findChild(dir, "Edit"), target));
  HWND free = findChildByIndex(dir, "Static", 4);  // the free space
  EXPECT_TRUE(waitUntil([&] { return getText(free).find("0.00 M") == std::string::npos; }, 5000)) << getText(free);
  press(dir, "次へ");
  press(dialog("ショートカット設定"), "次へ");
  EXPECT_EQ(finalBox("情報"), "インストールが終了しました。");
  ASSERT_TRUE(proc_.waitExit());
  for (const char* f : kInstalledFiles) EXPECT_TRUE(fileExists(joinPath(target, f))) << f;
  removeTree("E:\\pvnet");
}

// ---------------------------------------------------------------- what is replaced

// An update replaces an older program whose date is newer (by its version), and a
// copy broken off by a full disk that carries the release's date (by its size).
TEST_F(Installer, UpdateReplacesAnOlderProgramAndABrokenCopy) {
  ASSERT_TRUE(makeDirs(target));
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pv_ver104.exe"), joinPath(target, "pelbo.exe")));
  FILETIME later{};
  GetSystemTimeAsFileTime(&later);
  later.dwHighDateTime += 100;  // some days ahead
  ASSERT_TRUE(stampFile(joinPath(target, "pelbo.exe"), later));
  const std::string setup = readFile(joinPath(release, "pelboSetup.exe")).value_or("");
  ASSERT_TRUE(writeFile(joinPath(target, "pelboSetup.exe"), setup.substr(0, setup.size() / 2)));
  ASSERT_TRUE(stampFile(joinPath(target, "pelboSetup.exe"), lastWrite(joinPath(release, "pelboSetup.exe"))));
  ASSERT_TRUE(regWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", target));

  startSetup();
  press(dialog("概要/著作権"), "次へ");
  EXPECT_EQ(finalBox("情報"), "インストールが終了しました。");
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(readFile(joinPath(target, "pelbo.exe")), readFile(joinPath(release, "pelbo.exe")));
  EXPECT_EQ(readFile(joinPath(target, "pelboSetup.exe")), std::optional<std::string>(setup));
  EXPECT_FALSE(fileExists(joinPath(target, "~pv.tmp")));
}

// ---------------------------------------------------------------- keyboard

// Esc leaves the viewer; then a whole installation by keys alone: Tab to a button and
// Space presses it, Space ticks a check box, Enter presses the default button.
TEST_F(Installer, WalkedWithTheKeyboard) {
  startSetup();
  HWND view = dialog("概要/著作権");
  ASSERT_TRUE(view);
  key(view, VK_ESCAPE);
  ASSERT_TRUE(proc_.waitExit()) << "Esc is the viewer's 中止";

  startSetup();
  view = dialog("概要/著作権");
  ASSERT_TRUE(view);
  key(view, VK_TAB);
  ASSERT_TRUE(focusOn(view, "次へ")) << getText(focusIn(view));
  key(view, VK_SPACE);

  HWND dir = dialog("インストール準備");
  ASSERT_TRUE(dir);
  ASSERT_TRUE(waitUntil([&] { return focusIn(dir) == findChild(dir, "Edit"); }, 5000));
  ASSERT_TRUE(setText(focusIn(dir), target));
  key(dir, VK_TAB);
  ASSERT_TRUE(focusOn(dir, "検索..."));
  key(dir, VK_TAB);
  ASSERT_TRUE(focusOn(dir, "次へ"));
  key(dir, VK_SPACE);

  HWND cut = dialog("ショートカット設定");
  ASSERT_TRUE(cut);
  ASSERT_TRUE(focusOn(cut, "スタートメニューに登録"));
  key(cut, VK_SPACE);
  EXPECT_TRUE(waitUntil([&] { return isChecked(findChild(cut, "Button", "スタートメニューに登録")); }, 5000));
  key(cut, VK_TAB);
  ASSERT_TRUE(focusOn(cut, "デスクトップに作成"));
  key(cut, VK_RETURN);
  EXPECT_EQ(finalBox("情報"), "インストールが終了しました。");
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(existingLinks(), (std::vector<std::string>{joinPath(specialFolder(CSIDL_COMMON_PROGRAMS), "Pomvault.lnk")}));
}

}  // namespace
