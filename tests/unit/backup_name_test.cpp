// Archive names: the escapes, the separator rule and Shift-JIS scanning.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/backup.h"

namespace pv::backup {
namespace {

const Date kDay{2002, 3, 15};

// Records which versions were asked for, and answers fixed texts.
struct FakeVersions {
  std::vector<std::string> asked;
  VersionReader reader() {
    return [this](const std::string& file, VersionKind which) {
      asked.push_back(file + (which == VersionKind::FileVersion ? "|F" : "|P"));
      return std::string(which == VersionKind::FileVersion ? "1.2.0.3" : "1.05");
    };
  }
};

std::string expand(const std::string& dest, const std::string& name, const std::string& ver = "") {
  FakeVersions v;
  return ExpandArcName(dest, name, ver, kDay, v.reader());
}

TEST(BackupArcName, DateEscapeAndSeparator) {
  EXPECT_EQ(expand("D:\\Backup", "src\\d"), "D:\\Backup\\src2002.03.15.lzh");
  EXPECT_EQ(expand("D:\\Backup\\", "src\\d"), "D:\\Backup\\src2002.03.15.lzh");
  EXPECT_EQ(expand("D:", "x"), "D:x.lzh");  // a drive alone takes no separator
  EXPECT_EQ(expand("D:\\", "\\d\\d"), "D:\\2002.03.152002.03.15.lzh");
  EXPECT_EQ(ExpandArcName("C:\\b", "\\d", "", Date{987, 1, 2}, nullptr), "C:\\b\\0987.01.02.lzh");
}

TEST(BackupArcName, VersionEscapesNeedAVersionFile) {
  FakeVersions v;
  EXPECT_EQ(ExpandArcName("D:\\B", "app\\f", "C:\\app.exe", kDay, v.reader()), "D:\\B\\app1.2.0.3.lzh");
  EXPECT_EQ(ExpandArcName("D:\\B", "app\\p", "C:\\app.exe", kDay, v.reader()), "D:\\B\\app1.05.lzh");
  EXPECT_EQ(v.asked, (std::vector<std::string>{"C:\\app.exe|F", "C:\\app.exe|P"}));

  FakeVersions none;
  EXPECT_EQ(ExpandArcName("D:\\B", "app\\f\\p", "", kDay, none.reader()), "D:\\B\\app.lzh");
  EXPECT_TRUE(none.asked.empty()) << "no version file, no lookup";
}

TEST(BackupArcName, OtherEscapesAreDropped) {
  EXPECT_EQ(expand("D:", "a\\xb"), "D:ab.lzh");
  EXPECT_EQ(expand("D:", "name\\"), "D:name.lzh");
  EXPECT_EQ(expand("D:", "a\\\\b"), "D:ab.lzh");  // a doubled backslash is an unknown escape too
  EXPECT_EQ(expand("D:", "a\\\\\\d"), "D:a2002.03.15.lzh");
  EXPECT_EQ(expand("D:", "a\\Db\\Fc\\Pd", "C:\\app.exe"), "D:abcd.lzh");  // escapes are lower case only
  EXPECT_EQ(expand("D:", ""), "D:.lzh");
  EXPECT_EQ(expand("D:", "\\"), "D:.lzh");
}

TEST(BackupArcName, ScansWholeShiftJisCharacters) {
  // 表 and ソ end in 0x5C, the byte of a backslash.
  ASSERT_EQ(std::string("表"), "\x95\x5C");
  ASSERT_EQ(std::string("ソ"), "\x83\x5C");

  EXPECT_EQ(expand("D:\\B", "表"), "D:\\B\\表.lzh");
  EXPECT_EQ(expand("D:\\B", "表d"), "D:\\B\\表d.lzh");
  EXPECT_EQ(expand("D:\\B", "表\\d"), "D:\\B\\表2002.03.15.lzh");
  EXPECT_EQ(expand("D:\\B", "ソフト\\f", "C:\\a.exe"), "D:\\B\\ソフト1.2.0.3.lzh");
  // An escape followed by a double-byte character drops that whole character.
  EXPECT_EQ(expand("D:\\B", "a\\表b"), "D:\\B\\ab.lzh");

  // A folder whose name ends in 表 does not end in a backslash.
  EXPECT_EQ(expand("D:\\表", "x"), "D:\\表\\x.lzh");
  EXPECT_EQ(expand("D:\\ソ\\", "x"), "D:\\ソ\\x.lzh");
  // A lead byte cut off at the very end is kept as it stands.
  EXPECT_EQ(expand("D:", "a\x95"), "D:a\x95.lzh");
}

}  // namespace
}  // namespace pv::backup
