// Restore and archive test from the definitions list's context menu, end to end: the
// real pelbo.exe with our unlha32.dll beside it, driven with the mouse and with the
// keyboard, and the restored files compared with what was backed up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/deffile.h"
#include "core/sjis.h"
#include "core/textlines.h"
#include "driver.h"

using namespace pv::test;

namespace {

std::string shotDir() {
  std::string dir = joinPath(binDir(), "shots");
  makeDirs(dir);
  return dir;
}

// Every file below a folder, as relative path -> bytes (folders as "name\").
void collect(const std::string& root, const std::string& rel, std::vector<std::pair<std::string, std::string>>& out) {
  for (const std::string& name : listDir(rel.empty() ? root : joinPath(root, rel))) {
    const std::string r = rel.empty() ? name : rel + "\\" + name;
    if (dirExists(joinPath(root, r))) {
      out.emplace_back(r + "\\", "");
      collect(root, r, out);
    } else {
      out.emplace_back(r, readFile(joinPath(root, r)).value_or("<unreadable>"));
    }
  }
}
std::vector<std::pair<std::string, std::string>> tree(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> out;
  collect(root, "", out);
  return out;
}

FILETIME writeTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d);
  return d.ftLastWriteTime;
}
bool setWriteTime(const std::string& path, LONGLONG secondsFromNow) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart += secondsFromNow * 10000000LL;
  FILETIME ft{t.LowPart, t.HighPart};
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  return ok;
}

enum class How { Mouse, ShiftF10, MenuKey };

class Restore : public ::testing::Test {
 protected:
  void SetUp() override {
    app = root_.file("app");
    base = root_.file("src");
    dest = root_.file("dest");
    for (const auto& d : {app, base, dest}) ASSERT_TRUE(makeDirs(d)) << lastError();
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.exe"), joinPath(app, "pelbo.exe"))) << lastError();
    if (withLibrary_) { ASSERT_TRUE(copyFile(joinPath(binDir(), "unlha32.dll"), joinPath(app, "unlha32.dll"))); }
    regDeleteKey(HKEY_CURRENT_USER, "Software\\Sorvane");
    moveCursor({1200, 1000});
  }

  void TearDown() override {
    if (proc_) {
      closeWindow(main_);
      if (!proc_.waitExit(kShortTimeout)) proc_.kill();
    }
  }

  void put(const std::string& rel, const std::string& data) {
    const std::string p = joinPath(base, rel);
    makeDirs(p.substr(0, pv::sjis::findLast(p, '\\')));
    ASSERT_TRUE(writeFile(p, data)) << lastError();
  }

  void start(const pv::TBuckup& rec) {
    std::vector<std::string> lines;
    pv::deffile::appendLines(lines, "src", rec);
    ASSERT_TRUE(writeFile(joinPath(app, "pelbo.dat"), pv::joinLines(lines)));
    proc_ = startProcess(joinPath(app, "pelbo.exe"), {}, app);
    ASSERT_TRUE(proc_) << lastError();
    main_ = proc_.waitWindow("", "Pomvault");
    ASSERT_TRUE(main_) << dumpWindows(proc_.pid());
    list_ = findChild(main_, "ListBox");
    status_ = findStatusBar(main_);
    ASSERT_TRUE(list_ && status_) << dumpTree(main_);
    ASSERT_TRUE(settle(main_));
  }

  pv::TBuckup def(std::vector<std::string> files) {
    pv::TBuckup b;
    b.DestDir = dest;
    b.ArcName = "save";
    b.BaseDir = base + "\\";
    b.FileList = std::move(files);
    return b;
  }
  std::string archive() const { return joinPath(dest, "save.lzh"); }

  // The library beside the test, for archives made or damaged on purpose.
  static int unlha(const std::string& line) {
    using Command = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
    static HMODULE dll = LoadLibraryA(joinPath(binDir(), "unlha32.dll").c_str());
    auto command = dll ? reinterpret_cast<Command>(reinterpret_cast<void*>(GetProcAddress(dll, "Unlha"))) : nullptr;
    return command ? command(nullptr, (line + " --quiet").c_str(), nullptr, 0) : -1;
  }

