// The settings dialog end to end: the real pelbo.exe with a definitions file
// written for each test, the dialog worked from outside, and the record checked
// in the pelbo.dat that the program saves.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/deffile.h"
#include "core/textlines.h"
#include "driver.h"

using namespace pv::test;

namespace {

using Defs = std::vector<std::pair<std::string, pv::TBuckup>>;

const char* const kDialogTitle = "バックアップ設定";
const char* const kThemeKey = "Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager";

// Controls of the dialog, in creation order per class.
enum EditIndex { edDname = 0, edFname, edVName, edBDir, Edit1, Edit2 };
enum ListIndex { lbFList = 0, lbCExt, lbDExt };

class EnvDialogE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = root_.file("app");
    ASSERT_TRUE(makeDirs(app_)) << lastError();
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.exe"), exe())) << lastError();
    regDeleteKey(HKEY_CURRENT_USER, "Software\\Sorvane");
    moveCursor({640, 400});
  }

  void TearDown() override {
    if (proc_ && proc_.running()) {
      // Leave without saving whatever a failed test left behind.
      closeWindow(main_);
      if (HWND box = waitMessageBox("Pomvault", proc_.pid(), 2000)) answerMessageBox(box, IDNO);
      if (!proc_.waitExit(kShortTimeout)) proc_.kill();
    }
  }

  std::string exe() const { return joinPath(app_, "pelbo.exe"); }
  std::string datPath() const { return joinPath(app_, "pelbo.dat"); }

  void writeDefs(const Defs& defs) {
    std::vector<std::string> lines;
    for (const auto& [name, rec] : defs) pv::deffile::appendLines(lines, name, rec);
    ASSERT_TRUE(writeFile(datPath(), pv::joinLines(lines))) << lastError();
  }

  Defs readDefs() {
    Defs out;
    auto bytes = readFile(datPath());
    if (!bytes) return out;
    pv::deffile::read(pv::splitLines(*bytes), [&](std::string name, pv::TBuckup rec) {
      out.emplace_back(std::move(name), std::move(rec));
    });
    return out;
  }

  void start() {
    proc_ = startProcess(exe());
    ASSERT_TRUE(proc_) << lastError();
    main_ = proc_.waitWindow("PvForm", "Pomvault");
    ASSERT_NE(main_, nullptr) << lastError() << "\n" << dumpWindows(proc_.pid());
    list_ = findChild(main_, "ListBox");
    toolbar_ = findToolbar(main_);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(toolbar_, nullptr);
  }

  HWND waitDialog() {
    HWND dlg = waitWindow("PvForm", kDialogTitle, proc_.pid());
    if (dlg) settle(dlg);
    return dlg;
  }

  // Selects an entry and presses the Settings button.
  HWND openWithButton(int item) {
    if (!clickListItem(list_, item)) return nullptr;
    if (!pressToolbarButton(toolbar_, "設定")) return nullptr;
    return waitDialog();
  }

  // The Settings button's command, as the toolbar sends it, so that the mouse
  // pointer stays where the test put it.
  HWND openAtMouse(POINT screen) {
    int i = toolbarFind(toolbar_, "設定");
    auto b = toolbarButton(toolbar_, i);
    if (!b) return nullptr;
    moveCursor(screen);
    if (!postCommand(main_, b->command, BN_CLICKED, toolbar_)) return nullptr;
    return waitDialog();
  }

  HWND openWithDoubleClick(int item) {
    if (!doubleClickListItem(list_, item)) return nullptr;
    return waitDialog();
  }

  static HWND sheet(HWND dlg, int page) { return findChildByIndex(dlg, "PvTabSheet", page); }
  static HWND edit(HWND dlg, EditIndex i) { return findChildByIndex(dlg, "Edit", i); }
  static HWND listBox(HWND dlg, ListIndex i) { return findChildByIndex(dlg, "ListBox", i); }
  static HWND button(HWND dlg, int page, const std::string& text) { return findChild(sheet(dlg, page), "Button", text); }
  static HWND tabs(HWND dlg) { return findChild(dlg, "SysTabControl32"); }

  // Presses a dialog button (OK / キャンセル) and waits until the dialog is gone.
  static bool finish(HWND dlg, const std::string& text) {
    HWND b = findChild(dlg, "Button", text);
    return b && click(b) && waitWindowGone(dlg);
  }

  bool save() { return pressToolbarButton(toolbar_, "保存") && settle(main_); }

  // Closes the main window; answers the save question with `answer` when one comes.
  // Returns whether the question was asked.
  bool closeMain(int answer = IDNO) {
    closeWindow(main_);
    bool asked = false;
    if (HWND box = waitMessageBox("Pomvault", proc_.pid(), 3000)) {
      asked = messageBoxText(box) == "変更を保存しますか";
      answerMessageBox(box, answer);
    }
    EXPECT_TRUE(proc_.waitExit()) << "pelbo.exe did not end";
    return asked;
  }

  static pv::TBuckup sample() {
    pv::TBuckup r;
    r.DestDir = "D:\\Backup";
    r.ArcName = "src\\d";
    r.VerFile = "C:\\Work\\pelbo.exe";
    r.Flags = 1;
    r.BaseDir = "C:\\Work\\";
    r.FileList = {"proj\\", "readme.txt"};
    r.ExclExts = {".bak"};
    r.DelExts = {};
    return r;
  }

  TempDir root_{"envset"};
  std::string app_;
  Process proc_;
  HWND main_ = nullptr, list_ = nullptr, toolbar_ = nullptr;
};

}  // namespace

