// The definitions file: exact bytes written, and every way reading stops.
#include "core/deffile.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/textlines.h"

namespace pv {
namespace {

struct Named {
  std::string name;
  TBuckup rec;
};

std::string write(const std::vector<Named>& defs) {
  std::vector<std::string> lines;
  for (const auto& d : defs) deffile::appendLines(lines, d.name, d.rec);
  return joinLines(lines);
}

std::vector<Named> readText(const std::string& text) {
  std::vector<Named> out;
  deffile::read(splitLines(text), [&](std::string name, TBuckup rec) { out.push_back({std::move(name), std::move(rec)}); });
  return out;
}

TBuckup srcExample() {
  TBuckup b;
  b.DestDir = "D:\\Backup";
  b.ArcName = "src\\d";
  b.Flags = 1;
  b.BaseDir = "C:\\Work\\";
  b.FileList = {"proj\\", "readme.txt"};
  b.ExclExts = {".bak"};
  return b;
}

const char* const kSrcExample =
    "src\r\n{\r\nD:\\Backup\r\nsrc\\d\r\n\r\n1\r\nC:\\Work\\\r\n{\r\nproj\\\r\nreadme.txt\r\n}\r\n"
    "{\r\n.bak\r\n}\r\n{\r\n}\r\n}\r\n";

TBuckup full(const std::string& tag, std::int32_t flags) {
  TBuckup b;
  b.ArcName = tag + "_\\d";
  b.DestDir = "D:\\" + tag;
  b.VerFile = "C:\\ソフト\\" + tag + ".exe";  // ソ ends in 0x5C
  b.Flags = flags;
  b.BaseDir = "C:\\表\\" + tag + "\\";
  b.FileList = {"a\\", "b.txt", "能力.doc"};
  b.DelExts = {".~*", ".obj"};
  b.ExclExts = {".bak"};
  return b;
}

TEST(DefinitionsFileWrite, SeventeenLineExampleByteForByte) {
  EXPECT_EQ(write({{"src", srcExample()}}), kSrcExample);
}

TEST(DefinitionsFileWrite, EmptyRecordTakesFourteenLinesAndEmptyListZeroBytes) {
  EXPECT_EQ(write({}), "");
  EXPECT_TRUE(readText("").empty());
  std::string text = write({{"x", TBuckup{}}});
  EXPECT_EQ(splitLines(text).size(), deffile::kMinLines);
  EXPECT_EQ(text, "x\r\n{\r\n\r\n\r\n\r\n0\r\n\r\n{\r\n}\r\n{\r\n}\r\n{\r\n}\r\n}\r\n");
}

TEST(DefinitionsFileWrite, FlagsInPlainDecimal) {
  for (auto [flags, text] : std::vector<std::pair<std::int32_t, std::string>>{
           {0, "0"}, {6, "6"}, {-1, "-1"}, {INT32_MIN, "-2147483648"}, {INT32_MAX, "2147483647"}}) {
    TBuckup b;
    b.Flags = flags;
    EXPECT_EQ(splitLines(write({{"n", b}}))[5], text);
  }
}

TEST(DefinitionsFileRoundTrip, NamesFieldsAndListsComeBackInOrder) {
  std::vector<Named> defs = {{"src", srcExample()}, {"バックアップ表", full("one", 3)}, {"empty", TBuckup{}},
                             {"SRC", full("two", 6)}, {"src", full("dup", -7)}};
  auto back = readText(write(defs));
  ASSERT_EQ(back.size(), defs.size());
  for (std::size_t i = 0; i < defs.size(); ++i) {
    EXPECT_EQ(back[i].name, defs[i].name) << i;
    EXPECT_EQ(back[i].rec, defs[i].rec) << i;
  }
  EXPECT_EQ(back[3].rec.Flags, 6);  // other bits survive unchanged
}

TEST(DefinitionsFileRead, AcceptsEveryLineEnd) {
  std::string crlf = kSrcExample;
  std::string lf, cr;
  for (char c : crlf) {
    if (c != '\r') lf += c;
    if (c != '\n') cr += c;
  }
  for (const std::string& text : {crlf, lf, cr}) {
    auto back = readText(text);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].rec, srcExample());
  }
}

TEST(DefinitionsFileRead, EmptyLinesInListsVanishEmptyValuesStay) {
  std::string text =
      "n\r\n{\r\n\r\n\r\n\r\n2\r\n\r\n{\r\n\r\na\r\n\r\n}\r\n{\r\n\r\n}\r\n{\r\n.x\r\n\r\n}\r\n}\r\n\r\n\r\n";
  auto back = readText(text);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].rec.FileList, std::vector<std::string>{"a"});
  EXPECT_TRUE(back[0].rec.ExclExts.empty());
  EXPECT_EQ(back[0].rec.DelExts, std::vector<std::string>{".x"});
  EXPECT_EQ(back[0].rec.DestDir, "");
  EXPECT_EQ(back[0].rec.Flags, 2);
}

