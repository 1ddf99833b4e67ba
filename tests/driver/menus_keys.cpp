// Real keys with modifiers, the right mouse button and popup menus: what a context
// menu is opened and worked with.
#include "detail.h"
#include "driver.h"

namespace pv::test {

using detail::setError;

namespace {

void sendKey(UINT vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = static_cast<WORD>(vk);
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
  Sleep(20);
}

void sendButton(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
  Sleep(40);
}

}  // namespace

bool realKeys(const std::vector<UINT>& vks) {
  if (vks.empty()) return false;
  for (UINT vk : vks) sendKey(vk, false);
  for (auto it = vks.rbegin(); it != vks.rend(); ++it) sendKey(*it, true);
  Sleep(40);
  return true;
}

bool realRightClick(POINT screen) {
  if (!moveCursor(screen)) return false;
  sendButton(MOUSEEVENTF_RIGHTDOWN);
  sendButton(MOUSEEVENTF_RIGHTUP);
  return true;
}

// Wine keeps a menu inside the process that made it: another process can neither
// read its items nor ask for their rectangles. Items of text only are equally high,
// so the popup window's client area, cut in count slices, gives the item's place.
bool clickPopupMenuItem(HWND popup, int index, int count) {
  if (!IsWindow(popup) || index < 0 || index >= count) {
    setError("no such popup menu item");
    return false;
  }
  RECT c = clientRect(popup);
  const int h = (c.bottom - c.top) / count;
  return realClick(clientToScreen(popup, {(c.left + c.right) / 2, c.top + h * index + h / 2}));
}

}  // namespace pv::test
