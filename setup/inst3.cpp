#include "setup/inst3.h"

namespace pv::setup {
namespace {

const win::FormDesc kCopyDlg = {"CopyDlg", "", 0, 0, 300, 150,
                              win::formopt::Dialog | win::formopt::ScreenCentre | win::formopt::ClientSize,
                              {"MS UI Gothic", 12}};

}  // namespace

TCopyDlg::TCopyDlg() : Form(kCopyDlg) {}

TCopyDlg::~TCopyDlg() { destroyForm(); }

}  // namespace pv::setup
