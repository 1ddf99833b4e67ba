#include "widgets/About.h"

#include <memory>

#include "win/version.h"
#include "pv_version.h"
#include "widgets/Label3D.h"
#include "win/app.h"
#include "win/files.h"

namespace pv {

namespace {

using win::ControlDesc;
using win::FormDesc;
using win::Kind;
namespace opt = win::opt;
namespace formopt = win::formopt;

const FormDesc kForm = {.name = "AboutBox",
                        .caption = "バージョン情報",
                        .left = 0, .top = 0, .width = 193, .height = 59,
                        .flags = formopt::Dialog | formopt::NoSysMenu | formopt::ClientSize,
                        .font = {.name = "MS UI Gothic", .height = 12}};

const ControlDesc kControls[] = {
    {.kind = Kind::Image, .name = "ProgramIcon", .parent = nullptr,
     .left = 4, .top = 4, .width = 32, .height = 32},
    {.kind = Kind::Label, .name = "Version", .parent = nullptr,
     .left = 92, .top = 24, .width = 97, .height = 13, .caption = "Version"},
    {.kind = Kind::Label, .name = "Notice", .parent = nullptr,
     .left = 16, .top = 40, .width = 173, .height = 13, .caption = "Copyright (C) " PV_MAKER_NAME,
     .flags = opt::Right},
    {.kind = Kind::Custom, .name = "Label3D1", .parent = nullptr,
     .left = 48, .top = 4, .width = 117, .height = 21, .caption = PV_PRODUCT_NAME,
     .font = {.name = "ＭＳ Ｐゴシック", .height = 13, .bold = true, .color = RGB(0, 0, 0)},
     .factory = &win::create<TLabel3D>, .props = "ShadeColor=FFFFFF"},
};

constexpr const char* kVersionPrefix = "Version";

}  // namespace

std::string versionCaption(const std::string& file) {
  const std::string text = win::ReadVersionString(file, backup::VersionKind::ProductVersion);
  return text.empty() ? kVersionPrefix : std::string(kVersionPrefix) + " " + text;
}

TAboutBox::TAboutBox()
    : Form(kForm, kControls),
      ProgramIcon(find<win::Image>("ProgramIcon")),
      Version(find<win::Label>("Version")),
      Label3D1(find<TLabel3D>("Label3D1")) {
  onCreate(&TAboutBox::FormCreate);
  onClick = [this](win::Control& s) { FormClick(s); };
  for (const char* name : {"ProgramIcon", "Version", "Notice", "Label3D1"})
    on(name, win::Click, &TAboutBox::FormClick);
}

void TAboutBox::FormCreate() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  setBounds(cursor.x - 100, cursor.y - 30, width(), height());
  Version.setCaption(versionCaption(win::exePath()));
  ProgramIcon.setIcon(win::app().icon());
}

void TAboutBox::FormClick(win::Control&) { setModalResult(win::mrOk); }

LRESULT TAboutBox::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    // Labels and the icon let clicks through to the form.
    case WM_LBUTTONUP:
      click();
      return 0;
    // Enter and Escape (the dialog keys) close the box like a click, so that it
    // never traps a keyboard user: it has no buttons and no close box.
    case WM_COMMAND:
      if (l == 0 && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
        click();
        return 0;
      }
      break;
    case WM_KEYDOWN:
      if (w == VK_RETURN || w == VK_ESCAPE) {
        click();
        return 0;
      }
      break;
  }
  return Form::handleMessage(msg, w, l);
}

void ShowAboutBox() {
  auto box = std::make_unique<TAboutBox>();
  box->build();
  box->showModal();
}

}  // namespace pv
