#include "setup/view.h"

namespace pv::setup {
namespace {

const win::FormDesc kViewDlg = {"ViewDlg", "", 0, 0, 300, 150,
                              win::formopt::Dialog | win::formopt::ScreenCentre | win::formopt::ClientSize,
                              {"MS UI Gothic", 12}};

}  // namespace

TViewDlg::TViewDlg() : Form(kViewDlg) {}

TViewDlg::~TViewDlg() { destroyForm(); }

}  // namespace pv::setup
