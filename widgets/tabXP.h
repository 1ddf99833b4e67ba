// TXPTabSheet: a tab sheet that paints its background with the theme's tab body,
// where the plain sheet would cover it with a flat colour. Without an active theme
// (or with Ctl3D off) it draws exactly like its base.
//
// Hooks of the base it uses: afterCreateWindow (open the "TAB" theme data),
// beforeDestroyWindow (close it), paintWindow (the paint step) and handleMessage
// (WM_ERASEBKGND, WM_THEMECHANGED, and WM_CTLCOLORSTATIC of its labels, which are
// windows here and would otherwise show a flat box on the themed body).
#pragma once
#include <windows.h>
#include <uxtheme.h>

#include "win/controls.h"

namespace pv {

class TXPTabSheet : public win::TabSheet {
 public:
  TXPTabSheet() = default;
  ~TXPTabSheet() override;

  // The open theme data; null when none is open.
  HTHEME themeHandle() const { return theme_; }
  // With double buffering only the framework's own off-screen pass (wParam ==
  // lParam in WM_ERASEBKGND) is drawn. Our framework does not buffer, so off.
  bool doubleBuffered() const { return doubleBuffered_; }
  void setDoubleBuffered(bool on) { doubleBuffered_ = on; }

  void setProperty(std::string_view name, std::string_view value) override;

 protected:
  void afterCreateWindow() override;
  void beforeDestroyWindow() override;
  void paintWindow(HDC dc) override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  // Themes in use, Ctl3D on and theme data open. Never in a designer here.
  bool themed() const;
  // Draws the tab body into dc; false when the theme could not draw it.
  bool drawThemeBackground(HDC dc);
  // A label of ours placed directly on this sheet.
  bool isOwnLabel(HWND child) const;
  void openTheme();
  void closeTheme();

  HTHEME theme_ = nullptr;
  bool doubleBuffered_ = false;
};

}  // namespace pv
