// The driver against its fixture window (tests/driver/fixture): if these pass, a
// failing end-to-end test of a real program points at the program, not the driver.
// The fixture reports every action it handled in its status bar.
#include <gtest/gtest.h>

#include "driver.h"

using namespace pv::test;

namespace {

constexpr char kFixture[] = "pv_fixture.exe";

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app = startProcess(kFixture);
    ASSERT_TRUE(app) << lastError();
    main = app.waitWindow("PvFixture");
    ASSERT_TRUE(main) << lastError();
    toolbar = findToolbar(main);
    list = findChild(main, "ListBox");
    edit = findChild(main, "Edit");
    tab = findChild(main, "SysTabControl32");
    status = findStatusBar(main);
    ASSERT_TRUE(toolbar && list && edit && tab && status) << dumpTree(main);
    ASSERT_TRUE(waitStatusText(status, "準備完了")) << lastError();
  }

  Process app;
  HWND main = nullptr, toolbar = nullptr, list = nullptr, edit = nullptr, tab = nullptr, status = nullptr;
};

TEST(DriverProcess, StartsProgramsWithArgumentsAndReportsExitCodes) {
  EXPECT_EQ(runProcess(kFixture, {"--exit", "7"}), 7u);
  EXPECT_FALSE(runProcess("no-such-program.exe").has_value());
  EXPECT_FALSE(startProcess("no-such-program.exe").valid());
  EXPECT_NE(lastError().find("no-such-program.exe"), std::string::npos);

  // Spaces and double-byte characters (表 ends in 0x5C) survive the command line.
  Process p = startProcess(kFixture, {"--title", "試験 表\\\"引用\""});
  ASSERT_TRUE(p) << lastError();
  HWND w = p.waitWindow("PvFixture");
  ASSERT_TRUE(w) << lastError();
  EXPECT_EQ(windowText(w), "試験 表\\\"引用\"");
  EXPECT_TRUE(p.running());
  EXPECT_EQ(p.exitCode(), static_cast<DWORD>(STILL_ACTIVE));

  // The fixture exits with the number of list entries when closed.
  ASSERT_TRUE(closeWindow(w));
  ASSERT_TRUE(p.waitExit()) << lastError();
  EXPECT_EQ(p.exitCode(), 5u);
}

TEST(DriverProcess, KillsAStillRunningProgramAtScopeEnd) {
  HWND w;
  {
    Process p = startProcess(kFixture);
    w = p.waitWindow("PvFixture");
    ASSERT_TRUE(w) << lastError();
    Process moved = std::move(p);  // the guard moves with the process
    EXPECT_FALSE(p.valid());
  }
  EXPECT_TRUE(waitWindowGone(w, kShortTimeout));
  EXPECT_FALSE(isWindow(w));
}

TEST_F(DriverTest, FindsWindowsAndControls) {
  EXPECT_EQ(windowText(main), "ドライバ試験");
  EXPECT_EQ(findWindow(WindowMatch{"", "ドライバ試験", app.pid()}), main);
  EXPECT_EQ(findWindow(WindowMatch{"PvFixture", "", app.pid() + 4}), nullptr);  // another process

  // Mnemonics do not matter when matching captions.
  HWND add = findChild(main, "Button", "追加(A)");
  ASSERT_TRUE(add);
  EXPECT_EQ(windowText(add), "追加(&A)");
  EXPECT_EQ(findChildById(main, 202), add);
  EXPECT_EQ(findChildByIndex(main, "button", 0), add);  // class names ignore case
  EXPECT_EQ(findChildByIndex(main, "Button", 3), nullptr);
  EXPECT_EQ(controlId(add), 202);
  EXPECT_EQ(parentWindow(add), main);
  EXPECT_TRUE(isVisible(add) && isEnabled(add));

  RECT r = windowRect(main);
  EXPECT_EQ(r.right - r.left, 520);
  EXPECT_EQ(r.bottom - r.top, 280);

  DWORD start = GetTickCount();
  EXPECT_EQ(waitWindow("NoSuchClass", "", 0, 500), nullptr);
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_NE(lastError().find("NoSuchClass"), std::string::npos);
}

TEST_F(DriverTest, ReadsAndPressesToolbarButtons) {
  std::vector<ToolButton> b = toolbarButtons(toolbar);
  ASSERT_EQ(toolbarButtonCount(toolbar), 6);
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(b[0].text, "新規");
  EXPECT_EQ(b[0].command, 301);
  EXPECT_TRUE(b[2].separator());
  EXPECT_EQ(b[4].text, "無効");
  EXPECT_FALSE(b[4].enabled());
  EXPECT_TRUE(b[5].enabled());
  EXPECT_GT(b[1].rect.left, b[0].rect.left);
  EXPECT_GT(b[0].rect.bottom, b[0].rect.top);

  EXPECT_EQ(toolbarFind(toolbar, "削除"), 1);
  EXPECT_EQ(toolbarFindCommand(toolbar, 305), 5);
  EXPECT_EQ(toolbarFind(toolbar, "保存"), -1);

  ASSERT_TRUE(pressToolbarButton(toolbar, "削除")) << lastError();
  EXPECT_TRUE(waitStatusText(status, "押下: 削除")) << lastError();

  // A disabled button is refused, and the program sees nothing.
  EXPECT_FALSE(pressToolbarButton(toolbar, "無効"));
  EXPECT_NE(lastError().find("disabled"), std::string::npos);
  sleepMs(200);
  EXPECT_EQ(statusText(status), "押下: 削除");

  // A check button keeps its state between presses.
  ASSERT_TRUE(pressToolbarButton(toolbar, 3));
  EXPECT_TRUE(toolbarButton(toolbar, 3)->checked());
  ASSERT_TRUE(pressToolbarButton(toolbar, 3));
  EXPECT_FALSE(toolbarButton(toolbar, 3)->checked());

  // Pressing "閉じる" closes the window like a user would.
  ASSERT_TRUE(pressToolbarButton(toolbar, "閉じる"));
  EXPECT_TRUE(app.waitExit()) << lastError();
}

