// Command lines and response files of the archiver library, and member names.
// Japanese literals are Shift-JIS here: 表 = 95 5C, ソ = 83 5C (trailing byte '\'),
// ア = 83 41 and ヂ = 83 61 (trailing bytes 'A' and 'a').
#include <gtest/gtest.h>

#include <map>

#include "core/arccmd.h"
#include "core/cmdline.h"
#include "core/wildcard.h"

namespace {

using pv::arccmd::Command;
using pv::arccmd::CommandLine;
using pv::arccmd::ParseError;
using Args = std::vector<std::string>;

TEST(CommandLineSplit, BackupLineKeepsTrailingBackslashesBeforeQuotes) {
  const std::string line =
      "u -r2 -x1 -jm2 -a1 -t1 \"D:\\バックアップ\\src2002.03.15.lzh\" \"C:\\作業\\表\\\" "
      "\"@C:\\Temp\\pelbo.tmp\"";
  EXPECT_EQ(pv::cmdline::split(line),
            (Args{"u", "-r2", "-x1", "-jm2", "-a1", "-t1", "D:\\バックアップ\\src2002.03.15.lzh",
                  "C:\\作業\\表\\", "@C:\\Temp\\pelbo.tmp"}));
}

TEST(CommandLineSplit, QuotesBlanksAndEmptyArguments) {
  EXPECT_EQ(pv::cmdline::split("  a\t b  "), (Args{"a", "b"}));
  EXPECT_EQ(pv::cmdline::split("ab\"c d\"e"), (Args{"abc de"}));
  EXPECT_EQ(pv::cmdline::split("x \"\" y"), (Args{"x", "", "y"}));
  EXPECT_EQ(pv::cmdline::split("x \"open to the end "), (Args{"x", "open to the end "}));
  EXPECT_EQ(pv::cmdline::split("\"ソ\" \"能 力\""), (Args{"ソ", "能 力"}));
  EXPECT_TRUE(pv::cmdline::split(" \t\r\n").empty());
}

TEST(ResponseFile, OneNameALineQuotedOrNot) {
  const std::string text =
      "\"proj\\src\\main.c\"\r\n"
      "plain name.txt\r\n"
      "\r\n"
      "   \"  blanks kept inside  \"  \r\n"
      "\"表\\ソ.txt\"\n"        // LF only, 0x5C trailing bytes
      "ソ\\表\r\n"              // unquoted, ends in a trailing byte 0x5C
      "\"unclosed\r\n"
      "\"\"\r\n"                // empty name: skipped
      "last without end\x1a";
  EXPECT_EQ(pv::cmdline::parseResponse(text),
            (Args{"proj\\src\\main.c", "plain name.txt", "  blanks kept inside  ", "表\\ソ.txt", "ソ\\表",
                  "unclosed", "last without end"}));
  EXPECT_TRUE(pv::cmdline::parseResponse("").empty());
  EXPECT_TRUE(pv::cmdline::parseResponse("\r\n\r\n \t\r\n").empty());
}

class ParseTest : public ::testing::Test {
 protected:
  std::map<std::string, std::string> files;
  pv::arccmd::ReadFileFn reader = [this](const std::string& path, std::string& bytes) {
    auto it = files.find(path);
    if (it == files.end()) return false;
    bytes = it->second;
    return true;
  };
  CommandLine cl;
  pv::arccmd::ParseResult parse(const std::string& line) { return pv::arccmd::parse(line, reader, cl); }
};

TEST_F(ParseTest, BackupLine) {
  files["C:\\Temp\\pelbo.tmp"] = "\"proj\\a.c\"\r\n\"表\\ソ.txt\"\r\n";
  auto r = parse("u -r2 -x1 -jm2 -a1 -t1 \"D:\\bak\\x.lzh\" \"C:\\作業\\表\\\" \"@C:\\Temp\\pelbo.tmp\"");
  ASSERT_TRUE(r.ok()) << r.what;
  EXPECT_EQ(cl.command, Command::Update);
  EXPECT_EQ(cl.sw.recurse, 2);
  EXPECT_TRUE(cl.sw.storePaths);
  EXPECT_EQ(cl.sw.share, 2);
  EXPECT_TRUE(cl.sw.takeHiddenSystem);
  EXPECT_TRUE(cl.sw.archiveTimeNewest);
  EXPECT_FALSE(cl.sw.quiet);
  EXPECT_EQ(cl.archive, "D:\\bak\\x.lzh");
  EXPECT_EQ(cl.baseDir, "C:\\作業\\表\\");
  EXPECT_EQ(cl.names, (Args{"proj\\a.c", "表\\ソ.txt"}));
}

TEST_F(ParseTest, DefaultsBareSwitchesAndPositions) {
  ASSERT_TRUE(parse("A x.lzh a.txt").ok());
  EXPECT_EQ(cl.command, Command::Add);
  EXPECT_EQ(cl.sw.recurse, 0);
  EXPECT_TRUE(cl.sw.storePaths);
  EXPECT_FALSE(cl.sw.takeHiddenSystem);
  EXPECT_FALSE(cl.sw.archiveTimeNewest);
  EXPECT_EQ(cl.sw.share, 0);
  EXPECT_EQ(cl.baseDir, "");
  EXPECT_EQ(cl.names, (Args{"a.txt"}));

  // Switches anywhere, upper case too; bare switches take their "on" value.
  ASSERT_TRUE(parse("-R l x.lzh -JM -x0 -A -t").ok());
  EXPECT_EQ(cl.command, Command::List);
  EXPECT_EQ(cl.sw.recurse, 1);
  EXPECT_EQ(cl.sw.share, 1);
  EXPECT_FALSE(cl.sw.storePaths);
  EXPECT_TRUE(cl.sw.takeHiddenSystem);
  EXPECT_TRUE(cl.sw.archiveTimeNewest);

  // Only the argument right after the archive can be the base folder.
  ASSERT_TRUE(parse("u x.lzh -r2 base\\ sub\\ f").ok());
  EXPECT_EQ(cl.baseDir, "base\\");
  EXPECT_EQ(cl.names, (Args{"sub\\", "f"}));
  ASSERT_TRUE(parse("u x.lzh f sub\\").ok());
  EXPECT_EQ(cl.baseDir, "");
  EXPECT_EQ(cl.names, (Args{"f", "sub\\"}));
  // A base folder whose last character is 表 does not end in '\'.
  ASSERT_TRUE(parse("u x.lzh C:\\表 f").ok());
  EXPECT_EQ(cl.baseDir, "");
  EXPECT_EQ(cl.names, (Args{"C:\\表", "f"}));

  // Extraction: the folder to extract into is the base folder; -o1 always replaces.
  ASSERT_TRUE(parse("x -o1 x.lzh C:\\out\\ *.c").ok());
  EXPECT_EQ(cl.command, Command::Extract);
  EXPECT_TRUE(cl.sw.overwriteAlways);
  EXPECT_EQ(cl.baseDir, "C:\\out\\");
  EXPECT_EQ(cl.names, (Args{"*.c"}));
  ASSERT_TRUE(parse("E x.lzh").ok());
  EXPECT_EQ(cl.command, Command::ExtractFlat);
  EXPECT_FALSE(cl.sw.overwriteAlways);
  ASSERT_TRUE(parse("d x.lzh sub\\ a.txt").ok());  // no base folder: nothing may be ignored
  EXPECT_EQ(cl.command, Command::Delete);
  EXPECT_EQ(cl.baseDir, "");
  EXPECT_EQ(cl.names, (Args{"sub\\", "a.txt"}));

  // "--" ends the switches.
  ASSERT_TRUE(parse("u x.lzh -- -name.txt").ok());
  EXPECT_EQ(cl.names, (Args{"-name.txt"}));
}

TEST_F(ParseTest, WrongLinesAnswerTypedErrors) {
  struct Case {
    const char* line;
    ParseError error;
    const char* what;
  } cases[] = {
      {"u -z x.lzh", ParseError::BadSwitch, "-z"},
      {"u -r3 x.lzh", ParseError::BadSwitch, "-r3"},
      {"u -x2 x.lzh", ParseError::BadSwitch, "-x2"},
      {"u -r2x1 x.lzh", ParseError::BadSwitch, "-r2x1"},
      {"u -j x.lzh", ParseError::BadSwitch, "-j"},
      {"u - x.lzh", ParseError::BadSwitch, "-"},
      {"u -r99999999999 x.lzh", ParseError::BadSwitch, "-r99999999999"},
      {"q x.lzh", ParseError::UnknownCommand, "q"},
      {"update x.lzh", ParseError::UnknownCommand, "update"},
      {"", ParseError::NoCommand, ""},
      {"-r2 -x1", ParseError::NoCommand, ""},
      {"u", ParseError::NoArchive, ""},
      {"u \"\" a", ParseError::NoArchive, ""},
      {"u x.lzh @missing.txt", ParseError::ResponseFile, "missing.txt"},
  };
  for (const Case& c : cases) {
    auto r = parse(c.line);
    EXPECT_EQ(r.error, c.error) << c.line;
    EXPECT_EQ(r.what, c.what) << c.line;
  }
}

TEST_F(ParseTest, QuietCountsEvenOnAWrongLine) {
  EXPECT_EQ(parse("u -bad x.lzh --quiet").error, ParseError::BadSwitch);
  EXPECT_TRUE(cl.sw.quiet);
  ASSERT_TRUE(parse("u --QUIET x.lzh a").ok());
  EXPECT_TRUE(cl.sw.quiet);
  EXPECT_EQ(cl.names, (Args{"a"}));
  // After "--" it is a name, not the switch.
  ASSERT_TRUE(parse("u x.lzh -- --quiet").ok());
  EXPECT_FALSE(cl.sw.quiet);
  EXPECT_EQ(cl.names, (Args{"--quiet"}));
}

TEST(MemberName, RelativeAbsoluteAndUnsafeNames) {
  struct Case {
    const char* listed;
    bool storePaths;
    bool ok;
    const char* member;
  } cases[] = {
      {"proj\\sub\\a.c", true, true, "proj\\sub\\a.c"},
      {"proj/sub//a.c", true, true, "proj\\sub\\a.c"},
      {".\\a\\.\\b", true, true, "a\\b"},
      {"C:\\work\\a.c", true, true, "work\\a.c"},
      {"C:a.c", true, true, "a.c"},
      {"\\\\server\\share\\dir\\f.txt", true, true, "dir\\f.txt"},
      {"\\top\\f.txt", true, true, "top\\f.txt"},
      {"表\\ソ\\能.txt", true, true, "表\\ソ\\能.txt"},
      {"表\\ソ\\能.txt", false, true, "能.txt"},
      {"ソ", false, true, "ソ"},           // 83 5C must not be cut at its 0x5C
      {"dir\\sub\\", true, true, "dir\\sub"},
      {"a\\..\\b", true, false, ""},
      {"..", true, false, ""},
      {"C:\\", true, false, ""},
      {"", true, false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "junk";
    EXPECT_EQ(pv::arccmd::memberName(c.listed, c.storePaths, out), c.ok) << c.listed;
    EXPECT_EQ(out, c.member) << c.listed;
  }
}

TEST(PathHelpers, JoinExtensionAndLastComponent) {
  using pv::arccmd::joinPath;
  EXPECT_EQ(joinPath("C:\\base\\", "a\\b.txt"), "C:\\base\\a\\b.txt");
  EXPECT_EQ(joinPath("C:\\base", "b.txt"), "C:\\base\\b.txt");
  EXPECT_EQ(joinPath("C:\\表", "b.txt"), "C:\\表\\b.txt");  // 表 ends in 0x5C but not in '\'
  EXPECT_EQ(joinPath("C:", "b.txt"), "C:b.txt");
  EXPECT_EQ(joinPath("", "b.txt"), "b.txt");
  EXPECT_EQ(joinPath("C:\\base\\", "D:\\x.txt"), "D:\\x.txt");

  using pv::arccmd::withDefaultExtension;
  EXPECT_EQ(withDefaultExtension("C:\\bak\\src"), "C:\\bak\\src.lzh");
  EXPECT_EQ(withDefaultExtension("C:\\bak\\src.LZH"), "C:\\bak\\src.LZH");
  EXPECT_EQ(withDefaultExtension("C:\\v1.0\\src"), "C:\\v1.0\\src.lzh");
  EXPECT_EQ(withDefaultExtension("表"), "表.lzh");

  EXPECT_EQ(pv::arccmd::lastComponent("C:\\a\\表"), "表");
  EXPECT_EQ(pv::arccmd::lastComponent("C:x"), "x");
}

TEST(Wildcard, MatchesByWholeCharactersAndFoldsOnlyAscii) {
  using pv::wildcard::match;
  EXPECT_TRUE(match("*.txt", "README.TXT"));
  EXPECT_TRUE(match("*", ""));
  EXPECT_TRUE(match("*", "src\\a.c"));
  EXPECT_FALSE(match("?", ""));
  EXPECT_TRUE(match("?.txt", "表.txt"));     // one '?' is one double-byte character
  EXPECT_FALSE(match("??.txt", "表.txt"));
  EXPECT_TRUE(match("*表", "ソ表"));
  EXPECT_FALSE(match("ア", "ヂ"));           // 83 41 vs 83 61: trailing bytes are not letters
  EXPECT_TRUE(match("a*b*c", "aXXbYYbZc"));
  EXPECT_FALSE(match("a*b*c", "aXXbYYbZ"));
  EXPECT_TRUE(match("**a**", "bab"));
  // No exponential back-tracking.
  EXPECT_FALSE(match("*a*a*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));

  EXPECT_TRUE(pv::wildcard::hasWildcards("src\\*.c"));
  EXPECT_FALSE(pv::wildcard::hasWildcards("表\\ソ.txt"));
}

}  // namespace
