// Lazerase.exe, the deferred deleter, started with command lines written the way
// the uninstaller writes them (quotes and all, not re-quoted by the driver).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"

using namespace pv::test;

namespace {

const std::string kDeleter = "Lazerase.exe";

std::optional<DWORD> runLine(const std::string& argLine, DWORD timeoutMs = kTimeout) {
  Process p = startProcessLine(joinPath(binDir(), kDeleter), argLine, tempRoot());
  if (!p) return std::nullopt;
  if (!p.waitExit(timeoutMs)) return std::nullopt;
  return p.exitCode();
}

void makeFiles(const std::string& dir, std::initializer_list<const char*> names) {
  ASSERT_TRUE(makeDirs(dir)) << lastError();
  for (const char* n : names) ASSERT_TRUE(writeFile(joinPath(dir, n), "x")) << lastError();
}

// The named form: the files named go, the folder only when nothing else is left.
TEST(Lazerase, NamedFormDeletesNamedFilesThenEmptyFolder) {
  TempDir tmp("lz");
  // Blanks in the folder: it arrives as one argument, without its quotes.
  const std::string blanks = tmp.file("Program Files\\pelbo");
  makeFiles(blanks, {"pelboSetup.exe", "other.hlp"});
  EXPECT_EQ(runLine(" -n \"" + blanks + "\" pelboSetup.exe other.hlp"), 0u);
  EXPECT_FALSE(dirExists(blanks)) << listDir(blanks).size();

  // A file that is not named keeps the folder. An empty quoted argument is not
  // counted, so it does not stand for the folder.
  const std::string keeps = tmp.file("keeps");
  makeFiles(keeps, {"pelboSetup.exe", "pelbo.dat"});
  EXPECT_EQ(runLine(" -n \"\" \"" + keeps + "\" pelboSetup.exe"), 0u);
  EXPECT_FALSE(fileExists(joinPath(keeps, "pelboSetup.exe")));
  EXPECT_TRUE(fileExists(joinPath(keeps, "pelbo.dat")));

  // 表 ends in the byte 0x5C: the folder name must stay whole before the quote.
  const std::string table = tmp.file("表");
  makeFiles(table, {"pelboSetup.exe"});
  EXPECT_EQ(runLine(" -n \"" + table + "\" pelboSetup.exe"), 0u);
  EXPECT_FALSE(dirExists(table));

  // A folder at a drive root, written "D:\" in quotes: the C runtime would make it D:".
  // Another file keeps the root from being empty: Wine would remove the drive's folder.
  const std::string rootFile = "D:\\pv-lazerase-root.tmp", keepFile = "D:\\pv-lazerase-keep.tmp";
  ASSERT_TRUE(writeFile(rootFile, "x") && writeFile(keepFile, "x")) << lastError();
  EXPECT_EQ(runLine(" -n \"D:\\\" pv-lazerase-root.tmp"), 0u);
  EXPECT_FALSE(fileExists(rootFile));
  deleteFile(rootFile);
  deleteFile(keepFile);
}

// A name that climbs out of the folder or brings a path of its own deletes nothing
// there; the plain name beside it still goes, and so does the emptied folder.
TEST(Lazerase, NamesStayInTheFolder) {
  TempDir tmp("lz");
  const std::string dir = tmp.file("a1"), canary = tmp.file("canary");
  makeFiles(dir, {"pelboSetup.exe"});
  makeFiles(canary, {"c1.txt", "c2.txt", "c3.txt"});
  EXPECT_EQ(runLine(" -n \"" + dir + "\" ..\\canary\\c1.txt \"" + joinPath(canary, "c2.txt") +
                    "\" ../canary/c3.txt .. pelboSetup.exe"),
            0u);
  EXPECT_EQ(listDir(canary), (std::vector<std::string>{"c1.txt", "c2.txt", "c3.txt"}));
  EXPECT_FALSE(dirExists(dir));
}

// With -p, the emptied parents above the folder go too, no more than counted and
// none that still holds something; nothing climbs when the folder itself stays.
TEST(Lazerase, CountedParentsGoOnlyWhenEmptied) {
  TempDir tmp("lz");
  const std::string kept = tmp.file("kept"), deep = kept + "\\made 1\\表\\pelbo";
  makeFiles(deep, {"pelboSetup.exe"});
  EXPECT_EQ(runLine(" -p 2 -n \"" + deep + "\" pelboSetup.exe"), 0u);
  EXPECT_FALSE(dirExists(kept + "\\made 1"));
  EXPECT_TRUE(dirExists(kept)) << "empty, but above the count";

  const std::string full = tmp.file("full"), inFull = full + "\\made\\pelbo";
  makeFiles(inFull, {"pelboSetup.exe"});
  makeFiles(full, {"other.txt"});
  EXPECT_EQ(runLine(" -p 9 -n \"" + inFull + "\" pelboSetup.exe"), 0u);
  EXPECT_FALSE(dirExists(full + "\\made"));
  EXPECT_EQ(listDir(full), std::vector<std::string>{"other.txt"});

  const std::string busy = tmp.file("busy\\made\\pelbo");
  makeFiles(busy, {"pelboSetup.exe", "pelbo.dat"});
  EXPECT_EQ(runLine(" -p 1 -n \"" + busy + "\" pelboSetup.exe"), 0u);
  EXPECT_EQ(listDir(busy), std::vector<std::string>{"pelbo.dat"});
}

TEST(Lazerase, OtherCommandLinesDoNothing) {
  TempDir tmp("lz");
  const std::string dir = tmp.file("d");
  makeFiles(dir, {"pelboSetup.exe"});
  for (const std::string& line : {std::string(), " -n \"" + dir + "\"", " -N \"" + dir + "\" pelboSetup.exe",
                                  " /n \"" + dir + "\" pelboSetup.exe", " \"\" -n \"" + dir + "\" \"\"",
                                  " -p 1 \"" + dir + "\" pelboSetup.exe", " -p x -n \"" + dir + "\" pelboSetup.exe",
                                  " -p 100 -n \"" + dir + "\" pelboSetup.exe", " -n \"" + dir + "\" -p 1"}) {
    EXPECT_EQ(runLine(line, kShortTimeout), 0u) << line;
    EXPECT_TRUE(fileExists(joinPath(dir, "pelboSetup.exe"))) << line;
  }
}

// The wait form: the file is still there while its program could still be ending.
TEST(Lazerase, WaitFormDeletesAfterTenSeconds) {
  TempDir tmp("lz");
  const std::string dir = tmp.file("w");
  makeFiles(dir, {"pelboSetup.exe"});
  const std::string file = joinPath(dir, "pelboSetup.exe");
  Process p = startProcessLine(joinPath(binDir(), kDeleter), " \"" + file + "\"", tempRoot());
  ASSERT_TRUE(p) << lastError();
  sleepMs(5000);
  EXPECT_TRUE(fileExists(file));
  ASSERT_TRUE(p.waitExit(20000));
  EXPECT_EQ(p.exitCode(), 0u);
  EXPECT_FALSE(fileExists(file));
  EXPECT_FALSE(dirExists(dir));
}

// What the uninstaller leaves for the next logon: Windows runs the RunOnce value once.
TEST(Lazerase, RunOnceValueRunsAtNextLogon) {
  const char* const runOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  TempDir tmp("lz");
  const std::string dir = tmp.file("pelbo 表");
  makeFiles(dir, {"pelboSetup.exe"});
  ASSERT_TRUE(regWriteString(HKEY_LOCAL_MACHINE, runOnce, "Sorvane_pelbo",
                             joinPath(binDir(), kDeleter) + " -n \"" + dir + "\" pelboSetup.exe"));
  EXPECT_EQ(runProcess("C:\\windows\\system32\\wineboot.exe", {"-r"}, "", 120000), 0u) << lastError();
  EXPECT_FALSE(dirExists(dir));
  EXPECT_FALSE(regReadString(HKEY_LOCAL_MACHINE, runOnce, "Sorvane_pelbo").has_value());
  regDeleteValue(HKEY_LOCAL_MACHINE, runOnce, "Sorvane_pelbo");
}

}  // namespace
