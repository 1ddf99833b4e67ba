// Finding windows, reading them, and mouse and keyboard input.
#include <algorithm>
#include <cstdio>

#include "detail.h"
#include "driver.h"

#include <richedit.h>

namespace pv::test {

using detail::sendW;
using detail::setError;

namespace {

std::string stripMnemonics(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
      out += s[i];
      out += s[++i];
    } else if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out += s[++i];  // "&&" is a literal '&'
    } else {
      out += s[i];
    }
  }
  return out;
}

bool classIs(HWND hwnd, const std::string& className) {
  return className.empty() || lstrcmpiA(windowClass(hwnd).c_str(), className.c_str()) == 0;
}

struct EnumState {
  const WindowMatch* match;
  std::vector<HWND> found;
};

BOOL CALLBACK collectTop(HWND hwnd, LPARAM lp) {
  auto* st = reinterpret_cast<EnumState*>(lp);
  const WindowMatch& m = *st->match;
  if (m.visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
  if (m.pid && windowPid(hwnd) != m.pid) return TRUE;
  if (!classIs(hwnd, m.className)) return TRUE;
  if (!m.title.empty() && !textMatches(windowText(hwnd), m.title)) return TRUE;
  st->found.push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK collectChildren(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

// Posted mouse messages carry the key state and the client position.
LPARAM clientLParam(POINT p) { return MAKELPARAM(static_cast<short>(p.x), static_cast<short>(p.y)); }

bool post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (!PostMessageW(hwnd, msg, wp, lp)) {
    setError("PostMessage failed");
    return false;
  }
  return true;
}

// Delivered ahead of posted messages but without waiting: the target handles these in
// order, and a later sent WM_NULL (settle) is answered only once they are done or a
// modal loop they opened is running. Posted messages give no such point to wait for.
bool notify(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (!SendNotifyMessageW(hwnd, msg, wp, lp)) {
    setError("SendNotifyMessage failed");
    return false;
  }
  return true;
}

void sendMouse(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
}

// Let the desktop deliver injected input before the next step.
void inputPause() { Sleep(40); }

}  // namespace

bool textMatches(const std::string& actual, const std::string& wanted) {
  if (actual == wanted) return true;
  std::string shown = stripMnemonics(actual);
  return shown == wanted || shown == stripMnemonics(wanted);
}

std::vector<HWND> topWindows(const WindowMatch& m) {
  EnumState st{&m, {}};
  EnumWindows(collectTop, reinterpret_cast<LPARAM>(&st));
  return st.found;
}

HWND findWindow(const WindowMatch& m) {
  std::vector<HWND> w = topWindows(m);
  return w.empty() ? nullptr : w.front();
}

HWND waitWindow(const WindowMatch& m, DWORD timeoutMs) {
  HWND found = nullptr;
  waitUntil([&] { return (found = findWindow(m)) != nullptr; }, timeoutMs);
  if (!found)
    setError("no window of class '" + m.className + "' titled '" + m.title + "' within " +
             std::to_string(timeoutMs) + " ms; windows:\n" + dumpWindows(m.pid));
  return found;
}

HWND waitWindow(const std::string& className, const std::string& title, DWORD pid, DWORD timeoutMs) {
  return waitWindow(WindowMatch{className, title, pid, true}, timeoutMs);
}

bool waitWindowGone(HWND hwnd, DWORD timeoutMs) {
  if (waitUntil([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, timeoutMs)) return true;
  setError("window '" + windowText(hwnd) + "' still there");
  return false;
}

std::vector<HWND> children(HWND parent, const std::string& className) {
  std::vector<HWND> all, out;
  if (!IsWindow(parent)) return out;
  EnumChildWindows(parent, collectChildren, reinterpret_cast<LPARAM>(&all));
  for (HWND h : all)
    if (classIs(h, className)) out.push_back(h);
  return out;
}

HWND findChild(HWND parent, const std::string& className, const std::string& text) {
  for (HWND h : children(parent, className))
    if (text.empty() || textMatches(windowText(h), text)) return h;
  setError("no child of class '" + className + "' with text '" + text + "'");
  return nullptr;
}

HWND findChildByIndex(HWND parent, const std::string& className, int index) {
  std::vector<HWND> c = children(parent, className);
  if (index < 0 || index >= static_cast<int>(c.size())) {
    setError("no child #" + std::to_string(index) + " of class '" + className + "'");
    return nullptr;
  }
  return c[index];
}

HWND findChildById(HWND parent, int id) {
  for (HWND h : children(parent))
    if (controlId(h) == id) return h;
  setError("no child with id " + std::to_string(id));
  return nullptr;
}

HWND waitChild(HWND parent, const std::string& className, const std::string& text, DWORD timeoutMs) {
  HWND found = nullptr;
  waitUntil([&] { return (found = findChild(parent, className, text)) != nullptr; }, timeoutMs);
  return found;
}

std::string windowText(HWND hwnd) {
  // SendMessageA(WM_GETTEXT) across processes comes back garbled under Wine; the
  // wide form is marshalled correctly.
  LRESULT len = 0;
  if (!sendW(hwnd, WM_GETTEXTLENGTH, 0, 0, &len)) return {};
  std::wstring buf(static_cast<size_t>(len) + 2, L'\0');
  LRESULT got = 0;
  if (!sendW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(&buf[0]), &got)) return {};
  return detail::wideToAnsi(buf.c_str(), static_cast<int>(std::min<LRESULT>(got, len + 1)));
}

std::string richEditText(HWND hwnd, size_t maxBytes) {
  // EM_GETTEXTRANGE with the range and the text both inside the owning process.
  struct Range {
    LONG cpMin, cpMax;
    DWORD text;  // LPSTR of the 32-bit target
  };
  detail::RemoteBuffer buf(hwnd, sizeof(Range) + maxBytes);
  if (!buf.ok()) return {};
  Range r{0, static_cast<LONG>(maxBytes - 1), static_cast<DWORD>(buf.address(sizeof(Range)))};
  if (!buf.write(&r, sizeof r)) return {};
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(hwnd, EM_GETTEXTRANGE, 0, buf.address(), SMTO_ABORTIFHUNG, 10000, &got)) return {};
  std::string text(std::min<size_t>(got, maxBytes - 1), '\0');
  if (!buf.read(text.data(), text.size(), sizeof(Range))) return {};
  return text;
}

