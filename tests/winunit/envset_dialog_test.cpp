// Dropping from the shell onto the settings dialog. A drop handle only works in the
// process that made it, so the dialog lives here and gets a handle built the way
// the shell builds one. (The rest of the dialog is tested end to end with pelbo.exe.)
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"
#include "main/envset.h"
#include "widgets/UxTheme.h"
#include "win/app.h"
#include "win/controls.h"

using namespace pv;
using namespace pv::win;

namespace {

void ensureApp() {
  if (!app().handle()) app().initialize(::GetModuleHandleA(nullptr));
  uxtheme::load();
}

// A drop handle as the shell makes one: DROPFILES followed by the ANSI names, each
// NUL-terminated, and one more NUL.
HDROP makeDrop(const std::vector<std::string>& paths) {
  std::string names;
  for (const auto& p : paths) names += p + '\0';
  names += '\0';
  HGLOBAL mem = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size());
  auto* df = static_cast<DROPFILES*>(::GlobalLock(mem));
  df->pFiles = sizeof(DROPFILES);
  df->fWide = FALSE;
  std::memcpy(reinterpret_cast<char*>(df) + sizeof(DROPFILES), names.data(), names.size());
  ::GlobalUnlock(mem);
  return static_cast<HDROP>(mem);
}

bool acceptsFilesStyle(HWND hwnd) { return (::GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }

// Switches pages the way a click on a tab does: the tab control's notification.
void userSelectsPage(TEnvDlg& dlg, int index) {
  auto& pc = dlg.find<PageControl>("PageControl1");
  ::SendMessageA(pc.handle(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  NMHDR n{pc.handle(), static_cast<UINT_PTR>(::GetDlgCtrlID(pc.handle())), TCN_SELCHANGE};
  ::SendMessageA(::GetParent(pc.handle()), WM_NOTIFY, n.idFrom, reinterpret_cast<LPARAM>(&n));
}

struct DropFixture : testing::Test {
  void SetUp() override {
    ensureApp();
    ASSERT_TRUE(test::makeDirs(dir.file("proj"))) << test::lastError();
    ASSERT_TRUE(test::writeFile(dir.file("readme.txt"), "x")) << test::lastError();
    dlg = createForm<TEnvDlg>();
    dlg->show();
  }
  void drop(const std::vector<std::string>& paths) {
    ::PostMessageA(dlg->handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(paths)), 0);
    app().processMessages();
  }
  ListBox& files() { return dlg->find<ListBox>("lbFList"); }
  Edit& base() { return dlg->find<Edit>("edBDir"); }

  test::TempDir dir{"envdrop"};
  std::unique_ptr<TEnvDlg> dlg;
};

}  // namespace

TEST_F(DropFixture, AcceptedOnlyWhileTheListPageIsShown) {
  // Opening on the first page: not a drop target, and a drop that comes anyway is ignored.
  EXPECT_FALSE(dlg->acceptsDrops());
  EXPECT_FALSE(acceptsFilesStyle(dlg->handle()));
  files().setItems({"old.txt"});
  drop({dir.file("proj")});
  EXPECT_EQ(files().items(), std::vector<std::string>{"old.txt"});
  EXPECT_EQ(base().text(), "");

  userSelectsPage(*dlg, 1);
  EXPECT_TRUE(dlg->acceptsDrops());
  EXPECT_TRUE(acceptsFilesStyle(dlg->handle()));
  userSelectsPage(*dlg, 2);
  EXPECT_FALSE(acceptsFilesStyle(dlg->handle()));
  userSelectsPage(*dlg, 0);
  EXPECT_FALSE(acceptsFilesStyle(dlg->handle()));
  userSelectsPage(*dlg, 1);
  EXPECT_TRUE(acceptsFilesStyle(dlg->handle()));
}

TEST_F(DropFixture, FolderAndFileSetTheBaseAndReplaceTheList) {
  userSelectsPage(*dlg, 1);
  files().setItems({"old\\", "older.txt"});
  drop({dir.file("proj"), dir.file("readme.txt")});
  EXPECT_EQ(base().text(), dir.path() + "\\");
  EXPECT_EQ(files().items(), (std::vector<std::string>{"proj\\", "readme.txt"}));
  // Still a drop target afterwards.
  EXPECT_TRUE(acceptsFilesStyle(dlg->handle()));

  // Items of another folder (a search window's) would name files that are not under
  // the base folder: they are left out and named in one box. The first item's folder
  // in other letter case is the same folder.
  std::string upper = dir.file("proj");
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::string shown;
  std::thread answer([&] {
    HWND box = test::waitMessageBox("エラー", ::GetCurrentProcessId());
    if (!box) return;
    shown = test::messageBoxText(box);
    test::answerMessageBox(box, IDOK);
  });
  drop({dir.file("readme.txt"), "C:\\elsewhere\\gone", upper, "C:\\other\\x.txt"});
  answer.join();
  EXPECT_EQ(base().text(), dir.path() + "\\");
  EXPECT_EQ(files().items(), (std::vector<std::string>{"readme.txt", "PROJ\\"}));
  EXPECT_EQ(shown.rfind("「ベース」のフォルダ " + dir.path() + "\\ にない", 0), 0u) << shown;
  EXPECT_NE(shown.find("\nC:\\elsewhere\\gone\nC:\\other\\x.txt"), std::string::npos) << shown;
}

TEST_F(DropFixture, ShiftJisNamesEndingIn5C) {
  // 表 and ソ have 0x5C as their second byte; the folder part must not split them.
  const std::string folder = dir.file("一覧表");
  ASSERT_TRUE(test::makeDirs(folder + "\\ソ"));
  ASSERT_TRUE(test::writeFile(folder + "\\予定表", "x"));
  userSelectsPage(*dlg, 1);
  drop({folder + "\\ソ", folder + "\\予定表"});
  EXPECT_EQ(base().text(), folder + "\\");
  EXPECT_EQ(files().items(), (std::vector<std::string>{"ソ\\", "予定表"}));
}

// A file named "}" would close the list when the definitions file is read back:
// the drop leaves it out and says so; the other items are taken.
TEST_F(DropFixture, EntryTheFileCannotHoldIsRefusedWithAMessage) {
  ASSERT_TRUE(test::writeFile(dir.file("}"), "x"));
  userSelectsPage(*dlg, 1);
  std::string shown;
  // The box is modal on this thread: another one reads and answers it.
  std::thread answer([&] {
    HWND box = test::waitMessageBox("エラー", ::GetCurrentProcessId());
    if (!box) return;
    shown = test::messageBoxText(box);
    test::answerMessageBox(box, IDOK);
  });
  drop({dir.file("readme.txt"), dir.file("}"), dir.file("proj")});
  answer.join();
  EXPECT_NE(shown.find("定義ファイルに保存できない"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\n}"), std::string::npos) << shown;
  EXPECT_EQ(files().items(), (std::vector<std::string>{"readme.txt", "proj\\"}));
  EXPECT_EQ(base().text(), dir.path() + "\\");
}
