// The Backup button end to end: the real pelbo.exe with our unlha32.dll beside it,
// a definitions file written for each test, and the archive read back afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/deffile.h"
#include "core/sjis.h"
#include "driver.h"
#include "lzh/archive.h"

using namespace pv::test;

namespace {

struct Def {
  std::string name = "bk";
  pv::TBuckup rec;
};

// One member of an archive: path and data.
struct Entry {
  std::string path;
  std::string data;
  bool operator==(const Entry& o) const { return path == o.path && data == o.data; }
};
std::ostream& operator<<(std::ostream& os, const Entry& e) { return os << e.path << " (" << e.data.size() << " bytes)"; }

std::string today() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  char buf[16];
  wsprintfA(buf, "%04u.%02u.%02u", st.wYear, st.wMonth, st.wDay);
  return buf;
}

class BackupRun : public ::testing::Test {
 protected:
  void SetUp() override {
    app = root_.file("app");
    base = root_.file("src") + "\\";
    dest = root_.file("dest");
    tmp = root_.file("tmp") + "\\";
    for (const auto& d : {app, base, dest, tmp}) ASSERT_TRUE(makeDirs(d)) << lastError();
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.exe"), joinPath(app, "pelbo.exe"))) << lastError();
    if (!library_.empty()) {
      ASSERT_TRUE(copyFile(joinPath(binDir(), library_), joinPath(app, "unlha32.dll"))) << lastError();
    }
    // A fresh placement, and the mouse away from the window so no hint covers the status text.
    regDeleteKey(HKEY_CURRENT_USER, "Software\\Sorvane");
    moveCursor({1200, 1000});
  }

  void TearDown() override {
    if (proc_) {
      closeWindow(main_);
      if (!proc_.waitExit(kShortTimeout)) proc_.kill();
    }
  }

  // A definition with the usual folders: BaseDir src\, DestDir dest.
  pv::TBuckup def(const std::string& arcName, std::int32_t flags, std::vector<std::string> files,
                  std::vector<std::string> excl = {}, std::vector<std::string> del = {}) {
    pv::TBuckup b;
    b.DestDir = dest;
    b.ArcName = arcName;
    b.Flags = flags;
    b.BaseDir = base;
    b.FileList = std::move(files);
    b.ExclExts = std::move(excl);
    b.DelExts = std::move(del);
    return b;
  }

  void put(const std::string& rel, const std::string& data) {
    std::string path = base + rel;
    makeDirs(path.substr(0, pv::sjis::findLast(path, '\\')));
    ASSERT_TRUE(writeFile(path, data)) << lastError();
  }
  bool has(const std::string& rel) const { return fileExists(base + rel); }

  // Writes pelbo.dat and starts the program with its temporary folder in tmp\.
  void start(const std::vector<Def>& defs) {
    std::vector<std::string> lines;
    for (const auto& d : defs) pv::deffile::appendLines(lines, d.name, d.rec);
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    ASSERT_TRUE(writeFile(joinPath(app, "pelbo.dat"), text));

    std::string oldTmp = env("TMP"), oldTemp = env("TEMP");
    SetEnvironmentVariableA("TMP", programTemp_.empty() ? tmp.c_str() : programTemp_.c_str());
    SetEnvironmentVariableA("TEMP", programTemp_.empty() ? tmp.c_str() : programTemp_.c_str());
    proc_ = startProcess(joinPath(app, "pelbo.exe"), {}, app);
    SetEnvironmentVariableA("TMP", oldTmp.c_str());
    SetEnvironmentVariableA("TEMP", oldTemp.c_str());
    ASSERT_TRUE(proc_) << lastError();
    main_ = proc_.waitWindow("", "Pomvault");
    ASSERT_TRUE(main_) << dumpWindows(proc_.pid());
    list_ = findChild(main_, "ListBox");
    toolbar_ = findToolbar(main_);
    status_ = findStatusBar(main_);
    ASSERT_TRUE(list_ && toolbar_ && status_) << dumpTree(main_);
    ASSERT_EQ(listCount(list_), static_cast<int>(defs.size()));
  }