  void backup() {
    ASSERT_TRUE(clickListItem(list_, 0));
    ASSERT_TRUE(pressToolbarButton(findToolbar(main_), "Backup")) << lastError();
    ASSERT_TRUE(waitUntil([&] { return fileExists(archive()) && statusText(status_).empty(); }, 60000));
    ASSERT_TRUE(settle(main_));
  }

  // Opens the list's context menu on the first definition and picks an item.
  void menu(How how, const std::string& item, const std::string& shot = "") {
    HWND popup = nullptr;
    if (how == How::Mouse) {
      RECT r = listItemRect(list_, 0);
      ASSERT_TRUE(realRightClick(clientToScreen(list_, {r.left + 20, (r.top + r.bottom) / 2})));
    } else {
      ASSERT_TRUE(clickListItem(list_, 0));
      ASSERT_TRUE(activate(main_));
      ASSERT_TRUE(realKeys(how == How::ShiftF10 ? std::vector<UINT>{VK_SHIFT, VK_F10} : std::vector<UINT>{VK_APPS}));
    }
    ASSERT_TRUE(waitUntil([&] { return (popup = findPopupMenu(proc_.pid())) != nullptr; }, kShortTimeout))
        << dumpWindows(proc_.pid());
    EXPECT_EQ(listSelected(list_), 0) << "the menu acts on the entry it was opened on";
    // The menu takes keys once its own loop runs, a moment after it shows.
    sleepMs(300);
    if (!shot.empty()) {
      EXPECT_TRUE(saveScreenshot(joinPath(shotDir(), shot))) << lastError();
    }
    if (how == How::Mouse) {
      ASSERT_TRUE(clickPopupMenuItem(popup, item == "復元..." ? 0 : 1, 2)) << lastError();
    } else {
      for (int i = item == "復元..." ? 1 : 2; i > 0; --i) {
        ASSERT_TRUE(realKeys({VK_DOWN}));
        sleepMs(100);
      }
      ASSERT_TRUE(realKeys({VK_RETURN}));
    }
    ASSERT_TRUE(waitWindowGone(popup));
  }

  // The file dialog: checks the preselected name, or types a path; OK.
  void pickArchive(const std::string& title, const std::string& expectName, const std::string& typePath = "") {
    HWND dlg = waitDialog(title, proc_.pid());
    ASSERT_TRUE(dlg) << dumpWindows(proc_.pid());
    ASSERT_TRUE(settle(dlg));
    HWND nameBox = findChildById(dlg, 0x47C);
    HWND nameEdit = nameBox ? findChild(nameBox, "Edit") : findChildById(dlg, 0x480);
    ASSERT_TRUE(nameEdit) << dumpTree(dlg);
    if (!expectName.empty()) { EXPECT_EQ(getText(nameEdit), expectName); }
    if (!typePath.empty()) { ASSERT_TRUE(setText(nameEdit, typePath)); }
    ASSERT_TRUE(click(button(dlg, IDOK)));
    ASSERT_TRUE(waitWindowGone(dlg));
  }