TEST_F(EnvDialogE2E, EveryFieldOnEveryPageReachesTheSavedFile) {
  pv::TBuckup other = sample();
  other.ArcName = "other";
  writeDefs({{"src", sample()}, {"other", other}});
  start();
  HWND dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError() << "\n" << dumpWindows(proc_.pid());

  // The record arrived in the controls.
  EXPECT_EQ(getText(edit(dlg, edDname)), "D:\\Backup");
  EXPECT_EQ(getText(edit(dlg, edFname)), "src\\d");
  EXPECT_EQ(getText(edit(dlg, edVName)), "C:\\Work\\pelbo.exe");
  EXPECT_TRUE(isChecked(findChild(dlg, "Button", "常に新規作成")));
  EXPECT_FALSE(isChecked(findChild(dlg, "Button", "圧縮後に開く")));
  EXPECT_EQ(getText(edit(dlg, edBDir)), "C:\\Work\\");
  EXPECT_EQ(listItems(listBox(dlg, lbFList)), (std::vector<std::string>{"proj\\", "readme.txt"}));
  EXPECT_EQ(listItems(listBox(dlg, lbCExt)), std::vector<std::string>{".bak"});
  EXPECT_EQ(tabCurrent(tabs(dlg)), 0);

  // Page "名前".
  ASSERT_TRUE(setText(edit(dlg, edDname), "E:\\保存先\\表"));
  ASSERT_TRUE(setText(edit(dlg, edFname), "src\\p-\\d"));
  ASSERT_TRUE(setText(edit(dlg, edVName), "C:\\Work\\ソフト.exe"));
  ASSERT_TRUE(setChecked(findChild(dlg, "Button", "常に新規作成"), false));
  ASSERT_TRUE(setChecked(findChild(dlg, "Button", "圧縮後に開く"), true));

  // Page "リスト": the base folder is read-only; remove the first entry.
  ASSERT_TRUE(selectTab(tabs(dlg), "リスト")) << lastError();
  EXPECT_TRUE(windowStyle(edit(dlg, edBDir)) & ES_READONLY);
  ASSERT_TRUE(clickListItem(listBox(dlg, lbFList), 0));
  ASSERT_TRUE(click(button(dlg, 1, "削除")));
  EXPECT_EQ(listItems(listBox(dlg, lbFList)), std::vector<std::string>{"readme.txt"});

  // Page "除外": one added, the old one removed.
  ASSERT_TRUE(selectTab(tabs(dlg), "除外"));
  ASSERT_TRUE(setText(edit(dlg, Edit1), "TMP"));
  ASSERT_TRUE(click(button(dlg, 2, "追加")));
  EXPECT_EQ(getText(edit(dlg, Edit1)), "");
  ASSERT_TRUE(clickListItem(listBox(dlg, lbCExt), 0));
  ASSERT_TRUE(click(button(dlg, 2, "削除")));

  // Page "削除".
  ASSERT_TRUE(selectTab(tabs(dlg), "削除"));
  ASSERT_TRUE(setText(edit(dlg, Edit2), "~*"));
  ASSERT_TRUE(click(button(dlg, 3, "追加")));
  ASSERT_TRUE(setText(edit(dlg, Edit2), ".Log"));
  ASSERT_TRUE(click(button(dlg, 3, "追加")));

  ASSERT_TRUE(finish(dlg, "OK"));
  ASSERT_TRUE(save());

  pv::TBuckup expected;
  expected.DestDir = "E:\\保存先\\表";
  expected.ArcName = "src\\p-\\d";
  expected.VerFile = "C:\\Work\\ソフト.exe";
  expected.Flags = 2;
  expected.BaseDir = "C:\\Work\\";
  expected.FileList = {"readme.txt"};
  expected.ExclExts = {".tmp"};
  expected.DelExts = {".~*", ".log"};
  Defs defs = readDefs();
  ASSERT_EQ(defs.size(), 2u);
  EXPECT_EQ(defs[0].first, "src");
  EXPECT_EQ(defs[0].second, expected);
  EXPECT_EQ(defs[1].second, other);  // the other definition is untouched
  EXPECT_FALSE(closeMain());         // saved: nothing to ask
}