std::string windowClass(HWND hwnd) {
  char buf[256];
  int n = GetClassNameA(hwnd, buf, sizeof buf);
  return std::string(buf, n > 0 ? n : 0);
}

int controlId(HWND hwnd) { return static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_ID)); }

DWORD windowPid(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

HWND parentWindow(HWND hwnd) {
  HWND p = GetAncestor(hwnd, GA_PARENT);
  return p == GetDesktopWindow() ? nullptr : p;
}

HWND ownerWindow(HWND hwnd) { return GetWindow(hwnd, GW_OWNER); }

RECT windowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

RECT clientRect(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

POINT clientToScreen(HWND hwnd, POINT client) {
  ClientToScreen(hwnd, &client);
  return client;
}

bool isWindow(HWND hwnd) { return hwnd && IsWindow(hwnd); }
bool isVisible(HWND hwnd) { return hwnd && IsWindowVisible(hwnd); }
bool isEnabled(HWND hwnd) { return hwnd && IsWindowEnabled(hwnd); }
bool isMaximized(HWND hwnd) { return hwnd && IsZoomed(hwnd); }
bool isMinimized(HWND hwnd) { return hwnd && IsIconic(hwnd); }
LONG windowStyle(HWND hwnd) { return GetWindowLongA(hwnd, GWL_STYLE); }

bool setWindowText(HWND hwnd, const std::string& text) {
  std::wstring w = detail::ansiToWide(text);
  LRESULT r = 0;
  return sendW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()), &r) && r;
}

bool closeWindow(HWND hwnd) { return post(hwnd, WM_CLOSE, 0, 0); }

bool sysCommand(HWND hwnd, WPARAM sc) { return post(hwnd, WM_SYSCOMMAND, sc, 0); }

bool postCommand(HWND hwnd, int id, int notify, HWND ctl) {
  return post(hwnd, WM_COMMAND, MAKEWPARAM(id, notify), reinterpret_cast<LPARAM>(ctl));
}