  // The folder dialog: OK on the proposal, or on the folder that follows it in the
  // tree (moved to with the arrow key, as a user would).
  void pickTarget(bool next = false, const std::string& shot = "") {
    HWND box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
      for (HWND h : topWindows(WindowMatch{"#32770", "", proc_.pid(), true}))
        if (findChild(h, "Static", "復元先のフォルダの選択")) box = h;
      return box != nullptr;
    })) << dumpWindows(proc_.pid());
    ASSERT_TRUE(settle(box));
    if (next) {
      HWND tree = findChild(box, "SysTreeView32");
      ASSERT_TRUE(tree) << dumpTree(box);
      ASSERT_TRUE(pressKey(tree, VK_DOWN));
      ASSERT_TRUE(settle(box));
    }
    if (!shot.empty()) {
      sleepMs(300);
      EXPECT_TRUE(saveScreenshot(joinPath(shotDir(), shot)));
    }
    ASSERT_TRUE(click(button(box, IDOK)));
    ASSERT_TRUE(waitWindowGone(box));
  }

  // Our box: its text, answered with the given button.
  std::string answer(const std::string& button, const std::string& shot = "") {
    HWND box = waitMessageBox("Pomvault", proc_.pid(), 60000);
    EXPECT_TRUE(box) << dumpWindows(proc_.pid());
    if (!box) return "";
    EXPECT_EQ(ownerWindow(box), main_);
    settle(box);
    if (!shot.empty()) {
      sleepMs(200);
      EXPECT_TRUE(saveScreenshot(joinPath(shotDir(), shot)));
    }
    const std::string text = messageBoxText(box);
    EXPECT_TRUE(answerMessageBox(box, button)) << text;
    settle(main_);
    return text;
  }

  static HWND button(HWND dialog, int id) {
    for (HWND b : children(dialog, "Button"))
      if (controlId(b) == id) return b;
    return nullptr;
  }

  static std::string counts(int restored, int kept, int not_) {
    return "復元したファイル: " + std::to_string(restored) + " 件\r\nそのまま残したファイル: " + std::to_string(kept) +
           " 件\r\n復元しなかったファイル: " + std::to_string(not_) + " 件";
  }

  // Closes a window of another process and waits for that process to end, since it
  // holds handles the test runner waits on; one that will not end is ended.
  static bool closeShellWindow(HWND hwnd) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, windowPid(hwnd));
    if (!process) return false;
    closeWindow(hwnd);
    const bool ended = WaitForSingleObject(process, kTimeout) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process, 1);
    CloseHandle(process);
    return ended;
  }

  std::string app, base, dest;
  bool withLibrary_ = true;
  Process proc_;
  HWND main_ = nullptr, list_ = nullptr, status_ = nullptr;

 private:
  TempDir root_{"pvrs"};
};

// A tree with Japanese names (表, ソ and 能 end in 0x5C) backed up, then restored with
// the mouse into the new folder proposed beside the archive: byte for byte, times too.
TEST_F(Restore, ABackupComesBackWholeIntoANewFolder) {
  put("表\\ソース.txt", "表ソ能\r\n");
  std::string bin;
  for (int i = 0; i < 70000; ++i) bin += static_cast<char>((i * 7919) >> 3);
  put("能力\\深い\\データ.bin", bin);
  put("能力\\空.txt", "");
  put("a.txt", "a");
  start(def({"表\\", "能力\\", "a.txt"}));
  backup();

  menu(How::Mouse, "復元...", "restore-menu.png");
  pickArchive("復元する書庫の選択", "save.lzh");
  pickTarget(false, "restore-folder.png");
  const std::string text = answer("OK", "restore-done.png");
  const std::string target = joinPath(dest, "save");
  EXPECT_EQ(text, "復元しました。\r\n\r\n" + counts(4, 0, 0) + "\r\n\r\n書庫:\r\n" + archive() + "\r\n復元先:\r\n" + target);
  EXPECT_EQ(tree(target), tree(base));
  const std::string deep = "能力\\深い\\データ.bin";
  const FILETIME restoredTime = writeTime(joinPath(target, deep)), originalTime = writeTime(joinPath(base, deep));
  EXPECT_EQ(CompareFileTime(&restoredTime, &originalTime), 0);
  // As a backup with "open after" opens its archive, the restored folder opens in the
  // shell's browser (another process, closed again here).
  HWND shell = waitWindow(WindowMatch{"", "save", 0, true});
  ASSERT_TRUE(shell) << dumpWindows(0);
  EXPECT_NE(windowPid(shell), proc_.pid());
  EXPECT_TRUE(closeShellWindow(shell));
}