TEST_F(DriverTest, HoveringAToolbarButtonShowsItsHint) {
  ASSERT_TRUE(hoverToolbarButton(toolbar, "新規")) << lastError();
  EXPECT_TRUE(waitStatusText(status, "ヒント: 新規")) << lastError();
  ASSERT_TRUE(hoverToolbarButton(toolbar, 5)) << lastError();
  EXPECT_TRUE(waitStatusText(status, "ヒント: 閉じる")) << lastError();
}

TEST_F(DriverTest, RunsTheSystemMenuSoTheProgramSeesItsOwnMenu) {
  ASSERT_TRUE(openSystemMenu(main)) << lastError();
  EXPECT_TRUE(findPopupMenu(app.pid()));
  EXPECT_TRUE(waitStatusText(status, "メニュー: " + std::to_string(SC_RESTORE))) << lastError();
  ASSERT_TRUE(menuKey(main, VK_DOWN));
  EXPECT_TRUE(waitStatusText(status, "メニュー: " + std::to_string(SC_MOVE))) << lastError();
  ASSERT_TRUE(closeMenus(main)) << lastError();
  EXPECT_EQ(findPopupMenu(app.pid()), nullptr);
  EXPECT_TRUE(waitStatusText(status, "メニュー終了")) << lastError();
}

TEST_F(DriverTest, ReadsAndClicksListEntries) {
  // 表 and ソ end in byte 0x5C, 能 too: text must come back whole.
  EXPECT_EQ(listItems(list), (std::vector<std::string>{"東京", "大阪", "表示ソフト", "能力", "札幌"}));
  EXPECT_EQ(listCount(list), 5);
  EXPECT_EQ(listFind(list, "能力"), 3);
  EXPECT_EQ(listSelected(list), -1);

  RECT r0 = listItemRect(list, 0), r1 = listItemRect(list, 1);
  EXPECT_GT(r0.bottom, r0.top);
  EXPECT_EQ(r1.top, r0.bottom);

  ASSERT_TRUE(clickListItem(list, 1)) << lastError();
  EXPECT_EQ(listSelected(list), 1);
  EXPECT_TRUE(waitStatusText(status, "選択: 大阪")) << lastError();
  EXPECT_EQ(listSelection(list), std::vector<int>{1});

  ASSERT_TRUE(doubleClickListItem(list, 3)) << lastError();
  EXPECT_TRUE(waitStatusText(status, "開く: 能力")) << lastError();

  EXPECT_FALSE(clickListItem(list, 5));  // past the end
  EXPECT_TRUE(setListSelection(list, 4));
  EXPECT_EQ(listSelected(list), 4);
}

TEST_F(DriverTest, DragsListEntriesOntoEntriesAndBelowTheLast) {
  ASSERT_TRUE(dragListItem(list, 0, 3)) << lastError();
  EXPECT_TRUE(waitStatusText(status, "移動: 東京 → 2")) << lastError() << "\n" << statusText(status);
  EXPECT_EQ(listItems(list), (std::vector<std::string>{"大阪", "表示ソフト", "東京", "能力", "札幌"}));

  // Upwards.
  ASSERT_TRUE(dragListItem(list, 4, 0)) << lastError();
  EXPECT_EQ(listItems(list), (std::vector<std::string>{"札幌", "大阪", "表示ソフト", "東京", "能力"}));

  // Below the last entry: the dragged one goes to the end.
  RECT last = listItemRect(list, 4);
  ASSERT_TRUE(dragListItemToPoint(list, 1, POINT{last.left + 20, last.bottom + 15})) << lastError();
  EXPECT_EQ(listItems(list), (std::vector<std::string>{"札幌", "表示ソフト", "東京", "能力", "大阪"}));
  EXPECT_EQ(listSelected(list), 4);
}

