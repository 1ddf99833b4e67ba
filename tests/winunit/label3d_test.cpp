// The shaded label as it paints into a device context, and the version line of
// the about box for files with and without a version resource.
#include <gtest/gtest.h>

#include <climits>

#include "core/path.h"
#include "pv_version.h"
#include "widgets/About.h"
#include "widgets/Label3D.h"
#include "win/app.h"
#include "win/files.h"
#include "win/form.h"

using namespace pv;
using namespace pv::win;

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// The shade is set in the description, before the label has a window.
const FormDesc kForm = {"LabelForm", "label", 50, 50, 200, 80, formopt::Dialog | formopt::ClientSize};
const ControlDesc kRows[] = {
    {.kind = Kind::Custom, .name = "Name", .parent = nullptr, .left = 8, .top = 8, .width = 117, .height = 40,
     .caption = "Pomvault", .font = {.name = "ＭＳ Ｐゴシック", .height = 13, .bold = true, .color = RGB(0, 0, 0)},
     .factory = &create<TLabel3D>, .props = "ShadeColor=0000FF"},
};

class LabelForm : public Form {
 public:
  LabelForm() : Form(kForm, kRows) {}
};

struct Box {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
  void add(int x, int y) {
    left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
  }
};

// Paints the label onto magenta and answers where black (text) and red (shade) went.
std::pair<Box, Box> paint(TLabel3D& label) {
  const int w = label.width(), h = label.height();
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ old = ::SelectObject(dc, bmp);
  HBRUSH b = ::CreateSolidBrush(kMagenta);
  RECT r{0, 0, w, h};
  ::FillRect(dc, &r, b);
  ::DeleteObject(b);
  label.perform(WM_PAINT, reinterpret_cast<WPARAM>(dc));
  Box text, shade;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      COLORREF c = ::GetPixel(dc, x, y);
      if (c == RGB(0, 0, 0)) text.add(x, y);
      if (c == RGB(255, 0, 0)) shade.add(x, y);
    }
  ::SelectObject(dc, old);
  ::DeleteObject(bmp);
  ::DeleteDC(dc);
  return {text, shade};
}

class Label3D : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!app().handle()) app().initialize(::GetModuleHandleA(nullptr));
  }
};

TEST_F(Label3D, ShadeTwoPixelsOffNewCaptionRepaintsAndTheAboutVersionLine) {
  auto form = createForm<LabelForm>();
  auto& label = form->find<TLabel3D>("Name");
  auto [text, shade] = paint(label);
  ASSERT_GE(text.right, 0) << "no text drawn";
  ASSERT_GE(shade.right, 0) << "no shade drawn";
  EXPECT_GE(text.left, 2);
  EXPECT_EQ(shade.right, text.right + 2);
  EXPECT_EQ(shade.bottom, text.bottom + 2);

  // Several words wrap inside the client area; the change repaints the control.
  form->show();
  ::UpdateWindow(label.handle());
  label.setCaption("Pomvault Pomvault Pomvault");
  RECT dirty;
  EXPECT_TRUE(::GetUpdateRect(label.handle(), &dirty, FALSE));
  auto [wrapped, wrappedShade] = paint(label);
  EXPECT_GT(wrapped.bottom, text.bottom + 8) << "not wrapped onto a second line";
  EXPECT_LE(wrappedShade.right, label.width() - 1);

  // The version line beside it (checked here: every test program start costs Wine seconds).
  EXPECT_EQ(versionCaption(pv::path::dirPart(exePath()) + "pelbo.exe"), "Version " PV_VERSION_TEXT);
  EXPECT_EQ(versionCaption(exePath()), "Version");  // the test program has no version resource
  EXPECT_EQ(versionCaption("C:\\no\\such\\file.exe"), "Version");
}

}  // namespace