bool menuSelect(HWND hwnd, UINT item, UINT flags, HMENU menu) {
  return sendW(hwnd, WM_MENUSELECT, MAKEWPARAM(item, flags), reinterpret_cast<LPARAM>(menu));
}

HWND findPopupMenu(DWORD pid) { return findWindow(WindowMatch{"#32768", "", pid, true}); }

bool openSystemMenu(HWND top) {
  if (!post(top, WM_SYSCOMMAND, SC_KEYMENU, ' ')) return false;
  DWORD pid = windowPid(top);
  if (waitUntil([&] { return findPopupMenu(pid) != nullptr; }, kShortTimeout)) return true;
  setError("system menu did not open");
  return false;
}

bool menuKey(HWND top, UINT vk) {
  // The menu's own loop reads the keys from the thread's queue, whichever window
  // they were posted to.
  return pressKey(top, vk);
}

namespace {
// The thread owning hwnd is in a menu loop (Escape out of a keyboard-opened popup
// leaves the loop running with no popup on screen).
bool inMenuMode(HWND hwnd) {
  GUITHREADINFO gi{};
  gi.cbSize = sizeof gi;
  return GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &gi) &&
         (gi.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE));
}
}  // namespace

bool closeMenus(HWND top) {
  DWORD pid = windowPid(top);
  auto open = [&] { return findPopupMenu(pid) != nullptr || inMenuMode(top); };
  for (int i = 0; i < 6 && open(); ++i) {
    pressKey(top, VK_ESCAPE);
    waitUntil([&] { return !open(); }, 300);
  }
  if (open()) {
    setError("a menu stays open");
    return false;
  }
  return settle(top);
}

bool activate(HWND hwnd) {
  if (!IsWindow(hwnd)) return false;
  SetForegroundWindow(hwnd);
  return waitUntil([&] { return GetForegroundWindow() == hwnd; }, kShortTimeout);
}

namespace {
std::string describe(HWND h, int depth) {
  RECT r = windowRect(h);
  char line[512];
  std::snprintf(line, sizeof line, "%*s%p [%s] id=%d %s%s (%ld,%ld)-(%ld,%ld) \"", depth * 2, "",
                static_cast<void*>(h), windowClass(h).c_str(), controlId(h),
                IsWindowVisible(h) ? "visible" : "hidden", IsWindowEnabled(h) ? "" : " disabled", r.left, r.top,
                r.right, r.bottom);
  return line + windowText(h) + "\"\n";
}
}  // namespace

std::string dumpTree(HWND top) {
  std::string out = describe(top, 0);
  for (HWND c : children(top)) {
    int depth = 0;
    for (HWND p = GetParent(c); p && p != top; p = GetParent(p)) ++depth;
    out += describe(c, depth + 1);
  }
  return out;
}

std::string dumpWindows(DWORD pid) {
  std::string out;
  WindowMatch m;
  m.pid = pid;
  m.visibleOnly = false;
  for (HWND h : topWindows(m)) {
    if (!pid && !IsWindowVisible(h)) continue;
    out += dumpTree(h);
  }
  return out;
}

// ---------------------------------------------------------------- mouse and keyboard

// The real cursor goes to the same spot first: controls that track hovering (toolbars)
// cancel a press when the desktop reports the mouse has left them, and handlers that
// ask GetCursorPos see where the click was.
bool postClick(HWND hwnd, POINT client) {
  LPARAM lp = clientLParam(client);
  moveCursor(clientToScreen(hwnd, client));
  return notify(hwnd, WM_MOUSEMOVE, 0, lp) && notify(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, lp) &&
         notify(hwnd, WM_LBUTTONUP, 0, lp) && settle(hwnd);
}

bool postDoubleClick(HWND hwnd, POINT client) {
  LPARAM lp = clientLParam(client);
  moveCursor(clientToScreen(hwnd, client));
  return notify(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, lp) && notify(hwnd, WM_LBUTTONUP, 0, lp) &&
         notify(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, lp) && notify(hwnd, WM_LBUTTONUP, 0, lp) && settle(hwnd);
}

bool postRightClick(HWND hwnd, POINT client) {
  LPARAM lp = clientLParam(client);
  moveCursor(clientToScreen(hwnd, client));
  return notify(hwnd, WM_RBUTTONDOWN, MK_RBUTTON, lp) && notify(hwnd, WM_RBUTTONUP, 0, lp) && settle(hwnd);
}

