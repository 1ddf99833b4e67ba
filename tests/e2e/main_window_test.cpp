// The main program's window end to end: the real pelbo.exe copied into a fresh
// folder (its pelbo.dat lives there), the placement key removed before each test.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "core/deffile.h"
#include "core/textlines.h"
#include "driver.h"

using namespace pv::test;

namespace {

const char* const kRegKey = "Software\\Sorvane";
const char* const kPlacementKey = "Software\\Sorvane\\pelbo";

std::string definitions(const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  for (const auto& n : names) {
    pv::TBuckup b;
    b.DestDir = "D:\\" + n;
    b.ArcName = n + "\\d";
    b.Flags = 1;
    b.BaseDir = "C:\\表\\" + n + "\\";  // 表 ends in 0x5C
    b.FileList = {"a\\", "b.txt"};
    b.ExclExts = {".bak"};
    pv::deffile::appendLines(lines, n, b);
  }
  return pv::joinLines(lines);
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.exe"), dir_.file("pelbo.exe"))) << lastError();
    regDeleteKey(HKEY_CURRENT_USER, kRegKey);
    moveCursor({1200, 1000});  // away from the window: no hint covers the status text
  }

  void TearDown() override {
    if (proc_ && proc_.running()) proc_.kill();
  }

  std::string dat() const { return dir_.file("pelbo.dat"); }
  void writeDat(const std::string& text) { ASSERT_TRUE(writeFile(dat(), text)) << lastError(); }

  // Starts the program and finds its controls; the window is on screen on return.
  void start() {
    proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
    ASSERT_TRUE(proc_) << lastError();
    waitMain();
  }

  void waitMain() {
    main_ = proc_.waitWindow("PvForm", "Pomvault");
    ASSERT_TRUE(main_) << dumpWindows(proc_.pid());
    list_ = findChild(main_, "ListBox");
    toolbar_ = findToolbar(main_);
    status_ = findStatusBar(main_);
    ASSERT_TRUE(list_ && toolbar_ && status_) << dumpTree(main_);
    ASSERT_TRUE(settle(main_));
  }

  // Closes the window; with a message box expected, answers it and waits for the end.
  void closeExpectingNoQuestion() {
    ASSERT_TRUE(closeWindow(main_));
    ASSERT_TRUE(proc_.waitExit()) << "still running; " << dumpWindows(proc_.pid());
    EXPECT_EQ(proc_.exitCode(), 0u);
  }

  // The question on closing with unsaved changes.
  HWND closeExpectingQuestion() {
    closeWindow(main_);
    HWND box = waitMessageBox("Pomvault", proc_.pid());
    EXPECT_TRUE(box) << dumpWindows(proc_.pid());
    if (box) {
      EXPECT_EQ(messageBoxText(box), "変更を保存しますか");
      // Modal to the main window: it takes no clicks meanwhile.
      EXPECT_FALSE(isEnabled(main_));
      EXPECT_EQ(ownerWindow(box), main_);
    }
    return box;
  }

  // The one-line input box: a second visible "Pomvault" form of the process.
  HWND waitInputBox() {
    HWND found = nullptr;
    waitUntil([&] {
      for (HWND w : topWindows({"PvForm", "Pomvault", proc_.pid(), true}))
        if (w != main_) found = w;
      return found != nullptr;
    });
    return found;
  }

  // Enters a name through the New button; Enter presses OK.
  void enterNewName(const std::string& name) {
    ASSERT_TRUE(pressToolbarButton(toolbar_, "新規")) << lastError();
    HWND box = waitInputBox();
    ASSERT_TRUE(box) << dumpWindows(proc_.pid());
    EXPECT_EQ(messageBoxText(box), "バックアップ名の入力");
    HWND edit = findChild(box, "Edit");
    ASSERT_TRUE(edit) << dumpTree(box);
    ASSERT_TRUE(setText(edit, name));
    ASSERT_TRUE(click(findChild(box, "Button", "OK"))) << dumpTree(box);
    ASSERT_TRUE(waitWindowGone(box));
  }

  void expectDuplicateError() {
    HWND err = waitMessageBox("エラー", proc_.pid());
    ASSERT_TRUE(err) << dumpWindows(proc_.pid());
    EXPECT_EQ(messageBoxText(err), "入力が重複しています。");
    EXPECT_EQ(messageBoxButtons(err).size(), 1u);
    ASSERT_TRUE(answerMessageBox(err, IDOK));
  }