TEST_F(EnvDialogE2E, CancelEscapeAndTheCloseBoxChangeNothing) {
  writeDefs({{"src", sample()}});
  const auto before = readFile(datPath());
  start();

  HWND dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  setText(edit(dlg, edFname), "changed");
  setChecked(findChild(dlg, "Button", "圧縮後に開く"), true);
  ASSERT_TRUE(finish(dlg, "キャンセル"));

  dlg = openWithDoubleClick(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  EXPECT_EQ(getText(edit(dlg, edFname)), "src\\d");  // the cancelled change is gone
  setText(edit(dlg, edFname), "changed");
  ASSERT_TRUE(pressEscape(edit(dlg, edFname)));
  ASSERT_TRUE(waitWindowGone(dlg));

  dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  setText(edit(dlg, edFname), "changed");
  ASSERT_TRUE(closeWindow(dlg));
  ASSERT_TRUE(waitWindowGone(dlg));

  // A line break would split the field's line in the file: OK is refused with a
  // message and the dialog stays open.
  dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  ASSERT_TRUE(setText(edit(dlg, edFname), "two\r\nlines"));
  ASSERT_EQ(getText(edit(dlg, edFname)), "two\r\nlines");
  ASSERT_TRUE(click(findChild(dlg, "Button", "OK")));
  HWND err = waitMessageBox("エラー", proc_.pid());
  ASSERT_TRUE(err) << dumpWindows(proc_.pid());
  EXPECT_NE(messageBoxText(err).find("定義ファイルに保存できない"), std::string::npos) << messageBoxText(err);
  EXPECT_EQ(messageBoxText(err).rfind("「ファイル名」", 0), 0u) << messageBoxText(err);
  EXPECT_EQ(ownerWindow(err), dlg);
  ASSERT_TRUE(answerMessageBox(err, IDOK));
  EXPECT_TRUE(isVisible(dlg));
  // The field named has the focus, ready to be mended.
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  EXPECT_TRUE(waitUntil([&] {
    return GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gui) && gui.hwndFocus == edit(dlg, edFname);
  }));
  ASSERT_TRUE(finish(dlg, "キャンセル"));

  ASSERT_TRUE(save());  // nothing modified: the button writes nothing
  EXPECT_FALSE(closeMain());
  EXPECT_EQ(readFile(datPath()), before);
}