// Damage of each kind in the second of three definitions: the first is kept, the
// rest is ignored.
TEST(DefinitionsFileRead, DamageStopsReadingAndKeepsWhatCameBefore) {
  auto lines = [](const TBuckup& b, const std::string& name) {
    std::vector<std::string> l;
    deffile::appendLines(l, name, b);
    return l;
  };
  const auto first = lines(full("a", 1), "first");
  const auto third = lines(full("c", 2), "third");
  struct Case {
    const char* what;
    std::function<void(std::vector<std::string>&)> damage;
  };
  // Line numbers within the middle definition (srcExample: 17 lines).
  std::vector<Case> cases = {
      {"no opening bracket", [](auto& l) { l[1] = "x"; }},
      {"bracket with a blank", [](auto& l) { l[1] = "{ "; }},
      {"no list bracket", [](auto& l) { l[7] = "["; }},
      {"exclusion list not opened", [](auto& l) { l[11] = ""; }},
      {"deletion list not opened", [](auto& l) { l[14] = " {"; }},
      {"no closing bracket", [](auto& l) { l[16] = "]"; }},
      {"file entry that is a bracket", [](auto& l) { l.insert(l.begin() + 9, "}"); }},
  };
  for (const auto& c : cases) {
    auto middle = lines(srcExample(), "middle");
    c.damage(middle);
    std::vector<std::string> all = first;
    all.insert(all.end(), middle.begin(), middle.end());
    all.insert(all.end(), third.begin(), third.end());
    auto back = readText(joinLines(all));
    ASSERT_EQ(back.size(), 1u) << c.what;
    EXPECT_EQ(back[0].name, "first") << c.what;
    EXPECT_EQ(back[0].rec, full("a", 1)) << c.what;
    // The stop is reported at the first line of the definition not taken.
    deffile::ReadResult r;
    deffile::read(splitLines(joinLines(all)), [](std::string, TBuckup) {}, &r);
    EXPECT_EQ(r.definitions, 1u) << c.what;
    EXPECT_EQ(r.stoppedAt, first.size()) << c.what;
  }
}

TEST(DefinitionsFileRead, TruncatedEndings) {
  std::vector<std::string> all;
  deffile::appendLines(all, "one", full("a", 0));
  deffile::appendLines(all, "two", srcExample());
  // Without the last closing bracket the last definition is lost.
  auto noClose = all;
  noClose.pop_back();
  EXPECT_EQ(readText(joinLines(noClose)).size(), 1u);
  // A list that runs to the end of the file.
  auto openList = all;
  openList.resize(all.size() - 8);  // ends inside the file list of "two"
  openList.insert(openList.end(), {"x", "y", "z", "w", "v", "u"});
  EXPECT_EQ(readText(joinLines(openList)).size(), 1u);
  // Fewer than 14 lines left after a definition, even if they start well.
  auto shortTail = all;
  shortTail.insert(shortTail.end(), {"three", "{", "", "", "", "0", "", "{", "}", "{", "}", "{", "}"});
  EXPECT_EQ(readText(joinLines(shortTail)).size(), 2u);
  // Thirteen lines of a definition alone give nothing.
  EXPECT_TRUE(readText(joinLines({"n", "{", "", "", "", "0", "", "{", "}", "{", "}", "{", "}"})).empty());
}

TEST(DefinitionsFileRead, BadFlagsThrowsAfterKeepingEarlierDefinitions) {
  std::vector<std::string> all;
  deffile::appendLines(all, "one", full("a", 1));
  const std::size_t two = all.size();
  deffile::appendLines(all, "two", full("b", 2));
  deffile::appendLines(all, "three", full("c", 3));
  ASSERT_EQ(all[two + 5], "2");
  all[two + 5] = "3x";
  std::vector<std::string> names;
  try {
    deffile::read(all, [&](std::string n, TBuckup) { names.push_back(n); });
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'3x' は整数ではありません");
  }
  EXPECT_EQ(names, std::vector<std::string>{"one"});
}

// An editor's UTF-8 is told from Shift-JIS: by the byte-order mark, by bytes that are
// no Shift-JIS, or by the three-byte characters every Japanese character becomes, even
// where the same bytes would also pass as Shift-JIS.
TEST(DefinitionsFileEncoding, Utf8IsToldFromShiftJis) {
  auto utf8 = [](std::vector<std::string> lines) { return deffile::looksLikeUtf8(lines); };
  EXPECT_TRUE(utf8({"\xEF\xBB\xBFsrc", "{"}));
  EXPECT_TRUE(utf8({"\xE8\xA1\xA8\xE3\x82\xBD", "{"}));   // 表ソ: also valid Shift-JIS bytes
  EXPECT_TRUE(utf8({"a\xC2\xA0" "b"}));                      // no-break space: A0 is no Shift-JIS
  EXPECT_FALSE(utf8({"src", "{", "C:\\Work\\"}));           // ASCII is both: nothing to say
  EXPECT_FALSE(utf8({"\x95\x5C\x83\x5C\x94\x5C"}));       // 表ソ能 in Shift-JIS
  EXPECT_FALSE(utf8({"\xC3\xA9"}));                          // ﾃｩ or é: valid as both, said by nothing
  EXPECT_FALSE(utf8({"\xE8\xA1"}));                          // a cut sequence is no UTF-8
  EXPECT_FALSE(utf8({"\xED\xA0\x80"}));                     // a surrogate is no UTF-8
  EXPECT_FALSE(utf8({}));
}

}  // namespace
}  // namespace pv
