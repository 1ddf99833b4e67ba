#include "widgets/chkboxXP.h"

#include "widgets/UxTheme.h"

namespace pv {

void TXpCheckBox::setProperty(std::string_view name, std::string_view value) {
  if (name == "DoubleBuffered")
    doubleBuffered_ = value == "True" || value == "true" || value == "1";
  else
    CheckBox::setProperty(name, value);
}

bool TXpCheckBox::themed() const { return uxtheme::useThemes() && ctl3D(); }

void TXpCheckBox::eraseBackground(UINT msg, WPARAM w, LPARAM l) {
  if (doubleBuffered_ && w != static_cast<WPARAM>(l)) return;
  Control* parent = parentControl();
  HWND parentWindow = parent && parent->hasHandle() ? parent->handle() : nullptr;
  if (!parentWindow) {
    CheckBox::handleMessage(msg, w, l);
    return;
  }
  // The parent answers with the brush that paints its background behind us.
  HDC dc = reinterpret_cast<HDC>(w);
  auto brush = reinterpret_cast<HBRUSH>(
      ::SendMessageA(parentWindow, WM_CTLCOLORSTATIC, w, reinterpret_cast<LPARAM>(handle())));
  RECT r = clientRect();
  ::FillRect(dc, &r, brush);
}

LRESULT TXpCheckBox::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_ERASEBKGND) {
    if (themed())
      eraseBackground(msg, w, l);
    else
      CheckBox::handleMessage(msg, w, l);
    return 1;
  }
  if (msg == win::CN_CTLCOLORSTATIC && themed() && hasHandle() && uxtheme::DrawThemeParentBackground) {
    HDC dc = reinterpret_cast<HDC>(w);
    uxtheme::DrawThemeParentBackground(reinterpret_cast<HWND>(l), dc, nullptr);
    // The text goes straight onto the parent's background.
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
  }
  return CheckBox::handleMessage(msg, w, l);
}

}  // namespace pv
