// Member names from hostile archives: what may be written where.
// Shift-JIS bytes: 表 = 95 5C and ソ = 83 5C end in the byte '\'.
#include <gtest/gtest.h>

#include "lzh/extract.h"
#include "lzh_test_util.h"

namespace {

using namespace pv::lzh;
using lzhtest::Bytes;
using lzhtest::bytesOf;
using lzhtest::level0;

TEST(LzhExtract, HostileNamesAreRefusedOrdinaryOnesKept) {
  struct Case {
    std::string stored;
    NameProblem problem;
    std::string rel;
  } cases[] = {
      {"proj\\\x95\x5C\\\x83\x5C\\\x83\x5C\x81\x5B\x83\x58.txt", NameProblem::None,
       "proj\\\x95\x5C\\\x83\x5C\\\x83\x5C\x81\x5B\x83\x58.txt"},
      {"a/b\xFF" "c.txt", NameProblem::None, "a\\b\\c.txt"},
      {"./a//b", NameProblem::None, "a\\b"},
      // Folders ending in a dot or a space are refused before anything is made; the last
      // component loses them, as Windows drops them.
      {"\x95\x5C..\\x", NameProblem::FolderEnd, ""},  // one component "表.." on Windows
      {"subX \\a.txt", NameProblem::FolderEnd, ""},
      {"a.\\b\\c", NameProblem::FolderEnd, ""},
      {"sub\\a.txt. .", NameProblem::None, "sub\\a.txt"},
      {"sub\\dir.\\", NameProblem::None, "sub\\dir"},
      {"x\\\x95\x5C.", NameProblem::None, "x\\\x95\x5C"},
      {"", NameProblem::Empty, ""},
      {".", NameProblem::Empty, ""},
      {"..\\x", NameProblem::Parent, ""},
      {"a/../../x", NameProblem::Parent, ""},
      {"a\\...\\x", NameProblem::Parent, ""},
      {"a\\. .\\x", NameProblem::Parent, ""},
      {"\x83\x5C\\..\\..\\x", NameProblem::Parent, ""},
      {"\\Windows\\x.dll", NameProblem::Absolute, ""},
      {"/etc/passwd", NameProblem::Absolute, ""},
      {"\\\\server\\share\\x", NameProblem::Absolute, ""},
      {"\xFF" "x", NameProblem::Absolute, ""},
      {"C:x", NameProblem::Drive, ""},
      {"C:\\x", NameProblem::Drive, ""},
      {"a\\file.txt:stream", NameProblem::Drive, ""},
      {"CON", NameProblem::Device, ""},
      {"dir\\nul.txt", NameProblem::Device, ""},
      {"Aux .c", NameProblem::Device, ""},
      {"com1", NameProblem::Device, ""},
      {"LPT9.log", NameProblem::Device, ""},
      {"CONOUT$", NameProblem::Device, ""},
      {"a\x01" "b", NameProblem::BadCharacter, ""},
      {"what?.txt", NameProblem::BadCharacter, ""},
      {"a|b", NameProblem::BadCharacter, ""},
      {"\x83", NameProblem::BadShiftJis, ""},
      {"\x83/..\\..\\x", NameProblem::BadShiftJis, ""},  // a lead byte must not swallow '/'
      {"console.txt", NameProblem::None, "console.txt"},
      {"com10", NameProblem::None, "com10"},
  };
  for (const Case& c : cases) {
    std::string rel = "junk";
    EXPECT_EQ(safeRelativePath(c.stored, rel), c.problem) << c.stored << " -> " << nameProblemName(safeRelativePath(c.stored, rel));
    EXPECT_EQ(rel, c.rel) << c.stored;
  }

  // The reader tidies leading separators away; the check still sees them as stored.
  Bytes arc;
  for (const char* n : {"/etc/passwd", "..\\up.txt", "C:\\boot.ini", "ok\\\x95\x5C.txt"}) {
    const Bytes m = level0(n, "data");
    arc.insert(arc.end(), m.begin(), m.end());
  }
  arc.push_back(0);
  Status st;
  const auto ms = lzhtest::members(arc, &st);
  ASSERT_TRUE(st.ok()) << st.detail;
  ASSERT_EQ(ms.size(), 4u);
  std::string rel;
  EXPECT_EQ(safeMemberPath(ms[0], rel), NameProblem::Absolute);
  EXPECT_EQ(safeMemberPath(ms[1], rel), NameProblem::Parent);
  EXPECT_EQ(safeMemberPath(ms[2], rel), NameProblem::Drive);
  EXPECT_EQ(safeMemberPath(ms[3], rel), NameProblem::None);
  EXPECT_EQ(rel, "ok\\\x95\x5C.txt");

  // Level 2: folders in ext 0x02 are joined to the name with 0xFF.
  const Bytes ours = lzhtest::makeArchive({lzhtest::fileEntry("proj\\\x83\x5C\\a.c", bytesOf("x"), lzhtest::ft(1600000000)),
                                           lzhtest::folderEntry("proj\\empty", lzhtest::ft(1600000000))});
  const auto om = lzhtest::members(ours);
  ASSERT_EQ(om.size(), 2u);
  EXPECT_EQ(safeMemberPath(om[0], rel), NameProblem::None);
  EXPECT_EQ(rel, "proj\\\x83\x5C\\a.c");
  EXPECT_EQ(safeMemberPath(om[1], rel), NameProblem::None);
  EXPECT_EQ(rel, "proj\\empty");
}

}  // namespace
