// The about box and the help of the real pelbo.exe. Help calls are caught by a
// window of the viewer's class "MS_WINHELP" in this process: WinHelpA hands every
// call to that window as WM_COPYDATA, so the test sees command, number and file.
// The built pelbo.hlp itself is opened in Wine's viewer through WinHelpA.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/deffile.h"
#include "core/textlines.h"
#include "driver.h"

using namespace pv::test;

namespace {

const char* const kHelpClass = "MS_WINHELP";

std::string shotDir() {
  std::string dir = joinPath(binDir(), "shots");
  makeDirs(dir);
  return dir;
}

struct HelpCall {
  UINT command;
  ULONG_PTR data;
  std::string file;
};

// What WinHelpA sends: the call after this header, the file name at ofsFile.
struct WinHelpData {
  WORD size, command;
  LONG data, reserved;
  WORD ofsFile, ofsData;
};

// A stand-in for the help viewer on a thread of its own (WinHelpA sends to it and
// waits for the answer).
class FakeViewer {
 public:
  FakeViewer() {
    thread_ = std::thread([this] { run(); });
    waitUntil([this] { return ready(); });
  }
  ~FakeViewer() {
    if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  bool ready() {
    std::lock_guard<std::mutex> lock(m_);
    return hwnd_ != nullptr;
  }
  std::vector<HelpCall> calls() {
    std::lock_guard<std::mutex> lock(m_);
    return calls_;
  }
  // Waits for the n-th call (1-based).
  bool waitCalls(std::size_t n) {
    return waitUntil([&] { return calls().size() >= n; }, kShortTimeout);
  }

 private:
  static LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<FakeViewer*>(GetWindowLongPtrA(h, GWLP_USERDATA));
    if (msg == WM_COPYDATA && self) {
      auto* cds = reinterpret_cast<COPYDATASTRUCT*>(l);
      auto* wh = static_cast<const WinHelpData*>(cds->lpData);
      HelpCall c{wh->command, static_cast<ULONG_PTR>(wh->data), ""};
      if (wh->ofsFile) c.file = reinterpret_cast<const char*>(wh) + wh->ofsFile;
      std::lock_guard<std::mutex> lock(self->m_);
      self->calls_.push_back(c);
      return TRUE;
    }
    if (msg == WM_CLOSE) {
      DestroyWindow(h);
      PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcA(h, msg, w, l);
  }
  void run() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &FakeViewer::proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kHelpClass;
    RegisterClassA(&wc);
    HWND h = CreateWindowA(kHelpClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    {
      std::lock_guard<std::mutex> lock(m_);
      hwnd_ = h;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  }

  std::thread thread_;
  std::mutex m_;
  HWND hwnd_ = nullptr;
  std::vector<HelpCall> calls_;
};

// Focuses a control with a real click and presses F1 on the real keyboard: the
// system turns only real key presses into the help request.
bool pressF1On(HWND ctl) {
  RECT r = windowRect(ctl);
  if (!realClick({(r.left + r.right) / 2, (r.top + r.bottom) / 2})) return false;
  INPUT in[2] = {};
  in[0].type = INPUT_KEYBOARD;
  in[0].ki.wVk = VK_F1;
  in[1] = in[0];
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, in, sizeof(INPUT)) == 2;
}

// WinHelpA, asked again once a viewer it has just started shows its window.
bool winHelp(const std::string& file, UINT command, ULONG_PTR data) {
  if (WinHelpA(nullptr, file.c_str(), command, data)) return true;
  return waitUntil([] { return FindWindowA("MS_WINHELP", nullptr) != nullptr; }, 30000) &&
         WinHelpA(nullptr, file.c_str(), command, data);
}

class HelpAndAbout : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FindWindowA(kHelpClass, nullptr), nullptr) << "a help viewer is already open";
    ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.exe"), dir_.file("pelbo.exe"))) << lastError();
    regDeleteKey(HKEY_CURRENT_USER, "Software\\Sorvane");
  }
  void TearDown() override {
    if (proc_ && proc_.running()) proc_.kill();
    // A viewer left open would keep the test's output open after it ends.
    if (HWND viewer = FindWindowA(kHelpClass, nullptr)) {
      PostMessageA(viewer, WM_CLOSE, 0, 0);
      waitUntil([] { return FindWindowA(kHelpClass, nullptr) == nullptr; });
    }
  }

  void start() {
    proc_ = startProcess(dir_.file("pelbo.exe"), {}, dir_.path());
    ASSERT_TRUE(proc_) << lastError();
    main_ = proc_.waitWindow("PvForm", "Pomvault");
    ASSERT_TRUE(main_) << dumpWindows(proc_.pid());
    toolbar_ = findToolbar(main_);
    ASSERT_TRUE(toolbar_);
    ASSERT_TRUE(settle(main_));
  }

  HWND openAbout() {
    if (!pressToolbarButton(toolbar_, "About")) return nullptr;
    HWND box = waitWindow("PvForm", "バージョン情報", proc_.pid());
    if (box) settle(box);
    return box;
  }

  TempDir dir_{"pvhelp"};
  Process proc_;
  HWND main_ = nullptr, toolbar_ = nullptr;
};