  // Selects a definition and presses Backup; the run may still be going on return.
  void press(int index) {
    ASSERT_TRUE(clickListItem(list_, index)) << lastError();
    ASSERT_TRUE(waitUntil([&] {
      int i = toolbarFind(toolbar_, "Backup");
      auto b = toolbarButton(toolbar_, i);
      return b && b->enabled();
    })) << "Backup stays disabled";
    ASSERT_TRUE(pressToolbarButton(toolbar_, "Backup")) << lastError();
  }

  // The run has ended: status text cleared, response file gone, window answering.
  void waitDone(DWORD timeoutMs = 60000) {
    ASSERT_TRUE(waitUntil([&] { return statusText(status_).empty() && !fileExists(responseFile()); }, timeoutMs))
        << "status: " << statusText(status_) << "\n" << dumpWindows(proc_.pid());
    ASSERT_TRUE(settle(main_));
    ASSERT_TRUE(statusText(status_).empty());
  }

  void run(int index = 0) {
    press(index);
    waitDone();
  }

  std::string responseFile() const { return tmp + "pelbo.tmp"; }
  std::string archive(const std::string& name) const { return joinPath(dest, name + ".lzh"); }

  // The file members of an archive (folder entries left out), sorted by path.
  static std::vector<Entry> members(const std::string& path) {
    std::vector<Entry> out;
    auto bytes = readFile(path);
    if (!bytes) {
      ADD_FAILURE() << "no archive " << path;
      return out;
    }
    pv::lzh::MemorySource src(bytes->data(), bytes->size());
    std::vector<pv::lzh::Member> ms;
    pv::lzh::Status st = pv::lzh::readArchive(src, ms);
    EXPECT_TRUE(st.ok()) << pv::lzh::errorName(st.error) << " " << st.detail;
    for (const auto& m : ms) {
      if (m.isDirectory()) continue;
      Entry e{m.path, {}};
      pv::lzh::Status x = pv::lzh::extractMember(src, m, [&](const std::uint8_t* p, std::size_t n) {
        e.data.append(reinterpret_cast<const char*>(p), n);
        return true;
      });
      EXPECT_TRUE(x.ok()) << m.path << ": " << pv::lzh::errorName(x.error);
      out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
    expectRestored(path, out);
    return out;
  }

  // A backup is only as good as its restore: our own library gives every file back.
  static void expectRestored(const std::string& archive, const std::vector<Entry>& files) {
    using Command = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);
    static HMODULE dll = LoadLibraryA(joinPath(binDir(), "unlha32.dll").c_str());
    auto command = dll ? reinterpret_cast<Command>(reinterpret_cast<void*>(GetProcAddress(dll, "Unlha"))) : nullptr;
    ASSERT_NE(command, nullptr) << "unlha32.dll beside the test";
    TempDir to("pvrs");
    char text[4096] = {};
    const std::string line = "x \"" + archive + "\" \"" + to.path() + "\\\" --quiet";
    ASSERT_EQ(command(nullptr, line.c_str(), text, sizeof text), 0) << text;
    for (const Entry& e : files) EXPECT_EQ(readFile(to.file(e.path)).value_or("<missing>"), e.data) << e.path;
  }

  static std::string env(const char* name) {
    char buf[MAX_PATH * 2] = {};
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
  }

  std::string app, base, dest, tmp;
  std::string library_ = "unlha32.dll";  // copied beside pelbo.exe as unlha32.dll
  std::string programTemp_;               // the program's temporary folder, when not tmp
  Process proc_;
  HWND main_ = nullptr, list_ = nullptr, toolbar_ = nullptr, status_ = nullptr;

 private:
  TempDir root_{"pvbk"};
};

// ---------------------------------------------------------------- archive contents

