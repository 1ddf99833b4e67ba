// The GUI layer under Wine: the exception barrier and its guards, reflected
// messages, forms built from tables, modal forms, list boxes and page controls,
// hint texts, registry keys and the safe replacement of a file.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "core/error.h"
#include "driver.h"
#include "win/app.h"
#include "win/controls.h"
#include "win/files.h"
#include "win/form.h"
#include "win/guards.h"
#include "win/registry.h"

using namespace pv::win;

namespace {

// Answers the next message box of this process from another thread and keeps
// what it showed, and the status text at that moment.
class BoxWatcher {
 public:
  explicit BoxWatcher(HWND status = nullptr) {
    thread_ = std::thread([this, status] {
      HWND box = pv::test::waitMessageBox("", ::GetCurrentProcessId(), 10000);
      if (!box) return;
      info_ = pv::test::readMessageBox(box);
      if (status) statusAtBox_ = pv::test::statusText(status);
      cursorAtBox_ = app().cursor();
      pv::test::answerMessageBox(box, IDOK);
    });
  }
  ~BoxWatcher() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  const pv::test::MessageBoxInfo& info() {
    join();
    return info_;
  }
  std::string statusAtBox() {
    join();
    return statusAtBox_;
  }
  Cursor cursorAtBox() {
    join();
    return cursorAtBox_;
  }

 private:
  std::thread thread_;
  pv::test::MessageBoxInfo info_;
  std::string statusAtBox_;
  Cursor cursorAtBox_ = Cursor::Default;
};

// Runs f from the message loop after ms milliseconds (a thread timer).
std::function<void()> g_later;
void CALLBACK laterProc(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  guarded(0, [] {
    auto f = std::move(g_later);
    if (f) f();
    return 0;
  });
}
void later(std::function<void()> f, UINT ms = 50) {
  g_later = std::move(f);
  ::SetTimer(nullptr, 0, ms, &laterProc);
}

// A check box that answers the reflected WM_CTLCOLORSTATIC itself.
class ReflectedCheck : public CheckBox {
 public:
  UINT seen = 0;