TEST_F(HelpAndAbout, AboutBoxShowsNameVersionIconAndClosesByClickEnterOrEscape) {
  ASSERT_NO_FATAL_FAILURE(start());
  HWND box = openAbout();
  ASSERT_TRUE(box) << dumpWindows(proc_.pid());
  const POINT cursor = cursorPos();
  const RECT r = windowRect(box);
  EXPECT_EQ(r.left, cursor.x - 100);
  EXPECT_EQ(r.top, cursor.y - 30);
  EXPECT_EQ(windowStyle(box) & WS_SYSMENU, 0);
  RECT client = clientRect(box);
  EXPECT_EQ(client.right, 193);
  EXPECT_EQ(client.bottom, 59);
  EXPECT_FALSE(isEnabled(main_)) << "the box is modal";

  HWND name = findChild(box, "PvControl", "Pomvault");
  HWND version = findChild(box, "Static", "Version 1.05");
  ASSERT_TRUE(name && version) << dumpTree(box);
  EXPECT_TRUE(findChild(box, "Static", "Copyright (C) Sorvane")) << dumpTree(box);
  HWND icon = nullptr;
  for (HWND s : children(box, "Static"))
    if (SendMessageA(s, STM_GETICON, 0, 0)) icon = s;
  EXPECT_TRUE(icon) << "no icon";
  // The shade: white pixels right of and below the black text of the name.
  RECT nr = windowRect(name);
  int white = 0, black = 0;
  for (int y = nr.top; y < nr.bottom; ++y)
    for (int x = nr.left; x < nr.right; ++x) {
      COLORREF c = screenPixel({x, y});
      white += c == RGB(255, 255, 255);
      black += c == RGB(0, 0, 0);
    }
  EXPECT_GT(white, 20);
  EXPECT_GT(black, 20);
  EXPECT_TRUE(saveWindowShot(box, joinPath(shotDir(), "about.png"))) << lastError();

  // Closed by a click on the name, on the version text, by Enter and by Escape.
  ASSERT_TRUE(realClick(clientToScreen(name, {10, 8})));
  EXPECT_TRUE(waitWindowGone(box));
  EXPECT_TRUE(waitUntil([&] { return isEnabled(main_); }));
  box = openAbout();
  ASSERT_TRUE(box);
  ASSERT_TRUE(realClick(clientToScreen(findChild(box, "Static", "Version 1.05"), {5, 5})));
  EXPECT_TRUE(waitWindowGone(box));
  for (UINT key : {VK_RETURN, VK_ESCAPE}) {
    box = openAbout();
    ASSERT_TRUE(box);
    ASSERT_TRUE(pressKey(box, key));
    EXPECT_TRUE(waitWindowGone(box)) << "key " << key;
  }
  EXPECT_TRUE(waitUntil([&] { return isEnabled(main_); }));
  closeWindow(main_);
  EXPECT_TRUE(proc_.waitExit());
}

