#include "win/app.h"

#include <commctrl.h>

#include <stdexcept>

#include "core/sjis.h"

#include "win/controls.h"
#include "win/form.h"
#include "win/guards.h"
#include "win/window.h"

namespace pv::win {
namespace {

// The hidden application window: carries the title (other programs look for
// class "TApplication" with it) and owns message boxes. If someone restores it
// from outside, it stays hidden and brings the main form forward instead.
class AppWindow : public Window {
 public:
  void create(const std::string& title) {
    registerClass("TApplication", 0, nullptr, app().icon());
    createOwnWindow(0, "TApplication", title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                    nullptr, nullptr);
  }

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == WM_WINDOWPOSCHANGING) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(l);
      if (pos->flags & SWP_SHOWWINDOW) {
        pos->flags &= ~SWP_SHOWWINDOW;
        if (Form* main = app().mainForm(); main && main->hasHandle()) {
          HWND h = main->handle();
          if (::IsIconic(h)) ::ShowWindow(h, SW_RESTORE);
          ::SetForegroundWindow(h);
        }
      }
    }
    return Window::handleMessage(msg, w, l);
  }
};

AppWindow& appWindow() {
  static AppWindow w;
  return w;
}

// The drag cursor: an arrow with a small sheet beside it.
HCURSOR makeDragCursor() {
  static const char* const art[] = {
      "X                               ",
      "XX                              ",
      "X.X                             ",
      "X..X                            ",
      "X...X                           ",
      "X....X                          ",
      "X.....X                         ",
      "X......X                        ",
      "X.......X                       ",
      "X........X                      ",
      "X.....XXXXX                     ",
      "X..X..X                         ",
      "X.X X..X                        ",
      "XX  X..X                        ",
      "X    X..X                       ",
      "     X..X                       ",
      "      XX  XXXXXXXXXX            ",
      "          X........X            ",
      "          X........X            ",
      "          X........X            ",
      "          X........X            ",
      "          X........X            ",
      "          XXXXXXXXXX            ",
  };
  const int w = ::GetSystemMetrics(SM_CXCURSOR), h = ::GetSystemMetrics(SM_CYCURSOR);
  if (w < 32 || h < 32) return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  const int stride = ((w + 15) / 16) * 2;
  std::string andMask(static_cast<std::size_t>(stride * h), '\xFF'), xorMask(static_cast<std::size_t>(stride * h), '\0');
  for (int y = 0; y < static_cast<int>(sizeof art / sizeof art[0]); ++y) {
    for (int x = 0; x < 32; ++x) {
      char c = art[y][x];
      if (c == ' ') continue;
      std::size_t byte = static_cast<std::size_t>(y * stride + x / 8);
      unsigned char bit = static_cast<unsigned char>(0x80 >> (x % 8));
      andMask[byte] = static_cast<char>(andMask[byte] & ~bit);
      if (c == '.') xorMask[byte] = static_cast<char>(xorMask[byte] | bit);
    }
  }
  return ::CreateCursor(::GetModuleHandleA(nullptr), 0, 0, w, h, andMask.data(), xorMask.data());
}

}  // namespace

Application& app() {
  static Application a;
  return a;
}

void Application::initialize(HINSTANCE instance) {
  if (hwnd_) return;  // once per process
  instance_ = instance;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  icon_ = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
  if (!icon_) icon_ = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  appWindow().create(title_);
  hwnd_ = appWindow().handle();
}

void Application::setTitle(const std::string& t) {
  title_ = t;
  if (hwnd_) ::SetWindowTextA(hwnd_, t.c_str());
}

void Application::setHint(const std::string& h) {
  if (h == hint_) return;
  hint_ = h;
  if (onHint_) onHint_();
}

std::string Application::longHint(const std::string& h) {
  // '|' (0x7C) can be the second byte of a double-byte character: search whole characters.
  for (std::size_t i = 0; i < h.size();) {
    auto c = static_cast<unsigned char>(h[i]);
    if (c == '|') return h.substr(i + 1);
    i += sjis::isLead(c) ? 2 : 1;
  }
  return h;
}

std::string Application::shortHint(const std::string& h) {
  for (std::size_t i = 0; i < h.size();) {
    auto c = static_cast<unsigned char>(h[i]);
    if (c == '|') return h.substr(0, i);
    i += sjis::isLead(c) ? 2 : 1;
  }
  return h;
}

bool Application::helpCommand(UINT command, ULONG_PTR data) {
  if (helpFile_.empty()) return false;
  HWND owner = mainForm_ && mainForm_->hasHandle() ? mainForm_->handle() : hwnd_;
  if (::WinHelpA(owner, helpFile_.c_str(), command, data)) return true;
  // A viewer that WinHelpA has just started may not have its window yet, and some
  // systems look for it only once: once its window is there, ask again.
  if (command == HELP_QUIT) return false;
  for (int i = 0; i < 100 && !::FindWindowA("MS_WINHELP", nullptr); ++i) ::Sleep(100);
  return ::FindWindowA("MS_WINHELP", nullptr) && ::WinHelpA(owner, helpFile_.c_str(), command, data);
}