 protected:
  LRESULT defaultHandler(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == 0xBD38) {
      seen = msg;
      return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    return CheckBox::defaultHandler(msg, w, l);
  }
};

// A non-visual component that records what the form did with it.
class Recorder : public Component {
 public:
  std::vector<std::string> log;
  void setProperty(std::string_view name, std::string_view value) override {
    if (name != "Mode") return Component::setProperty(name, value);
    log.push_back("Mode=" + std::string(value));
  }
  void loaded() override { log.push_back(owner() ? "loaded with owner" : "loaded alone"); }
};

const FormDesc kTestForm = {"TestForm", "win test", 10, 10, 360, 260, formopt::Dialog | formopt::ClientSize,
                            {"ＭＳ Ｐゴシック", 12}};
const ControlDesc kTestRows[] = {
    {Kind::Edit, "Edit1", nullptr, 8, 8, 200, 22},
    {Kind::Button, "OKBtn", nullptr, 200, 220, 70, 24, "OK", opt::Default},
    {Kind::Button, "CancelBtn", nullptr, 280, 220, 70, 24, "キャンセル", opt::Cancel},
    {Kind::Button, "Boom", nullptr, 8, 220, 70, 24, "Boom"},
    {Kind::CheckBox, "Check1", nullptr, 8, 40, 100, 17, "a", 0, nullptr, -1, 0, {}, &create<ReflectedCheck>},
    {Kind::PageControl, "Pages", nullptr, 8, 64, 340, 120},
    {Kind::TabSheet, "Sheet1", "Pages", 0, 0, 0, 0, "一"},
    {Kind::TabSheet, "Sheet2", "Pages", 0, 0, 0, 0, "二"},
    {Kind::CheckBox, "Check2", "Sheet1", 8, 8, 100, 17, "b", 0, nullptr, -1, 0, {}, &create<ReflectedCheck>},
    {Kind::ListBox, "List", "Sheet2", 4, 4, 200, 80},
    {Kind::StatusBar, "Status", nullptr, 0, 0, 0, 19, "", opt::AlignBottom},
    {Kind::Component, "Rec", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, &create<Recorder>, "Mode=amLha"},
};

class TestForm : public Form {
 public:
  TestForm() : Form(kTestForm, kTestRows) {
    onCreate(&TestForm::FormCreate);
    on("Boom", Click, &TestForm::BoomClick);
    on("Pages", Change, &TestForm::PagesChange);
  }
  int creates = 0, pageChanges = 0;
  std::vector<std::string> recAtCreate;
  void FormCreate() {
    ++creates;
    recAtCreate = find<Recorder>("Rec").log;
  }
  // Fails with the guards up, as SaveDefinitions would.
  void BoomClick(Control&) {
    ScreenCursorGuard cursor;
    StatusTextGuard status(find<StatusBar>("Status"), "保存中...");
    throw pv::Error("ストリームへの書き込みエラー");
  }
  void PagesChange(Control&) { ++pageChanges; }
};

class BadPropertyForm : public Form {
 public:
  static constexpr ControlDesc rows[] = {
      {Kind::Component, "Rec", nullptr, 0, 0, 0, 0, "", 0, nullptr, -1, 0, {}, &create<Recorder>, "Speed=3"}};
  BadPropertyForm() : Form(kTestForm, rows) {}
};

struct WinLayer : testing::Test {
  void SetUp() override {
    app().initialize(::GetModuleHandleA(nullptr));
    app().setTitle("win test");
  }
};

TEST_F(WinLayer, ExceptionInAHandlerShowsTheErrorBoxAfterTheGuardsUnwound) {
  auto form = createForm<TestForm>();
  form->show();
  HWND status = form->find<StatusBar>("Status").handle();
  BoxWatcher watcher(status);
  // Nothing may cross the window procedure: SendMessage returns normally.
  ::SendMessageA(form->find<Button>("Boom").handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(watcher.info().title, "win test");
  EXPECT_EQ(watcher.info().text, "ストリームへの書き込みエラー");
  EXPECT_EQ(watcher.statusAtBox(), "");
  EXPECT_EQ(watcher.cursorAtBox(), Cursor::Default);
  EXPECT_EQ(form->find<StatusBar>("Status").simpleText(), "");
}

TEST_F(WinLayer, TableBuildsTheFormThenLoadedThenCreate) {
  auto form = createForm<TestForm>();
  EXPECT_EQ(form->creates, 1);
  // Properties before loaded(), both before the create handler.
  EXPECT_EQ(form->recAtCreate, (std::vector<std::string>{"Mode=amLha", "loaded with owner"}));
  EXPECT_EQ(::GetDlgCtrlID(form->find<Button>("OKBtn").handle()), IDOK);
  EXPECT_EQ(::GetDlgCtrlID(form->find<Button>("CancelBtn").handle()), IDCANCEL);
  EXPECT_EQ(::GetParent(form->find<CheckBox>("Check2").handle()), form->find<TabSheet>("Sheet1").handle());
  EXPECT_EQ(&form->find<Control>("list"), &form->find<ListBox>("List"));  // names ignore case
  EXPECT_THROW(form->find<Edit>("List"), pv::Error);
  EXPECT_THROW(form->find<Edit>("Nothing"), pv::Error);
  EXPECT_THROW(createForm<BadPropertyForm>(), pv::Error);
  RECT c;
  ::GetClientRect(form->handle(), &c);
  EXPECT_EQ(c.right, 360);
  EXPECT_EQ(c.bottom, 260);
  // The status bar aligned to the bottom, full width.
  EXPECT_EQ(form->find<StatusBar>("Status").top(), 260 - 19);
  EXPECT_EQ(form->find<StatusBar>("Status").width(), 360);
}

TEST_F(WinLayer, ParentsReflectNotificationsToTheChildObject) {
  auto form = createForm<TestForm>();
  HDC dc = ::GetDC(form->handle());
  for (const char* name : {"Check1", "Check2"}) {
    auto& check = form->find<ReflectedCheck>(name);
    HWND parent = ::GetParent(check.handle());
    LRESULT r = ::SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(check.handle()));
    EXPECT_EQ(check.seen, 0xBD38u) << name;
    EXPECT_EQ(r, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH))) << name;
  }
  ::ReleaseDC(form->handle(), dc);

  // A page change notification reaches the page control, which shows the page.
  auto& pages = form->find<PageControl>("Pages");
  EXPECT_TRUE(::IsWindowVisible(form->find<TabSheet>("Sheet1").handle()) || !form->visible());
  ::SendMessageA(pages.handle(), TCM_SETCURSEL, 1, 0);
  NMHDR n{pages.handle(), static_cast<UINT_PTR>(::GetDlgCtrlID(pages.handle())), static_cast<UINT>(TCN_SELCHANGE)};
  ::SendMessageA(form->handle(), WM_NOTIFY, n.idFrom, reinterpret_cast<LPARAM>(&n));
  EXPECT_EQ(form->pageChanges, 1);
  EXPECT_EQ(pages.activePageIndex(), 1);
  EXPECT_FALSE(form->find<TabSheet>("Sheet1").visible());
  EXPECT_TRUE(form->find<TabSheet>("Sheet2").visible());
  pages.setActivePageIndex(0);  // in code: no change event
  EXPECT_EQ(form->pageChanges, 1);
  EXPECT_TRUE(form->find<TabSheet>("Sheet1").visible());
}

