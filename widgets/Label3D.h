// TLabel3D: a label that draws its caption twice, first 2 pixels right of and
// below its place in the shade colour, then in place in the font colour, so the
// text seems to stand out of the window. Used by the about box for the product name.
#pragma once
#include <windows.h>

#include "win/controls.h"

namespace pv {

// The text-changed notification: sent to the control after its caption changes.
constexpr UINT CM_TEXTCHANGED = 0xB012;

class TLabel3D : public win::CustomControl {
 public:
  // 96 x 24, white text on a black shade.
  TLabel3D();

  COLORREF ShadeColor() const { return shadeColor_; }
  // Stores the colour and draws with it at once when the window exists; a
  // control without a window yet takes it at its first paint.
  void setShadeColor(COLORREF c);

  // "ShadeColor" takes the colour as hex digits 00BBGGRR, like "Color".
  void setProperty(std::string_view name, std::string_view value) override;

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;
  void paintWindow(HDC dc) override;

 private:
  COLORREF shadeColor_ = RGB(0, 0, 0);
};

}  // namespace pv
