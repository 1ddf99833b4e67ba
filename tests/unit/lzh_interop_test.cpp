// Archives written here must pass `lhasa t` and `jlha t` and extract byte for byte
// with `lhasa x` and `jlha x`; archives written by jlha (levels 0/1/2, -lh5/6/7-)
// must read and decode here. Skipped when the tools are missing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "lzh_test_util.h"

using namespace pv::lzh;
using lzhtest::Bytes;

namespace {

struct Ran {
  int exit = -1;
  std::string out;
};

Ran run(const std::string& cmd) {
  Ran r;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
  const int st = pclose(p);
  r.exit = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

bool have(const char* tool) { return run(std::string("command -v ") + tool).exit == 0; }

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/pv-lzh-interop.XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { run("rm -rf '" + path + "'"); }
};

void writeFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
}

bool readFile(const std::string& path, Bytes& b) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  const std::string s = ss.str();
  b.assign(s.begin(), s.end());
  return true;
}

bool isDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Member name -> the path a Unix extractor creates: '\' separators become '/'
// (by whole Shift-JIS characters); jlha also reads the bytes as Latin-1 and writes
// them as UTF-8.
std::string unixPath(const std::string& name, bool latin1ToUtf8) {
  std::string out;
  for (const std::string& c : splitPath(name)) {
    if (!out.empty()) out += '/';
    for (unsigned char ch : c) {
      if (latin1ToUtf8 && ch >= 0x80) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
      } else {
        out += static_cast<char>(ch);
      }
    }
  }
  return out;
}

struct Item {
  std::string name;
  bool folder = false;
  Bytes data;
};

// A tree with Shift-JIS names whose second byte is 0x5C (表 95 5C, ソ 83 5C, 能 94 5C),
// an empty file, a file over 1 MB, one that does not compress, and odd attributes.
std::vector<Item> tree() {
  Bytes big;
  for (unsigned i = 0; big.size() < 1300000; ++i) {
    const Bytes part = i % 4 ? lzhtest::textBytes(60000, i) : lzhtest::randomBytes(30000, i);
    big.insert(big.end(), part.begin(), part.end());
  }
  return {
      {"docs", true, {}},
      {"docs\\表計算.txt", false, lzhtest::textBytes(30000, 1)},
      {"docs\\ソフト", true, {}},
      {"docs\\ソフト\\能力.txt", false, lzhtest::textBytes(3000, 2)},
      {"docs\\ソフト\\empty.txt", false, {}},
      {"big.bin", false, big},
      {"noise.bin", false, lzhtest::randomBytes(50000, 3)},
      {"readonly hidden.txt", false, lzhtest::bytesOf("attributes 0x23\r\n")},
  };
}

Bytes archiveOf(const std::vector<Item>& items) {
  std::vector<Entry> entries;
  for (const Item& it : items) {
    Entry e = it.folder ? lzhtest::folderEntry(it.name, lzhtest::ft(1600000000))
                        : lzhtest::fileEntry(it.name, it.data, lzhtest::ft(1600000000));
    if (it.name == "readonly hidden.txt") e.attributes = kAttrReadOnly | kAttrHidden | kAttrArchive;
    entries.push_back(e);
  }
  Bytes a = lzhtest::makeArchive(entries);
  EXPECT_FALSE(a.empty());
  return a;
}

void expectExtracted(const std::string& root, const std::vector<Item>& items, bool latin1ToUtf8) {
  for (const Item& it : items) {
    const std::string p = root + "/" + unixPath(it.name, latin1ToUtf8);
    if (it.folder) {
      EXPECT_TRUE(isDir(p)) << p;
      continue;
    }
    Bytes got;
    ASSERT_TRUE(readFile(p, got)) << "missing " << p;
    EXPECT_TRUE(got == it.data) << "differs: " << p;
  }
}

