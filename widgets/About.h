// The about box: the product name drawn with a shade, the program's icon, the
// version from the program's own version resource and a copyright line. A click
// anywhere on it, Enter or Escape closes it.
#pragma once
#include <windows.h>

#include <string>

#include "win/controls.h"
#include "win/form.h"

namespace pv {

class TLabel3D;

class TAboutBox : public win::Form {
 public:
  TAboutBox();

  win::Image& ProgramIcon;
  win::Label& Version;
  TLabel3D& Label3D1;

  void FormCreate();
  void FormClick(win::Control& sender);

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;
};

// "Version " and the ProductVersion text of file (its first 32 characters), or
// "Version" alone when the file has no version resource or no translation entry.
std::string versionCaption(const std::string& file);

// Shows the about box modally and frees it again, also when an error ends it.
void ShowAboutBox();

}  // namespace pv