  // A point inside the list below its last entry.
  POINT belowLastEntry() const {
    RECT last = listItemRect(list_, listCount(list_) - 1);
    RECT c = clientRect(list_);
    EXPECT_LT(last.bottom + 10, c.bottom) << "the list is too full to drop below its last entry";
    return POINT{(c.left + c.right) / 2, last.bottom + 10};
  }

  bool buttonEnabled(const std::string& caption) const {
    auto b = toolbarButton(toolbar_, toolbarFind(toolbar_, caption));
    return b && b->enabled();
  }

  TempDir dir_{"pvmain"};
  Process proc_;
  HWND main_ = nullptr, list_ = nullptr, toolbar_ = nullptr, status_ = nullptr;
};

TEST_F(MainWindow, SecondStartEndsAtOnceWithoutAWindow) {
  ASSERT_NO_FATAL_FAILURE(start());
  auto code = runProcess(dir_.file("pelbo.exe"), {}, dir_.path(), kTimeout);
  ASSERT_TRUE(code.has_value()) << "the second instance did not end";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(topWindows({"PvForm", "Pomvault", 0, true}).size(), 1u);
  EXPECT_TRUE(proc_.running());
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  // The mutex went with the first instance: a new start works.
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

TEST_F(MainWindow, PlacementStartsAtTopLeftAndSurvivesRestartButNotMaximised) {
  ASSERT_NO_FATAL_FAILURE(start());
  RECT r = windowRect(main_);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right - r.left, 418);
  EXPECT_EQ(r.bottom - r.top, 277);
  EXPECT_EQ(windowText(main_), "Pomvault");

  ASSERT_TRUE(SetWindowPos(main_, nullptr, 120, 80, 500, 350, SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(settle(main_));
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Top"), "80");
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Left"), "120");
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Height"), "350");
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Width"), "500");

  ASSERT_NO_FATAL_FAILURE(start());
  r = windowRect(main_);
  EXPECT_EQ(r.left, 120);
  EXPECT_EQ(r.top, 80);
  EXPECT_EQ(r.right - r.left, 500);
  EXPECT_EQ(r.bottom - r.top, 350);

  // Closing maximised keeps the placement of the last normal close.
  ASSERT_TRUE(sysCommand(main_, SC_MAXIMIZE));
  ASSERT_TRUE(waitUntil([&] { return isMaximized(main_); })) << "not maximised";
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Left"), "120");
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Width"), "500");

  // Values that are no numbers give the defaults.
  regWriteString(HKEY_CURRENT_USER, kPlacementKey, "Left", "x");
  regWriteString(HKEY_CURRENT_USER, kPlacementKey, "Width", "");
  ASSERT_NO_FATAL_FAILURE(start());
  r = windowRect(main_);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 80);
  EXPECT_EQ(r.right - r.left, 418);
  EXPECT_EQ(r.bottom - r.top, 350);
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

TEST_F(MainWindow, NewRejectsEmptyAndDuplicateNamesAndAppendsOthers) {
  writeDat(definitions({"abc", "x"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(listItems(list_), (std::vector<std::string>{"abc", "x"}));

  ASSERT_NO_FATAL_FAILURE(enterNewName("ABC"));
  ASSERT_NO_FATAL_FAILURE(expectDuplicateError());
  ASSERT_NO_FATAL_FAILURE(enterNewName(""));
  ASSERT_NO_FATAL_FAILURE(expectDuplicateError());
  EXPECT_EQ(listCount(list_), 2);

  // Cancel (Escape) adds nothing.
  ASSERT_TRUE(pressToolbarButton(toolbar_, "新規"));
  HWND box = waitInputBox();
  ASSERT_TRUE(box);
  HWND edit = findChild(box, "Edit");
  setText(edit, "zzz");
  pressEscape(edit);
  ASSERT_TRUE(waitWindowGone(box)) << "Escape did not close the input box";
  EXPECT_EQ(listCount(list_), 2);

  // A new name: appended, not selected, and a change that Save writes.
  ASSERT_NO_FATAL_FAILURE(enterNewName("新しい表"));
  EXPECT_EQ(listItems(list_), (std::vector<std::string>{"abc", "x", "新しい表"}));
  EXPECT_EQ(listSelected(list_), -1);
  ASSERT_TRUE(pressToolbarButton(toolbar_, "保存"));
  std::vector<std::string> lines = pv::splitLines(definitions({"abc", "x"}));
  pv::deffile::appendLines(lines, "新しい表", pv::TBuckup{});
  EXPECT_TRUE(waitUntil([&] { return readFile(dat()) == pv::joinLines(lines); })) << *readFile(dat());
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

TEST_F(MainWindow, SelectionButtonsFollowClicksAndDeletionIsSavedOnClose) {
  writeDat(definitions({"a", "b", "c"}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* b : {"削除", "Backup", "設定"}) EXPECT_FALSE(buttonEnabled(b)) << b;
  for (const char* b : {"閉じる", "新規", "保存", "About", "Help"}) EXPECT_TRUE(buttonEnabled(b)) << b;

  ASSERT_TRUE(clickListItem(list_, 1));
  ASSERT_TRUE(waitUntil([&] { return buttonEnabled("削除"); }));
  EXPECT_TRUE(buttonEnabled("Backup"));
  EXPECT_TRUE(buttonEnabled("設定"));

  ASSERT_TRUE(pressToolbarButton(toolbar_, "削除"));
  ASSERT_TRUE(waitUntil([&] { return listCount(list_) == 2; }));
  EXPECT_EQ(listItems(list_), (std::vector<std::string>{"a", "c"}));
  // The buttons stay enabled; with nothing selected they do nothing.
  EXPECT_TRUE(buttonEnabled("削除"));
  ASSERT_TRUE(pressToolbarButton(toolbar_, "削除"));
  EXPECT_EQ(listCount(list_), 2);

  // The deletion is a change: closing asks, and Yes writes the list without it.
  HWND box = closeExpectingQuestion();
  ASSERT_TRUE(box);
  ASSERT_TRUE(answerMessageBox(box, IDYES));
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(readFile(dat()), definitions({"a", "c"}));
}

TEST_F(MainWindow, DragBelowLastEntryMovesToTheEndAndClosingAsksToSave) {
  writeDat(definitions({"a", "b", "c"}));
  ASSERT_NO_FATAL_FAILURE(start());

  // Onto itself: nothing changes and nothing is to be saved.
  ASSERT_TRUE(dragListItem(list_, 1, 1)) << lastError();
  EXPECT_EQ(listItems(list_), (std::vector<std::string>{"a", "b", "c"}));

  ASSERT_TRUE(dragListItemToPoint(list_, 0, belowLastEntry())) << lastError();
  ASSERT_TRUE(waitUntil([&] { return listItem(list_, 2) == "a"; })) << listItem(list_, 2);
  EXPECT_EQ(listItems(list_), (std::vector<std::string>{"b", "c", "a"}));
  // The moved entry stays selected, and the buttons act on it.
  EXPECT_EQ(listSelected(list_), 2);
  EXPECT_TRUE(buttonEnabled("削除"));

  ASSERT_TRUE(dragListItem(list_, 2, 0)) << lastError();
  ASSERT_TRUE(waitUntil([&] { return listItem(list_, 0) == "a"; }));
  EXPECT_EQ(listItems(list_), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(listSelected(list_), 0);

  // Out of the list: no target.
  RECT lr = windowRect(list_);
  POINT outside{(lr.right - lr.left) / 2, -30};
  ASSERT_TRUE(dragListItemToPoint(list_, 0, outside)) << lastError();
  EXPECT_EQ(listItems(list_), (std::vector<std::string>{"a", "b", "c"}));

  const std::string before = *readFile(dat());
  HWND box = closeExpectingQuestion();
  ASSERT_TRUE(box);
  ASSERT_TRUE(answerMessageBox(box, IDNO));
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(readFile(dat()), before);
}

TEST_F(MainWindow, SaveWritesTheListInItsOrder) {
  writeDat(definitions({"a", "b", "c"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(dragListItemToPoint(list_, 0, belowLastEntry())) << lastError();
  ASSERT_TRUE(waitUntil([&] { return listItem(list_, 2) == "a"; }));
  ASSERT_TRUE(pressToolbarButton(toolbar_, "保存"));
  ASSERT_TRUE(waitUntil([&] { return readFile(dat()) == definitions({"b", "c", "a"}); }))
      << *readFile(dat());
  EXPECT_EQ(statusText(status_), "");
  // Saved: nothing to ask; and no leftovers beside the file.
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  EXPECT_EQ(listDir(dir_.path()), (std::vector<std::string>{"pelbo.dat", "pelbo.exe"}));
}

TEST_F(MainWindow, SavingOnCloseWritesTheFile) {
  writeDat(definitions({"a", "b"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(dragListItemToPoint(list_, 0, belowLastEntry())) << lastError();
  ASSERT_TRUE(waitUntil([&] { return listItem(list_, 1) == "a"; }));
  HWND box = closeExpectingQuestion();
  ASSERT_TRUE(box);
  ASSERT_TRUE(answerMessageBox(box, IDYES));
  ASSERT_TRUE(proc_.waitExit());
  EXPECT_EQ(readFile(dat()), definitions({"b", "a"}));
}

TEST_F(MainWindow, DamagedFileLoadsTheDefinitionsBeforeTheDamageAndSaysSo) {
  const std::string good = definitions({"one", "two"});
  const std::size_t two = pv::splitLines(definitions({"one"})).size();
  auto damaged = [&](std::size_t line, const std::string& replacement) {
    auto lines = pv::splitLines(definitions({"one", "two", "three"}));
    // Line numbers within "two": 0 name, 1 "{", 7 "{" of the files, 11 "{" of the
    // exclusions, 16 the closing "}".
    lines.at(two + line) = replacement;
    return pv::joinLines(lines);
  };
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> names;
    std::size_t stopLine;  // 1-based line reported; 0: read whole, no message
  };
  const std::vector<Case> cases = {
      {"no opening bracket", damaged(1, "{ "), {"one"}, two + 1},
      {"no file list bracket", damaged(7, ""), {"one"}, two + 1},
      {"exclusion list not opened", damaged(11, "}"), {"one"}, two + 1},
      {"no closing bracket", damaged(16, " }"), {"one"}, two + 1},
      {"a file named }", damaged(8, "}"), {"one"}, two + 1},
      {"last definition without its closing bracket", good.substr(0, good.size() - 3), {"one"}, two + 1},
      {"too few lines left", good + "three\r\n{\r\n\r\n", {"one", "two"}, 2 * two + 1},
      {"a blank first line", "\r\n" + good, {}, 1},
      {"empty lines after the end", good + "\r\n\r\n\r\n", {"one", "two"}, 0},
      {"LF line ends", [&] {
         std::string t;
         for (char c : good)
           if (c != '\r') t += c;
         return t;
       }(), {"one", "two"}, 0},
      {"an empty file", "", {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeDat(c.text);
    proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
    ASSERT_TRUE(proc_);
    if (c.stopLine) {
      HWND box = waitMessageBox("Pomvault", proc_.pid());
      ASSERT_TRUE(box) << dumpWindows(proc_.pid());
      EXPECT_EQ(messageBoxText(box), "定義ファイル " + dat() + " は " + std::to_string(c.stopLine) +
                                         " 行目から後を読み込めませんでした。\n読み込んだ定義は " +
                                         std::to_string(c.names.size()) + " 件です。\n保存するときは、元のファイルを " +
                                         dat() + ".bak として残します。");
      ASSERT_TRUE(answerMessageBox(box, IDOK));
    }
    ASSERT_NO_FATAL_FAILURE(waitMain());
    EXPECT_EQ(listItems(list_), c.names);
    EXPECT_FALSE(findMessageBox("", proc_.pid()));
    ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
    EXPECT_EQ(readFile(dat()), c.text) << "the file was written";
    EXPECT_FALSE(fileExists(dat() + ".bak"));
  }

  // The first save after a partial read keeps the whole original beside the file.
  const std::string original = damaged(8, "}");
  writeDat(original);
  proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
  ASSERT_TRUE(proc_);
  HWND box = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  ASSERT_NO_FATAL_FAILURE(waitMain());
  ASSERT_NO_FATAL_FAILURE(enterNewName("n"));
  ASSERT_TRUE(pressToolbarButton(toolbar_, "保存"));
  ASSERT_TRUE(settle(main_));
  EXPECT_EQ(readFile(dat() + ".bak"), original);
  auto lines = pv::splitLines(definitions({"one"}));
  pv::deffile::appendLines(lines, "n", pv::TBuckup{});
  EXPECT_EQ(readFile(dat()), pv::joinLines(lines));
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

// A file an editor saved as UTF-8 (with or without the byte-order mark) is read as it
// stands but said, and the first save keeps the original; a Shift-JIS one says nothing.
TEST_F(MainWindow, Utf8DefinitionsFileWarnsAndKeepsTheOriginal) {
  const std::string utf8Name = "\xE8\xA1\xA8\xE3\x82\xBD";  // 表ソ in UTF-8: also valid Shift-JIS bytes
  for (const std::string& bom : {std::string("\xEF\xBB\xBF"), std::string()}) {
    SCOPED_TRACE(bom.empty() ? "without a byte-order mark" : "with a byte-order mark");
    const std::string original = bom + utf8Name +
                                 "\r\n{\r\nD:\\bk\r\nx\\d\r\n\r\n1\r\nC:\\work\\\r\n{\r\na.txt\r\n}\r\n{\r\n}\r\n{\r\n}\r\n}\r\n";
    writeDat(original);
    deleteFile(dat() + ".bak");
    proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
    ASSERT_TRUE(proc_);
    HWND box = waitMessageBox("Pomvault", proc_.pid());
    ASSERT_TRUE(box) << dumpWindows(proc_.pid());
    EXPECT_EQ(messageBoxText(box).rfind("定義ファイル " + dat() + " は Shift-JIS ではなく UTF-8 で", 0), 0u)
        << messageBoxText(box);
    ASSERT_TRUE(answerMessageBox(box, IDOK));
    ASSERT_NO_FATAL_FAILURE(waitMain());
    EXPECT_EQ(listCount(list_), 1);
    ASSERT_NO_FATAL_FAILURE(enterNewName("n"));
    ASSERT_TRUE(pressToolbarButton(toolbar_, "保存"));
    ASSERT_TRUE(settle(main_));
    EXPECT_EQ(readFile(dat() + ".bak"), original);
    ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  }
  deleteFile(dat() + ".bak");
  writeDat(definitions({"表ソ能"}));
  proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
  ASSERT_TRUE(proc_);
  ASSERT_NO_FATAL_FAILURE(waitMain());
  EXPECT_EQ(listItems(list_), std::vector<std::string>{"表ソ能"});
  EXPECT_FALSE(findMessageBox("", proc_.pid()));
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

TEST_F(MainWindow, FlagsThatAreNoNumberShowTheErrorAndTheWindowStillOpens) {
  auto lines = pv::splitLines(definitions({"one", "two", "three"}));
  const std::size_t two = pv::splitLines(definitions({"one"})).size();
  ASSERT_EQ(lines.at(two + 5), "1");  // the Flags line of "two"
  lines[two + 5] = "1x";
  writeDat(pv::joinLines(lines));
  proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
  ASSERT_TRUE(proc_);
  HWND box = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  EXPECT_EQ(messageBoxText(box), "'1x' は整数ではありません");
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  // Then where reading stopped: at the definition with the bad line.
  box = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  EXPECT_NE(messageBoxText(box).find(" は " + std::to_string(two + 1) + " 行目から後を"), std::string::npos)
      << messageBoxText(box);
  ASSERT_TRUE(answerMessageBox(box, IDOK));
  ASSERT_NO_FATAL_FAILURE(waitMain());
  EXPECT_EQ(listItems(list_), std::vector<std::string>{"one"});
  // The rest of the start ran: hints work.
  ASSERT_TRUE(hoverToolbarButton(toolbar_, "新規"));
  EXPECT_TRUE(waitStatusText(status_, "新規のバックアップ定義を作成します。")) << statusText(status_);
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

// A save that cannot replace pelbo.dat (here: another program holds it open)
// reports the error, leaves the old file whole, and keeps the window open on closing.
TEST_F(MainWindow, FailedSaveKeepsTheOldFileAndTheWindow) {
  const std::string original = definitions({"a", "b"});
  writeDat(original);
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(dragListItemToPoint(list_, 0, belowLastEntry())) << lastError();
  ASSERT_TRUE(waitUntil([&] { return listItem(list_, 1) == "a"; }));

  HANDLE lock = CreateFileA(dat().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const std::string expected = "ファイル " + dat() + " を作成できません";

  ASSERT_TRUE(pressToolbarButton(toolbar_, "保存"));
  HWND err = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(err) << dumpWindows(proc_.pid());
  EXPECT_EQ(messageBoxText(err), expected);
  // The status text is gone before the box shows.
  EXPECT_EQ(statusText(status_), "");
  ASSERT_TRUE(answerMessageBox(err, IDOK));

  // Closing: the question, the same error, and the window stays.
  HWND ask = closeExpectingQuestion();
  ASSERT_TRUE(ask);
  ASSERT_TRUE(answerMessageBox(ask, IDYES));
  err = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(err) << dumpWindows(proc_.pid());
  EXPECT_EQ(messageBoxText(err), expected);
  ASSERT_TRUE(answerMessageBox(err, IDOK));
  ASSERT_TRUE(settle(main_));
  EXPECT_TRUE(proc_.running());
  EXPECT_TRUE(isVisible(main_));

  CloseHandle(lock);
  EXPECT_EQ(readFile(dat()), original);
  EXPECT_EQ(listDir(dir_.path()), (std::vector<std::string>{"pelbo.dat", "pelbo.exe"})) << "a temporary file stayed";

  // A read-only file is refused as Windows refuses to write it, and stays read-only.
  ASSERT_TRUE(SetFileAttributesA(dat().c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(pressToolbarButton(toolbar_, "保存"));
  err = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(err) << dumpWindows(proc_.pid());
  EXPECT_EQ(messageBoxText(err), expected);
  ASSERT_TRUE(answerMessageBox(err, IDOK));
  EXPECT_EQ(readFile(dat()), original);
  EXPECT_TRUE(GetFileAttributesA(dat().c_str()) & FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(SetFileAttributesA(dat().c_str(), FILE_ATTRIBUTE_NORMAL));

  // Once the file is free again, the changes are still there to be saved.
  ask = closeExpectingQuestion();
  ASSERT_TRUE(ask);
  ASSERT_TRUE(answerMessageBox(ask, IDYES));
  ASSERT_TRUE(proc_.waitExit()) << dumpWindows(proc_.pid());
  EXPECT_EQ(readFile(dat()), definitions({"b", "a"}));
}

// Logging off with unsaved changes asks as closing does; the answer decides, the
// question blocks the window, and the end of the session stores the placement.
TEST_F(MainWindow, LogOffAsksToSaveAndStoresThePlacement) {
  writeDat(definitions({"a", "b"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(dragListItemToPoint(list_, 0, belowLastEntry())) << lastError();
  ASSERT_TRUE(waitUntil([&] { return listItem(list_, 1) == "a"; }));

  ASSERT_TRUE(PostMessageA(main_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
  HWND box = waitMessageBox("Pomvault", proc_.pid());
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  EXPECT_EQ(messageBoxText(box), "変更を保存しますか");
  EXPECT_FALSE(isEnabled(main_));
  // A click on New meanwhile opens nothing.
  auto newBtn = toolbarButton(toolbar_, toolbarFind(toolbar_, "新規"));
  ASSERT_TRUE(newBtn);
  realClick(clientToScreen(toolbar_, {(newBtn->rect.left + newBtn->rect.right) / 2, newBtn->rect.bottom - 5}));
  settle(main_);
  EXPECT_EQ(topWindows({"PvForm", "Pomvault", proc_.pid(), true}).size(), 1u);
  ASSERT_TRUE(answerMessageBox(box, IDYES));
  ASSERT_TRUE(waitUntil([&] { return readFile(dat()) == definitions({"b", "a"}); })) << *readFile(dat());
  EXPECT_TRUE(isEnabled(main_));

  ASSERT_TRUE(SetWindowPos(main_, nullptr, 140, 90, 520, 330, SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(settle(main_));
  ASSERT_TRUE(PostMessageA(main_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF));
  ASSERT_TRUE(waitUntil([&] { return regReadString(HKEY_CURRENT_USER, kPlacementKey, "Left") == "140"; }));
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Top"), "90");
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Width"), "520");
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, kPlacementKey, "Height"), "330");
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());  // saved already
}

TEST_F(MainWindow, StoredPlacementOffEveryScreenOpensOnScreen) {
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  ASSERT_NO_FATAL_FAILURE(start());  // how high this window's title bar is drawn
  const int title = static_cast<int>(clientToScreen(main_, {0, 0}).y - windowRect(main_).top);
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  struct Case {
    const char* what;
    int left, top, width, height;
    RECT expected;
  };
  const std::vector<Case> cases = {
      {"beyond the bottom right", sw + 3000, sh + 2000, 500, 350, {sw - 500, sh - 350, sw, sh}},
      {"beyond the top left", -4000, -900, 500, 350, {0, 0, 500, 350}},
      {"larger than the screen", sw + 10, 0, sw * 2, sh * 2, {0, 0, sw, sh}},
      {"no size", 100, 50, 0, -5, {100, 50, 100 + 418, 50 + 277}},
      {"partly on screen stays", 30, 40, 500, 350, {30, 40, 530, 390}},
      {"title bar partly off the left edge", -100, 40, 500, 350, {0, 40, 500, 390}},
      // Shown only as a sliver, or with the title bar above the screen: moved the
      // least that puts the whole title bar on it.
      {"a sliver at the bottom right", sw - 10, sh - 10, 418, 277, {sw - 418, sh - title, sw, sh - title + 277}},
      {"title bar above the screen", 200, -250, 418, 277, {200, 0, 618, 277}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    regWriteString(HKEY_CURRENT_USER, kPlacementKey, "Left", std::to_string(c.left));
    regWriteString(HKEY_CURRENT_USER, kPlacementKey, "Top", std::to_string(c.top));
    regWriteString(HKEY_CURRENT_USER, kPlacementKey, "Width", std::to_string(c.width));
    regWriteString(HKEY_CURRENT_USER, kPlacementKey, "Height", std::to_string(c.height));
    ASSERT_NO_FATAL_FAILURE(start());
    RECT r = windowRect(main_);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
    ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
  }
}

// After the window is widened or narrowed, what is on screen is what a full
// repaint draws (no heading twice, no old size grip), and the toolbar stays whole.
TEST_F(MainWindow, ResizedWindowIsDrawnWholeAndKeepsTheToolbar) {
  writeDat(definitions({"a", "b"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(activate(main_));
  const std::string shots = joinPath(binDir(), "shots");
  makeDirs(shots);
  auto drawnWhole = [&](const std::string& name) {
    ASSERT_TRUE(settle(main_));
    sleepMs(300);
    const std::string before = joinPath(shots, name + ".png"), after = dir_.file("redrawn.png");
    ASSERT_TRUE(saveWindowShot(main_, before)) << lastError();
    RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    ASSERT_TRUE(settle(main_));
    sleepMs(300);
    ASSERT_TRUE(saveWindowShot(main_, after)) << lastError();
    EXPECT_TRUE(readFile(before) == readFile(after)) << name << ": the screen differs from a full repaint";
  };
  auto helpVisible = [&] {
    auto b = toolbarButton(toolbar_, toolbarFind(toolbar_, "Help"));
    return b && b->rect.right <= clientRect(toolbar_).right;
  };

  // In steps, as dragging the border does; the window keeps its minimum size.
  auto resizeTo = [&](int width) {
    const RECT r = windowRect(main_);
    const int from = r.right - r.left;
    for (int i = 1; i <= 5; ++i)
      SetWindowPos(main_, nullptr, 0, 0, from + (width - from) * i / 5, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
  };
  resizeTo(700);
  EXPECT_EQ(windowRect(main_).right - windowRect(main_).left, 700);
  ASSERT_NO_FATAL_FAILURE(drawnWhole("main-widened"));
  resizeTo(120);
  const int narrowest = windowRect(main_).right - windowRect(main_).left;
  EXPECT_GT(narrowest, 120);
  EXPECT_LT(narrowest, 418);
  EXPECT_TRUE(helpVisible()) << "toolbar cut at width " << narrowest;
  ASSERT_NO_FATAL_FAILURE(drawnWhole("main-narrowed"));
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

TEST_F(MainWindow, HintsOfToolbarButtonsAndSystemMenuItemsGoToTheStatusBar) {
  writeDat(definitions({"a"}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::vector<std::pair<std::string, std::string>> hints = {
      {"閉じる", "アプリケーションを終了します。"},
      {"新規", "新規のバックアップ定義を作成します。"},
      {"保存", "現在のバックアップ定義を保存します。"},
      {"削除", "選択したバックアップ定義を削除します。"},
      {"Backup", "選択したバックアップ定義に従ってバックアップを行います。"},
      {"設定", "選択したバックアップ定義の詳細設定を行います。"},
      {"About", "バージョン情報を表示します。"},
      {"Help", "ヘルプを表示します。"},
  };
  for (const auto& [button, hint] : hints) {
    ASSERT_TRUE(hoverToolbarButton(toolbar_, button)) << button << ": " << lastError();
    EXPECT_TRUE(waitStatusText(status_, hint, kShortTimeout)) << button << ": " << statusText(status_);
  }
  // Off the toolbar the hint goes.
  RECT lr = clientRect(list_);
  moveCursor(clientToScreen(list_, POINT{lr.right / 2, lr.bottom / 2}));
  postMouseMove(list_, POINT{lr.right / 2, lr.bottom / 2});
  EXPECT_TRUE(waitStatusText(status_, "", kShortTimeout)) << statusText(status_);

  // The system menu, opened from the keyboard: the first item is highlighted, Down
  // moves on, Escape closes the menu and clears the text.
  ASSERT_TRUE(activate(main_));
  PostMessageA(main_, WM_SYSCOMMAND, SC_KEYMENU, ' ');
  HWND menu = waitWindow("#32768", "", proc_.pid());
  ASSERT_TRUE(menu) << dumpWindows(proc_.pid());
  EXPECT_TRUE(waitStatusText(status_, "このウインドウを通常の大きさに戻します。", kShortTimeout)) << statusText(status_);
  const std::vector<std::string> next = {"このウインドウを画面の別の位置に移動します。", "このウインドウのサイズを変更します。",
                                         "このウインドウを最小化します。", "このウインドウを画面いっぱいに拡大します。"};
  for (const auto& text : next) {
    PostMessageA(main_, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_TRUE(waitStatusText(status_, text, kShortTimeout)) << statusText(status_);
  }
  PostMessageA(main_, WM_KEYDOWN, VK_DOWN, 0);  // the separator is skipped
  EXPECT_TRUE(waitStatusText(status_, "このウインドウを閉じます。", kShortTimeout)) << statusText(status_);
  // One Escape closes the menu, the next leaves the menu mode.
  PostMessageA(main_, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(waitWindowGone(menu));
  PostMessageA(main_, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(waitStatusText(status_, "", kShortTimeout)) << statusText(status_);
  ASSERT_NO_FATAL_FAILURE(closeExpectingNoQuestion());
}

// What other programs read from pelbo.exe: the installer its ProductVersion
// (digits, a dot, two digits), Windows its manifest and icon.
TEST(PelboResources, VersionManifestAndIcon) {
  const std::string exe = joinPath(binDir(), "pelbo.exe");
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));
  void* p = nullptr;
  UINT n = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &p, &n));
  ASSERT_GE(n, 4u);
  DWORD tr = *static_cast<DWORD*>(p);
  char key[64];
  wsprintfA(key, "\\StringFileInfo\\%04X%04X\\", LOWORD(tr), HIWORD(tr));
  EXPECT_STREQ(key, "\\StringFileInfo\\041104B0\\");
  auto value = [&](const char* name) {
    void* v = nullptr;
    UINT len = 0;
    return VerQueryValueA(block.data(), (std::string(key) + name).c_str(), &v, &len) && len
               ? std::string(static_cast<const char*>(v))
               : std::string();
  };
  const std::string version = value("ProductVersion");
  ASSERT_EQ(version.size(), 4u) << version;
  EXPECT_TRUE(isdigit(static_cast<unsigned char>(version[0])) && version[1] == '.' &&
              isdigit(static_cast<unsigned char>(version[2])) && isdigit(static_cast<unsigned char>(version[3])))
      << version;
  EXPECT_EQ(value("ProductName"), "Pomvault");

  HMODULE m = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(m);
  HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_TRUE(r);
  std::string manifest(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
  // The product asks for the X86 controls; the x86-64 test build for its own.
  const char* arch = sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"X86\"";
  for (const char* part : {"name=\"Sorvane.pelbo\"", "<description>Pomvault</description>", "version=\"1.0.0.0\"",
                           arch, "type=\"win32\"",
                           "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                           "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  EXPECT_TRUE(FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)));  // RT_GROUP_ICON
  FreeLibrary(m);
}

}  // namespace