TEST_F(WinLayer, ModalFormsEndWithTheirButtonsKeysAndCloseBox) {
  auto owner = createForm<TestForm>();
  app().setMainForm(owner.get());
  owner->show();
  auto dialog = createForm<TestForm>();
  struct Case {
    const char* what;
    std::function<void(TestForm&)> act;
    int result;
  };
  const std::vector<Case> cases = {
      {"OK button", [](TestForm& d) { ::PostMessageA(d.find<Button>("OKBtn").handle(), BM_CLICK, 0, 0); }, mrOk},
      {"Cancel button", [](TestForm& d) { ::PostMessageA(d.find<Button>("CancelBtn").handle(), BM_CLICK, 0, 0); },
       mrCancel},
      {"close box", [](TestForm& d) { ::PostMessageA(d.handle(), WM_CLOSE, 0, 0); }, mrCancel},
      {"Enter in the edit box", [](TestForm& d) { pv::test::pressEnter(d.find<Edit>("Edit1").handle()); }, mrOk},
      {"Escape in the edit box", [](TestForm& d) { pv::test::pressEscape(d.find<Edit>("Edit1").handle()); },
       mrCancel},
  };
  for (const auto& c : cases) {
    bool ownerDisabled = false;
    TestForm& d = *dialog;
    later([&] {
      ownerDisabled = !::IsWindowEnabled(owner->handle());
      d.find<Edit>("Edit1").setFocus();
      c.act(d);
    });
    EXPECT_EQ(dialog->showModal(), c.result) << c.what;
    EXPECT_TRUE(ownerDisabled) << c.what;
    EXPECT_TRUE(::IsWindowEnabled(owner->handle())) << c.what;
    EXPECT_FALSE(dialog->visible()) << c.what;
  }
  app().setMainForm(nullptr);
}

TEST_F(WinLayer, ListBoxPositionsSearchAndItemData) {
  auto form = createForm<TestForm>();
  auto& list = form->find<ListBox>("List");
  int a = 1, b = 2, c = 3;
  list.addItem("Src", &a);
  list.addItem("表示", &b);
  list.insertItem(1, "mid", &c);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"Src", "mid", "表示"}));
  EXPECT_EQ(list.itemData(1), &c);
  EXPECT_EQ(list.findExact("src"), 0);  // letter case does not count
  EXPECT_EQ(list.findExact("SR"), -1);  // whole strings only
  EXPECT_EQ(list.findExact("表示"), 2);
  RECT last = list.itemRect(2);
  RECT client = list.clientRect();
  EXPECT_EQ(list.itemAtPos({10, (last.top + last.bottom) / 2}, true), 2);
  EXPECT_EQ(list.itemAtPos({10, last.bottom + 5}, true), -1);
  EXPECT_EQ(list.itemAtPos({10, last.bottom + 5}, false), 2);  // below the last entry: the last
  EXPECT_EQ(list.itemAtPos({10, client.bottom + 5}, false), -1);  // outside: none
  EXPECT_EQ(list.itemAtPos({-3, 2}, false), -1);
  list.deleteItem(0);
  EXPECT_EQ(list.itemData(0), &c);
  list.clear();
  EXPECT_EQ(list.itemAtPos({10, 5}, false), -1);
}

