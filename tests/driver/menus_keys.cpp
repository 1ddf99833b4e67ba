// Real keys with modifiers, the right mouse button, popup menus and the shell's
// folder dialog: what a context menu and a restore are driven with.
#include <shlobj.h>

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

std::vector<MenuItem> popupMenuItems(HWND popup) {
  std::vector<MenuItem> items;
  LRESULT r = 0;
  if (!detail::sendW(popup, MN_GETHMENU, 0, 0, &r) || !r) {
    setError("no menu behind the popup window");
    return items;
  }
  HMENU menu = reinterpret_cast<HMENU>(r);
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    MenuItem item;
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    item.text = detail::wideToAnsi(text);
    item.enabled = !(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED));
    GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item.rect);
    items.push_back(item);
  }
  return items;
}

bool clickPopupMenuItem(HWND popup, const std::string& text) {
  for (const MenuItem& item : popupMenuItems(popup))
    if (textMatches(item.text, text)) {
      RECT r = item.rect;
      if (r.right <= r.left) {
        setError("menu item without a rectangle: " + text);
        return false;
      }
      return realClick(detail::centre(r));
    }
  setError("no menu item " + text);
  return false;
}

bool browseSelect(HWND dialog, const std::string& folder) {
  detail::RemoteBuffer buf(dialog, folder.size() + 1);
  if (!buf.ok() || !buf.write(folder.c_str(), folder.size() + 1)) return false;
  LRESULT r = 0;
  if (!detail::sendW(dialog, BFFM_SETSELECTIONA, TRUE, buf.address(), &r)) return false;
  return settle(dialog);
}

}  // namespace pv::test
