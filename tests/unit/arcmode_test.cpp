// Mode resolution of the archiver component and the MS-DOS date conversion it reports.
#include <gtest/gtest.h>

#include <vector>

#include "core/arcmode.h"
#include "core/dosdate.h"

using namespace pv::arc;

namespace {

TArchiveMode byName(const char* file, std::uint16_t bz2 = 0) { return resolveAuto(file, bz2, {}).mode; }

}  // namespace

TEST(ArcMode, ExtensionTableWithoutLibraries) {
  EXPECT_EQ(byName("a.lzh"), amLha);
  EXPECT_EQ(byName("C:\\x\\A.LZH"), amLha);
  EXPECT_EQ(byName("a.arj"), amArj);
  EXPECT_EQ(byName("a.zip"), amZip);
  EXPECT_EQ(byName("a.cab"), amCab);
  EXPECT_EQ(byName("a.rar"), amRar);
  EXPECT_EQ(byName("a.gza"), amBga);
  EXPECT_EQ(byName("a.BZA"), amBga);
  EXPECT_EQ(byName("a.tar"), amTar);
  EXPECT_EQ(byName("A.TGZ"), amTar);
  EXPECT_EQ(byName("a.taz"), amTar);
  EXPECT_EQ(byName("a.txt"), amAuto);
  EXPECT_EQ(byName("noext"), amAuto);
  EXPECT_EQ(byName(""), amAuto);
  // Comparisons are exact: a longer or shorter extension is not a near miss.
  EXPECT_EQ(byName("a.lzhx"), amAuto);
  EXPECT_EQ(byName("a.lz"), amAuto);
}

TEST(ArcMode, InnerTestDecidesCompressedTar) {
  EXPECT_EQ(byName("a.tar.gz"), amTar);
  EXPECT_EQ(byName("a.gz"), amGz);
  EXPECT_EQ(byName("A.TAR.Z"), amTar);
  EXPECT_EQ(byName("a.Z"), amGz);  // "a" has no extension
  EXPECT_EQ(byName("a.txt.gz"), amGz);
  // The inner extension must belong to the file, not to its folder.
  EXPECT_EQ(byName("C:\\dir.tar\\x.gz"), amGz);
  EXPECT_EQ(byName("dir.tar/x.gz"), amGz);
}

TEST(ArcMode, Bz2NeedsABz2Version) {
  EXPECT_EQ(byName("a.tar.bz2", 0), amAuto);
  EXPECT_EQ(byName("a.bz2", 0), amAuto);
  EXPECT_EQ(byName("a.tar.bz2", 1), amTar);
  EXPECT_EQ(byName("a.bz2", 65535), amGz);
}

TEST(ArcMode, ExeExtSetOnlyForExe) {
  Resolution r = resolveAuto("setup.EXE", 0, {});
  EXPECT_EQ(r.mode, amAuto);
  EXPECT_TRUE(r.exeExt);
  EXPECT_FALSE(resolveAuto("a.lzh", 0, {}).exeExt);
  EXPECT_FALSE(resolveAuto("a.exe.lzh", 0, {}).exeExt);
  EXPECT_FALSE(resolveAuto("x.exe\\a", 0, {}).exeExt);
  // A self-extracting archive a library recognises keeps the flag.
  r = resolveAuto("sfx.exe", 0, [](TArchiveMode m) { return m == amLha; });
  EXPECT_EQ(r.mode, amLha);
  EXPECT_TRUE(r.exeExt);
}

