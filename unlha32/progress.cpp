#include "unlha32/progress.h"

#include <commctrl.h>

#include <cstdio>

#include "core/arccmd.h"
#include "unlha32/internal.h"

namespace pv::unlha {

namespace {

const char kClassName[] = "PvUnlhaProgress";
constexpr int kClientW = 440, kClientH = 150;
constexpr int kBarRange = 1000;

bool registerClass(HINSTANCE inst, WNDPROC proc) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExA(inst, kClassName, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = inst;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  return ::RegisterClassExA(&wc) != 0;
}

// "1,234 KB"
std::string kilobytes(std::uint64_t bytes) {
  std::uint64_t kb = (bytes + 1023) / 1024;
  std::string digits = std::to_string(kb), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out + " KB";
}

HWND makeChild(HWND parent, const char* cls, const char* text, DWORD style, int id, HINSTANCE inst) {
  return ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
}

}  // namespace

LRESULT CALLBACK ProgressWindow::wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL && self && !self->cancel_) {
        self->cancel_ = true;
        ::EnableWindow(self->button_, FALSE);
        ::SetWindowTextA(self->fileLabel_, "中止しています...");
      }
      return 0;
    case WM_CLOSE:
      // The close box cancels; the command closes the window when it has stopped.
      ::SendMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

bool ProgressWindow::open(HWND owner, const std::string& archivePath, const char* caption, bool noActivate) {
  HINSTANCE inst = settings().module;
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&icc);
  if (!registerClass(inst, &ProgressWindow::wndProc)) return false;

  // Only a top-level window can own another one (and be disabled as a whole).
  owner_ = (owner && ::IsWindow(owner)) ? ::GetAncestor(owner, GA_ROOT) : nullptr;
  archiveName_ = std::string(arccmd::lastComponent(archivePath));

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | (owner_ ? 0 : WS_EX_APPWINDOW);
  RECT r = {0, 0, kClientW, kClientH};
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  const int w = r.right - r.left, h = r.bottom - r.top;

  // Centred over the owner when it is on screen, else over the work area.
  RECT area;
  if (!owner_ || !::IsWindowVisible(owner_) || ::IsIconic(owner_) || !::GetWindowRect(owner_, &area))
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  int x = area.left + (area.right - area.left - w) / 2, y = area.top + (area.bottom - area.top - h) / 2;
  RECT work;
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  if (x + w > work.right) x = work.right - w;
  if (y + h > work.bottom) y = work.bottom - h;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;

  hwnd_ = ::CreateWindowExA(exStyle, kClassName, "", style, x, y, w, h, owner_, nullptr, inst, this);
  if (!hwnd_) return false;
  setCaption(caption);

  font_ = ::CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS UI Gothic");
  HFONT font = font_ ? font_ : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));

  HWND archiveCaption = makeChild(hwnd_, "STATIC", "書庫:", SS_LEFT | SS_NOPREFIX, 100, inst);
  archiveLabel_ = makeChild(hwnd_, "STATIC", archivePath.c_str(), SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 101, inst);
  HWND fileCaption = makeChild(hwnd_, "STATIC", "ファイル:", SS_LEFT | SS_NOPREFIX, 102, inst);
  fileLabel_ = makeChild(hwnd_, "STATIC", "ファイルを調べています...", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 103, inst);
  bar_ = makeChild(hwnd_, PROGRESS_CLASSA, "", 0, 104, inst);
  amountLabel_ = makeChild(hwnd_, "STATIC", "", SS_LEFT | SS_NOPREFIX, 105, inst);
  button_ = makeChild(hwnd_, "BUTTON", "キャンセル", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, inst);
  for (HWND c : {archiveCaption, archiveLabel_, fileCaption, fileLabel_, amountLabel_, button_})
    ::SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageA(bar_, PBM_SETRANGE32, 0, kBarRange);

  ::MoveWindow(archiveCaption, 14, 14, 64, 16, FALSE);
  ::MoveWindow(archiveLabel_, 80, 14, kClientW - 94, 16, FALSE);
  ::MoveWindow(fileCaption, 14, 38, 64, 16, FALSE);
  ::MoveWindow(fileLabel_, 80, 38, kClientW - 94, 16, FALSE);
  ::MoveWindow(bar_, 14, 66, kClientW - 28, 18, FALSE);
  ::MoveWindow(amountLabel_, 14, 92, kClientW - 28, 16, FALSE);
  ::MoveWindow(button_, kClientW - 14 - 100, kClientH - 14 - 26, 100, 26, FALSE);

  ::ShowWindow(hwnd_, noActivate ? SW_SHOWNOACTIVATE : SW_SHOW);
  if (!noActivate) ::SetFocus(button_);
  // Disable the owner only once the window is there to take the activation.
  if (owner_ && ::IsWindowEnabled(owner_)) {
    ::EnableWindow(owner_, FALSE);
    ownerDisabled_ = true;
  }
  ::UpdateWindow(hwnd_);
  pump();
  return true;
}

void ProgressWindow::setCaption(const char* caption) {
  if (!hwnd_) return;
  std::string text = caption;
  if (!archiveName_.empty()) text += " - " + archiveName_;
  ::SetWindowTextA(hwnd_, text.c_str());
}

void ProgressWindow::setFile(const std::string& text) { file_ = text; }

void ProgressWindow::setBytes(std::uint64_t done, std::uint64_t total) {
  done_ = done > total ? total : done;
  total_ = total;
}

void ProgressWindow::show() {
  if (!hwnd_) return;
  lastShow_ = ::GetTickCount();
  if (!cancel_ && file_ != shownFile_) {
    shownFile_ = file_;
    ::SetWindowTextA(fileLabel_, file_.c_str());
  }
  const int pos = total_ ? static_cast<int>(done_ * kBarRange / total_) : 0;
  if (pos != barPos_) {
    barPos_ = pos;
    ::SendMessageA(bar_, PBM_SETPOS, pos, 0);
  }
  if (done_ != lastDone_) {
    lastDone_ = done_;
    char pct[16];
    std::snprintf(pct, sizeof pct, "%d%%", pos / 10);
    const std::string text = std::string(pct) + "  (" + kilobytes(done_) + " / " + kilobytes(total_) + ")";
    ::SetWindowTextA(amountLabel_, text.c_str());
  }
}

void ProgressWindow::pump() {
  if (!hwnd_) return;
  if (::GetTickCount() - lastShow_ >= kShowEveryMs) show();
  MSG msg;
  // Bounded, so that a flood of messages cannot keep the command from working.
  for (int i = 0; i < 256 && ::PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE); ++i) {
    if (::IsDialogMessageA(hwnd_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  // The caller's windows repaint; everything else of theirs (input, posted commands)
  // waits in the queue for their own loop, so nothing of theirs runs inside the command.
  for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
    ::DispatchMessageA(&msg);
  // A quit request stays for the caller's loop and stops the command.
  if (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) ::SendMessageA(hwnd_, WM_COMMAND, IDCANCEL, 0);
}

void ProgressWindow::close() {
  if (ownerDisabled_ && owner_ && ::IsWindow(owner_)) ::EnableWindow(owner_, TRUE);
  ownerDisabled_ = false;
  if (hwnd_) {
    ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  if (font_) {
    ::DeleteObject(font_);
    font_ = nullptr;
  }
}

}  // namespace pv::unlha