TEST_F(EnvDialogE2E, OkWithoutChangesMarksModifiedAndRewritesFlags) {
  pv::TBuckup rec = sample();
  rec.Flags = 6;  // bit 2 means nothing; the dialog shows only bit 1
  writeDefs({{"src", rec}});
  start();
  HWND dlg = openWithDoubleClick(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  EXPECT_FALSE(isChecked(findChild(dlg, "Button", "常に新規作成")));
  EXPECT_TRUE(isChecked(findChild(dlg, "Button", "圧縮後に開く")));
  ASSERT_TRUE(finish(dlg, "OK"));

  EXPECT_TRUE(closeMain(IDYES));
  Defs defs = readDefs();
  ASSERT_EQ(defs.size(), 1u);
  rec.Flags = 2;
  EXPECT_EQ(defs[0].second, rec);
}

TEST_F(EnvDialogE2E, ExtensionEntriesEnterAndThePreset) {
  pv::TBuckup rec = sample();
  rec.ExclExts = {};
  rec.DelExts = {".tmp", ".bak"};
  writeDefs({{"src", rec}});
  start();
  HWND dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  ASSERT_TRUE(selectTab(tabs(dlg), "除外"));
  HWND add = button(dlg, 2, "追加");
  for (const char* typed : {"BAK", ".Bak", ""}) {
    ASSERT_TRUE(setText(edit(dlg, Edit1), typed));
    ASSERT_TRUE(click(add));
  }
  EXPECT_EQ(listItems(listBox(dlg, lbCExt)), (std::vector<std::string>{".bak", ".bak"}));

  ASSERT_TRUE(selectTab(tabs(dlg), "削除"));
  ASSERT_TRUE(click(button(dlg, 3, "Delphi")));
  EXPECT_EQ(listItems(listBox(dlg, lbDExt)), (std::vector<std::string>{".~*", ".dcu", ".obj", ".map", ".exe"}));

  // Enter in the box confirms the dialog through OK; the typed text is not added.
  HWND box = edit(dlg, Edit2);
  ASSERT_TRUE(setText(box, "obj"));
  activate(dlg);
  SetFocus(box);
  ASSERT_TRUE(pressEnter(box));
  ASSERT_TRUE(waitWindowGone(dlg)) << "Enter did not close the dialog";

  ASSERT_TRUE(save());
  Defs defs = readDefs();
  ASSERT_EQ(defs.size(), 1u);
  EXPECT_EQ(defs[0].second.ExclExts, (std::vector<std::string>{".bak", ".bak"}));
  EXPECT_EQ(defs[0].second.DelExts, (std::vector<std::string>{".~*", ".dcu", ".obj", ".map", ".exe"}));
  EXPECT_FALSE(closeMain());
}

TEST_F(EnvDialogE2E, OpensNearTheMouseAndStaysOnTheScreen) {
  writeDefs({{"src", sample()}});
  start();
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);

  ASSERT_TRUE(clickListItem(list_, 0));
  HWND dlg = openAtMouse({sw - 3, sh - 3});
  ASSERT_NE(dlg, nullptr) << lastError();
  RECT r = windowRect(dlg);
  EXPECT_EQ(r.right, sw);
  EXPECT_EQ(r.bottom, sh);
  RECT c = clientRect(dlg);
  EXPECT_EQ(c.right, 313);
  EXPECT_EQ(c.bottom, 206);
  EXPECT_TRUE(GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
  ASSERT_TRUE(finish(dlg, "キャンセル"));

  dlg = openAtMouse({500, 400});
  ASSERT_NE(dlg, nullptr) << lastError();
  r = windowRect(dlg);
  EXPECT_EQ(r.left, 500 - (r.right - r.left) / 2);
  EXPECT_EQ(r.top, 400 - (r.bottom - r.top) / 4);
  ASSERT_TRUE(finish(dlg, "キャンセル"));

  dlg = openAtMouse({2, 2});
  ASSERT_NE(dlg, nullptr) << lastError();
  r = windowRect(dlg);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  ASSERT_TRUE(finish(dlg, "キャンセル"));
}

namespace {

// A push button of a common dialog by id (other children may carry the same id).
HWND dialogButton(HWND dialog, int id) {
  for (HWND b : children(dialog, "Button"))
    if (controlId(b) == id) return b;
  return nullptr;
}

// The shell's folder dialog of process pid showing our caption.
HWND waitFolderDialog(DWORD pid) {
  HWND found = nullptr;
  waitUntil([&] {
    for (HWND h : topWindows(WindowMatch{"#32770", "", pid, true}))
      if (findChild(h, "Static", "バックアップ先の選択")) {
        found = h;
        return true;
      }
    return false;
  });
  return found;
}

}  // namespace

TEST_F(EnvDialogE2E, FolderDialogPreselectsTheDestinationAndReturnsIt) {
  // Outside the user's profile, which Wine's folder tree also shows at its top.
  const std::string top = "C:\\pv-envset-" + std::to_string(GetCurrentProcessId());
  struct Cleanup {
    std::string dir;
    ~Cleanup() { removeTree(dir); }
  } cleanup{top};
  const std::string plain = top + "\\dest";
  const std::string sjis = top + "\\一覧表";  // ends in 0x5C as a trailing byte
  ASSERT_TRUE(makeDirs(plain));
  ASSERT_TRUE(makeDirs(sjis));
  pv::TBuckup rec = sample();
  rec.DestDir = plain + "\\";
  rec.BaseDir = sjis + "\\";
  writeDefs({{"src", rec}});
  start();
  HWND dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  HWND dest = edit(dlg, edDname);

  // Runs the folder dialog from the destination box and answers it.
  auto browse = [&](int answer) {
    if (!postDoubleClick(dest, {10, 5})) return false;
    HWND box = waitFolderDialog(proc_.pid());
    if (!box) return false;
    settle(box);
    return click(dialogButton(box, answer)) && waitWindowGone(box) && settle(dlg);
  };

  // Cancel keeps the field. (Wine's tree, the first time a process shows it, may
  // not find a folder that was created just now; this first round also warms it.)
  ASSERT_TRUE(browse(IDCANCEL)) << dumpWindows(proc_.pid());
  EXPECT_EQ(getText(dest), plain + "\\");

  // The preselection is the destination without its trailing backslash, and OK returns it.
  ASSERT_TRUE(browse(IDOK));
  EXPECT_EQ(getText(dest), plain);

  // A folder whose name ends in 表 arrives whole and comes back unchanged.
  ASSERT_TRUE(setText(dest, sjis));
  ASSERT_TRUE(browse(IDOK));
  EXPECT_EQ(getText(dest), sjis);

  // An empty destination starts from the base folder (with its backslash dropped).
  ASSERT_TRUE(setText(dest, ""));
  ASSERT_TRUE(browse(IDOK));
  EXPECT_EQ(getText(dest), sjis);

  ASSERT_TRUE(finish(dlg, "OK"));
  ASSERT_TRUE(save());
  Defs defs = readDefs();
  ASSERT_EQ(defs.size(), 1u);
  EXPECT_EQ(defs[0].second.DestDir, sjis);
}

TEST_F(EnvDialogE2E, FileDialogStartsInTheVersionFilesFolder) {
  const std::string tools = root_.file("tools");
  ASSERT_TRUE(makeDirs(tools));
  ASSERT_TRUE(writeFile(joinPath(tools, "tool.exe"), "MZ"));
  ASSERT_TRUE(writeFile(joinPath(app_, "base.exe"), "MZ"));
  pv::TBuckup rec = sample();
  rec.VerFile = joinPath(tools, "old.exe");  // need not exist: only its folder counts
  rec.BaseDir = app_ + "\\";
  writeDefs({{"src", rec}});
  start();
  HWND dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  HWND ver = edit(dlg, edVName);

  // A bare name typed into the file dialog is taken from its initial folder.
  auto pick = [&](const std::string& name) {
    if (!postDoubleClick(ver, {10, 5})) return false;
    HWND open = waitWindow(WindowMatch{"#32770", "", proc_.pid(), true});
    if (!open) return false;
    settle(open);
    HWND nameBox = findChildById(open, 0x47C);  // the file name combo box
    HWND nameEdit = nameBox ? findChild(nameBox, "Edit") : findChildById(open, 0x480);
    if (!nameEdit || !setText(nameEdit, name)) return false;
    return click(dialogButton(open, IDOK)) && waitWindowGone(open) && settle(dlg);
  };
  ASSERT_TRUE(pick("tool.exe")) << dumpWindows(proc_.pid());
  EXPECT_EQ(getText(ver), joinPath(tools, "tool.exe"));

  // Empty: the base folder is the start.
  ASSERT_TRUE(setText(ver, ""));
  ASSERT_TRUE(pick("base.exe")) << dumpWindows(proc_.pid());
  EXPECT_EQ(getText(ver), joinPath(app_, "base.exe"));
  ASSERT_TRUE(finish(dlg, "キャンセル"));
}

namespace {

// Screenshots go where a person can look at them after the run.
std::string shotDir() {
  std::string dir = joinPath(binDir(), "shots");
  makeDirs(dir);
  return dir;
}

}  // namespace

TEST_F(EnvDialogE2E, PagesDrawThemedAndClassic) {
  writeDefs({{"src", sample()}});
  COLORREF themedBody = 0, classicBody = 0, classicForm = 0;
  // Wine reads the switch when a program starts; put it back for the tests after this one.
  struct RestoreTheme {
    ~RestoreTheme() { regWriteString(HKEY_CURRENT_USER, kThemeKey, "ThemeActive", "1"); }
  } restore;
  for (bool themed : {true, false}) {
    ASSERT_TRUE(regWriteString(HKEY_CURRENT_USER, kThemeKey, "ThemeActive", themed ? "1" : "0"));
    start();
    HWND dlg = openWithButton(0);
    ASSERT_NE(dlg, nullptr) << lastError();
    for (int page = 0; page < 4; ++page) {
      ASSERT_TRUE(selectTab(tabs(dlg), page));
      settle(dlg);
      RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      settle(dlg);
      sleepMs(200);
      std::string name = std::string("envset-") + (themed ? "themed" : "classic") + "-" + std::to_string(page + 1) + ".png";
      EXPECT_TRUE(saveWindowShot(dlg, joinPath(shotDir(), name))) << lastError();
    }
    // An empty spot of the last page, right of its buttons, and of the form below the pages.
    HWND last = sheet(dlg, 3);
    RECT sr = clientRect(last);
    COLORREF body = screenPixel(clientToScreen(last, {sr.right - 10, sr.bottom - 10}));
    COLORREF form = screenPixel(clientToScreen(dlg, {10, 195}));
    if (themed) {
      themedBody = body;
      EXPECT_NE(body, form) << "the themed page looks like the flat form";
    } else {
      classicBody = body;
      classicForm = form;
    }
    ASSERT_TRUE(finish(dlg, "キャンセル"));
    EXPECT_FALSE(closeMain());
  }
  EXPECT_EQ(classicBody, classicForm) << "without a theme the page is the plain flat sheet";
  EXPECT_NE(themedBody, classicBody);
}

namespace {

// The window with the keyboard focus in the thread that owns hwnd.
HWND focusOf(HWND hwnd);

// A key posted to the window with the focus. Modifiers are held on the real
// keyboard meanwhile, since the program reads them from the keyboard state; the
// key itself is posted, which arrives where injected keys into edit boxes did not
// (Japanese locale).
void keys(HWND dlg, std::initializer_list<WORD> chord) {
  auto modifier = [](WORD k, bool up) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &i, sizeof i);
  };
  std::vector<WORD> mods(chord.begin(), chord.end() - 1);
  for (WORD m : mods) modifier(m, false);
  if (!mods.empty()) sleepMs(300);  // taken from the input queue before the posted key
  HWND target = focusOf(dlg);
  pressKey(target ? target : dlg, *(chord.end() - 1));
  settle(dlg);
  for (auto it = mods.rbegin(); it != mods.rend(); ++it) modifier(*it, true);
  if (!mods.empty()) sleepMs(300);
}

