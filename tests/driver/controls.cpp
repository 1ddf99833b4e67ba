// Toolbars, list and combo boxes, status bars, tab controls and message boxes of
// another process. Common-control messages carry pointers Wine does not marshal
// between processes, so their buffers live in the target (RemoteBuffer).

#include "detail.h"
#include "driver.h"
#include <commctrl.h>  // after <windows.h>

namespace pv::test {

using detail::RemoteBuffer;
using detail::sendW;
using detail::setError;

namespace {
constexpr size_t kTextChars = 1024;


// Reads a wide string the target wrote into remote memory.
std::string readRemoteText(const RemoteBuffer& buf, size_t offset, size_t chars) {
  std::wstring w(chars + 1, L'\0');
  if (!buf.read(&w[0], chars * sizeof(wchar_t), offset)) return {};
  w.resize(wcsnlen(w.c_str(), chars));
  return detail::wideToAnsi(w.c_str(), static_cast<int>(w.size()));
}

bool remoteRect(HWND h, UINT msg, WPARAM wp, RECT& out) {
  RemoteBuffer buf(h, sizeof(RECT));
  LRESULT r = 0;
  if (!buf.ok() || !sendW(h, msg, wp, buf.address(), &r) || !r) return false;
  return buf.read(&out, sizeof out);
}
}  // namespace

// ---------------------------------------------------------------- toolbars

HWND findToolbar(HWND top, int index) { return findChildByIndex(top, TOOLBARCLASSNAMEA, index); }

int toolbarButtonCount(HWND toolbar) {
  LRESULT n = 0;
  return sendW(toolbar, TB_BUTTONCOUNT, 0, 0, &n) ? static_cast<int>(n) : -1;
}

std::optional<ToolButton> toolbarButton(HWND toolbar, int index) {
  RemoteBuffer buf(toolbar, sizeof(TBBUTTON) + sizeof(RECT) + kTextChars * sizeof(wchar_t));
  if (!buf.ok()) return std::nullopt;
  LRESULT r = 0;
  if (!sendW(toolbar, TB_GETBUTTON, index, buf.address(), &r) || !r) {
    setError("no toolbar button #" + std::to_string(index));
    return std::nullopt;
  }
  TBBUTTON tb{};
  buf.read(&tb, sizeof tb);
  ToolButton b;
  b.index = index;
  b.command = tb.idCommand;
  b.state = tb.fsState;
  b.style = tb.fsStyle;
  if (sendW(toolbar, TB_GETITEMRECT, index, buf.address(sizeof(TBBUTTON)), &r) && r)
    buf.read(&b.rect, sizeof b.rect, sizeof(TBBUTTON));
  if (!b.separator()) {
    size_t textOffset = sizeof(TBBUTTON) + sizeof(RECT);
    LRESULT len = 0;
    if (sendW(toolbar, TB_GETBUTTONTEXTW, tb.idCommand, 0, &len) && len > 0 &&
        static_cast<size_t>(len) < kTextChars &&
        sendW(toolbar, TB_GETBUTTONTEXTW, tb.idCommand, buf.address(textOffset), &r) && r > 0)
      b.text = readRemoteText(buf, textOffset, static_cast<size_t>(r));
  }
  return b;
}

std::vector<ToolButton> toolbarButtons(HWND toolbar) {
  std::vector<ToolButton> out;
  int n = toolbarButtonCount(toolbar);
  for (int i = 0; i < n; ++i)
    if (auto b = toolbarButton(toolbar, i)) out.push_back(*b);
  return out;
}

int toolbarFind(HWND toolbar, const std::string& text) {
  for (const ToolButton& b : toolbarButtons(toolbar))
    if (!b.separator() && textMatches(b.text, text)) return b.index;
  setError("no toolbar button '" + text + "'");
  return -1;
}

int toolbarFindCommand(HWND toolbar, int command) {
  for (const ToolButton& b : toolbarButtons(toolbar))
    if (!b.separator() && b.command == command) return b.index;
  setError("no toolbar button with command " + std::to_string(command));
  return -1;
}

bool pressToolbarButton(HWND toolbar, int index) {
  auto b = toolbarButton(toolbar, index);
  if (!b) return false;
  if (!b->enabled()) {
    setError("toolbar button '" + b->text + "' is disabled");
    return false;
  }
  return postClick(toolbar, detail::centre(b->rect));
}

bool pressToolbarButton(HWND toolbar, const std::string& text) {
  int i = toolbarFind(toolbar, text);
  return i >= 0 && pressToolbarButton(toolbar, i);
}

bool hoverToolbarButton(HWND toolbar, int index) {
  auto b = toolbarButton(toolbar, index);
  if (!b) return false;
  POINT c = detail::centre(b->rect);
  // The real cursor makes hover tracking, tooltips and GetCursorPos-based hint code
  // agree; the posted move covers code that only looks at WM_MOUSEMOVE.
  moveCursor(clientToScreen(toolbar, POINT{c.x - 1, c.y}));
  moveCursor(clientToScreen(toolbar, c));
  return postMouseMove(toolbar, c);
}

bool hoverToolbarButton(HWND toolbar, const std::string& text) {
  int i = toolbarFind(toolbar, text);
  return i >= 0 && hoverToolbarButton(toolbar, i);
}

// ---------------------------------------------------------------- list boxes

int listCount(HWND list) {
  LRESULT n = 0;
  return sendW(list, LB_GETCOUNT, 0, 0, &n) ? static_cast<int>(n) : -1;
}

std::string listItem(HWND list, int index) {
  LRESULT len = 0;
  if (!sendW(list, LB_GETTEXTLEN, index, 0, &len) || len == LB_ERR) {
    setError("no list item #" + std::to_string(index));
    return {};
  }
  std::wstring buf(static_cast<size_t>(len) + 2, L'\0');
  LRESULT got = 0;
  if (!sendW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&buf[0]), &got) || got == LB_ERR) return {};
  return detail::wideToAnsi(buf.c_str(), static_cast<int>(got));
}