TEST_F(BackupRun, FolderWalkDeletesExcludesAndKeepsTopLevelFiles) {
  put("proj\\a.c", "int a;\r\n");
  put("proj\\A.BAK", "old");
  put("proj\\sub\\b.obj", "obj");
  put("proj\\表\\ソ.c", "sjis");
  put("proj\\empty\\.keep.obj", "");
  put("readme.bak", "read me");
  Def d;
  d.rec = def("src\\d", 0, {"proj\\", "readme.bak"}, {".bak"}, {".obj"});
  start({d});
  run();

  const std::string name = archive("src" + today());
  ASSERT_TRUE(fileExists(name)) << "files in dest: " << listDir(dest).size();
  EXPECT_EQ(members(name), (std::vector<Entry>{{"proj\\a.c", "int a;\r\n"},
                                                {"proj\\表\\ソ.c", "sjis"},
                                                {"readme.bak", "read me"}}));
  EXPECT_FALSE(has("proj\\sub\\b.obj")) << "deletion pattern";
  EXPECT_FALSE(has("proj\\empty\\.keep.obj"));
  EXPECT_TRUE(has("proj\\A.BAK")) << "excluded files stay on the disk";
  EXPECT_TRUE(listDir(tmp).empty()) << "the response file is removed";
}

TEST_F(BackupRun, SecondRunUpdatesAndAlwaysNewStartsOver) {
  put("p\\one.txt", "1");
  Def upd, fresh;
  upd.name = "upd";
  upd.rec = def("upd", 0, {"p\\"});
  fresh.name = "fresh";
  fresh.rec = def("fresh", 1, {"p\\"});
  start({upd, fresh});
  run(0);
  run(1);

  // one.txt leaves the tree, two.txt comes: the update keeps the old member.
  ASSERT_TRUE(deleteFile(base + "p\\one.txt"));
  put("p\\two.txt", "22");
  run(0);
  EXPECT_EQ(members(archive("upd")), (std::vector<Entry>{{"p\\one.txt", "1"}, {"p\\two.txt", "22"}}));
  run(1);
  EXPECT_EQ(members(archive("fresh")), (std::vector<Entry>{{"p\\two.txt", "22"}}));
}

TEST_F(BackupRun, ArchiveNamedAfterTheVersionFile) {
  const std::string verFile = joinPath(app, "pv_recorder.exe");
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pv_recorder.exe"), verFile));
  put("x.txt", "x");
  Def withVer, without;
  withVer.rec = def("app\\f_\\p", 0, {"x.txt"});
  withVer.rec.VerFile = verFile;
  without.name = "nover";
  without.rec = def("plain\\f\\p", 0, {"x.txt"});
  start({withVer, without});
  run(0);
  run(1);
  EXPECT_EQ(listDir(dest), (std::vector<std::string>{"app3.1.4.1_2.71.lzh", "plain.lzh"}));
}

// ---------------------------------------------------------------- the run keeps old archives

TEST_F(BackupRun, AlwaysNewWithNothingToArchiveKeepsTheOldArchiveAndSaysSo) {
  put("empty\\gone.obj", "x");
  ASSERT_TRUE(writeFile(archive("keep"), "the only backup"));
  Def empty, noBase, noName;
  empty.rec = def("keep", 1, {"empty\\", "missing\\"}, {}, {".obj"});
  noBase.name = "nobase";
  noBase.rec = def("keep", 1, {"a.txt"});
  noBase.rec.BaseDir = base + "unplugged\\";
  noName.name = "noname";
  noName.rec = def("", 1, {"a.txt"});
  start({empty, noBase, noName});
  const std::pair<int, std::string> cases[] = {
      {0, "「ベース」のフォルダの下にバックアップするファイルが見つかりませんでした。\r\n" + base},
      {1, "「ベース」のフォルダが見つかりません。\r\n" + base + "unplugged\\"},
      {2, "「ファイル名」が指定されていません。"},
  };
  for (const auto& [index, text] : cases) {
    press(index);
    HWND box = waitMessageBox("エラー", proc_.pid());
    ASSERT_TRUE(box) << index << "\n" << dumpWindows(proc_.pid());
    EXPECT_EQ(messageBoxText(box).rfind(text, 0), 0u) << messageBoxText(box);
    EXPECT_EQ(ownerWindow(box), main_);
    const bool ran = index < 2;  // the last one ends before any status text (the hint stays)
    if (ran) {
      EXPECT_EQ(statusText(status_), "") << "the box comes after the run's texts";
    }
    ASSERT_TRUE(answerMessageBox(box, IDOK));
    if (ran) waitDone();
    ASSERT_TRUE(settle(main_));
  }
  EXPECT_EQ(readFile(archive("keep")).value_or(""), "the only backup");
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"});
  EXPECT_FALSE(has("empty\\gone.obj")) << "the walk still deletes";
  EXPECT_TRUE(listDir(tmp).empty());
}

