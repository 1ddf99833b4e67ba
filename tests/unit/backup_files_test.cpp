// The response file, the archiver's command line and the version text.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/backup.h"

namespace pv::backup {
namespace {

TEST(BackupResponse, QuotedLines) {
  EXPECT_EQ(ResponseLines({"proj\\a.c", "readme.bak", "表\\ソ.txt"}),
            (std::vector<std::string>{"\"proj\\a.c\"", "\"readme.bak\"", "\"表\\ソ.txt\""}));
  EXPECT_TRUE(ResponseLines({}).empty());
  EXPECT_EQ(ResponsePath("C:\\TEMP\\"), "C:\\TEMP\\pelbo.tmp");
}

TEST(BackupResponse, CommandLineHasOneBlankBetweenArguments) {
  EXPECT_EQ(CommandLine("D:\\Backup\\src2002.03.15.lzh", "C:\\Work\\", "C:\\TEMP\\"),
            "u -r2 -x1 -jm2 -a1 -t1 \"D:\\Backup\\src2002.03.15.lzh\" \"C:\\Work\\\" \"@C:\\TEMP\\pelbo.tmp\"");
  EXPECT_EQ(CommandLine("a.lzh", "", ""), "u -r2 -x1 -jm2 -a1 -t1 \"a.lzh\" \"\" \"@pelbo.tmp\"");
}

// A version resource as a table of looked-up values; the buffer behind each value
// ends where the value's bytes end, so reading further would be an overrun.
class FakeResource {
 public:
  void set(const std::string& sub, const std::string& bytes, std::uint32_t length) {
    values_[sub] = {bytes, length};
  }
  void translation(unsigned lang, unsigned cp) {
    std::string b{char(lang & 0xFF), char(lang >> 8), char(cp & 0xFF), char(cp >> 8)};
    set("\\VarFileInfo\\Translation", b, 4);
  }
  VersionQuery query() {
    return [this](const std::string& sub) -> std::optional<VersionValue> {
      asked.push_back(sub);
      auto it = values_.find(sub);
      if (it == values_.end()) return std::nullopt;
      // Each value in its own exactly sized heap block, so ASan sees any overrun.
      blocks_.emplace_back(new char[it->second.first.size() + 1]);
      char* p = blocks_.back().get();
      std::memcpy(p, it->second.first.data(), it->second.first.size());
      return VersionValue{p, it->second.second, it->second.first.size()};
    };
  }
  std::vector<std::string> asked;

 private:
  std::map<std::string, std::pair<std::string, std::uint32_t>> values_;
  std::vector<std::unique_ptr<char[]>> blocks_;
};

TEST(BackupVersion, TranslationPicksTheStringTable) {
  FakeResource r;
  r.translation(0x0411, 0x04B0);
  r.set("\\StringFileInfo\\041104B0\\FileVersion", std::string("1.2.0.3\0", 8), 8);
  r.set("\\StringFileInfo\\041104B0\\ProductVersion", std::string("1.05\0", 5), 5);
  r.set("\\StringFileInfo\\040904E4\\FileVersion", std::string("9.9\0", 4), 4);
  EXPECT_EQ(ReadVersionText(r.query(), VersionKind::FileVersion), "1.2.0.3");
  EXPECT_EQ(ReadVersionText(r.query(), VersionKind::ProductVersion), "1.05");

  FakeResource lower;  // digits are upper-case hex
  lower.translation(0x0c0a, 0xabcd);
  EXPECT_EQ(ReadVersionText(lower.query(), VersionKind::FileVersion), "");
  EXPECT_EQ(lower.asked.back(), "\\StringFileInfo\\0C0AABCD\\FileVersion");
}

TEST(BackupVersion, MissingPiecesGiveNothing) {
  FakeResource none;
  EXPECT_EQ(ReadVersionText(none.query(), VersionKind::FileVersion), "");
  EXPECT_EQ(none.asked.size(), 1u) << "no translation, no string lookup";

  FakeResource empty;
  empty.set("\\VarFileInfo\\Translation", "", 0);
  EXPECT_EQ(ReadVersionText(empty.query(), VersionKind::FileVersion), "");

  FakeResource shortTable;  // half an entry must not be read past its end
  shortTable.set("\\VarFileInfo\\Translation", "\x11\x04", 2);
  EXPECT_EQ(ReadVersionText(shortTable.query(), VersionKind::FileVersion), "");

  FakeResource zeroLength;
  zeroLength.translation(0x0411, 0x04B0);
  zeroLength.set("\\StringFileInfo\\041104B0\\FileVersion", std::string("1.0\0", 4), 0);
  EXPECT_EQ(ReadVersionText(zeroLength.query(), VersionKind::FileVersion), "");
}

TEST(BackupVersion, AtMost32BytesNeverPastTheBuffer) {
  const std::string exact(32, '7');
  const std::string longer = "1.2.3.4 build 20020315 release candidate";
  FakeResource r;
  r.translation(0x0411, 0x04B0);
  r.set("\\StringFileInfo\\041104B0\\FileVersion", exact + '\0', 33);
  r.set("\\StringFileInfo\\041104B0\\ProductVersion", longer + '\0', 41);
  EXPECT_EQ(ReadVersionText(r.query(), VersionKind::FileVersion), exact);
  EXPECT_EQ(ReadVersionText(r.query(), VersionKind::ProductVersion), longer.substr(0, 32));

  // No terminating zero before the buffer ends: stop at its end.
  FakeResource unterminated;
  unterminated.translation(0x0411, 0x04B0);
  unterminated.set("\\StringFileInfo\\041104B0\\FileVersion", "1.0", 4);
  EXPECT_EQ(ReadVersionText(unterminated.query(), VersionKind::FileVersion), "1.0");

  // A double-byte character cut at byte 32 is dropped whole, not halved.
  FakeResource sjis;
  sjis.translation(0x0411, 0x04B0);
  sjis.set("\\StringFileInfo\\041104B0\\FileVersion", std::string(31, 'v') + "版" + '\0', 34);
  EXPECT_EQ(ReadVersionText(sjis.query(), VersionKind::FileVersion), std::string(31, 'v'));
}

}  // namespace
}  // namespace pv::backup