std::vector<std::string> listItems(HWND list) {
  std::vector<std::string> out;
  int n = listCount(list);
  for (int i = 0; i < n; ++i) out.push_back(listItem(list, i));
  return out;
}

int listFind(HWND list, const std::string& text) {
  std::vector<std::string> items = listItems(list);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i);
  return -1;
}

int listSelected(HWND list) {
  LRESULT r = LB_ERR;
  sendW(list, LB_GETCURSEL, 0, 0, &r);
  return r == LB_ERR ? -1 : static_cast<int>(r);
}

std::vector<int> listSelection(HWND list) {
  std::vector<int> out;
  LRESULT n = 0;
  if (!sendW(list, LB_GETSELCOUNT, 0, 0, &n) || n == LB_ERR) {  // single-selection list
    int s = listSelected(list);
    if (s >= 0) out.push_back(s);
    return out;
  }
  int count = listCount(list);
  for (int i = 0; i < count; ++i) {
    LRESULT sel = 0;
    if (sendW(list, LB_GETSEL, i, 0, &sel) && sel > 0) out.push_back(i);
  }
  return out;
}

int listTopIndex(HWND list) {
  LRESULT r = 0;
  return sendW(list, LB_GETTOPINDEX, 0, 0, &r) ? static_cast<int>(r) : -1;
}

RECT listItemRect(HWND list, int index) {
  RECT r{};
  LRESULT res = LB_ERR;
  // LB_GETITEMRECT is marshalled by Wine; if not, work it out from the item height.
  if (sendW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r), &res) && res != LB_ERR) return r;
  LRESULT h = 0;
  sendW(list, LB_GETITEMHEIGHT, index, 0, &h);
  RECT c = clientRect(list);
  int top = (index - listTopIndex(list)) * static_cast<int>(h);
  return RECT{0, top, c.right, top + static_cast<int>(h)};
}

namespace {
// Brings the item into the visible part of the list and answers its centre.
bool visibleItemCentre(HWND list, int index, POINT& out) {
  int n = listCount(list);
  if (index < 0 || index >= n) {
    setError("list item #" + std::to_string(index) + " out of range (" + std::to_string(n) + " items)");
    return false;
  }
  RECT c = clientRect(list);
  RECT r = listItemRect(list, index);
  if (r.top < 0 || r.bottom > c.bottom) {
    sendW(list, LB_SETTOPINDEX, index, 0);
    r = listItemRect(list, index);
  }
  out = detail::centre(r);
  return true;
}
}  // namespace

bool clickListItem(HWND list, int index) {
  POINT p;
  return visibleItemCentre(list, index, p) && postClick(list, p);
}

bool doubleClickListItem(HWND list, int index) {
  POINT p;
  return visibleItemCentre(list, index, p) && postDoubleClick(list, p);
}

