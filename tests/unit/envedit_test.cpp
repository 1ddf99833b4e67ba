// Settings dialog helpers and the folder browse options: placement near the mouse,
// stored extensions, path splitting and the browse preselection, all on Shift-JIS text.
#include <gtest/gtest.h>

#include "core/envedit.h"
#include "core/sbdlgopt.h"

using namespace pv;
using namespace pv::envedit;

namespace {

// 313 x 206 client plus a dialog frame and caption.
constexpr int kW = 319, kH = 235, kScreenW = 1280, kScreenH = 1024;

testing::AssertionResult at(Placement p, int left, int top) {
  if (p.left == left && p.top == top) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "placed at (" << p.left << ", " << p.top << "), expected (" << left << ", "
                                     << top << ")";
}

}  // namespace

TEST(EnvPlacement, AroundTheMouseAndKeptOnTheScreen) {
  // Middle of the screen: a quarter of the height above, centred (odd sizes round down).
  EXPECT_TRUE(at(placeNearMouse(640, 512, kW, kH, kScreenW, kScreenH), 640 - 159, 512 - 58));
  // Top-left corner and beyond it.
  EXPECT_TRUE(at(placeNearMouse(0, 0, kW, kH, kScreenW, kScreenH), 0, 0));
  EXPECT_TRUE(at(placeNearMouse(-50, -50, kW, kH, kScreenW, kScreenH), 0, 0));
  // Bottom-right corner: the whole dialog stays visible.
  EXPECT_TRUE(at(placeNearMouse(1279, 1023, kW, kH, kScreenW, kScreenH), kScreenW - kW, kScreenH - kH));
  // Bottom-left and top-right.
  EXPECT_TRUE(at(placeNearMouse(5, 1020, kW, kH, kScreenW, kScreenH), 0, kScreenH - kH));
  EXPECT_TRUE(at(placeNearMouse(1275, 10, kW, kH, kScreenW, kScreenH), kScreenW - kW, 0));
  // Exactly touching the right and bottom edges is not moved.
  EXPECT_TRUE(at(placeNearMouse(kScreenW - kW + kW / 2, kScreenH - kH + kH / 4, kW, kH, kScreenW, kScreenH),
                 kScreenW - kW, kScreenH - kH));
  // A dialog larger than the screen: the far edge rule comes last and wins.
  EXPECT_TRUE(at(placeNearMouse(100, 100, 800, 600, 640, 480), -160, -120));
}

TEST(EnvExtensions, PointInFrontAndWholeCharacterLowering) {
  EXPECT_EQ(extensionEntry("BAK"), ".bak");
  EXPECT_EQ(extensionEntry(".Bak"), ".bak");
  EXPECT_EQ(extensionEntry(".bak"), ".bak");
  EXPECT_EQ(extensionEntry("~*"), ".~*");
  EXPECT_EQ(extensionEntry("."), ".");
  EXPECT_EQ(extensionEntry(" "), ". ");
  EXPECT_EQ(extensionEntry(""), "");
  // Full-width Ａ (82 60) stays, B and C are lowered, 表 (95 5C) keeps its bytes.
  EXPECT_EQ(extensionEntry("ＡBC表"), ".Ａbc表");
  // Second bytes in the A-Z range: ア is 83 41, ツ is 83 63, Ａ is 82 60; 'A' after them is lowered.
  EXPECT_EQ(extensionEntry("アAツZ"), ".アaツz");
  const std::string kataA = "\x83\x41";
  EXPECT_EQ(extensionEntry(kataA + "X"), "." + kataA + "x");
  // A lead byte at the very end (broken text) is kept as it is.
  EXPECT_EQ(extensionEntry("AB\x83"), ".ab\x83");
}

TEST(EnvPaths, SplittingByWholeCharacters) {
  // 表 and ソ end in 0x5C: they are not separators.
  EXPECT_EQ(fileDir("C:\\Work\\pelbo.exe"), "C:\\Work");
  EXPECT_EQ(fileDir("C:\\pelbo.exe"), "C:\\");
  EXPECT_EQ(fileDir("\\\\srv\\share\\a.exe"), "\\\\srv\\share");
  EXPECT_EQ(fileDir("a.exe"), "");
  EXPECT_EQ(fileDir("C:\\表\\a.exe"), "C:\\表");
  EXPECT_EQ(fileDir("C:\\一覧表"), "C:\\");

  EXPECT_EQ(dropEntry("C:\\Work\\proj", true), "proj\\");
  EXPECT_EQ(dropEntry("C:\\Work\\readme.txt", false), "readme.txt");
  EXPECT_EQ(dropEntry("C:\\Work\\一覧表", true), "一覧表\\");
  EXPECT_EQ(dropEntry("C:\\作業表\\ソ", false), "ソ");
}

TEST(BrowseOptions, FlagsFromTheOptionSet) {
  EXPECT_EQ(browseFlags({}), 0u);
  EXPECT_EQ(browseFlags(kDefaultSBDlgOptions), 0x0001u);
  EXPECT_EQ(browseFlags({biReturnOnlyFSDirs, biNewStyle}), 0x41u);
  EXPECT_EQ(browseFlags({biBrowseForComputer}), 0x1000u);
  EXPECT_EQ(browseFlags({biBrowseForPrinter, biDontGoBelowDomain}), 0x2002u);
  EXPECT_EQ(browseFlags({biReturnFSAncestors, biStatusText, biEditBox}), 0x001Cu);
  EXPECT_EQ(browseFlags(TSBDlgOptions::fromByte(0xFF)), 0x305Fu);
  EXPECT_EQ(TSBDlgOptions({biReturnOnlyFSDirs, biNewStyle}).byte(), 0x50);
}

TEST(BrowseOptions, StoredMemberLists) {
  EXPECT_EQ(parseSBDlgOptions("[biReturnOnlyFSDirs, biNewStyle]"), TSBDlgOptions({biReturnOnlyFSDirs, biNewStyle}));
  EXPECT_EQ(parseSBDlgOptions("biEditBox,biStatusText"), TSBDlgOptions({biEditBox, biStatusText}));
  EXPECT_EQ(parseSBDlgOptions("[]"), TSBDlgOptions());
  EXPECT_EQ(parseSBDlgOptions(""), TSBDlgOptions());
  EXPECT_EQ(parseSBDlgOptions("[biNewStyle"), std::nullopt);
  EXPECT_EQ(parseSBDlgOptions("biNewstyle"), std::nullopt);
  EXPECT_EQ(parseSBDlgOptions("[biReturnOnlyFSDirs, bogus]"), std::nullopt);
}

TEST(BrowseOptions, Preselection) {
  EXPECT_EQ(browsePreselection(""), std::nullopt);
  EXPECT_EQ(browsePreselection("C:\\"), "C:\\");
  EXPECT_EQ(browsePreselection("C:\\Work\\"), "C:\\Work");
  EXPECT_EQ(browsePreselection("C:\\Work"), "C:\\Work");
  EXPECT_EQ(browsePreselection("C:\\Work\\\\"), "C:\\Work\\");  // only one is removed
  EXPECT_EQ(browsePreselection("D:"), "D:");
  // 表 is 95 5C: the path does not end in a backslash and must arrive whole.
  EXPECT_EQ(browsePreselection("C:\\一覧表"), "C:\\一覧表");
  EXPECT_EQ(browsePreselection("C:\\一覧表\\"), "C:\\一覧表");
  EXPECT_EQ(browsePreselection("表"), "表");
}