// The window with the keyboard focus in the thread that owns hwnd.
HWND focusOf(HWND hwnd) {
  GUITHREADINFO gi{};
  gi.cbSize = sizeof gi;
  return GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &gi) ? gi.hwndFocus : nullptr;
}

}  // namespace

// Keyboard only: Tab walks the tab strip, every field of the shown page, OK and
// Cancel, Shift+Tab walks back, Ctrl+Tab / Ctrl+Shift+Tab / Ctrl+PgDn / Ctrl+PgUp
// switch pages, and Enter on a focused button presses that button.
TEST_F(EnvDialogE2E, KeyboardReachesEveryFieldOfEveryPage) {
  writeDefs({{"src", sample()}});
  start();
  HWND dlg = openWithButton(0);
  ASSERT_NE(dlg, nullptr) << lastError();
  ASSERT_TRUE(activate(dlg));
  HWND tab = tabs(dlg), ok = findChild(dlg, "Button", "OK"), cancel = findChild(dlg, "Button", "キャンセル");
  ASSERT_TRUE(waitUntil([&] { return focusOf(dlg) == tab; })) << "focus at start: " << windowClass(focusOf(dlg));

  auto walk = [&](const std::vector<HWND>& order, bool back) {
    for (HWND expected : order) {
      if (back)
        keys(dlg, {VK_SHIFT, VK_TAB});
      else
        keys(dlg, {VK_TAB});
      EXPECT_TRUE(waitUntil([&] { return focusOf(dlg) == expected; }, kShortTimeout))
          << "expected [" << windowClass(expected) << " " << windowText(expected) << "], focus on ["
          << windowClass(focusOf(dlg)) << " " << windowText(focusOf(dlg)) << "]";
    }
  };
  const std::vector<std::vector<HWND>> fields = {
      {edit(dlg, edDname), edit(dlg, edFname), edit(dlg, edVName), findChild(dlg, "Button", "常に新規作成"),
       findChild(dlg, "Button", "圧縮後に開く")},
      {edit(dlg, edBDir), listBox(dlg, lbFList), button(dlg, 1, "削除")},
      {edit(dlg, Edit1), button(dlg, 2, "追加"), listBox(dlg, lbCExt), button(dlg, 2, "削除")},
      {edit(dlg, Edit2), button(dlg, 3, "追加"), listBox(dlg, lbDExt), button(dlg, 3, "削除"),
       button(dlg, 3, "Delphi")},
  };
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE("page " + std::to_string(page + 1));
    EXPECT_EQ(tabCurrent(tab), page);
    std::vector<HWND> forward = fields[page];
    forward.insert(forward.end(), {ok, cancel, tab});
    walk(forward, false);
    std::vector<HWND> backward(forward.rbegin() + 1, forward.rend());
    backward.push_back(tab);
    walk(backward, true);
    settle(dlg);
    EXPECT_TRUE(saveWindowShot(dlg, joinPath(shotDir(), "envset-keyboard-" + std::to_string(page + 1) + ".png")));
    keys(dlg, {VK_CONTROL, VK_TAB});
    EXPECT_TRUE(waitUntil([&] { return tabCurrent(tab) == (page + 1) % 4; }, kShortTimeout));
  }

  // Back and forth from inside a page; the focus leaves the hidden page.
  walk({edit(dlg, edDname)}, false);
  keys(dlg, {VK_CONTROL, VK_SHIFT, VK_TAB});
  EXPECT_TRUE(waitUntil([&] { return tabCurrent(tab) == 3; }, kShortTimeout));
  EXPECT_TRUE(IsWindowVisible(sheet(dlg, 3)) && !IsWindowVisible(sheet(dlg, 0)));
  EXPECT_EQ(focusOf(dlg), tab);
  keys(dlg, {VK_CONTROL, VK_NEXT});
  EXPECT_TRUE(waitUntil([&] { return tabCurrent(tab) == 0; }, kShortTimeout));
  keys(dlg, {VK_CONTROL, VK_PRIOR});
  keys(dlg, {VK_CONTROL, VK_PRIOR});
  EXPECT_TRUE(waitUntil([&] { return tabCurrent(tab) == 2; }, kShortTimeout));
  EXPECT_FALSE(IsWindowVisible(sheet(dlg, 3)));

  // Typed extension, Tab to its add button, Enter: added, the dialog stays.
  walk({edit(dlg, Edit1)}, false);
  typeText(edit(dlg, Edit1), "BAK");
  walk({button(dlg, 2, "追加")}, false);
  keys(dlg, {VK_RETURN});
  EXPECT_TRUE(waitUntil([&] { return listCount(listBox(dlg, lbCExt)) == 2; }, kShortTimeout));
  EXPECT_EQ(listItems(listBox(dlg, lbCExt)), (std::vector<std::string>{".bak", ".bak"}));
  EXPECT_TRUE(isVisible(dlg));
  // Enter on the focused Cancel button cancels.
  walk({listBox(dlg, lbCExt), button(dlg, 2, "削除"), ok, cancel}, false);
  keys(dlg, {VK_RETURN});
  ASSERT_TRUE(waitWindowGone(dlg));
  EXPECT_FALSE(closeMain());
}