TEST(ArcMode, LibrariesAskedFirstInFixedOrder) {
  std::vector<TArchiveMode> asked;
  auto nobody = [&](TArchiveMode m) { asked.push_back(m); return false; };
  EXPECT_EQ(resolveAuto("x.zip", 0, nobody).mode, amZip);
  EXPECT_EQ(asked, (std::vector<TArchiveMode>{amLha, amZip, amArj, amCab, amRar, amBga}));

  EXPECT_EQ(resolveAuto("x.zip", 0, [](TArchiveMode m) { return m == amLha || m == amZip; }).mode, amLha);
  EXPECT_EQ(resolveAuto("x.lzh", 0, [](TArchiveMode m) { return m == amBga; }).mode, amBga);
  EXPECT_EQ(resolveAuto("x.tar.gz", 0, [](TArchiveMode m) { return m == amRar; }).mode, amRar);

  asked.clear();
  auto all = [&](TArchiveMode m) { asked.push_back(m); return true; };
  EXPECT_EQ(resolveAuto("x.cab", 0, all).mode, amLha);
  EXPECT_EQ(asked.size(), 1u);  // the first yes ends the questions
}

TEST(ArcMode, ShiftJisTrailingBytesAreNotSeparators) {
  // 表 is 95 5C and ソ is 83 5C: the 5C must not start a new path element.
  EXPECT_EQ(lowerExt("\x95\x5C.TGZ"), ".tgz");
  EXPECT_EQ(byName("d.tar\\\x95\x5C"), amAuto);       // no dot after the real separator
  EXPECT_EQ(lowerExt("a.\x83\x5C"), ".\x83\x5C");       // a double-byte extension stays whole
  EXPECT_EQ(byName("x.tar\x95\x5C.gz"), amGz);          // inner ext is ".tar表", not ".tar"
  EXPECT_EQ(byName("\x83\x5C.tar.gz"), amTar);
  // A 0x8x/0x9x lead byte followed by 'A' must not be lowered as an ASCII letter.
  EXPECT_EQ(lowerExt("a.\x82\x41"), ".\x82\x41");
  EXPECT_EQ(std::string(stripExt("dir\\a.b.gz")), "dir\\a.b");
  EXPECT_EQ(std::string(stripExt("dir.x\\a")), "dir.x\\a");
}

TEST(DosDate, ConvertsValidAndRejectsImpossible) {
  // 2002-03-15 12:34:56 -> days since 1899-12-30.
  std::uint32_t date = ((2002 - 1980) << 9) | (3 << 5) | 15;
  std::uint32_t time = (12 << 11) | (34 << 5) | (56 / 2);
  auto v = pv::dosDateTimeToDateTime((date << 16) | time);
  ASSERT_TRUE(v.has_value());
  EXPECT_NEAR(*v, 37330.0 + (12 * 3600 + 34 * 60 + 56) / 86400.0, 1e-9);

  auto epoch = pv::dosDateTimeToDateTime((((0u << 9) | (1 << 5) | 1) << 16));
  ASSERT_TRUE(epoch.has_value());
  EXPECT_DOUBLE_EQ(*epoch, 29221.0);  // 1980-01-01

  auto leap = pv::dosDateTimeToDateTime(((((2000 - 1980) << 9) | (2 << 5) | 29u) << 16));
  EXPECT_TRUE(leap.has_value());

  EXPECT_FALSE(pv::dosDateTimeToDateTime(0).has_value());  // month 0, day 0
  EXPECT_FALSE(pv::dosDateTimeToDateTime(((((2001 - 1980) << 9) | (2 << 5) | 29u) << 16)).has_value());
  EXPECT_FALSE(pv::dosDateTimeToDateTime(((((2001 - 1980) << 9) | (13 << 5) | 1u) << 16)).has_value());
  EXPECT_FALSE(pv::dosDateTimeToDateTime(((((2001 - 1980) << 9) | (4 << 5) | 31u) << 16)).has_value());
  const std::uint32_t day = ((((2001 - 1980) << 9) | (1 << 5) | 1u) << 16);
  EXPECT_FALSE(pv::dosDateTimeToDateTime(day | (24u << 11)).has_value());
  EXPECT_FALSE(pv::dosDateTimeToDateTime(day | (60u << 5)).has_value());
  EXPECT_FALSE(pv::dosDateTimeToDateTime(day | 30u).has_value());  // 60 seconds
  EXPECT_TRUE(pv::dosDateTimeToDateTime(day | (23u << 11) | (59u << 5) | 29u).has_value());
}