TEST(Hints, LongAndShortPartsSplitAtWholeCharacters) {
  EXPECT_EQ(Application::longHint("短い|長いヒント"), "長いヒント");
  EXPECT_EQ(Application::shortHint("短い|長いヒント"), "短い");
  EXPECT_EQ(Application::longHint("|長い"), "長い");
  EXPECT_EQ(Application::longHint("ヘルプ"), "ヘルプ");
  // ポ is 83 7C: its second byte is '|' and must not split the text.
  EXPECT_EQ(Application::longHint("ポイント"), "ポイント");
  EXPECT_EQ(Application::shortHint("ポイント|x"), "ポイント");
}

TEST(Registry, KeysCreateWriteReadAndDelete) {
  const std::string path = "Software\\PvWinLayerTest";
  RegKey::create(HKEY_CURRENT_USER, "Software").deleteSubKey("PvWinLayerTest");
  EXPECT_FALSE(RegKey::open(HKEY_CURRENT_USER, path).valid());
  {
    RegKey k = RegKey::create(HKEY_CURRENT_USER, path + "\\pelbo");
    ASSERT_TRUE(k.valid());
    EXPECT_TRUE(k.writeString("Top", "12"));
    EXPECT_TRUE(k.writeString("名前", "表示"));
    EXPECT_TRUE(k.writeDword("n", 7));
  }
  RegKey k = RegKey::open(HKEY_CURRENT_USER, path + "\\pelbo");
  EXPECT_EQ(k.readString("Top"), "12");
  EXPECT_EQ(k.readString("名前"), "表示");
  EXPECT_EQ(k.readDword("n"), 7u);
  EXPECT_FALSE(k.readString("n").has_value());  // another type
  EXPECT_FALSE(k.readString("missing").has_value());
  EXPECT_TRUE(RegKey::create(HKEY_CURRENT_USER, "Software").deleteSubKey("PvWinLayerTest"));
  EXPECT_FALSE(RegKey::open(HKEY_CURRENT_USER, path).valid());
}

TEST(Files, ReplacingContentIsAllOrNothing) {
  pv::test::TempDir dir("pvfiles");
  const std::string file = dir.file("pelbo.dat");
  ASSERT_TRUE(pv::test::writeFile(file, "old\r\n"));
  replaceFileContent(file, "new\r\ncontent\r\n");
  EXPECT_EQ(pv::test::readFile(file), "new\r\ncontent\r\n");
  EXPECT_EQ(loadLines(file), (std::vector<std::string>{"new", "content"}));
  EXPECT_EQ(pv::test::listDir(dir.path()), std::vector<std::string>{"pelbo.dat"});

  // The file held open by someone else: error naming the file, old content kept,
  // nothing left behind.
  HANDLE lock = ::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  try {
    replaceFileContent(file, "lost");
    ADD_FAILURE() << "no error";
  } catch (const pv::Error& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル " + file + " を作成できません");
  }
  ::CloseHandle(lock);
  EXPECT_EQ(pv::test::readFile(file), "new\r\ncontent\r\n");
  EXPECT_EQ(pv::test::listDir(dir.path()), std::vector<std::string>{"pelbo.dat"});

  // A folder that does not exist.
  const std::string nowhere = dir.file("no\\such\\pelbo.dat");
  try {
    replaceFileContent(nowhere, "x");
    ADD_FAILURE() << "no error";
  } catch (const pv::Error& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル " + nowhere + " を作成できません");
  }
  EXPECT_THROW(loadLines(nowhere), pv::Error);
}

}  // namespace