TEST_F(DriverTest, TypesIntoEditBoxesAndPressesKeys) {
  ASSERT_TRUE(setText(edit, "新しい定義"));
  EXPECT_EQ(getText(edit), "新しい定義");
  ASSERT_TRUE(pressEnter(edit));
  EXPECT_TRUE(waitStatusText(status, "追加: 新しい定義")) << lastError();
  EXPECT_EQ(listItem(list, 5), "新しい定義");
  EXPECT_EQ(getText(edit), "");

  ASSERT_TRUE(typeText(edit, "ABC表示ｶﾅ"));
  EXPECT_EQ(getText(edit), "ABC表示ｶﾅ");
  ASSERT_TRUE(pressEscape(edit));
  EXPECT_TRUE(waitStatusText(status, "消去"));
  EXPECT_EQ(getText(edit), "");

  // A push button pressed through BM_CLICK.
  ASSERT_TRUE(typeText(edit, "札幌2"));
  ASSERT_TRUE(click(findChild(main, "Button", "追加(&A)")));
  EXPECT_TRUE(waitStatusText(status, "追加: 札幌2"));
  EXPECT_EQ(listCount(list), 7);
}

TEST_F(DriverTest, ChecksBoxesPicksComboEntriesAndSelectsTabs) {
  HWND box = findChild(main, "Button", "有効にする");
  ASSERT_TRUE(box);
  EXPECT_EQ(checkState(box), BST_UNCHECKED);
  ASSERT_TRUE(setChecked(box, true)) << lastError();
  EXPECT_TRUE(isChecked(box));
  EXPECT_TRUE(waitStatusText(status, "有効"));
  ASSERT_TRUE(setChecked(box, true));  // already so: no click
  EXPECT_TRUE(isChecked(box));

  HWND combo = findChild(main, "ComboBox");
  ASSERT_TRUE(combo);
  EXPECT_EQ(comboCount(combo), 3);
  EXPECT_EQ(comboItem(combo, 2), "表計算");
  EXPECT_EQ(comboSelected(combo), -1);
  ASSERT_TRUE(selectComboItem(combo, 1));
  EXPECT_EQ(comboSelected(combo), 1);
  EXPECT_TRUE(waitStatusText(status, "周期: 毎週")) << lastError();

  EXPECT_EQ(tabCount(tab), 3);
  EXPECT_EQ(tabText(tab, 1), "詳細");
  EXPECT_EQ(tabCurrent(tab), 0);
  ASSERT_TRUE(selectTab(tab, "表示")) << lastError();
  EXPECT_EQ(tabCurrent(tab), 2);
  EXPECT_TRUE(waitStatusText(status, "ページ: 2")) << lastError();
  ASSERT_TRUE(selectTab(tab, 1)) << lastError();
  EXPECT_TRUE(waitStatusText(status, "ページ: 1")) << lastError();
  EXPECT_FALSE(selectTab(tab, 3));
}

TEST_F(DriverTest, ReadsAndAnswersMessageBoxes) {
  HWND ask = findChild(main, "Button", "確認...");
  ASSERT_TRUE(click(ask)) << lastError();  // returns although the box is modal
  HWND box = waitMessageBox("確認", app.pid());
  ASSERT_TRUE(box) << lastError();
  MessageBoxInfo info = readMessageBox(box);
  EXPECT_EQ(info.title, "確認");
  EXPECT_EQ(info.text, "変更を保存しますか");
  EXPECT_EQ(info.buttons.size(), 3u);
  EXPECT_FALSE(answerMessageBox(box, "削除"));
  ASSERT_TRUE(answerMessageBox(box, "いいえ")) << lastError();
  EXPECT_TRUE(waitStatusText(status, "回答: いいえ")) << lastError();

  ASSERT_TRUE(click(ask));
  box = waitMessageBox("確認", app.pid());
  ASSERT_TRUE(box) << lastError();
  ASSERT_TRUE(answerMessageBox(box, IDYES)) << lastError();
  EXPECT_TRUE(waitStatusText(status, "回答: はい"));

  ASSERT_TRUE(click(ask));
  box = waitMessageBox("確認", app.pid());
  ASSERT_TRUE(box);
  ASSERT_TRUE(pressEscape(box));
  EXPECT_TRUE(waitStatusText(status, "回答: キャンセル"));
  EXPECT_EQ(findMessageBox("確認", app.pid()), nullptr);
}

TEST_F(DriverTest, SavesScreenshotsOfTheDisplayAndOfAWindow) {
  TempDir dir("shot");
  ASSERT_TRUE(saveScreenshot(dir.file("screen.png"))) << lastError();
  auto png = readFile(dir.file("screen.png"));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png->substr(png->size() - 8, 4), "IEND");

  ASSERT_TRUE(saveWindowShot(main, dir.file("main.bmp"))) << lastError();
  auto bmp = readFile(dir.file("main.bmp"));
  ASSERT_TRUE(bmp);
  ASSERT_GT(bmp->size(), 54u);
  BITMAPINFOHEADER ih;
  memcpy(&ih, bmp->data() + sizeof(BITMAPFILEHEADER), sizeof ih);
  EXPECT_EQ(ih.biWidth, 520);
  EXPECT_EQ(ih.biHeight, -280);
  // The window face is button grey, not the black of an empty screen.
  RECT r = windowRect(list);
  COLORREF c = screenPixel(POINT{r.right + 4, r.top + 40});
  EXPECT_NE(c, RGB(0, 0, 0));
}

}  // namespace
