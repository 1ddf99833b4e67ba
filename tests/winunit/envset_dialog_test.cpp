// The settings dialog in this process: dropping from the shell (a drop handle only
// works in the process that made it), the copy in and out, and the modal run with
// its placement near the mouse.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <functional>
#include <string>
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

  // Items are all taken as lying in the first one's folder; one that is gone counts as a file.
  drop({dir.file("readme.txt"), "C:\\elsewhere\\gone", dir.file("proj")});
  EXPECT_EQ(base().text(), dir.path() + "\\");
  EXPECT_EQ(files().items(), (std::vector<std::string>{"readme.txt", "gone", "proj\\"}));
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

TEST(EnvDialogRecord, CopiesInAndOut) {
  ensureApp();
  auto dlg = createForm<TEnvDlg>();
  TBuckup in;
  in.DestDir = "D:\\Backup";
  in.ArcName = "src\\d";
  in.VerFile = "C:\\Work\\pelbo.exe";
  in.Flags = 6;  // bit 2 has no meaning
  in.BaseDir = "C:\\Work\\";
  in.FileList = {"proj\\", "readme.txt"};
  in.ExclExts = {".bak"};
  in.DelExts = {".~*", ".dcu"};
  dlg->loadRecord(in);
  EXPECT_FALSE(dlg->find<CheckBox>("cbNew").checked());
  EXPECT_TRUE(dlg->find<CheckBox>("cbOpen").checked());

  TBuckup out;
  out.FileList = {"stale"};
  dlg->storeRecord(out);
  TBuckup expected = in;
  expected.Flags = 2;
  EXPECT_EQ(out, expected);

  in.Flags = 1;
  in.FileList.clear();
  dlg->loadRecord(in);
  dlg->storeRecord(out);
  EXPECT_EQ(out.Flags, 1);
  EXPECT_TRUE(out.FileList.empty());
}

TEST(EnvDialogRecord, ExtensionButtonsAndPreset) {
  ensureApp();
  auto dlg = createForm<TEnvDlg>();
  auto& edit1 = dlg->find<Edit>("Edit1");
  auto& excl = dlg->find<ListBox>("lbCExt");
  for (const char* typed : {"BAK", ".Bak", "", ".bak", "ＡBC表"}) {
    edit1.setText(typed);
    dlg->Button2Click(edit1);
    EXPECT_EQ(edit1.text(), "");
  }
  EXPECT_EQ(excl.items(), (std::vector<std::string>{".bak", ".bak", ".bak", ".Ａbc表"}));
  excl.setItemIndex(1);
  dlg->Button3Click(excl);
  EXPECT_EQ(excl.count(), 3);
  excl.setItemIndex(-1);
  dlg->Button3Click(excl);  // nothing selected: nothing removed
  EXPECT_EQ(excl.count(), 3);

  auto& del = dlg->find<ListBox>("lbDExt");
  del.setItems({".tmp", ".obj"});
  dlg->Button6Click(del);
  EXPECT_EQ(del.items(), (std::vector<std::string>{".~*", ".dcu", ".obj", ".map", ".exe"}));
  dlg->find<Edit>("Edit2").setText("Log");
  dlg->Button4Click(del);
  EXPECT_EQ(del.item(5), ".log");
  // The exclusion list is a different one.
  EXPECT_EQ(excl.count(), 3);
}

namespace {

// What the timer below saw of the dialog, and what it did.
struct ModalProbe {
  RECT rect{};
  RECT client{};
  bool found = false;
  UINT_PTR timer = 0;
  std::function<void(HWND)> act;
};
ModalProbe* g_probe = nullptr;

BOOL CALLBACK matchEnvDialog(HWND h, LPARAM l) {
  char text[64] = {};
  ::GetWindowTextA(h, text, sizeof text);
  if (::IsWindowVisible(h) && std::string(text) == "バックアップ設定") {
    *reinterpret_cast<HWND*>(l) = h;
    return FALSE;
  }
  return TRUE;
}

HWND findEnvDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &matchEnvDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK probeTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dlg = findEnvDialog();
  if (!dlg || !g_probe || g_probe->found) return;
  ::KillTimer(nullptr, id);
  g_probe->found = true;
  ::GetWindowRect(dlg, &g_probe->rect);
  ::GetClientRect(dlg, &g_probe->client);
  g_probe->act(dlg);
}

