#include "setup/view.h"

#include "setup/state.h"
#include "win/files.h"

namespace pv::setup {

using namespace win;

namespace {

constexpr FormDesc kForm = {.name = "ViewDlg", .caption = "概要/著作権", .left = 0, .top = 0, .width = 520,
                            .height = 293,
                            .flags = formopt::Dialog | formopt::StayOnTop | formopt::ClientSize |
                                     formopt::ScreenCentre,
                            .font = {"MS UI Gothic", 12}};

const ControlDesc kControls[] = {
    {.kind = Kind::Custom, .name = "Memo1", .parent = nullptr, .left = 0, .top = 0, .width = 520, .height = 252,
     .font = {"ＭＳ ゴシック", 12}, .factory = create<Memo>},
    {.kind = Kind::Button, .name = "OKBtn", .parent = nullptr, .left = 352, .top = 261, .width = 75, .height = 23,
     .caption = "次へ", .flags = opt::Default},
    {.kind = Kind::Button, .name = "CancelBtn", .parent = nullptr, .left = 436, .top = 261, .width = 75,
     .height = 23, .caption = "中止", .flags = opt::Cancel},
};

}  // namespace

TViewDlg::TViewDlg()
    : Form(kForm, kControls),
      Memo1(find<Memo>("Memo1")),
      OKBtn(find<Button>("OKBtn")),
      CancelBtn(find<Button>("CancelBtn")) {
  Memo1.setColor(::GetSysColor(COLOR_BTNFACE));
  onActivate(&TViewDlg::FormActivate);
}

// The text ships beside the installer; it is read from there rather than from the
// current folder, so that starting the installer from elsewhere still shows it.
// Read once: coming back to the window keeps the reader's place in it.
void TViewDlg::FormActivate() {
  if (loaded_) return;
  loaded_ = true;
  const std::string txt = SetupFolder() + kViewText;
  if (fileExists(txt)) Memo1.setLines(loadLines(txt));
}

}  // namespace pv::setup