bool setListSelection(HWND list, int index) {
  LRESULT r = 0;
  return sendW(list, LB_SETCURSEL, index, 0, &r) && (r != LB_ERR || index == -1);
}

bool dragListItemToPoint(HWND list, int from, POINT client) {
  POINT start;
  if (!visibleItemCentre(list, from, start)) return false;
  HWND top = GetAncestor(list, GA_ROOT);
  activate(top);
  // Real input: drag code usually captures the mouse and may ask GetCursorPos or
  // LBItemFromPt, which posted messages would not satisfy.
  bool ok = realDrag(clientToScreen(list, start), clientToScreen(list, client));
  return ok && settle(list);
}

bool dragListItem(HWND list, int from, int to) {
  POINT target;
  if (!visibleItemCentre(list, to, target)) return false;
  POINT start;
  visibleItemCentre(list, from, start);
  // visibleItemCentre may have scrolled for `from`; take `to` again afterwards.
  target = detail::centre(listItemRect(list, to));
  return dragListItemToPoint(list, from, target);
}

// ---------------------------------------------------------------- combo boxes

int comboCount(HWND combo) {
  LRESULT n = 0;
  return sendW(combo, CB_GETCOUNT, 0, 0, &n) ? static_cast<int>(n) : -1;
}

std::string comboItem(HWND combo, int index) {
  LRESULT len = 0;
  if (!sendW(combo, CB_GETLBTEXTLEN, index, 0, &len) || len == CB_ERR) return {};
  std::wstring buf(static_cast<size_t>(len) + 2, L'\0');
  LRESULT got = 0;
  if (!sendW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&buf[0]), &got) || got == CB_ERR) return {};
  return detail::wideToAnsi(buf.c_str(), static_cast<int>(got));
}

int comboSelected(HWND combo) {
  LRESULT r = CB_ERR;
  sendW(combo, CB_GETCURSEL, 0, 0, &r);
  return r == CB_ERR ? -1 : static_cast<int>(r);
}