bool runWithProbe(TBuckup& rec, POINT mouse, std::function<void(HWND)> act, ModalProbe& probe) {
  ::SetCursorPos(mouse.x, mouse.y);
  probe.act = std::move(act);
  g_probe = &probe;
  probe.timer = ::SetTimer(nullptr, 0, 50, &probeTimer);
  bool ok = editDefinition(rec);
  ::KillTimer(nullptr, probe.timer);
  g_probe = nullptr;
  return ok;
}

HWND child(HWND dlg, const char* cls, const char* text) { return test::findChild(dlg, cls, text); }

}  // namespace

TEST(EnvDialogModal, OkWritesBackAndCancelKeepsTheRecord) {
  ensureApp();
  TBuckup rec;
  rec.ArcName = "old";
  rec.Flags = 6;

  ModalProbe cancel;
  EXPECT_FALSE(runWithProbe(rec, {400, 300}, [](HWND dlg) {
    ::SetWindowTextA(test::findChildByIndex(dlg, "Edit", 1), "changed");
    ::SendMessageA(child(dlg, "Button", "キャンセル"), BM_CLICK, 0, 0);
  }, cancel));
  ASSERT_TRUE(cancel.found);
  EXPECT_EQ(rec.ArcName, "old");
  EXPECT_EQ(rec.Flags, 6);

  ModalProbe closeBox;
  EXPECT_FALSE(runWithProbe(rec, {400, 300}, [](HWND dlg) { ::PostMessageA(dlg, WM_CLOSE, 0, 0); }, closeBox));
  EXPECT_EQ(rec.Flags, 6);

  ModalProbe ok;
  EXPECT_TRUE(runWithProbe(rec, {400, 300}, [](HWND dlg) {
    ::SetWindowTextA(test::findChildByIndex(dlg, "Edit", 1), "new\\d");
    ::SendMessageA(child(dlg, "Button", "OK"), BM_CLICK, 0, 0);
  }, ok));
  EXPECT_EQ(rec.ArcName, "new\\d");
  EXPECT_EQ(rec.Flags, 2);
}

TEST(EnvDialogModal, PlacedNearTheMouseAndKeptOnTheScreen) {
  ensureApp();
  const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
  TBuckup rec;
  auto closeIt = [](HWND dlg) { ::PostMessageA(dlg, WM_CLOSE, 0, 0); };

  ModalProbe middle;
  runWithProbe(rec, {600, 500}, closeIt, middle);
  ASSERT_TRUE(middle.found);
  const int w = middle.rect.right - middle.rect.left, h = middle.rect.bottom - middle.rect.top;
  EXPECT_EQ(middle.rect.left, 600 - w / 2);
  EXPECT_EQ(middle.rect.top, 500 - h / 4);
  EXPECT_EQ(middle.client.right, 313);
  EXPECT_EQ(middle.client.bottom, 206);

  ModalProbe corner;
  runWithProbe(rec, {sw - 2, sh - 2}, closeIt, corner);
  ASSERT_TRUE(corner.found);
  EXPECT_EQ(corner.rect.right, sw);
  EXPECT_EQ(corner.rect.bottom, sh);

  ModalProbe origin;
  runWithProbe(rec, {0, 0}, closeIt, origin);
  ASSERT_TRUE(origin.found);
  EXPECT_EQ(origin.rect.left, 0);
  EXPECT_EQ(origin.rect.top, 0);
}