bool postMouseMove(HWND hwnd, POINT client, WPARAM keys) {
  return notify(hwnd, WM_MOUSEMOVE, keys, clientLParam(client)) && settle(hwnd);
}

bool moveCursor(POINT screen) {
  // SetCursorPos makes the desktop queue a WM_MOUSEMOVE for the window under the
  // cursor, like a real move.
  if (!SetCursorPos(screen.x, screen.y)) {
    setError("SetCursorPos failed");
    return false;
  }
  inputPause();
  return true;
}

bool realClick(POINT screen) {
  if (!moveCursor(screen)) return false;
  sendMouse(MOUSEEVENTF_LEFTDOWN);
  inputPause();
  sendMouse(MOUSEEVENTF_LEFTUP);
  inputPause();
  return true;
}

bool realDoubleClick(POINT screen) {
  if (!moveCursor(screen)) return false;
  for (int i = 0; i < 2; ++i) {
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    Sleep(10);
    sendMouse(MOUSEEVENTF_LEFTUP);
    Sleep(10);
  }
  inputPause();
  return true;
}

bool realDrag(POINT from, POINT to, int steps) {
  if (steps < 1) steps = 1;
  if (!moveCursor(from)) return false;
  sendMouse(MOUSEEVENTF_LEFTDOWN);
  inputPause();
  // Small first moves pass the system drag threshold before the long way.
  for (int d = 1; d <= 3; ++d) moveCursor(POINT{from.x, from.y + (to.y >= from.y ? d * 2 : -d * 2)});
  for (int i = 1; i <= steps; ++i)
    moveCursor(POINT{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
  moveCursor(to);
  sendMouse(MOUSEEVENTF_LEFTUP);
  inputPause();
  return true;
}

void parkCursor() {
  SetCursorPos(GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1,
               GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
}

POINT cursorPos() {
  POINT p{};
  GetCursorPos(&p);
  return p;
}

bool pressKey(HWND hwnd, UINT vk) {
  UINT scan = MapVirtualKeyW(vk, 0);
  LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  LPARAM up = down | (1u << 30) | (1u << 31);
  return post(hwnd, WM_KEYDOWN, vk, down) && post(hwnd, WM_KEYUP, vk, up) && settle(hwnd);
}

bool pressEnter(HWND hwnd) { return pressKey(hwnd, VK_RETURN); }
bool pressEscape(HWND hwnd) { return pressKey(hwnd, VK_ESCAPE); }

bool typeText(HWND hwnd, const std::string& text) {
  // Characters are sent, not posted, so they arrive in order with the replaced
  // selections below. Wine's ANSI edit control takes WM_CHAR one byte at a time and
  // cannot put a double-byte character together; such characters go in as a
  // replaced selection (which notifies like typing).
  const bool unicode = IsWindowUnicode(hwnd);
  for (wchar_t c : detail::ansiToWide(text)) {
    char mb[4];
    int n = WideCharToMultiByte(CP_ACP, 0, &c, 1, mb, sizeof mb, nullptr, nullptr);
    if (n == 2 && !unicode) {
      wchar_t one[2] = {c, 0};
      if (!sendW(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(one))) return false;
    } else if (!sendW(hwnd, WM_CHAR, c, 1)) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------- buttons and edits

bool click(HWND button) {
  // Not sent and waited for: a handler that opens a modal box would block us.
  return isWindow(button) ? notify(button, BM_CLICK, 0, 0) && settle(button) : (setError("no button"), false);
}

int checkState(HWND button) {
  LRESULT r = 0;
  return sendW(button, BM_GETCHECK, 0, 0, &r) ? static_cast<int>(r) : -1;
}

bool isChecked(HWND button) { return checkState(button) == BST_CHECKED; }

bool setChecked(HWND button, bool checked) {
  for (int i = 0; i < 3 && isChecked(button) != checked; ++i)
    if (!click(button)) return false;
  if (isChecked(button) != checked) {
    setError("check box does not change state");
    return false;
  }
  return true;
}

bool setText(HWND edit, const std::string& text) { return setWindowText(edit, text); }

std::string getText(HWND control) { return windowText(control); }

}  // namespace pv::test
