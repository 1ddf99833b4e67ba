// What the Wine harness must give every Windows test: the Japanese ANSI code page and
// the font faces our forms ask for. Without them texts come out garbled and forms
// are laid out in a monospaced fallback font.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

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

// The installer writes shortcuts into the user's shell folders; in a fresh prefix
// those lead into the Linux home folder. The harness makes them real folders.
TEST(WineHarness, ShellFoldersStayInsideThePrefix) {
  char desktop[MAX_PATH] = "", home[MAX_PATH] = "";
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  // Wine names the Linux home folder "\??\Z:\root" to its programs.
  ASSERT_GT(GetEnvironmentVariableA("WINEHOMEDIR", home, sizeof home), 4u);
  const std::string unixHome = home + 4;
  const std::string name = "pv-harness-" + std::to_string(GetCurrentProcessId()) + ".tmp";
  const std::string file = std::string(desktop) + "\\" + name;
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << file;
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA((unixHome + "\\" + name).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((unixHome + "\\Desktop\\" + name).c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(file.c_str());
}

}  // namespace
