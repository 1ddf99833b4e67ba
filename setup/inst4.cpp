#include "setup/inst4.h"

namespace pv::setup {

using namespace win;

namespace {

constexpr FormDesc kForm = {.name = "SCutDlg", .caption = "ショートカット設定", .left = 0, .top = 0,
                            .width = 183, .height = 129,
                            .flags = formopt::Dialog | formopt::StayOnTop | formopt::ClientSize | formopt::ScreenCentre,
                            .font = {"MS UI Gothic", 12}};

// No cancel button: the close box, too, goes on with what is ticked.
const ControlDesc kControls[] = {
    {.kind = Kind::CheckBox, .name = "ProgBox", .parent = nullptr, .left = 20, .top = 20, .width = 150,
     .height = 17, .caption = "スタートメニューに登録"},
    {.kind = Kind::CheckBox, .name = "DeskBox", .parent = nullptr, .left = 20, .top = 48, .width = 150,
     .height = 17, .caption = "デスクトップに作成"},
    {.kind = Kind::Button, .name = "OKBtn", .parent = nullptr, .left = 54, .top = 92, .width = 75, .height = 23,
     .caption = "次へ", .flags = opt::Default},
};

}  // namespace

TSCutDlg::TSCutDlg()
    : Form(kForm, kControls),
      ProgBox(find<CheckBox>("ProgBox")),
      DeskBox(find<CheckBox>("DeskBox")),
      OKBtn(find<Button>("OKBtn")) {}

}  // namespace pv::setup