// Shift+F10 and the original folder as the target: the newer local file is kept, the
// others come back; the folder proposed and not taken is gone again.
TEST_F(Restore, OverTheOriginalANewerLocalFileIsKept) {
  put("a.txt", "a as backed up");
  put("sub\\b.txt", "b as backed up");
  put("c.txt", "c as backed up");
  start(def({"a.txt", "sub\\", "c.txt"}));
  backup();
  put("a.txt", "a edited later");
  ASSERT_TRUE(setWriteTime(joinPath(base, "a.txt"), 3600));
  ASSERT_TRUE(deleteFile(joinPath(base, "sub\\b.txt")));
  put("c.txt", "c older");
  ASSERT_TRUE(setWriteTime(joinPath(base, "c.txt"), -86400));

  menu(How::ShiftF10, "復元...", "restore-menu-keyboard.png");
  pickArchive("復元する書庫の選択", "save.lzh");
  pickTarget(true);  // src follows dest, which holds the proposal
  const std::string question = answer("はい", "restore-question.png");
  EXPECT_EQ(question.rfind("復元先のフォルダには、すでにファイルがあります。\r\n" + base + "\r\n", 0), 0u) << question;
  const std::string text = answer("OK");
  EXPECT_EQ(text.rfind("復元しました。\r\n\r\n" + counts(2, 1, 0), 0), 0u) << text;
  EXPECT_EQ(readFile(joinPath(base, "a.txt")).value_or(""), "a edited later");
  EXPECT_EQ(readFile(joinPath(base, "sub\\b.txt")).value_or(""), "b as backed up");
  EXPECT_EQ(readFile(joinPath(base, "c.txt")).value_or(""), "c as backed up");
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"save.lzh"}) << "the unused proposal stays behind";
  // The restored folder opens in the shell's browser; left open, it would lie over
  // the next test's window on this display.
  HWND shell = waitWindow(WindowMatch{"", "src", 0, true});
  ASSERT_TRUE(shell) << dumpWindows(0);
  EXPECT_TRUE(closeShellWindow(shell));
}

// The Menu key and the test command: a sound archive, then one whose last member's
// data was damaged. The library's own box comes first, then ours names the member.
// Restored, the damaged archive gives back what is sound.
TEST_F(Restore, TheTestCommandOnASoundAndADamagedArchive) {
  std::string text1, text2;
  for (int i = 0; i < 300; ++i) text1 += "line " + std::to_string(i) + " of the first file\r\n";
  for (int i = 0; i < 300; ++i) text2 += "row " + std::to_string(i * 3) + " of the 表 file\r\n";
  put("one.txt", text1);
  put("表.txt", text2);
  ASSERT_EQ(unlha("a \"" + archive() + "\" \"" + base + "\\\" one.txt 表.txt"), 0);
  std::string bytes = readFile(archive()).value_or("");
  ASSERT_GT(bytes.size(), 100u);
  const std::string damaged = joinPath(dest, "damaged.lzh");
  bytes[bytes.size() - 20] = static_cast<char>(bytes[bytes.size() - 20] ^ 0x55);
  ASSERT_TRUE(writeFile(damaged, bytes));
  start(def({"one.txt"}));

  menu(How::MenuKey, "書庫の検査");
  pickArchive("検査する書庫の選択", "save.lzh");
  const std::string sound = answer("OK");
  EXPECT_EQ(sound, "書庫に誤りはありません。\r\n" + archive() + "\r\n\r\n2 個のファイルに誤りはありません。");

  menu(How::MenuKey, "書庫の検査");
  pickArchive("検査する書庫の選択", "", damaged);
  HWND libBox = waitMessageBox("unlha32.dll", proc_.pid());
  ASSERT_TRUE(libBox) << dumpWindows(proc_.pid());
  EXPECT_EQ(ownerWindow(libBox), main_);
  ASSERT_TRUE(answerMessageBox(libBox, IDOK));
  const std::string bad = answer("OK", "test-damaged.png");
  EXPECT_EQ(bad, "書庫に誤りが見つかりました。\r\n" + damaged +
                     "\r\n\r\n最初に誤りが見つかったファイル:\r\n表.txt\r\n(CRC が一致しません。データが壊れています。)");

  // Restoring it gives back the sound member and counts the damaged one, which
  // leaves no file behind.
  menu(How::MenuKey, "復元...");
  pickArchive("復元する書庫の選択", "", damaged);
  pickTarget();
  libBox = waitMessageBox("unlha32.dll", proc_.pid());
  ASSERT_TRUE(libBox) << dumpWindows(proc_.pid());
  ASSERT_TRUE(answerMessageBox(libBox, IDOK));
  const std::string partly = answer("OK");
  EXPECT_EQ(partly.rfind("復元できなかったファイルがあります。\r\n\r\n" + counts(1, 0, 1) + "\r\n\r\n", 0), 0u) << partly;
  EXPECT_EQ(tree(joinPath(dest, "damaged")), (std::vector<std::pair<std::string, std::string>>{{"one.txt", text1}}));
}