bool selectComboItem(HWND combo, int index) {
  LRESULT r = 0;
  if (!sendW(combo, CB_SETCURSEL, index, 0, &r) || r == CB_ERR) return false;
  HWND parent = GetParent(combo);
  PostMessageW(parent, WM_COMMAND, MAKEWPARAM(controlId(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  return settle(combo);
}

// ---------------------------------------------------------------- status bars

HWND findStatusBar(HWND top) { return findChild(top, STATUSCLASSNAMEA); }

int statusPartCount(HWND status) {
  LRESULT n = 0;
  return sendW(status, SB_GETPARTS, 0, 0, &n) ? static_cast<int>(n) : -1;
}

bool statusIsSimple(HWND status) {
  LRESULT r = 0;
  return sendW(status, SB_ISSIMPLE, 0, 0, &r) && r;
}

std::string statusText(HWND status, int part) {
  LRESULT lenInfo = 0;
  if (!sendW(status, SB_GETTEXTLENGTHW, part, 0, &lenInfo)) return {};
  size_t len = LOWORD(lenInfo);
  if (len == 0) return {};
  RemoteBuffer buf(status, (len + 1) * sizeof(wchar_t));
  if (!buf.ok() || !sendW(status, SB_GETTEXTW, part, buf.address())) return {};
  return readRemoteText(buf, 0, len);
}

bool waitStatusText(HWND status, const std::string& text, DWORD timeoutMs, int part) {
  if (waitUntil([&] { return statusText(status, part) == text; }, timeoutMs)) return true;
  setError("status bar shows '" + statusText(status, part) + "', not '" + text + "'");
  return false;
}

// ---------------------------------------------------------------- tab controls

int tabCount(HWND tab) {
  LRESULT n = 0;
  return sendW(tab, TCM_GETITEMCOUNT, 0, 0, &n) ? static_cast<int>(n) : -1;
}

int tabCurrent(HWND tab) {
  LRESULT r = -1;
  sendW(tab, TCM_GETCURSEL, 0, 0, &r);
  return static_cast<int>(r);
}

std::string tabText(HWND tab, int index) {
  RemoteBuffer buf(tab, sizeof(TCITEMW) + kTextChars * sizeof(wchar_t));
  if (!buf.ok()) return {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = reinterpret_cast<LPWSTR>(buf.address(sizeof(TCITEMW)));
  item.cchTextMax = kTextChars;
  LRESULT r = 0;
  if (!buf.write(&item, sizeof item) || !sendW(tab, TCM_GETITEMW, index, buf.address(), &r) || !r) {
    setError("no tab #" + std::to_string(index));
    return {};
  }
  // The control may answer with its own string pointer instead of filling ours.
  buf.read(&item, sizeof item);
  if (item.pszText != reinterpret_cast<LPWSTR>(buf.address(sizeof(TCITEMW)))) {
    setError("tab text not copied into our buffer");
    return {};
  }
  return readRemoteText(buf, sizeof(TCITEMW), kTextChars - 1);
}

int tabFind(HWND tab, const std::string& text) {
  int n = tabCount(tab);
  for (int i = 0; i < n; ++i)
    if (textMatches(tabText(tab, i), text)) return i;
  setError("no tab '" + text + "'");
  return -1;
}

RECT tabItemRect(HWND tab, int index) {
  RECT r{};
  remoteRect(tab, TCM_GETITEMRECT, index, r);
  return r;
}

bool selectTab(HWND tab, int index) {
  int n = tabCount(tab);
  if (index < 0 || index >= n) {
    setError("tab #" + std::to_string(index) + " out of range");
    return false;
  }
  if (tabCurrent(tab) == index) return true;
  RECT r = tabItemRect(tab, index);
  if (r.right > r.left) postClick(tab, detail::centre(r));
  if (!waitUntil([&] { return tabCurrent(tab) == index; }, 1000)) {
    // Tabs scrolled out of sight cannot be clicked; TCM_SETCURFOCUS notifies like a click.
    sendW(tab, TCM_SETCURFOCUS, index, 0);
    settle(tab);
  }
  if (tabCurrent(tab) != index) {
    setError("tab #" + std::to_string(index) + " not selected");
    return false;
  }
  return true;
}

bool selectTab(HWND tab, const std::string& text) {
  int i = tabFind(tab, text);
  return i >= 0 && selectTab(tab, i);
}

// ---------------------------------------------------------------- message boxes and dialogs

HWND findMessageBox(const std::string& title, DWORD pid) { return findWindow(WindowMatch{"#32770", title, pid, true}); }

HWND waitMessageBox(const std::string& title, DWORD pid, DWORD timeoutMs) {
  return waitWindow(WindowMatch{"#32770", title, pid, true}, timeoutMs);
}

HWND waitDialog(const std::string& title, DWORD pid, DWORD timeoutMs) { return waitMessageBox(title, pid, timeoutMs); }

std::string messageBoxText(HWND box) {
  for (HWND h : children(box, "Static")) {
    std::string t = windowText(h);
    if (!t.empty()) return t;
  }
  return {};
}

std::vector<std::string> messageBoxButtons(HWND box) {
  std::vector<std::string> out;
  for (HWND h : children(box, "Button"))
    if (IsWindowVisible(h)) out.push_back(windowText(h));
  return out;
}

MessageBoxInfo readMessageBox(HWND box) {
  MessageBoxInfo info;
  info.hwnd = box;
  info.title = windowText(box);
  info.text = messageBoxText(box);
  info.buttons = messageBoxButtons(box);
  return info;
}

namespace {
bool buttonTextMatches(const std::string& actual, const std::string& wanted) {
  if (textMatches(actual, wanted)) return true;
  size_t paren = actual.find('(');  // "はい(&Y)": '(' is never a trailing byte
  return paren != std::string::npos && paren > 0 && textMatches(actual.substr(0, paren), wanted);
}

bool pressAndWaitGone(HWND box, HWND button) {
  if (!click(button)) return false;
  return waitWindowGone(box, kTimeout);
}
}  // namespace

bool answerMessageBox(HWND box, const std::string& buttonText) {
  for (HWND h : children(box, "Button"))
    if (IsWindowVisible(h) && buttonTextMatches(windowText(h), buttonText)) return pressAndWaitGone(box, h);
  std::string have;
  for (const std::string& b : messageBoxButtons(box)) have += " '" + b + "'";
  setError("message box has no button '" + buttonText + "'; it has" + have);
  return false;
}

bool answerMessageBox(HWND box, int buttonId) {
  for (HWND h : children(box, "Button"))
    if (controlId(h) == buttonId) return pressAndWaitGone(box, h);
  // IDCANCEL without a Cancel button still closes an OK-only box.
  postCommand(box, buttonId);
  return waitWindowGone(box, kTimeout);
}

}  // namespace pv::test
