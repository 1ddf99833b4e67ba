// The driver's file, path and registry helpers, which tests lean on to set up and
// inspect what a program left behind.
#include <gtest/gtest.h>

#include "driver.h"

using namespace pv::test;

TEST(DriverPaths, JoinsWithoutDoublingOrLosingSeparators) {
  EXPECT_EQ(joinPath("C:\\a", "b"), "C:\\a\\b");
  EXPECT_EQ(joinPath("C:\\a\\", "b"), "C:\\a\\b");
  EXPECT_EQ(joinPath("", "b"), "b");
  // 表 is 95 5C: its trailing byte is not a separator.
  EXPECT_EQ(joinPath("C:\\表", "x"), "C:\\表\\x");
  EXPECT_EQ(joinPath("C:\\ソ\\", "x"), "C:\\ソ\\x");

  std::string bin = binDir();
  EXPECT_TRUE(dirExists(bin)) << bin;
  EXPECT_NE(bin.back(), '\\');
  EXPECT_TRUE(fileExists(joinPath(bin, "pv_winunit.exe")));
}

TEST(DriverFiles, TempDirHoldsFilesAndIsRemovedWithThem) {
  std::string path;
  {
    TempDir dir("files");
    path = dir.path();
    ASSERT_TRUE(dirExists(path)) << lastError();
    EXPECT_EQ(path.find(tempRoot()), 0u);

    // Binary content with NUL and CR LF round-trips; Japanese names work.
    std::string bytes("a\0b\r\n\x95\x5C", 7);
    ASSERT_TRUE(writeFile(dir.file("表.bin"), bytes));
    EXPECT_EQ(readFile(dir.file("表.bin")), bytes);
    ASSERT_TRUE(makeDirs(dir.file("sub\\深い\\x")));
    ASSERT_TRUE(copyFile(dir.file("表.bin"), dir.file("sub\\深い\\x\\copy.bin")));
    EXPECT_EQ(readFile(dir.file("sub\\深い\\x\\copy.bin")), bytes);
    EXPECT_EQ(listDir(path), (std::vector<std::string>{"sub", "表.bin"}));
    EXPECT_FALSE(fileExists(dir.file("sub")));
    EXPECT_FALSE(readFile(dir.file("missing")).has_value());

    TempDir other("files");
    EXPECT_NE(other.path(), path);
    TempDir moved = std::move(other);  // removed once, by the new owner
  }
  EXPECT_FALSE(dirExists(path));

  std::string keptPath;
  {
    TempDir kept("kept");
    kept.keep();
    keptPath = kept.path();
  }
  EXPECT_TRUE(dirExists(keptPath));
  EXPECT_TRUE(removeTree(keptPath));
}

TEST(DriverRegistry, WritesReadsAndDeletesValuesAndKeys) {
  const std::string key = "Software\\PvDriverTest\\深い";
  ASSERT_TRUE(regWriteString(HKEY_CURRENT_USER, key, "名前", "表示"));
  ASSERT_TRUE(regWriteDword(HKEY_CURRENT_USER, key, "Count", 42));
  ASSERT_TRUE(regWriteBinary(HKEY_CURRENT_USER, key, "Blob", std::string("\0\1\2", 3)));
  EXPECT_EQ(regReadString(HKEY_CURRENT_USER, key, "名前"), "表示");
  EXPECT_EQ(regReadDword(HKEY_CURRENT_USER, key, "Count"), 42u);
  EXPECT_EQ(regReadBinary(HKEY_CURRENT_USER, key, "Blob"), std::string("\0\1\2", 3));
  EXPECT_FALSE(regReadDword(HKEY_CURRENT_USER, key, "名前").has_value());  // wrong type
  EXPECT_EQ(regValueNames(HKEY_CURRENT_USER, key).size(), 3u);

  ASSERT_TRUE(regDeleteValue(HKEY_CURRENT_USER, key, "Count"));
  EXPECT_FALSE(regReadDword(HKEY_CURRENT_USER, key, "Count").has_value());
  ASSERT_TRUE(regDeleteKey(HKEY_CURRENT_USER, "Software\\PvDriverTest"));
  EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, key));
  EXPECT_TRUE(regDeleteKey(HKEY_CURRENT_USER, "Software\\PvDriverTest"));  // already gone
}

TEST(DriverText, MatchesCaptionsWithAndWithoutMnemonics) {
  EXPECT_TRUE(textMatches("&Save", "Save"));
  EXPECT_TRUE(textMatches("はい(&Y)", "はい(Y)"));
  EXPECT_TRUE(textMatches("A && B", "A & B"));
  EXPECT_FALSE(textMatches("Save", "Sav"));
  EXPECT_FALSE(textMatches("はい(&Y)", "はい"));
}