// A cancel while files are written: the file being replaced and those not reached
// stay as they were, nothing half-written is left, and the box counts what the run
// never reached as not restored.
TEST_F(Restore, ACancelLeavesTheTargetsFilesAsTheyWere) {
  const int n = 1500;
  std::string rsp;
  for (int i = 0; i < n; ++i) {
    const std::string name = "many\\" + std::to_string(10000 + i) + ".txt";
    put(name, "file " + std::to_string(i) + "\r\n");
    rsp += "\"" + name + "\"\r\n";
  }
  put("z_last.txt", "as backed up");
  rsp += "\"z_last.txt\"\r\n";
  const std::string list = joinPath(dest, "names.rsp");
  ASSERT_TRUE(writeFile(list, rsp));
  ASSERT_EQ(unlha("a -r0 \"" + archive() + "\" \"" + base + "\\\" \"@" + list + "\""), 0);
  ASSERT_TRUE(deleteFile(list));
  const std::string target = joinPath(dest, "target");
  ASSERT_TRUE(makeDirs(target));
  ASSERT_TRUE(writeFile(joinPath(target, "z_last.txt"), "older local copy"));
  ASSERT_TRUE(setWriteTime(joinPath(target, "z_last.txt"), -86400 * 30));
  ASSERT_TRUE(writeFile(joinPath(target, "keep.txt"), "not in the archive"));
  start(def({"z_last.txt"}));

  menu(How::Mouse, "復元...");
  pickArchive("復元する書庫の選択", "save.lzh");
  pickTarget(true);  // target follows the proposal save
  const std::string question = answer("いいえ");  // replace whatever the times
  EXPECT_NE(question.find("\r\n" + target + "\r\n"), std::string::npos) << question;
  HWND progress = waitWindow(WindowMatch{"PvUnlhaProgress", "", proc_.pid(), true});
  ASSERT_TRUE(progress) << dumpWindows(proc_.pid());
  ASSERT_TRUE(click(findChild(progress, "Button", "キャンセル")));
  const std::string text = answer("OK", "restore-cancelled.png");

  const std::vector<std::string> written = listDir(joinPath(target, "many"));
  EXPECT_LT(written.size(), static_cast<size_t>(n)) << "the cancel came too late to tell anything";
  EXPECT_EQ(text.rfind("復元を中止しました。\r\n\r\n" +
                           counts(static_cast<int>(written.size()), 0, n + 1 - static_cast<int>(written.size())), 0),
            0u)
      << text;
  EXPECT_EQ(readFile(joinPath(target, "z_last.txt")).value_or(""), "older local copy");
  EXPECT_EQ(readFile(joinPath(target, "keep.txt")).value_or(""), "not in the archive");
  for (const std::string& f : written) EXPECT_EQ(f.rfind("pvx", 0), std::string::npos) << "left behind: " << f;
  for (const std::string& f : listDir(target)) EXPECT_EQ(f.rfind("pvx", 0), std::string::npos) << "left behind: " << f;
  sleepMs(1000);
  EXPECT_FALSE(findWindow(WindowMatch{"", "target", 0, true})) << "a stopped restore opens nothing";
}

class RestoreWithoutLibrary : public Restore {
 protected:
  RestoreWithoutLibrary() { withLibrary_ = false; }
};

TEST_F(RestoreWithoutLibrary, SaysSoBeforeAnyDialog) {
  start(def({"a.txt"}));
  for (const char* item : {"復元...", "書庫の検査"}) {
    menu(How::Mouse, item);
    HWND box = waitMessageBox("エラー", proc_.pid());
    ASSERT_TRUE(box) << dumpWindows(proc_.pid());
    EXPECT_EQ(messageBoxText(box).rfind("書庫を扱うライブラリ (unlha32.dll) が見つかりません。", 0), 0u)
        << messageBoxText(box);
    ASSERT_TRUE(answerMessageBox(box, IDOK));
    settle(main_);
  }
}

}  // namespace
