// The themed tab sheet and check box under Wine's own visual style: what they
// paint into a device context, when they hold theme data, and the plain drawing of
// their bases when themes are off or Ctl3D is false.
#include <gtest/gtest.h>

#include <memory>

#include "widgets/UxTheme.h"
#include "widgets/chkboxXP.h"
#include "widgets/tabXP.h"
#include "win/app.h"
#include "win/controls.h"
#include "win/form.h"

using namespace pv;
using namespace pv::win;

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

const FormDesc kForm = {"ThemeForm", "themed", 50, 50, 320, 200, formopt::Dialog | formopt::ClientSize};
const ControlDesc kRows[] = {
    {Kind::PageControl, "Pages", nullptr, 4, 4, 300, 180},
    {Kind::TabSheet, "Sheet1", "Pages", 0, 0, 0, 0, "一", 0, nullptr, -1, 0, {}, create<TXPTabSheet>},
    {Kind::TabSheet, "Sheet2", "Pages", 0, 0, 0, 0, "二", 0, nullptr, -1, 0, {}, create<TXPTabSheet>},
    {Kind::CheckBox, "Check", "Sheet1", 20, 30, 120, 17, "チェック", 0, nullptr, -1, 0, {}, create<TXpCheckBox>},
    {Kind::Label, "Caption", "Sheet1", 20, 60, 80, 13, "見出し"},
    {Kind::Edit, "Fixed", "Sheet1", 20, 80, 120, 20, "読み取り専用", opt::ReadOnly},
};

class ThemeForm : public Form {
 public:
  ThemeForm() : Form(kForm, kRows) {}
};

// A memory bitmap filled with magenta, so that "nothing drawn" is visible.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    HDC screen = ::GetDC(nullptr);
    dc_ = ::CreateCompatibleDC(screen);
    bmp_ = ::CreateCompatibleBitmap(screen, w, h);
    ::ReleaseDC(nullptr, screen);
    old_ = ::SelectObject(dc_, bmp_);
    clear();
  }
  ~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bmp_);
    ::DeleteDC(dc_);
  }
  void clear() {
    HBRUSH b = ::CreateSolidBrush(kMagenta);
    RECT r{0, 0, w_, h_};
    ::FillRect(dc_, &r, b);
    ::DeleteObject(b);
  }
  HDC dc() const { return dc_; }
  COLORREF at(int x, int y) const { return ::GetPixel(dc_, x, y); }

 private:
  int w_, h_;
  HDC dc_;
  HBITMAP bmp_;
  HGDIOBJ old_;
};

// The tab body as the theme draws it for a w x h sheet.
COLORREF themeBodyPixel(HWND any, int w, int h, int x, int y) {
  Canvas ref(w, h);
  HTHEME t = uxtheme::OpenThemeData(any, L"TAB");
  RECT r{0, 0, w, h};
  uxtheme::DrawThemeBackground(t, ref.dc(), 10, 0, &r, nullptr);
  uxtheme::CloseThemeData(t);
  return ref.at(x, y);
}

struct ThemedControls : testing::Test {
  void SetUp() override {
    if (!app().handle()) app().initialize(::GetModuleHandleA(nullptr));
    uxtheme::load();
    ASSERT_TRUE(uxtheme::useThemes()) << "the Wine prefix has no active visual style";
  }
  void TearDown() override { uxtheme::load(); }
  TXPTabSheet& sheet(ThemeForm& f, const char* name = "Sheet1") { return f.find<TXPTabSheet>(name); }
};

}  // namespace

TEST_F(ThemedControls, TabSheetHoldsThemeDataWithItsWindow) {
  auto form = createForm<ThemeForm>();
  TXPTabSheet& s1 = sheet(*form);
  TXPTabSheet& s2 = sheet(*form, "Sheet2");
  EXPECT_NE(s1.themeHandle(), nullptr);
  EXPECT_NE(s2.themeHandle(), nullptr);
  EXPECT_EQ(s1.perform(WM_THEMECHANGED), 0);
  EXPECT_NE(s1.themeHandle(), nullptr);
  form->destroyForm();
  EXPECT_EQ(s1.themeHandle(), nullptr);
  EXPECT_EQ(s2.themeHandle(), nullptr);
}