void Application::trackHint(const MSG& msg) {
  Control* c = Control::fromHandle(msg.hwnd);
  std::string h;
  if (c) {
    POINT pt{static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
    if (msg.hwnd != c->handle()) ::MapWindowPoints(msg.hwnd, c->handle(), &pt, 1);
    h = c->hintAt(pt);
    for (Control* p = c->parentControl(); h.empty() && p; p = p->parentControl()) h = p->hint();
  }
  setHint(longHint(h));
}

bool Application::handleOneMessage(bool wait) {
  MSG m;
  if (wait) {
    BOOL r = ::GetMessageA(&m, nullptr, 0, 0);
    if (r == -1) return true;
    if (r == 0) {
      ::PostQuitMessage(static_cast<int>(m.wParam));
      return false;
    }
  } else {
    if (!::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) return true;
    if (m.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(m.wParam));
      return false;
    }
  }
  if (m.message == WM_MOUSEMOVE) {
    try {
      trackHint(m);
    } catch (...) {
      handleException();
    }
  }
  if (activeModal_ && activeModal_->hasHandle()) {
    bool handled = false;
    try {
      handled = activeModal_->dialogKey(m);
    } catch (...) {
      handleException();
      handled = true;
    }
    if (handled || ::IsDialogMessageA(activeModal_->handle(), &m)) return true;
  }
  ::TranslateMessage(&m);
  ::DispatchMessageA(&m);
  return true;
}

void Application::processMessages() {
  MSG m;
  while (::PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) {
    if (m.message == WM_QUIT) return;
    if (!handleOneMessage(false)) return;
  }
}

int Application::run() {
  if (mainForm_) mainForm_->show();
  MSG m;
  for (;;) {
    BOOL r = ::PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    if (r && m.message == WM_QUIT) {
      ::GetMessageA(&m, nullptr, 0, 0);
      return static_cast<int>(m.wParam);
    }
    if (!handleOneMessage(true)) {
      // GetMessage saw WM_QUIT and posted it again: take it for good.
      ::GetMessageA(&m, nullptr, 0, 0);
      return static_cast<int>(m.wParam);
    }
  }
}

void Application::handleException() noexcept {
  if (!std::current_exception()) return;
  try {
    throw;
  } catch (const std::exception& e) {
    showException(e);
  } catch (...) {
    showException(std::runtime_error("不明なエラーが発生しました"));
  }
}

void Application::showException(const std::exception& e) noexcept {
  ::MessageBoxA(activeOwner(), e.what(), title_.c_str(), MB_OK | MB_ICONERROR);
}

HWND Application::activeOwner() const {
  HWND a = ::GetActiveWindow();
  if (a) return a;
  // Not in front (a message while another program is active): the shown main form
  // still owns the box, so it stays blocked while the box is open.
  if (mainForm_ && mainForm_->hasHandle() && ::IsWindowVisible(mainForm_->handle())) return mainForm_->handle();
  return hwnd_;
}

HCURSOR Application::cursorHandle(Cursor c) {
  switch (c) {
    case Cursor::Wait: return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
    case Cursor::NoDrop: return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_NO));
    case Cursor::Drag: {
      static HCURSOR drag = makeDragCursor();
      return drag;
    }
    case Cursor::Default: break;
  }
  return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
}

void Application::setCursor(Cursor c) {
  cursor_ = c;
  if (c != Cursor::Default) {
    ::SetCursor(cursorHandle(c));
    return;
  }
  // Back to the cursor of whatever window is under the mouse.
  POINT p;
  ::GetCursorPos(&p);
  HWND w = ::WindowFromPoint(p);
  if (w && ::GetWindowThreadProcessId(w, nullptr) == ::GetCurrentThreadId()) {
    auto hit = ::SendMessageA(w, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    ::SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(hit, WM_MOUSEMOVE));
  } else {
    ::SetCursor(cursorHandle(Cursor::Default));
  }
}

// ------------------------------------------------------------ guards

ScreenCursorGuard::ScreenCursorGuard(Cursor c) : previous_(app().cursor()) { app().setCursor(c); }
ScreenCursorGuard::~ScreenCursorGuard() { app().setCursor(previous_); }

StatusTextGuard::StatusTextGuard(StatusBar& bar, const std::string& text) : bar_(bar) {
  bar_.setSimpleText(text);
  bar_.update();
}

StatusTextGuard::~StatusTextGuard() {
  bar_.setSimpleText("");
  bar_.update();
}

}  // namespace pv::win