std::size_t countOf(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(LzhInterop, LhasaTestsAndExtractsOurArchives) {
  if (!have("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  TempDir dir;
  const auto items = tree();
  writeFile(dir.path + "/ours.lzh", archiveOf(items));
  const Ran t = run("cd '" + dir.path + "' && lhasa t ours.lzh");
  EXPECT_EQ(t.exit, 0) << t.out;
  EXPECT_EQ(countOf(t.out, "error"), 0u) << t.out;
  const Ran x = run("mkdir '" + dir.path + "/x' && cd '" + dir.path + "/x' && lhasa xq ../ours.lzh");
  ASSERT_EQ(x.exit, 0) << x.out;
  expectExtracted(dir.path + "/x", items, false);
}

TEST(LzhInterop, JlhaTestsAndExtractsOurArchives) {
  if (!have("jlha")) GTEST_SKIP() << "jlha is not installed";
  TempDir dir;
  const auto items = tree();
  writeFile(dir.path + "/ours.lzh", archiveOf(items));
  // jlha answers 0 whatever happens; its report is what counts.
  const Ran t = run("cd '" + dir.path + "' && LANG=C.UTF-8 jlha t ours.lzh");
  std::size_t files = 0;
  for (const Item& it : items) files += !it.folder;
  EXPECT_EQ(countOf(t.out, "Tested"), files) << t.out;
  EXPECT_EQ(countOf(t.out, "rror"), 0u) << t.out;
  run("mkdir '" + dir.path + "/x' && cd '" + dir.path + "/x' && LANG=C.UTF-8 jlha xq ../ours.lzh");
  expectExtracted(dir.path + "/x", items, true);
}

TEST(LzhInterop, ReadsAndUpdatesArchivesMadeByJlha) {
  if (!have("jlha")) GTEST_SKIP() << "jlha is not installed";
  TempDir dir;
  const std::vector<Item> items = {
      {"src", true, {}},
      {"src\\code.c", false, lzhtest::textBytes(200000, 5)},
      {"src\\noise.bin", false, lzhtest::randomBytes(40000, 6)},
      {"src\\empty.txt", false, {}},
      {"top.txt", false, lzhtest::textBytes(70000, 7)},
  };
  run("mkdir '" + dir.path + "/in' '" + dir.path + "/in/src'");
  for (const Item& it : items)
    if (!it.folder) writeFile(dir.path + "/in/" + unixPath(it.name, false), it.data);

  struct Made {
    const char* command;
    int level;
    Method method;
  };
  for (const Made& mk : {Made{"a", 2, Method::Lh5}, Made{"a0", 0, Method::Lh5}, Made{"a1", 1, Method::Lh5},
                         Made{"ao6", 2, Method::Lh6}, Made{"ao7", 2, Method::Lh7}}) {
    const std::string name = dir.path + "/" + mk.command + ".lzh";
    run("cd '" + dir.path + "/in' && LANG=C.UTF-8 TZ=UTC jlha " + mk.command + "q '" + name + "' src top.txt");
    Bytes a;
    ASSERT_TRUE(readFile(name, a)) << mk.command;
    Status s;
    const auto ms = lzhtest::members(a, &s);
    ASSERT_TRUE(s.ok()) << mk.command << ": " << s.detail;
    std::size_t files = 0;
    for (const Member& m : ms) {
      EXPECT_EQ(m.level, mk.level) << mk.command << " " << m.path;
      if (m.isDirectory()) {
        EXPECT_EQ(m.path, "src") << mk.command;
        continue;
      }
      const auto it = std::find_if(items.begin(), items.end(), [&](const Item& i) { return i.name == m.path; });
      ASSERT_NE(it, items.end()) << mk.command << ": unexpected member " << m.path;
      ++files;
      Status xs;
      EXPECT_TRUE(lzhtest::extract(a, m, &xs) == it->data) << mk.command << " " << m.path << " " << xs.detail;
      if (it->data.size() > 1000 && m.path != "src\\noise.bin") {
        EXPECT_EQ(m.method, mk.method) << mk.command;
      }
    }
    EXPECT_EQ(files, 4u) << mk.command;

    // Our update of their archive: new member added, theirs kept; both tools still read it.
    MemorySource src(a);
    MemorySink out;
    const UpdateResult r = updateArchive(
        &src, {lzhtest::fileEntry("added.txt", lzhtest::textBytes(5000, 8), lzhtest::ft(1700000000))}, out, UpdateOptions());
    ASSERT_TRUE(r.status.ok()) << mk.command << ": " << r.status.detail;
    EXPECT_EQ(r.added, 1u);
    EXPECT_EQ(r.kept, ms.size());
    writeFile(dir.path + "/updated.lzh", out.bytes);
    if (have("lhasa")) {
      const Ran t = run("cd '" + dir.path + "' && lhasa t updated.lzh");
      EXPECT_EQ(t.exit, 0) << mk.command << "\n" << t.out;
    }
    const Ran jt = run("cd '" + dir.path + "' && LANG=C.UTF-8 jlha t updated.lzh");
    EXPECT_EQ(countOf(jt.out, "Tested"), 5u) << mk.command << "\n" << jt.out;
  }
}
