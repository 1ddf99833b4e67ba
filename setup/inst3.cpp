#include "setup/inst3.h"

namespace pv::setup {

using namespace win;

namespace {

constexpr FormDesc kForm = {.name = "CopyDlg", .caption = "インストール中", .left = 0, .top = 0, .width = 288,
                            .height = 54,
                            .flags = formopt::Dialog | formopt::ToolWindow | formopt::NoSysMenu | formopt::StayOnTop |
                                     formopt::ClientSize | formopt::ScreenCentre,
                            .font = {"MS UI Gothic", 12}};

const ControlDesc kControls[] = {
    {.kind = Kind::Label, .name = "Label1", .parent = nullptr, .left = 12, .top = 8, .width = 264, .height = 13,
     .caption = "ファイルをインストール中です。"},
    {.kind = Kind::ProgressBar, .name = "ProgressBar1", .parent = nullptr, .left = 12, .top = 28, .width = 264,
     .height = 16},
};

}  // namespace

TCopyDlg::TCopyDlg()
    : Form(kForm, kControls), Label1(find<Label>("Label1")), ProgressBar1(find<ProgressBar>("ProgressBar1")) {}

}  // namespace pv::setup
