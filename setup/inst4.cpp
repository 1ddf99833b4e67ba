#include "setup/inst4.h"

namespace pv::setup {
namespace {

const win::FormDesc kSCutDlg = {"SCutDlg", "", 0, 0, 300, 150,
                              win::formopt::Dialog | win::formopt::ScreenCentre | win::formopt::ClientSize,
                              {"MS UI Gothic", 12}};

}  // namespace

TSCutDlg::TSCutDlg() : Form(kSCutDlg) {}

TSCutDlg::~TSCutDlg() { destroyForm(); }

}  // namespace pv::setup