// Names that are one file to Windows give one member; what a killed run left in the
// backup folder is gone after the next one.
TEST_F(BackupRun, TrailingDotNamesAreOneMemberAndStaleTemporaryFilesGo) {
  put("a.txt", "a");
  ASSERT_TRUE(writeFile(joinPath(dest, "pvl3F2A.tmp"), std::string(300000, 'k')));
  Def d;
  d.rec = def("dots", 0, {"a.txt", "a.txt.", "a.txt "});
  start({d});
  run();
  EXPECT_EQ(members(archive("dots")), (std::vector<Entry>{{"a.txt", "a"}}));
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"dots.lzh"});
}

// A file another program holds without sharing: the rest is backed up, the library's
// box names the file, the status says the backup has gaps, and an "always new" archive
// that no longer parses is made anew.
TEST_F(BackupRun, ALockedFileIsNamedAndTheOthersAreStored) {
  put("p\\a.txt", "a");
  put("p\\locked.txt", "busy");
  put("p\\b.txt", "b");
  ASSERT_TRUE(writeFile(archive("gaps"), "old archive"));
  Def d;
  d.rec = def("gaps", 1, {"p\\"});
  start({d});
  HANDLE lock = CreateFileA((base + "p\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  press(0);
  HWND box = waitMessageBox("unlha32.dll", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  const std::string text = messageBoxText(box);
  EXPECT_NE(text.find(base + "p\\locked.txt (ほかのプログラムが使用中です。)"), std::string::npos) << text;
  EXPECT_EQ(ownerWindow(box), main_);
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  CloseHandle(lock);
  const std::string gaps = "バックアップしましたが、読み込めなかったファイルがあります。";
  ASSERT_TRUE(waitUntil([&] { return statusText(status_) == gaps && !fileExists(responseFile()); }))
      << statusText(status_);
  EXPECT_EQ(members(archive("gaps")), (std::vector<Entry>{{"p\\a.txt", "a"}, {"p\\b.txt", "b"}}));
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"gaps.lzh"});
}

// "Always new" with a file that cannot be read: the old archive may hold its only
// copy, so that member stays while the rest is made anew, and the box says so of the
// archive it names.
TEST_F(BackupRun, AlwaysNewKeepsTheEarlierCopyOfAFileItCannotRead) {
  put("p\\a.txt", "a1");
  put("p\\locked.txt", "earlier");
  put("p\\gone.txt", "g");
  Def d;
  d.rec = def("keep", 1, {"p\\"});
  start({d});
  run();
  ASSERT_TRUE(deleteFile(base + "p\\gone.txt"));
  put("p\\a.txt", "a2");
  put("p\\locked.txt", "later");
  HANDLE lock = CreateFileA((base + "p\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  press(0);
  HWND box = waitMessageBox("unlha32.dll", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  const std::string text = messageBoxText(box);
  EXPECT_EQ(text.rfind("書庫を更新しましたが、読み込めなかったファイルがあります。\r\n" + archive("keep") + "\r\n", 0), 0u)
      << text;
  EXPECT_NE(text.find("以前の内容のまま残しています"), std::string::npos) << text;
  EXPECT_NE(text.find(base + "p\\locked.txt (ほかのプログラムが使用中です。)"), std::string::npos) << text;
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  CloseHandle(lock);
  ASSERT_TRUE(waitUntil([&] { return !statusText(status_).empty() && !fileExists(responseFile()); }));
  EXPECT_EQ(members(archive("keep")), (std::vector<Entry>{{"p\\a.txt", "a2"}, {"p\\locked.txt", "earlier"}}));
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"});
}

// "Always new" that cannot make the archive: a read-only one is refused as an update
// would be, a failure on the way leaves it in place while the box says it is unchanged.
TEST_F(BackupRun, AlwaysNewLeavesTheOldArchiveInPlaceWhenItMakesNone) {
  put("a.txt", "a");
  put("huge.bin", "small for now");
  Def d;
  d.rec = def("keep", 1, {"a.txt", "huge.bin"});
  start({d});
  run();
  const std::string old = readFile(archive("keep")).value_or("");
  ASSERT_FALSE(old.empty());
  put("a.txt", "changed");
  auto expectBox = [&](const std::string& first) {
    press(0);
    HWND box = waitMessageBox("unlha32.dll", proc_.pid());
    ASSERT_TRUE(box) << dumpWindows(proc_.pid());
    const std::string text = messageBoxText(box);
    EXPECT_EQ(text.rfind(first, 0), 0u) << text;
    EXPECT_NE(text.find("書庫は元のまま変更されていません。"), std::string::npos) << text;
    EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"}) << "while the box is open";
    ASSERT_TRUE(answerMessageBox(box, IDOK));
    waitDone();
    EXPECT_EQ(readFile(archive("keep")).value_or(""), old);
    EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"});
  };

  ASSERT_TRUE(SetFileAttributesA(archive("keep").c_str(), FILE_ATTRIBUTE_READONLY));
  expectBox("書庫が読み取り専用のため更新できません。");
  EXPECT_TRUE(GetFileAttributesA(archive("keep").c_str()) & FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(SetFileAttributesA(archive("keep").c_str(), FILE_ATTRIBUTE_NORMAL));

  // A file of 4 GiB (sparse: it takes no room) fails the run before anything is written.
  HANDLE h = CreateFileA((base + "huge.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 4LL << 30;
  EXPECT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
  CloseHandle(h);
  expectBox("ファイルが大きすぎます。");
}

class BackupWithoutLibrary : public BackupRun {
 protected:
  BackupWithoutLibrary() { library_.clear(); }
};

TEST_F(BackupWithoutLibrary, ErrorBoxAndNothingTouched) {
  put("p\\a.obj", "keep me");
  put("p\\a.c", "c");
  ASSERT_TRUE(writeFile(archive("nolib"), "old archive"));
  Def d;
  d.rec = def("nolib", 1, {"p\\"}, {}, {".obj"});
  start({d});
  press(0);

  HWND box = waitMessageBox("エラー", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  MessageBoxInfo info = readMessageBox(box);
  EXPECT_EQ(info.text, "unlha32.dll が見つかりません。バックアップできませんでした。");
  EXPECT_EQ(info.buttons, (std::vector<std::string>{"OK"}));
  EXPECT_EQ(ownerWindow(box), main_);
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  ASSERT_TRUE(settle(main_));

  EXPECT_TRUE(has("p\\a.obj"));
  EXPECT_EQ(readFile(archive("nolib")).value_or(""), "old archive");
  EXPECT_TRUE(listDir(tmp).empty());
}

// A library that answers a command but has no version entry is not "missing".
class BackupWithoutVersion : public BackupRun {
 protected:
  BackupWithoutVersion() { library_ = "testlibs\\bare\\unlha32.dll"; }
};

TEST_F(BackupWithoutVersion, TheBoxSaysWhatIsWrong) {
  put("a.txt", "a");
  Def d;
  d.rec = def("nover", 0, {"a.txt"});
  start({d});
  press(0);
  HWND box = waitMessageBox("エラー", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  EXPECT_NE(messageBoxText(box).find("UnlhaGetVersion がありません"), std::string::npos) << messageBoxText(box);
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  EXPECT_TRUE(listDir(dest).empty());
}

// ---------------------------------------------------------------- what reaches the library

// With a stand-in library that keeps the command line and a copy of the response file.
class BackupCapture : public BackupRun {
 protected:
  BackupCapture() { library_ = "capture\\unlha32.dll"; }
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    std::string text = readFile(joinPath(app, "capture.log")).value_or("");
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
      lines.push_back(text.substr(at, end - at));
    return lines;
  }
};

TEST_F(BackupCapture, CommandLineResponseFileAndWait) {
  put("proj\\a.c", "a");
  put("proj\\sub\\b.txt", "b");
  put("proj\\x.obj", "x");
  put("readme.bak", "r");
  ASSERT_TRUE(writeFile(archive("cap"), "old"));
  Def d;
  d.rec = def("cap", 1, {"proj\\", "readme.bak"}, {".bak"}, {".obj"});
  start({d});
  run();

  std::vector<std::string> lines = log();
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
  // Busy twice: the run polls until the library is free, half a second apart.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(lines[i].rfind("GetRunning ", 0), 0u) << lines[i];
  unsigned long first = std::stoul(lines[0].substr(11)), last = std::stoul(lines[2].substr(11));
  EXPECT_GE(last - first, 900u);
  EXPECT_EQ(lines[3], "Command owner=1 cmd=u -r2 -x1 -jm2 -a1 -t1 \"" + archive("cap") + "\" \"" + base + "\" \"@" + tmp +
                          "pelbo.tmp\"");
  EXPECT_EQ(lines[4], "archive-exists=0") << "always-new deletes the old archive before the command";

  // The response file: quoted names relative to BaseDir, CR LF after each, in the
  // order the folders were read (which the file system decides).
  std::string rsp = readFile(joinPath(app, "capture.rsp")).value_or("");
  std::vector<std::string> names;
  for (std::size_t at = 0, end; (end = rsp.find("\r\n", at)) != std::string::npos; at = end + 2)
    names.push_back(rsp.substr(at, end - at));
  std::string rejoined;
  for (const auto& n : names) rejoined += n + "\r\n";
  EXPECT_EQ(rejoined, rsp) << "every line ends with CR LF";
  ASSERT_EQ(names.size(), 3u) << rsp;
  std::sort(names.begin(), names.begin() + 2);
  EXPECT_EQ(names, (std::vector<std::string>{"\"proj\\a.c\"", "\"proj\\sub\\b.txt\"", "\"readme.bak\""}));
  EXPECT_TRUE(listDir(tmp).empty());
}

TEST_F(BackupCapture, ResponseFileThatCannotBeCreated) {
  programTemp_ = tmp + "missing\\";
  put("a.txt", "a");
  ASSERT_TRUE(writeFile(archive("keep"), "old"));
  Def d;
  d.rec = def("keep", 1, {"a.txt"});
  start({d});
  press(0);

  HWND box = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  EXPECT_EQ(messageBoxText(box), "ファイル " + programTemp_ + "pelbo.tmp を作成できません");
  EXPECT_EQ(statusText(status_), "") << "status text is put back before the box";
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  ASSERT_TRUE(settle(main_));

  EXPECT_TRUE(log().empty()) << "the library is not called";
  EXPECT_EQ(readFile(archive("keep")).value_or(""), "old") << "nor is the old archive deleted";
}

// "Always new" when the library fails: the old archive comes back byte for byte, also
// after a crash that left it moved aside.
TEST_F(BackupCapture, AlwaysNewPutsTheOldArchiveBackWhenNoneIsMade) {
  put("a.txt", "a");
  const std::string old = "the only backup\r\n" + std::string(5000, '\x95');
  ASSERT_TRUE(writeFile(archive("keep"), old));
  ASSERT_TRUE(writeFile(joinPath(app, "capture.write"), "half-written"));
  Def d;
  d.rec = def("keep", 1 | 2, {"a.txt"});
  start({d});
  for (const char* result : {"32778", "32790"}) {  // a refused name, a cancel
    ASSERT_TRUE(writeFile(joinPath(app, "capture.result"), result));
    run();
    EXPECT_EQ(readFile(archive("keep")).value_or(""), old) << result;
    EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"}) << result;
  }
  EXPECT_EQ(log().back(), "archive-exists=0") << "the old archive is out of the way while the library works";

  // A run that died with the old archive moved aside: the next one puts it back first.
  ASSERT_TRUE(deleteFile(archive("keep")));
  ASSERT_TRUE(writeFile(archive("keep") + ".pvold", old));
  run();
  EXPECT_EQ(readFile(archive("keep")).value_or(""), old);
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"});

  // Our warning code from another library means nothing known: the old archive stays.
  ASSERT_TRUE(writeFile(joinPath(app, "capture.result"), "32797"));
  ASSERT_TRUE(writeFile(joinPath(app, "capture.write"), "new archive"));
  run();
  EXPECT_EQ(readFile(archive("keep")).value_or(""), old);
  EXPECT_EQ(listDir(dest), std::vector<std::string>{"keep.lzh"});
}

// Without a GetRunning entry the library cannot say it is busy: the run does not wait.
class BackupWithoutGetRunning : public BackupCapture {
 protected:
  BackupWithoutGetRunning() { library_ = "capture-norunning\\unlha32.dll"; }
};

TEST_F(BackupWithoutGetRunning, TheRunGoesAheadAtOnce) {
  put("a.txt", "a");
  Def d;
  d.rec = def("norun", 0, {"a.txt"});
  start({d});
  run();
  const std::vector<std::string> lines = log();
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0].rfind("Command ", 0), 0u) << lines[0];
}

// ---------------------------------------------------------------- opening the archive

class BackupOpen : public BackupRun {
 protected:
  void SetUp() override {
    BackupRun::SetUp();
    if (HasFatalFailure()) return;
    recorder_ = joinPath(app, "pv_recorder.exe");
    log_ = joinPath(app, "opened.log");
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pv_recorder.exe"), recorder_));
    // The shell of this prefix reads associations from HKEY_CLASSES_ROOT only.
    ASSERT_TRUE(regWriteString(HKEY_CLASSES_ROOT, ".lzh", "", "PvTestLzh"));
    ASSERT_TRUE(regWriteString(HKEY_CLASSES_ROOT, "PvTestLzh\\shell\\open\\command", "",
                               "\"" + recorder_ + "\" \"" + log_ + "\" \"%1\""));
  }
  void TearDown() override {
    BackupRun::TearDown();
    regDeleteKey(HKEY_CLASSES_ROOT, "PvTestLzh");
    regDeleteKey(HKEY_CLASSES_ROOT, ".lzh");
  }
  std::string recorder_, log_;
};

TEST_F(BackupOpen, OpensTheNewArchiveOnlyOnSuccess) {
  put("a.txt", "a");
  Def ok, broken, quiet;
  ok.name = "ok";
  ok.rec = def("opened", 2, {"a.txt"});
  broken.name = "broken";
  broken.rec = def("never", 2, {"a.txt"});
  broken.rec.DestDir = joinPath(dest, "missing");
  quiet.name = "quiet";
  quiet.rec = def("quiet", 0, {"a.txt"});
  start({ok, broken, quiet});

  run(0);
  ASSERT_TRUE(waitUntil([&] { return fileExists(log_); })) << "nothing opened";
  std::string opened = readFile(log_).value_or("");
  EXPECT_NE(opened.find("\"" + archive("opened") + "\""), std::string::npos) << opened;

  // The library cannot write into a missing folder: it says so in its own box.
  press(1);
  HWND box = waitMessageBox("unlha32.dll", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  EXPECT_EQ(ownerWindow(box), main_);
  ASSERT_TRUE(answerMessageBox(box, IDOK)) << messageBoxText(box);
  waitDone();
  run(2);
  sleepMs(1500);  // give a wrongly started program time to write
  EXPECT_EQ(readFile(log_).value_or(""), opened) << "opened after a failure or without the flag";
  EXPECT_FALSE(fileExists(archive("never")));
  EXPECT_TRUE(fileExists(archive("quiet")));
}

}  // namespace