TEST_F(ThemedControls, TabSheetErasesWithTheTabBody) {
  auto form = createForm<ThemeForm>();
  TXPTabSheet& s = sheet(*form);
  RECT rc = s.clientRect();
  const int w = rc.right, h = rc.bottom;
  ASSERT_GT(w, 100);
  const COLORREF body = themeBodyPixel(s.handle(), w, h, w / 2, h / 2);
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);

  Canvas c(w, h);
  EXPECT_EQ(s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc())), 1);
  EXPECT_EQ(c.at(w / 2, h / 2), body);

  // Double-buffered: only the framework's own pass (wParam == lParam) draws.
  s.setDoubleBuffered(true);
  c.clear();
  EXPECT_EQ(s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()), 0), 1);
  EXPECT_EQ(c.at(w / 2, h / 2), kMagenta);
  EXPECT_EQ(s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()), reinterpret_cast<LPARAM>(c.dc())), 1);
  EXPECT_EQ(c.at(w / 2, h / 2), body);
  s.setDoubleBuffered(false);

  // Ctl3D off: the plain sheet's flat colour.
  s.setCtl3D(false);
  c.clear();
  EXPECT_EQ(s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc())), 1);
  EXPECT_EQ(c.at(w / 2, h / 2), face);
  s.setCtl3D(true);

  // The paint step through WM_PAINT with a given context.
  c.clear();
  s.perform(WM_PAINT, reinterpret_cast<WPARAM>(c.dc()));
  EXPECT_EQ(c.at(w / 2, h / 2), body);
}

TEST_F(ThemedControls, ThemeSwitchedOnLaterIsPickedUpAtThemeChanged) {
  uxtheme::unload();  // as on a system without the library or without a theme
  auto form = createForm<ThemeForm>();
  TXPTabSheet& s = sheet(*form);
  EXPECT_EQ(s.themeHandle(), nullptr);
  RECT rc = s.clientRect();
  Canvas c(rc.right, rc.bottom);
  s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()));
  EXPECT_EQ(c.at(rc.right / 2, rc.bottom / 2), ::GetSysColor(COLOR_BTNFACE));
  // WM_THEMECHANGED without themes changes nothing.
  EXPECT_EQ(s.perform(WM_THEMECHANGED), 0);
  EXPECT_EQ(s.themeHandle(), nullptr);

  uxtheme::load();
  EXPECT_EQ(s.perform(WM_THEMECHANGED), 0);
  EXPECT_NE(s.themeHandle(), nullptr);
  c.clear();
  s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()));
  EXPECT_EQ(c.at(rc.right / 2, rc.bottom / 2), themeBodyPixel(s.handle(), rc.right, rc.bottom, rc.right / 2, rc.bottom / 2));

  // Themes gone again: the open handle stays until the window goes, drawing is plain.
  uxtheme::unload();
  c.clear();
  s.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()));
  EXPECT_EQ(c.at(rc.right / 2, rc.bottom / 2), ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(ThemedControls, CheckBoxShowsItsParentsBackground) {
  auto form = createForm<ThemeForm>();
  TXPTabSheet& s = sheet(*form);
  auto& box = form->find<TXpCheckBox>("Check");
  RECT sheetRc = s.clientRect();
  const COLORREF body =
      themeBodyPixel(s.handle(), sheetRc.right, sheetRc.bottom, box.left() + 3, box.top() + 3);

  // The reflected colour question is answered with the null brush and a transparent text background.
  Canvas c(box.width(), box.height());
  ::SetBkMode(c.dc(), OPAQUE);
  LRESULT brush = ::SendMessageA(s.handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(c.dc()),
                                 reinterpret_cast<LPARAM>(box.handle()));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(::GetBkMode(c.dc()), TRANSPARENT);
  EXPECT_EQ(c.at(3, 3), body);  // DrawThemeParentBackground painted the sheet behind the box

  c.clear();
  EXPECT_EQ(box.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc())), 1);
  EXPECT_EQ(c.at(3, 3), body);

  box.setDoubleBuffered(true);
  c.clear();
  EXPECT_EQ(box.perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(c.dc()), 0), 1);
  EXPECT_EQ(c.at(3, 3), kMagenta);
  box.setDoubleBuffered(false);

  // Ctl3D off: the ordinary answer, not the null brush.
  box.setCtl3D(false);
  brush = ::SendMessageA(s.handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(c.dc()),
                         reinterpret_cast<LPARAM>(box.handle()));
  EXPECT_NE(brush, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));
  box.setCtl3D(true);

  // A label on the sheet gets the body behind it too; a read-only edit box, which
  // asks the same question, keeps its own background.
  auto& label = form->find<Label>("Caption");
  Canvas lc(label.width(), label.height());
  brush = ::SendMessageA(s.handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(lc.dc()),
                         reinterpret_cast<LPARAM>(label.handle()));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(lc.at(2, 2), themeBodyPixel(s.handle(), sheetRc.right, sheetRc.bottom, label.left() + 2, label.top() + 2));
  brush = ::SendMessageA(s.handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(lc.dc()),
                         reinterpret_cast<LPARAM>(form->find<Edit>("Fixed").handle()));
  EXPECT_NE(brush, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));

  // Checked reads and sets the state.
  box.setChecked(true);
  EXPECT_TRUE(box.Checked());
  EXPECT_EQ(::SendMessageA(box.handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  box.setChecked(false);
  EXPECT_FALSE(box.Checked());
}
