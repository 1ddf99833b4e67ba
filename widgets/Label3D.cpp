#include "widgets/Label3D.h"

#include <string>

namespace pv {

namespace {
constexpr UINT kTextFormat = DT_WORDBREAK | DT_EXPANDTABS;  // 0x50
constexpr int kShadeOffset = 2;
}  // namespace

TLabel3D::TLabel3D() {
  setBounds(0, 0, 96, 24);
  setFontColor(RGB(255, 255, 255));
}

void TLabel3D::setShadeColor(COLORREF c) {
  shadeColor_ = c;
  if (!hasHandle()) return;
  HDC dc = ::GetDC(handle());
  paintWindow(dc);
  ::ReleaseDC(handle(), dc);
  // Drawn over the old picture: a full paint follows to clear the old shade.
  invalidate();
}

void TLabel3D::setProperty(std::string_view name, std::string_view value) {
  if (name == "ShadeColor")
    setShadeColor(static_cast<COLORREF>(std::stoul(std::string(value), nullptr, 16)));
  else
    CustomControl::setProperty(name, value);
}

void TLabel3D::paintWindow(HDC dc) {
  RECT r = clientRect();
  ::InflateRect(&r, -kShadeOffset, -kShadeOffset);
  ::OffsetRect(&r, kShadeOffset, kShadeOffset);
  const std::string text = caption();
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = ::SelectObject(dc, font() ? font() : ::GetStockObject(DEFAULT_GUI_FONT));
  const COLORREF oldColor = ::SetTextColor(dc, shadeColor_);
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, kTextFormat);
  ::OffsetRect(&r, -kShadeOffset, -kShadeOffset);
  ::SetTextColor(dc, fontColor() != CLR_INVALID ? fontColor() : ::GetSysColor(COLOR_WINDOWTEXT));
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, kTextFormat);
  ::SetTextColor(dc, oldColor);
  ::SelectObject(dc, oldFont);
  ::SetBkMode(dc, oldMode);
}

LRESULT TLabel3D::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r = clientRect();
      ::FillRect(reinterpret_cast<HDC>(w), &r, backgroundBrush());
      return 1;
    }
    case WM_SETTEXT: {
      LRESULT result = CustomControl::handleMessage(msg, w, l);
      perform(CM_TEXTCHANGED);
      return result;
    }
    case CM_TEXTCHANGED:
      invalidate();
      return 0;
    case WM_LBUTTONUP:
      click();
      return 0;
  }
  return CustomControl::handleMessage(msg, w, l);
}

}  // namespace pv
