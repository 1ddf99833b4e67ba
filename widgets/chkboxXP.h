// TXpCheckBox: a check box whose background shows its parent's (themed) background
// instead of a flat rectangle behind its text. Without an active theme (or with
// Ctl3D off) it is exactly its base.
//
// Hook of the base it uses: handleMessage, the entry every message passes before
// the framework answers it, for the reflected WM_CTLCOLORSTATIC (0xBD38) and
// WM_ERASEBKGND.
#pragma once
#include <windows.h>

#include "win/controls.h"

namespace pv {

class TXpCheckBox : public win::CheckBox {
 public:
  // The Checked property: read here, set with setChecked().
  bool Checked() const { return checked(); }
  bool doubleBuffered() const { return doubleBuffered_; }
  void setDoubleBuffered(bool on) { doubleBuffered_ = on; }

  void setProperty(std::string_view name, std::string_view value) override;

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  // Themes in use and Ctl3D on (never in a designer here).
  bool themed() const;
  void eraseBackground(UINT msg, WPARAM w, LPARAM l);

  bool doubleBuffered_ = false;
};

}  // namespace pv
