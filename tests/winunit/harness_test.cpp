// What the Wine harness must give every Windows test: the Japanese ANSI code page and
// the font faces our forms ask for. Without them texts come out garbled and forms
// are laid out in a monospaced fallback font.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

struct Face {
  std::string name;   // as reported by GetTextFace
  bool proportional;  // "iiii" narrower than "WWWW"
};

Face resolve(const char* face) {
  HDC dc = GetDC(nullptr);
  HFONT f = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, face);
  HGDIOBJ old = SelectObject(dc, f);
  char name[LF_FACESIZE * 2] = "";
  GetTextFaceA(dc, sizeof name, name);
  SIZE narrow{}, wide{};
  GetTextExtentPoint32A(dc, "iiii", 4, &narrow);
  GetTextExtentPoint32A(dc, "WWWW", 4, &wide);
  SelectObject(dc, old);
  DeleteObject(f);
  ReleaseDC(nullptr, dc);
  return Face{name, narrow.cx < wide.cx};
}

TEST(WineHarness, AnsiCodePageIsJapanese) {
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_TRUE(IsDBCSLeadByte(0x95));
  EXPECT_FALSE(IsDBCSLeadByte('\\'));
}

TEST(WineHarness, FormFacesResolveToProportionalAndFixedJapaneseFonts) {
  Face pgothic = resolve("ＭＳ Ｐゴシック");
  EXPECT_EQ(pgothic.name, "ＭＳ Ｐゴシック");
  EXPECT_TRUE(pgothic.proportional);

  Face ui = resolve("MS UI Gothic");
  EXPECT_EQ(ui.name, "MS UI Gothic");
  EXPECT_TRUE(ui.proportional);

  Face gothic = resolve("ＭＳ ゴシック");
  EXPECT_EQ(gothic.name, "ＭＳ ゴシック");
  EXPECT_FALSE(gothic.proportional);
}

}  // namespace
