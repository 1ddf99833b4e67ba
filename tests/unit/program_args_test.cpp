// The command line of the installer and the deleter, and the two readings of the
// main program's version text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/setupver.h"

namespace {

using Args = std::vector<std::string>;
using pv::cmdline::splitProgramArgs;

// What the uninstaller writes into RunOnce must come back as the deleter's arguments,
// also for a folder at a drive root, with blanks, or ending in a byte 0x5C.
TEST(ProgramArgs, DeleterLinesSplitAsWritten) {
  EXPECT_EQ(splitProgramArgs("C:\\WINDOWS\\Lazerase.exe -n \"D:\\\" pelboSetup.exe"),
            (Args{"C:\\WINDOWS\\Lazerase.exe", "-n", "D:\\", "pelboSetup.exe"}));
  EXPECT_EQ(splitProgramArgs("\"C:\\Program Files\\x\\L.exe\" -n \"C:\\Program Files\\pelbo\" pelboSetup.exe"),
            (Args{"C:\\Program Files\\x\\L.exe", "-n", "C:\\Program Files\\pelbo", "pelboSetup.exe"}));
  // 表 and ソ end in 0x5C; the quote after them still closes the stretch.
  EXPECT_EQ(splitProgramArgs("L -n \"C:\\表\" \"ソ a\""), (Args{"L", "-n", "C:\\表", "ソ a"}));
  // A lead byte takes the next byte with it, even a quote.
  EXPECT_EQ(splitProgramArgs(std::string("L \x81\x22x")), (Args{"L", std::string("\x81\x22x")}));
}

TEST(ProgramArgs, SeparatorsAndEmptyQuotes) {
  EXPECT_EQ(splitProgramArgs("  a\t\x01\x1f b\r\n"), (Args{"a", "b"}));
  // An empty quoted argument is not counted, wherever an argument would start.
  EXPECT_EQ(splitProgramArgs("L \"\" -n \"\"\"\" x"), (Args{"L", "-n", "x"}));
  EXPECT_EQ(splitProgramArgs("L ab\"c d\"e"), (Args{"L", "abc de"}));
  EXPECT_EQ(splitProgramArgs("L \"open to the end "), (Args{"L", "open to the end "}));
  // A lone quote at the end is an empty argument: counting stops there.
  EXPECT_EQ(splitProgramArgs("L a \""), (Args{"L", "a"}));
  EXPECT_TRUE(splitProgramArgs("").empty());
  EXPECT_TRUE(splitProgramArgs(" \t ").empty());
}

TEST(SetupVersion, StrictDigitsDotDigits) {
  std::int32_t major = -1, minor = -1;
  ASSERT_TRUE(pv::setupver::parseSetupVersion("1.05", major, minor));
  EXPECT_EQ(major * 100 + minor, 105);
  ASSERT_TRUE(pv::setupver::parseSetupVersion("1.5", major, minor));
  EXPECT_EQ(major * 100 + minor, 105);
  ASSERT_TRUE(pv::setupver::parseSetupVersion(".", major, minor));
  EXPECT_EQ(major * 100 + minor, 0);
  for (const char* bad : {"1.05a", "1.0.5", "105", "", "v1.05", "1 .05"})
    EXPECT_FALSE(pv::setupver::parseSetupVersion(bad, major, minor)) << bad;
  // Digits enough to overflow a 32-bit number wrap instead of being undefined.
  EXPECT_TRUE(pv::setupver::parseSetupVersion("99999999999999999999.99999999999", major, minor));
}

TEST(SetupVersion, InstalledReadsOneNumber) {
  EXPECT_EQ(pv::setupver::parseInstalledVersion("1.05"), 105);
  EXPECT_EQ(pv::setupver::parseInstalledVersion("2.13"), 213);
  EXPECT_EQ(pv::setupver::parseInstalledVersion("1.5"), 15);
  EXPECT_EQ(pv::setupver::parseInstalledVersion("1.04 beta"), 104);
  EXPECT_EQ(pv::setupver::parseInstalledVersion("1.0.5"), 10);
  EXPECT_EQ(pv::setupver::parseInstalledVersion("v1"), 0);
  EXPECT_EQ(pv::setupver::parseInstalledVersion(""), 0);
  pv::setupver::parseInstalledVersion("12345678901234567890.1234567890");
}

}  // namespace
