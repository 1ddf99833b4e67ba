// Integer conversion, line splitting and Shift-JIS-safe path pieces.
#include <gtest/gtest.h>

#include "core/convert.h"
#include "core/error.h"
#include "core/path.h"
#include "core/textlines.h"

namespace pv {
namespace {

TEST(StrToInt, DecimalWithSignAndLeadingBlanks) {
  EXPECT_EQ(parseInt("0"), 0);
  EXPECT_EQ(parseInt("6"), 6);
  EXPECT_EQ(parseInt("-12"), -12);
  EXPECT_EQ(parseInt("+12"), 12);
  EXPECT_EQ(parseInt("  7"), 7);
  EXPECT_EQ(parseInt("007"), 7);
  EXPECT_EQ(parseInt("2147483647"), INT32_MAX);
  EXPECT_EQ(parseInt("-2147483648"), INT32_MIN);
}

TEST(StrToInt, EverythingElseIsNoNumber) {
  for (const char* s : {"", " ", "-", "+", "7 ", "1x", "x1", "1.0", "$10", "0x10", "2147483648",
                        "-2147483649", "99999999999999999999999", "- 1", "\t1", "１"}) {
    EXPECT_FALSE(parseInt(s).has_value()) << s;
  }
  try {
    strToInt("abc");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'abc' は整数ではありません");
  }
}

TEST(TextLines, SplitOnEveryLineEndAndJoinWithCrLf) {
  using V = std::vector<std::string>;
  EXPECT_EQ(splitLines(""), V{});
  EXPECT_EQ(splitLines("a"), V{"a"});
  EXPECT_EQ(splitLines("a\r\n"), V{"a"});
  EXPECT_EQ(splitLines("a\r\n\r\n"), (V{"a", ""}));
  EXPECT_EQ(splitLines("a\nb\rc\r\nd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("\n\n"), (V{"", ""}));
  EXPECT_EQ(splitLines("a\n\rb"), (V{"a", "", "b"}));
  EXPECT_EQ(joinLines({}), "");
  EXPECT_EQ(joinLines({"a", "", "表"}), "a\r\n\r\n表\r\n");
}

TEST(PathPieces, SeparatorsFoundByWholeCharacters) {
  // 表 and ソ end in 0x5C: they must not split the path.
  const std::string p = "C:\\表\\ソ.txt";
  EXPECT_EQ(path::dirPart(p), "C:\\表\\");
  EXPECT_EQ(path::namePart(p), "ソ.txt");
  EXPECT_EQ(path::namePart("C:\\ソ"), "ソ");
  EXPECT_EQ(path::dirPart("C:\\ソ"), "C:\\");
  EXPECT_EQ(path::extPart("C:\\a.b\\c"), "");
  EXPECT_EQ(path::extPart("c.tar.gz"), ".gz");
  EXPECT_EQ(path::changeExt("C:\\Prog\\pelbo.exe", ".dat"), "C:\\Prog\\pelbo.dat");
  EXPECT_EQ(path::changeExt("C:\\a.b\\pelbo", ".hlp"), "C:\\a.b\\pelbo.hlp");
  EXPECT_EQ(path::withTrailingBackslash("C:\\ソ"), "C:\\ソ\\");
  EXPECT_EQ(path::withTrailingBackslash("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(path::withoutTrailingBackslash("C:\\ソ"), "C:\\ソ");
  EXPECT_EQ(path::withoutTrailingBackslash("C:\\x\\"), "C:\\x");
}

}  // namespace
}  // namespace pv
