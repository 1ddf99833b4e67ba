#include "widgets/tabXP.h"

#include "widgets/UxTheme.h"

namespace pv {

namespace {

constexpr int kTabBody = 10;  // TABP_BODY

}  // namespace

TXPTabSheet::~TXPTabSheet() { closeTheme(); }

void TXPTabSheet::setProperty(std::string_view name, std::string_view value) {
  if (name == "DoubleBuffered")
    doubleBuffered_ = value == "True" || value == "true" || value == "1";
  else
    TabSheet::setProperty(name, value);
}

void TXPTabSheet::openTheme() { theme_ = uxtheme::OpenThemeData(handle(), L"TAB"); }

void TXPTabSheet::closeTheme() {
  if (theme_) {
    if (uxtheme::CloseThemeData) uxtheme::CloseThemeData(theme_);
    theme_ = nullptr;
  }
}

void TXPTabSheet::afterCreateWindow() {
  TabSheet::afterCreateWindow();
  if (uxtheme::useThemes() && uxtheme::OpenThemeData) openTheme();
}

void TXPTabSheet::beforeDestroyWindow() {
  closeTheme();
  TabSheet::beforeDestroyWindow();
}

bool TXPTabSheet::isOwnLabel(HWND child) const {
  auto* label = dynamic_cast<win::Label*>(Window::fromHandle(child));
  return label && label->parentControl() == this && label->ctl3D();
}

bool TXPTabSheet::themed() const { return uxtheme::useThemes() && ctl3D() && theme_ != nullptr; }

bool TXPTabSheet::drawThemeBackground(HDC dc) {
  if (!uxtheme::DrawThemeBackground) return false;
  RECT r = clientRect();
  return uxtheme::DrawThemeBackground(theme_, dc, kTabBody, 0, &r, nullptr) == S_OK;
}

void TXPTabSheet::paintWindow(HDC dc) {
  if (themed() && drawThemeBackground(dc)) return;
  TabSheet::paintWindow(dc);
}

LRESULT TXPTabSheet::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_THEMECHANGED:
      if (uxtheme::useThemes() && uxtheme::OpenThemeData) {
        closeTheme();
        openTheme();
      }
      return 0;
    case WM_CTLCOLORSTATIC:
      // Our labels are windows, not drawn onto the sheet: on the themed body
      // they take the body behind their text instead of a flat box.
      if (themed() && isOwnLabel(reinterpret_cast<HWND>(l)) && uxtheme::DrawThemeParentBackground) {
        HDC dc = reinterpret_cast<HDC>(w);
        uxtheme::DrawThemeParentBackground(reinterpret_cast<HWND>(l), dc, nullptr);
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
      }
      return TabSheet::handleMessage(msg, w, l);
    case WM_ERASEBKGND:
      if (themed()) {
        if (!doubleBuffered_ || w == static_cast<WPARAM>(l)) {
          if (!drawThemeBackground(reinterpret_cast<HDC>(w))) TabSheet::handleMessage(msg, w, l);
        }
      } else {
        TabSheet::handleMessage(msg, w, l);
      }
      return 1;
    default:
      return TabSheet::handleMessage(msg, w, l);
  }
}

}  // namespace pv