// Help button: the contents of pelbo.hlp beside the program; F1 on each control of
// the settings dialog: its number; closing the program: the viewer is told to quit.
TEST_F(HelpAndAbout, ProgramAsksTheViewerForContentsControlTopicsAndQuit) {
  std::vector<std::string> lines;
  pv::TBuckup b;
  b.DestDir = "C:\\backup";
  b.ArcName = "src";
  pv::deffile::appendLines(lines, "src", b);
  ASSERT_TRUE(writeFile(dir_.file("pelbo.dat"), pv::joinLines(lines)));
  FakeViewer viewer;
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string hlp = dir_.file("pelbo.hlp");

  ASSERT_TRUE(pressToolbarButton(toolbar_, "Help"));
  ASSERT_TRUE(viewer.waitCalls(1));
  EXPECT_EQ(viewer.calls()[0].command, static_cast<UINT>(HELP_FINDER));
  EXPECT_EQ(lstrcmpiA(viewer.calls()[0].file.c_str(), hlp.c_str()), 0) << viewer.calls()[0].file;

  HWND list = findChild(main_, "ListBox");
  ASSERT_TRUE(clickListItem(list, 0));
  ASSERT_TRUE(pressToolbarButton(toolbar_, "設定"));
  HWND dlg = waitWindow("PvForm", "バックアップ設定", proc_.pid());
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(settle(dlg));
  EXPECT_TRUE(GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
  HWND tabs = findChild(dlg, "SysTabControl32");
  struct Field {
    int page;
    const char* cls;
    int index;
    ULONG_PTR context;
  };
  // Edits in creation order: edDname, edFname, edVName, edBDir, Edit1, Edit2.
  const Field fields[] = {{0, "Edit", 0, 14}, {0, "Edit", 1, 15}, {0, "Edit", 2, 16}, {0, "Button", -1, 17},
                          {0, "Button", -2, 18}, {1, "ListBox", 0, 19}, {2, "Edit", 4, 20}, {3, "Edit", 5, 21}};
  for (const Field& f : fields) {
    ASSERT_TRUE(selectTab(tabs, f.page));
    HWND ctl = f.index >= 0 ? findChildByIndex(dlg, f.cls, f.index)
                            : findChild(dlg, "Button", f.index == -1 ? "常に新規作成" : "圧縮後に開く");
    ASSERT_TRUE(ctl) << f.context << dumpTree(dlg);
    const std::size_t before = viewer.calls().size();
    ASSERT_TRUE(pressF1On(ctl)) << lastError();
    ASSERT_TRUE(viewer.waitCalls(before + 1)) << "no help call for " << f.context;
    const HelpCall c = viewer.calls().back();
    EXPECT_EQ(c.command, static_cast<UINT>(HELP_CONTEXTPOPUP)) << f.context;
    EXPECT_EQ(c.data, f.context);
    EXPECT_EQ(lstrcmpiA(c.file.c_str(), hlp.c_str()), 0) << c.file;
  }
  ASSERT_TRUE(click(findChild(dlg, "Button", "キャンセル")));
  ASSERT_TRUE(waitWindowGone(dlg));

  const std::size_t before = viewer.calls().size();
  closeWindow(main_);
  ASSERT_TRUE(proc_.waitExit());
  ASSERT_EQ(viewer.calls().size(), before + 1);
  EXPECT_EQ(viewer.calls().back().command, static_cast<UINT>(HELP_QUIT));
}

// The built help file in Wine's own viewer: the contents topic through HELP_FINDER,
// the topic of the name field (15) through HELP_CONTEXT, then HELP_QUIT.
TEST_F(HelpAndAbout, BuiltHelpFileOpensInTheViewer) {
  const std::string hlp = dir_.file("pelbo.hlp");
  ASSERT_TRUE(copyFile(joinPath(binDir(), "pelbo.hlp"), hlp)) << lastError();
  auto viewerText = [](HWND viewer) {
    std::string all;
    for (HWND c : children(viewer, "RichEdit20A")) all += richEditText(c) + "\n";
    return all;
  };
  ASSERT_TRUE(winHelp(hlp, HELP_FINDER, 0));
  HWND viewer = waitWindow(kHelpClass, "", 0, 30000);
  ASSERT_TRUE(viewer) << dumpWindows();
  EXPECT_TRUE(waitUntil([&] { return viewerText(viewer).find("ヘルプの目次") != std::string::npos; }))
      << viewerText(viewer) << dumpTree(viewer);
  saveScreenshot(joinPath(shotDir(), "help-contents.png"));

  ASSERT_TRUE(winHelp(hlp, HELP_CONTEXT, 15));
  EXPECT_TRUE(waitUntil([&] {
    std::string t = viewerText(viewer);
    return t.find("作る書庫の名前を") != std::string::npos && t.find("\\d") != std::string::npos;
  })) << viewerText(viewer);
  saveScreenshot(joinPath(shotDir(), "help-context-15.png"));

  ASSERT_TRUE(winHelp(hlp, HELP_QUIT, 0));
  EXPECT_TRUE(waitUntil([] { return FindWindowA(kHelpClass, nullptr) == nullptr; }));
}

}  // namespace
