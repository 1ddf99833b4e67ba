// unlha32.dll through its exports, loaded the way callers load it (LoadLibraryA +
// GetProcAddress by plain name). Archives are checked with the codec's own reader;
// the interop script checks the same kind of archives with lhasa and jlha.
// Japanese literals are Shift-JIS: 表 = 95 5C and ソ = 83 5C end in the byte '\'.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"
#include "../unit/lzh_test_util.h"
#include "lzh/archive.h"
#include "lzh/header.h"
#include "lzh/timestamps.h"
#include "pv_version.h"
#include "unlha32/unlha32.h"

namespace {

namespace lzh = pv::lzh;
namespace t = pv::test;

// ---------------------------------------------------------------- the library

struct Library {
  HMODULE module = nullptr;
  int(WINAPI* command)(HWND, LPCSTR, LPSTR, DWORD) = nullptr;
  WORD(WINAPI* getVersion)() = nullptr;
  WORD(WINAPI* getSubVersion)() = nullptr;
  BOOL(WINAPI* getRunning)() = nullptr;
  BOOL(WINAPI* setBackGroundMode)(BOOL) = nullptr;
  BOOL(WINAPI* setCursorMode)(BOOL) = nullptr;
  HARC(WINAPI* openArchive)(HWND, LPCSTR, DWORD) = nullptr;
  int(WINAPI* closeArchive)(HARC) = nullptr;
  int(WINAPI* findFirst)(HARC, LPCSTR, UnlhaMemberRecord*) = nullptr;
  int(WINAPI* findNext)(HARC, UnlhaMemberRecord*) = nullptr;
  BOOL(WINAPI* checkArchive)(LPCSTR, int) = nullptr;
  BOOL(WINAPI* configDialog)(HWND, LPSTR, int) = nullptr;
  BOOL(WINAPI* setOwnerWindow)(HWND) = nullptr;
  BOOL(WINAPI* clearOwnerWindow)() = nullptr;
  int(WINAPI* extractMem)(HWND, LPCSTR, LPBYTE, DWORD, DWORD*, WORD*, DWORD*) = nullptr;
};

template <class F>
void bind(HMODULE m, F& slot, const char* name) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m, name)));
}

const Library& lib() {
  static Library l = [] {
    Library x;
    x.module = ::LoadLibraryA((t::binDir() + "\\unlha32.dll").c_str());
    if (!x.module) return x;
    bind(x.module, x.command, "Unlha");
    bind(x.module, x.getVersion, "UnlhaGetVersion");
    bind(x.module, x.getSubVersion, "UnlhaGetSubVersion");
    bind(x.module, x.getRunning, "UnlhaGetRunning");
    bind(x.module, x.setBackGroundMode, "UnlhaSetBackGroundMode");
    bind(x.module, x.setCursorMode, "UnlhaSetCursorMode");
    bind(x.module, x.openArchive, "UnlhaOpenArchive");
    bind(x.module, x.closeArchive, "UnlhaCloseArchive");
    bind(x.module, x.findFirst, "UnlhaFindFirst");
    bind(x.module, x.findNext, "UnlhaFindNext");
    bind(x.module, x.checkArchive, "UnlhaCheckArchive");
    bind(x.module, x.configDialog, "UnlhaConfigDialog");
    bind(x.module, x.setOwnerWindow, "UnlhaSetOwnerWindow");
    bind(x.module, x.clearOwnerWindow, "UnlhaClearOwnerWindow");
    bind(x.module, x.extractMem, "UnLhaExtractMem");
    return x;
  }();
  return l;
}

struct Outcome {
  int code = -1;
  std::string text;  // the output buffer
};

Outcome run(const std::string& line, HWND hwnd = nullptr) {
  static char buf[64 * 1024];
  Outcome o;
  buf[0] = '\0';
  o.code = lib().command(hwnd, line.c_str(), buf, sizeof buf);
  o.text = buf;
  return o;
}

std::string q(const std::string& s) { return "\"" + s + "\""; }

// Sets how many threads the library compresses on, for the life of the object.
class Threads {
 public:
  explicit Threads(int n) { ::SetEnvironmentVariableA("PV_UNLHA_THREADS", std::to_string(n).c_str()); }
  ~Threads() { ::SetEnvironmentVariableA("PV_UNLHA_THREADS", nullptr); }
  Threads(const Threads&) = delete;
  Threads& operator=(const Threads&) = delete;
};

// ---------------------------------------------------------------- files

constexpr std::uint64_t kBaseTime = 132366752960000000ull;  // 2020-06-15 12:34:56 UTC

FILETIME ft(std::uint64_t ticks) {
  FILETIME f;
  f.dwLowDateTime = static_cast<DWORD>(ticks);
  f.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return f;
}

bool setWriteTime(const std::string& path, std::uint64_t ticks) {
  HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const FILETIME w = ft(ticks);
  const bool ok = ::SetFileTime(h, nullptr, nullptr, &w) != 0;
  ::CloseHandle(h);
  return ok;
}

std::uint64_t writeTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return 0;
  return (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
}

std::string text(std::size_t n, unsigned seed) {
  static const char* words[] = {"backup ", "archive ", "表示 ", "ソース ", "folder\r\n", "data ", "能力 "};
  std::string s;
  while (s.size() < n) {
    seed = seed * 1103515245u + 12345u;
    s += words[(seed >> 16) % 7];
  }
  s.resize(n);
  return s;
}

std::string noise(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
  return s;
}

// A fresh folder; read-only and hidden files in it are cleared before it goes.
class Scratch {
 public:
  Scratch() : dir_("unlha") {}
  ~Scratch() { clearAttributes(dir_.path()); }
  std::string path(const std::string& rel = "") const { return rel.empty() ? dir_.path() : dir_.file(rel); }

  void put(const std::string& rel, const std::string& bytes, std::uint64_t time = kBaseTime) {
    const std::string p = path(rel);
    t::makeDirs(folderOf(p));
    ::SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(t::writeFile(p, bytes)) << p;
    ASSERT_TRUE(setWriteTime(p, time)) << p;
  }

  static std::string folderOf(const std::string& p) {
    char full[MAX_PATH];
    char* name = nullptr;
    ::GetFullPathNameA(p.c_str(), sizeof full, full, &name);
    return name ? std::string(full, name - full - 1) : std::string(full);
  }

 private:
  static void clearAttributes(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      const std::string n = fd.cFileName;
      if (n == "." || n == "..") continue;
      const std::string p = dir + "\\" + n;
      ::SetFileAttributesA(p.c_str(), (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_ATTRIBUTE_DIRECTORY
                                                                                       : FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) clearAttributes(p);
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  t::TempDir dir_;
};

// ---------------------------------------------------------------- archives

struct Archive {
  std::string bytes;
  std::vector<lzh::Member> members;

  const lzh::Member* find(const std::string& path) const {
    for (const auto& m : members)
      if (m.path == path) return &m;
    return nullptr;
  }
  std::string raw(const std::string& path) const {  // header and data as stored
    const lzh::Member* m = find(path);
    return m ? bytes.substr(m->headerOffset, m->endOffset() - m->headerOffset) : std::string("<missing>");
  }
  std::string content(const std::string& path) const {
    const lzh::Member* m = find(path);
    if (!m) return "<missing>";
    lzh::MemorySource src(bytes.data(), bytes.size());
    std::string out;
    const lzh::Status s = lzh::extractMember(src, *m, [&](const std::uint8_t* d, std::size_t n) {
      out.append(reinterpret_cast<const char*>(d), n);
      return true;
    });
    return s.ok() ? out : "<" + std::string(lzh::errorName(s.error)) + ">";
  }
  std::vector<std::string> names() const {
    std::vector<std::string> v;
    for (const auto& m : members) v.push_back(m.path + (m.isDirectory() ? "\\" : ""));
    return v;
  }
};

Archive readArchive(const std::string& path) {
  Archive a;
  a.bytes = t::readFile(path).value_or("");
  lzh::MemorySource src(a.bytes.data(), a.bytes.size());
  const lzh::Status s = lzh::readArchive(src, a.members);
  EXPECT_TRUE(s.ok()) << path << ": " << s.detail;
  return a;
}

// ---------------------------------------------------------------- the backup's tree

// The tree a backup hands over: files below base, the response file listing them.
struct Tree {
  Scratch dir;
  std::string base() const { return dir.path("src") + "\\"; }
  std::string archive() const { return dir.path("out\\backup.lzh"); }
  std::string list() const { return dir.path("pelbo.tmp"); }
  std::map<std::string, std::string> files;  // relative name -> content

  Tree() {
    t::makeDirs(dir.path("out"));
    add("proj\\readme.txt", text(3000, 1));
    add("proj\\empty.dat", "");
    add("proj\\表\\big.bin", text(700000, 2) + noise(400000, 3) + text(300000, 4));
    add("proj\\表\\ソ\\ソース.txt", text(5000, 5));
    add("proj\\noise.bin", noise(4096, 6));
    add("proj\\能力.txt", "hidden\r\n", kBaseTime + 10 * 10000000ull);
    add("proj\\ro.txt", "read-only\r\n");
    ::SetFileAttributesA(dir.path("src\\proj\\能力.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesA(dir.path("src\\proj\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    writeList();
  }
  void add(const std::string& rel, const std::string& bytes, std::uint64_t time = kBaseTime) {
    files[rel] = bytes;
    dir.put("src\\" + rel, bytes, time);
  }
  void writeList(const std::vector<std::string>& extra = {}) {
    std::string l;
    for (const auto& f : files) l += q(f.first) + "\r\n";
    for (const auto& e : extra) l += q(e) + "\r\n";
    ASSERT_TRUE(t::writeFile(list(), l));
  }
  std::string backupLine(const std::string& tail = " --quiet") const {
    return "u -r2 -x1 -jm2 -a1 -t1 " + q(archive()) + " " + q(base()) + " " + q("@" + list()) + tail;
  }
  std::vector<std::string> outFolder() const { return t::listDir(dir.path("out")); }
};

// ---------------------------------------------------------------- an owner window

struct Event {
  WPARAM kind;
  std::string source, dest, mode;
  DWORD fileSize, writeSize, totalSize, totalDone, fileIndex, fileCount, result;
  WORD attributes;
  bool running;
};

// Receives "wm_arcextract"; answer() decides each reply, onEvent() may look around.
class Owner {
 public:
  explicit Owner(bool visible = false) {
    static const bool registered = [] {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = proc;
      wc.hInstance = ::GetModuleHandleA(nullptr);
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      wc.lpszClassName = "PvUnlhaTestOwner";
      return ::RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    hwnd = ::CreateWindowA("PvUnlhaTestOwner", "owner", WS_OVERLAPPEDWINDOW, 60, 60, 500, 320, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), this);
    if (visible) ::ShowWindow(hwnd, SW_SHOW);
  }
  ~Owner() {
    lib().clearOwnerWindow();
    ::DestroyWindow(hwnd);
  }
  void listen() { EXPECT_TRUE(lib().setOwnerWindow(hwnd)); }

  HWND hwnd = nullptr;
  std::vector<Event> events;
  std::function<LRESULT(const Event&)> answer;
  std::function<void(const Event&)> onEvent;
  int appMessages = 0;  // WM_APP posted to it

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    static const UINT arcExtract = ::RegisterWindowMessageA("wm_arcextract");
    if (msg == WM_NCCREATE)
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<Owner*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == arcExtract && self) {
      const auto* i = reinterpret_cast<const UnlhaExtractingInfo*>(lp);
      Event e{wp, i->sourceName, i->destName, i->modeText, i->fileSize, i->writeSize, i->totalSize,
              i->totalDone, i->fileIndex, i->fileCount, i->result, i->attributes,
              lib().getRunning() != FALSE};
      self->events.push_back(e);
      if (self->onEvent) self->onEvent(e);
      return self->answer ? self->answer(e) : 0;
    }
    if (msg == WM_APP && self) ++self->appMessages;
    return ::DefWindowProcA(hwnd, msg, wp, lp);
  }
};

// Clicks away any box the library shows; for tests that expect none.
class BoxWatch {
 public:
  BoxWatch() : thread_([this] {
      while (!stop_) {
        if (HWND box = t::findMessageBox("unlha32.dll", ::GetCurrentProcessId())) {
          seen_ = true;
          t::answerMessageBox(box, IDOK);
        }
        ::Sleep(50);
      }
    }) {}
  ~BoxWatch() {
    stop_ = true;
    thread_.join();
  }
  bool seen() const { return seen_; }

 private:
  volatile bool stop_ = false, seen_ = false;
  std::thread thread_;
};

class Unlha32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib().module, nullptr) << "unlha32.dll not found beside the test";
    lib().setBackGroundMode(FALSE);
    lib().setCursorMode(FALSE);
    lib().clearOwnerWindow();
  }
};

// ================================================================ entries

TEST_F(Unlha32, ExportsVersionsAndUnsupportedEntries) {
  const Library& l = lib();
  for (const void* p : {(void*)l.command, (void*)l.getVersion, (void*)l.getSubVersion, (void*)l.getRunning,
                        (void*)l.setBackGroundMode, (void*)l.setCursorMode, (void*)l.openArchive,
                        (void*)l.closeArchive, (void*)l.findFirst, (void*)l.findNext, (void*)l.checkArchive,
                        (void*)l.configDialog, (void*)l.setOwnerWindow, (void*)l.clearOwnerWindow,
                        (void*)l.extractMem})
    EXPECT_NE(p, nullptr);
  EXPECT_EQ(l.getVersion(), UNLHA_VERSION);
  EXPECT_EQ(l.getSubVersion(), PV_VERSION_MAJOR * 100 + PV_VERSION_MINOR);
  EXPECT_FALSE(l.getRunning());
  DWORD written = 77;
  EXPECT_EQ(l.extractMem(nullptr, "e x.lzh a --quiet", nullptr, 0, nullptr, nullptr, &written),
            UNLHA_ERR_ARCHIVE_NOT_FOUND);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(l.setOwnerWindow(nullptr));
  EXPECT_FALSE(l.setOwnerWindow(reinterpret_cast<HWND>(0x1234)));
}

TEST_F(Unlha32, WrongCommandLinesAnswerCodesAndTouchNothing) {
  Scratch s;
  const std::string arc = s.path("x.lzh");
  struct Case {
    std::string line;
    int code;
  } cases[] = {
      {"u -z " + q(arc) + " a.txt --quiet", UNLHA_ERR_SWITCH},
      {"u -r5 " + q(arc) + " a.txt --quiet", UNLHA_ERR_SWITCH},
      {"q " + q(arc) + " a.txt --quiet", UNLHA_ERR_COMMAND},
      {"--quiet", UNLHA_ERR_COMMAND},
      {"u --quiet", UNLHA_ERR_NO_ARCHIVE},
      {"u " + q(arc) + " " + q("@" + s.path("none.tmp")) + " --quiet", UNLHA_ERR_RESPONSE_FILE},
      {"u " + q(arc) + " " + q(s.path("missing.txt")) + " --quiet", UNLHA_ERR_FILE_NOT_FOUND},
      {"u " + q(arc) + " --quiet", UNLHA_ERR_NO_FILES},
      {"l " + q(arc) + " --quiet", UNLHA_ERR_ARCHIVE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    const Outcome o = run(c.line);
    EXPECT_EQ(o.code, c.code) << c.line;
    EXPECT_FALSE(o.text.empty()) << c.line;  // the cause, in words
  }
  EXPECT_EQ(t::listDir(s.path()), std::vector<std::string>{});
  EXPECT_FALSE(lib().getRunning());

  // A tiny output buffer gets a cut, terminated text and nothing past its end.
  char small[12];
  std::memset(small, 'Z', sizeof small);
  EXPECT_EQ(lib().command(nullptr, "q x --quiet", small, 8), UNLHA_ERR_COMMAND);
  EXPECT_LT(std::strlen(small), 8u);
  EXPECT_EQ(std::string(small + 8, 4), "ZZZZ");
  // Without --quiet the caller gets a box as well.
  BoxWatch boxes;
  EXPECT_EQ(lib().command(nullptr, nullptr, nullptr, 0), UNLHA_ERR_COMMAND);
  EXPECT_TRUE(boxes.seen());
}

// ================================================================ the backup line

TEST_F(Unlha32, BackupLineStoresTheTreeWithNamesTimesAndAttributes) {
  Tree tree;
  const Outcome o = run(tree.backupLine());
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;

  const Archive a = readArchive(tree.archive());
  std::vector<std::string> expected;
  for (const auto& f : tree.files) expected.push_back(f.first);
  EXPECT_EQ(a.names(), expected);  // response-file order, folder part kept
  for (const auto& f : tree.files) {
    SCOPED_TRACE(f.first);
    const lzh::Member* m = a.find(f.first);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(a.content(f.first), f.second);
    EXPECT_EQ(m->level, 2);
    EXPECT_EQ(m->osId, 'M');
    EXPECT_TRUE(m->hasHeaderCrc);
    EXPECT_TRUE(m->hasWinTimes);
    EXPECT_EQ(m->winTimes.lastWrite, writeTime(tree.dir.path("src\\" + f.first)));
    EXPECT_EQ(m->unixTime, lzh::fileTimeToUnix(m->winTimes.lastWrite));
  }
  // Folders go in ext 0x02, so the 0x5C trailing bytes of 表 and ソ are no separators.
  EXPECT_EQ(a.find("proj\\表\\ソ\\ソース.txt")->dir, "proj\\表\\ソ");
  EXPECT_EQ(a.find("proj\\表\\ソ\\ソース.txt")->fileName, "ソース.txt");
  EXPECT_STREQ(a.find("proj\\readme.txt")->methodId, "-lh5-");
  EXPECT_STREQ(a.find("proj\\noise.bin")->methodId, "-lh0-");
  EXPECT_STREQ(a.find("proj\\empty.dat")->methodId, "-lh0-");
  EXPECT_STREQ(a.find("proj\\表\\big.bin")->methodId, "-lh5-");
  EXPECT_TRUE(a.find("proj\\能力.txt")->attributes & lzh::kAttrHidden);   // -a1 takes hidden files
  EXPECT_TRUE(a.find("proj\\ro.txt")->attributes & lzh::kAttrReadOnly);
  // -t1: the archive carries its newest member's time.
  EXPECT_EQ(writeTime(tree.archive()), kBaseTime + 10 * 10000000ull);
  // Nothing but the archive is left in its folder.
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});
  EXPECT_TRUE(lib().checkArchive(tree.archive().c_str(), 0));
  EXPECT_TRUE(lib().checkArchive(tree.archive().c_str(), UNLHA_CHECK_DATA));
}

TEST_F(Unlha32, UpdateAddsNewReplacesNewerAndCopiesTheRestByteForByte) {
  Tree tree;
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  const Archive before = readArchive(tree.archive());

  // Changed and newer: replaced. Changed but with an older time: kept (the newer rule).
  tree.add("proj\\readme.txt", "new readme\r\n", kBaseTime + 3600 * 10000000ull);
  tree.add("proj\\表\\ソ\\ソース.txt", "older copy\r\n", kBaseTime - 3600 * 10000000ull);
  tree.add("proj\\新規\\追加.txt", text(2000, 9), kBaseTime + 60 * 10000000ull);
  tree.writeList();
  const Outcome o = run(tree.backupLine());
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;

  const Archive after = readArchive(tree.archive());
  EXPECT_EQ(after.content("proj\\readme.txt"), "new readme\r\n");
  EXPECT_EQ(after.content("proj\\新規\\追加.txt"), tree.files["proj\\新規\\追加.txt"]);
  for (const char* kept : {"proj\\empty.dat", "proj\\表\\big.bin", "proj\\表\\ソ\\ソース.txt", "proj\\noise.bin",
                           "proj\\能力.txt", "proj\\ro.txt"})
    EXPECT_EQ(after.raw(kept), before.raw(kept)) << kept;
  // Old members stay where they were, the replaced one in place, the new one last.
  std::vector<std::string> order = before.names();
  order.push_back("proj\\新規\\追加.txt");
  EXPECT_EQ(after.names(), order);
  EXPECT_EQ(writeTime(tree.archive()), kBaseTime + 3600 * 10000000ull);
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});

  // Nothing newer: the archive is not even rewritten.
  const std::uint64_t stamp = writeTime(tree.archive());
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  EXPECT_EQ(t::readFile(tree.archive()).value_or(""), after.bytes);
  EXPECT_EQ(writeTime(tree.archive()), stamp);

  // `a` replaces whatever is listed, newer or not.
  ASSERT_EQ(run("a " + q(tree.archive()) + " " + q(tree.base()) + " " + q("proj\\表\\ソ\\ソース.txt") + " --quiet").code,
            UNLHA_OK);
  EXPECT_EQ(readArchive(tree.archive()).content("proj\\表\\ソ\\ソース.txt"), "older copy\r\n");
}

TEST_F(Unlha32, UpdatesArchivesOfOtherToolsWithLevel0And1Headers) {
  Scratch s;
  // "hello" as other tools write it at levels 0 ("z.txt", checksum adjusted for the
  // name) and 1 ("a.txt"), header bytes from the format notes, each with an end mark.
  const std::string level0("\x1B\x7A-lh0-\x05\0\0\0\x05\0\0\0\x5C\x64\xCF\x50\x20\x00\x05" "z.txt\xD2\x34hello\0", 35);
  const std::string level1(
      "\x1E\x6C-lh0-\x0A\0\0\0\x05\0\0\0\x5C\x64\xCF\x50\x20\x01\x05" "a.txt\xD2\x34\x00\x05\x00\x00\x81\xCC\x00\x00"
      "hello\0", 43);
  const std::string mixed = level0.substr(0, level0.size() - 1) + level1;
  ASSERT_TRUE(t::writeFile(s.path("old.lzh"), mixed));
  s.put("c.txt", "new file\r\n");

  ASSERT_EQ(run("u " + q(s.path("old.lzh")) + " " + q(s.path() + "\\") + " c.txt --quiet").code, UNLHA_OK);
  const Archive a = readArchive(s.path("old.lzh"));
  ASSERT_EQ(a.names(), (std::vector<std::string>{"z.txt", "a.txt", "c.txt"}));
  EXPECT_EQ(a.members[0].level, 0);
  EXPECT_EQ(a.members[1].level, 1);
  EXPECT_EQ(a.bytes.substr(0, level0.size() - 1 + level1.size() - 1), mixed.substr(0, mixed.size() - 1));
  EXPECT_EQ(a.content("z.txt"), "hello");
  EXPECT_EQ(a.content("a.txt"), "hello");
  EXPECT_EQ(a.content("c.txt"), "new file\r\n");

  // Their DOS times come out in the records as stored.
  HARC h = lib().openArchive(nullptr, s.path("old.lzh").c_str(), 0);
  ASSERT_NE(h, nullptr);
  UnlhaMemberRecord r;
  ASSERT_EQ(lib().findFirst(h, "a.txt", &r), UNLHA_OK);
  EXPECT_EQ(r.dosDate, 0x50CF);
  EXPECT_EQ(r.dosTime, 0x645C);
  EXPECT_EQ(r.flags, 1u);
  EXPECT_EQ(r.osType, 0u);
  ASSERT_EQ(lib().findFirst(h, "z.txt", &r), UNLHA_OK);
  EXPECT_EQ(r.flags, 0u);
  EXPECT_EQ(r.dosDate, 0x50CF);
  EXPECT_EQ(lib().closeArchive(h), UNLHA_OK);
}

// ================================================================ an existing archive: failures leave it as it was

class ExistingArchive : public Unlha32 {
 protected:
  void SetUp() override {
    Unlha32::SetUp();
    ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
    original = t::readFile(tree.archive()).value_or("");
    ASSERT_FALSE(original.empty());
    // Something to do for every later run.
    tree.add("proj\\readme.txt", "changed\r\n", kBaseTime + 7200 * 10000000ull);
  }
  void expectUntouched(const Outcome& o, int code) {
    EXPECT_EQ(o.code, code) << o.text;
    EXPECT_EQ(t::readFile(tree.archive()).value_or(""), original);
    EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});  // no temporary file left
  }
  Tree tree;
  std::string original;
};

// Files that cannot be read are left out; everything else is stored and checked, and
// a file that had a member keeps it as it was.
TEST_F(ExistingArchive, UnreadableFilesKeepTheirOldMembersAndTheRestIsStored) {
  const std::string before = readArchive(tree.archive()).raw("proj\\表\\big.bin");
  tree.add("proj\\表\\big.bin", text(200000, 11), kBaseTime + 9999 * 10000000ull);  // newer: must be read
  tree.add("proj\\新規.txt", "new\r\n");
  tree.writeList({"proj\\gone.txt"});
  HANDLE bigLock = ::CreateFileA(tree.dir.path("src\\proj\\表\\big.bin").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  HANDLE newLock = ::CreateFileA(tree.dir.path("src\\proj\\新規.txt").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(bigLock, INVALID_HANDLE_VALUE);
  ASSERT_NE(newLock, INVALID_HANDLE_VALUE);
  const Outcome o = run(tree.backupLine());
  ::CloseHandle(bigLock);
  ::CloseHandle(newLock);

  EXPECT_EQ(o.code, UNLHA_WARN_UNREADABLE) << o.text;
  const Archive a = readArchive(tree.archive());
  EXPECT_EQ(a.content("proj\\readme.txt"), "changed\r\n");
  EXPECT_EQ(a.raw("proj\\表\\big.bin"), before) << "the old member is kept byte for byte";
  EXPECT_EQ(a.find("proj\\新規.txt"), nullptr);
  EXPECT_TRUE(lib().checkArchive(tree.archive().c_str(), UNLHA_CHECK_DATA));
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});
  for (const char* f : {"src\\proj\\表\\big.bin (ほかのプログラムが使用中です。)",
                        "src\\proj\\新規.txt (ほかのプログラムが使用中です。)", "src\\proj\\gone.txt (見つかりません。)"})
    EXPECT_NE(o.text.find(tree.dir.path(f)), std::string::npos) << f << "\n" << o.text;
  EXPECT_NE(o.text.find("(3 個)"), std::string::npos) << o.text;

  // Only unreadable files: nothing to write, the first one's error as before.
  Scratch only;
  only.put("x.txt", "x");
  HANDLE lock = ::CreateFileA(only.path("x.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const Outcome none = run("u " + q(only.path("n.lzh")) + " " + q(only.path() + "\\") + " x.txt --quiet");
  ::CloseHandle(lock);
  EXPECT_EQ(none.code, UNLHA_ERR_FILE_READ) << none.text;
  EXPECT_FALSE(t::fileExists(only.path("n.lzh")));
}

// A file that changes size while it is read would get a length it never had.
TEST_F(ExistingArchive, AFileThatChangesSizeWhileReadIsReadAgainOrLeftOut) {
  const std::string before = readArchive(tree.archive()).raw("proj\\表\\big.bin");
  const std::string big = tree.dir.path("src\\proj\\表\\big.bin");
  tree.add("proj\\表\\big.bin", text(1400000, 12), kBaseTime + 9999 * 10000000ull);
  {
    // A log being written all the time: every read ends at another size.
    HANDLE log = ::CreateFileA(big.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    volatile bool stop = false;
    std::thread writer([&] {
      DWORD n = 0;
      while (!stop) {
        ::WriteFile(log, "line\r\n", 6, &n, nullptr);
        ::Sleep(1);
      }
    });
    const Outcome grown = run(tree.backupLine());
    stop = true;
    writer.join();
    ::CloseHandle(log);
    EXPECT_EQ(grown.code, UNLHA_WARN_UNREADABLE) << grown.text;
    EXPECT_NE(grown.text.find(big + " (読み込み中にサイズが変わりました。)"), std::string::npos) << grown.text;
    EXPECT_EQ(readArchive(tree.archive()).raw("proj\\表\\big.bin"), before);
  }

  // Cut once while read: the second read is whole and is stored. The cut comes from a
  // notification, which is in step with the reading only when one thread does both.
  Threads single(1);
  Owner owner;
  owner.listen();
  bool truncated = false;
  owner.onEvent = [&](const Event& e) {
    if (truncated || e.kind != UNLHA_NOTIFY_PROGRESS || e.dest != "proj\\表\\big.bin" || e.writeSize == 0) return;
    HANDLE h = ::CreateFileA(big.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::SetFilePointer(h, 100000, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
    truncated = true;
  };
  tree.add("proj\\表\\big.bin", text(1400000, 13), kBaseTime + 19999 * 10000000ull);
  const Outcome cut = run(tree.backupLine());
  EXPECT_EQ(cut.code, UNLHA_OK) << cut.text;
  EXPECT_TRUE(truncated);
  const Archive a = readArchive(tree.archive());
  ASSERT_NE(a.find("proj\\表\\big.bin"), nullptr);
  EXPECT_EQ(a.find("proj\\表\\big.bin")->originalSize, 100000u);
  EXPECT_TRUE(a.content("proj\\表\\big.bin") == text(1400000, 13).substr(0, 100000));
}

// A killed run leaves its temporary archive; the next run in that folder removes ours
// that no process holds open, and nothing else.
TEST_F(ExistingArchive, StaleTemporaryArchivesAreRemoved) {
  for (const char* f : {"pvl1A2B.tmp", "PVL7.TMP", "pvlBEEF.tmp", "pvl12345.tmp", "pvlnote.txt"})
    ASSERT_TRUE(t::writeFile(tree.dir.path(std::string("out\\") + f), noise(70000, 9)));
  HANDLE held = ::CreateFileA(tree.dir.path("out\\pvlBEEF.tmp").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const Outcome o = run(tree.backupLine());
  ::CloseHandle(held);
  EXPECT_EQ(o.code, UNLHA_OK) << o.text;
  std::vector<std::string> left = tree.outFolder();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"backup.lzh", "pvl12345.tmp", "pvlBEEF.tmp", "pvlnote.txt"}));
}

TEST_F(ExistingArchive, AListedFileThatIsGone) {
  // Among others: they are stored, it is named.
  tree.writeList({"proj\\gone.txt"});
  Outcome o = run(tree.backupLine());
  EXPECT_EQ(o.code, UNLHA_WARN_UNREADABLE) << o.text;
  EXPECT_NE(o.text.find("gone.txt"), std::string::npos) << o.text;
  EXPECT_EQ(readArchive(tree.archive()).content("proj\\readme.txt"), "changed\r\n");
  // Alone: nothing to store, an error.
  original = t::readFile(tree.archive()).value_or("");
  ASSERT_TRUE(t::writeFile(tree.list(), "proj\\gone.txt\r\n"));
  o = run(tree.backupLine());
  expectUntouched(o, UNLHA_ERR_FILE_NOT_FOUND);
  EXPECT_NE(o.text.find("gone.txt"), std::string::npos) << o.text;
}

// --new makes the archive anew from the names: every file stored again (an older one
// too), members of names no longer listed gone, but what cannot be read keeps its
// member; an archive that no longer parses is made anew.
TEST_F(ExistingArchive, NewStartsOverButKeepsWhatItCannotRead) {
  const Archive before = readArchive(tree.archive());
  tree.add("proj\\readme.txt", "older\r\n", kBaseTime - 7200 * 10000000ull);
  tree.files.erase("proj\\noise.bin");
  ASSERT_TRUE(t::deleteFile(tree.dir.path("src\\proj\\noise.bin")));
  ASSERT_TRUE(t::deleteFile(tree.dir.path("src\\proj\\empty.dat")));  // still listed
  tree.writeList();
  const std::string locked = tree.dir.path("src\\proj\\表\\ソ\\ソース.txt");
  HANDLE lock = ::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const Outcome o = run(tree.backupLine(" --new --quiet"));
  ::CloseHandle(lock);
  EXPECT_EQ(o.code, UNLHA_WARN_UNREADABLE) << o.text;
  EXPECT_NE(o.text.find("書庫を更新しましたが、読み込めなかったファイルがあります。\r\n" + tree.archive() + "\r\n"),
            std::string::npos)
      << o.text;
  const Archive a = readArchive(tree.archive());
  EXPECT_EQ(a.content("proj\\readme.txt"), "older\r\n");
  EXPECT_EQ(a.find("proj\\noise.bin"), nullptr);
  EXPECT_EQ(a.raw("proj\\表\\ソ\\ソース.txt"), before.raw("proj\\表\\ソ\\ソース.txt"));
  EXPECT_EQ(a.raw("proj\\empty.dat"), before.raw("proj\\empty.dat"));
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});

  ASSERT_TRUE(t::writeFile(tree.archive(), "no archive at all"));
  tree.add("proj\\empty.dat", "");
  tree.writeList();
  EXPECT_EQ(run(tree.backupLine(" --new --quiet")).code, UNLHA_OK);
  EXPECT_EQ(readArchive(tree.archive()).content("proj\\readme.txt"), "older\r\n");
}

TEST_F(ExistingArchive, AReadOnlyArchive) {
  ASSERT_TRUE(::SetFileAttributesA(tree.archive().c_str(), FILE_ATTRIBUTE_READONLY));
  const Outcome o = run(tree.backupLine());
  ::SetFileAttributesA(tree.archive().c_str(), FILE_ATTRIBUTE_NORMAL);
  expectUntouched(o, UNLHA_ERR_ARCHIVE_READONLY);
}

TEST_F(ExistingArchive, ADamagedArchiveIsNotTakenForAShorterOne) {
  std::string damaged = original;
  damaged[damaged.size() / 2] ^= 0x55;  // somewhere in a member: data or a later header
  const lzh::Member second = readArchive(tree.archive()).members.at(1);
  damaged = original;
  damaged[second.headerOffset + 3] ^= 0x01;  // method id of the second header: its CRC fails
  ASSERT_TRUE(t::writeFile(tree.archive(), damaged));
  original = damaged;
  expectUntouched(run(tree.backupLine()), UNLHA_ERR_DAMAGED);
  EXPECT_FALSE(lib().checkArchive(tree.archive().c_str(), 0));
}

TEST_F(ExistingArchive, AFileOf4GiB) {
  const std::string huge = tree.dir.path("src\\proj\\huge.img");
  HANDLE h = ::CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER at;
  at.QuadPart = 0x100000000ll;  // sparse: nothing is written
  ASSERT_TRUE(::SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
  ASSERT_TRUE(::SetEndOfFile(h));
  ::CloseHandle(h);
  tree.writeList({"proj\\huge.img"});
  const Outcome o = run(tree.backupLine());
  ::DeleteFileA(huge.c_str());
  expectUntouched(o, UNLHA_ERR_TOO_LARGE);
  EXPECT_NE(o.text.find("huge.img"), std::string::npos) << o.text;
}

TEST_F(ExistingArchive, AMissingDestinationFolder) {
  const std::string line = "u " + q(tree.dir.path("nowhere\\x.lzh")) + " " + q(tree.base()) + " " +
                           q("@" + tree.list()) + " --quiet";
  EXPECT_EQ(run(line).code, UNLHA_ERR_DEST_FOLDER);
  EXPECT_FALSE(t::dirExists(tree.dir.path("nowhere")));
}

TEST_F(ExistingArchive, FilesOthersWriteAreReadOnlyWhenTheSwitchSaysSo) {
  // Another program has the file open for writing (sharing read and write).
  const std::string busy = tree.dir.path("src\\proj\\readme.txt");
  HANDLE h = ::CreateFileA(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string jm0 = tree.backupLine();
  jm0.replace(jm0.find("-jm2"), 4, "-jm0");
  const Outcome refused = run(jm0);
  const Outcome taken = run(tree.backupLine());  // -jm2
  ::CloseHandle(h);
  EXPECT_EQ(refused.code, UNLHA_WARN_UNREADABLE) << refused.text;
  EXPECT_EQ(taken.code, UNLHA_OK) << taken.text;
  EXPECT_EQ(readArchive(tree.archive()).content("proj\\readme.txt"), "changed\r\n");
}

// ================================================================ owner window, cancel, progress

TEST_F(ExistingArchive, NotificationsArriveInOrderWhileGetRunningIsTrue) {
  Owner owner;
  owner.listen();
  Outcome nested;
  owner.onEvent = [&](const Event& e) {
    if (e.kind == UNLHA_NOTIFY_BEGIN) nested = run("l " + q(tree.archive()) + " --quiet");
  };
  tree.add("proj\\表\\big.bin", text(1500000, 8), kBaseTime + 7200 * 10000000ull);
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  EXPECT_EQ(nested.code, UNLHA_ERR_BUSY);  // a second command during a run
  EXPECT_FALSE(lib().getRunning());

  const auto& ev = owner.events;
  ASSERT_GE(ev.size(), 4u);
  EXPECT_EQ(ev.front().kind, UNLHA_NOTIFY_BEGIN);
  EXPECT_EQ(ev.front().dest, tree.archive());
  EXPECT_EQ(ev.back().kind, UNLHA_NOTIFY_END);
  EXPECT_EQ(ev.back().result, static_cast<DWORD>(UNLHA_OK));
  std::vector<std::string> started;
  DWORD lastWrite = 0;
  for (std::size_t i = 1; i + 1 < ev.size(); ++i) {
    const Event& e = ev[i];
    EXPECT_EQ(e.kind, UNLHA_NOTIFY_PROGRESS);
    EXPECT_TRUE(e.running);
    EXPECT_EQ(e.fileCount, 2u);
    if (e.writeSize == 0 && (started.empty() || started.back() != e.dest)) {
      started.push_back(e.dest);
      EXPECT_EQ(e.fileIndex, started.size());
      EXPECT_EQ(e.source, tree.dir.path("src\\" + e.dest));
      lastWrite = 0;
    } else {
      EXPECT_EQ(e.dest, started.back());
      EXPECT_GE(e.writeSize, lastWrite);
      EXPECT_LE(e.writeSize, e.fileSize);
      EXPECT_LE(e.totalDone, e.totalSize);
      lastWrite = e.writeSize;
    }
  }
  EXPECT_EQ(started, (std::vector<std::string>{"proj\\readme.txt", "proj\\表\\big.bin"}));
  EXPECT_GT(ev.size(), 8u);  // the 1.5 MB file reports its bytes as they go

  // After ClearOwnerWindow nothing arrives.
  owner.events.clear();
  lib().clearOwnerWindow();
  tree.add("proj\\readme.txt", "again\r\n", kBaseTime + 9000 * 10000000ull);
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  EXPECT_TRUE(owner.events.empty());
}

TEST_F(ExistingArchive, TheOwnerCancelsAndTheOldArchiveStays) {
  Owner owner;
  owner.listen();
  tree.add("proj\\新規.txt", text(10000, 3), kBaseTime);
  tree.writeList();
  owner.answer = [](const Event& e) -> LRESULT { return e.kind == UNLHA_NOTIFY_PROGRESS && e.fileIndex == 2; };
  expectUntouched(run(tree.backupLine()), UNLHA_ERR_CANCELLED);
  EXPECT_EQ(owner.events.back().kind, UNLHA_NOTIFY_END);
  EXPECT_EQ(owner.events.back().result, static_cast<DWORD>(UNLHA_ERR_CANCELLED));

  // A cancel at the very beginning.
  owner.events.clear();
  owner.answer = [](const Event& e) -> LRESULT { return e.kind == UNLHA_NOTIFY_BEGIN; };
  expectUntouched(run(tree.backupLine()), UNLHA_ERR_CANCELLED);
  ASSERT_EQ(owner.events.size(), 2u);
  EXPECT_EQ(owner.events[1].kind, UNLHA_NOTIFY_END);
}

// With worker threads, new members are read back from the temporary archive and checked
// while the rest are compressed: the profile line counts them. A cancel late in such a
// pass, and a file cut back after part of it reached the disk, leave the old archive as
// it was and no temporary file; the finished archive holds every file.
TEST_F(ExistingArchive, MembersAreCheckedFromTheDiskWhileTheRestAreCompressed) {
  for (int i = 0; i < 30; ++i) tree.add("many\\t" + std::to_string(i) + ".txt", text(40000 + i * 997, 300 + i));
  for (int i = 0; i < 6; ++i) tree.add("many\\z" + std::to_string(i) + ".bin", noise(400000, 400 + i));  // after the texts: they push them to the disk
  tree.add("many\\zz.txt", text(50000, 500));
  tree.writeList();
  Threads two(2);
  ::SetEnvironmentVariableA("PV_UNLHA_PROFILE", "1");
  Owner owner;
  owner.listen();
  owner.answer = [](const Event& e) -> LRESULT { return e.kind == UNLHA_NOTIFY_PROGRESS && e.fileIndex == 36; };
  expectUntouched(run(tree.backupLine()), UNLHA_ERR_CANCELLED);

  owner.answer = nullptr;
  const Outcome o = run(tree.backupLine());
  ::SetEnvironmentVariableA("PV_UNLHA_PROFILE", nullptr);
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;
  const std::size_t at = o.text.find("early=");
  ASSERT_NE(at, std::string::npos) << o.text;
  EXPECT_GE(std::atoi(o.text.c_str() + at + 6), 20) << o.text;  // most of the 38 before the pass ended
  const Archive a = readArchive(tree.archive());
  EXPECT_EQ(a.content("many\\z3.bin"), tree.files["many\\z3.bin"]);
  EXPECT_STREQ(a.find("many\\z3.bin")->methodId, "-lh0-");
  EXPECT_EQ(a.content("many\\zz.txt"), tree.files["many\\zz.txt"]);
  EXPECT_EQ(a.content("proj\\readme.txt"), "changed\r\n");
  EXPECT_TRUE(lib().checkArchive(tree.archive().c_str(), UNLHA_CHECK_DATA));
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});
}

TEST_F(ExistingArchive, ProgressWindowIsOwnedDisablesItsOwnerAndItsButtonCancels) {
  Owner owner(true);
  owner.listen();
  lib().setCursorMode(TRUE);
  lib().setBackGroundMode(TRUE);
  HWND progress = nullptr;
  bool ownerEnabled = true, hasBar = false, hourglass = false, lowered = false;
  std::string buttonText, archiveLabel;
  owner.onEvent = [&](const Event& e) {
    if (e.kind != UNLHA_NOTIFY_PROGRESS || progress) return;
    progress = ::FindWindowA("PvUnlhaProgress", nullptr);
    if (!progress) return;
    ownerEnabled = ::IsWindowEnabled(owner.hwnd) != FALSE;
    hasBar = t::findChild(progress, PROGRESS_CLASSA) != nullptr;
    HWND button = ::GetDlgItem(progress, IDCANCEL);
    buttonText = t::windowText(button);
    archiveLabel = t::windowText(::GetDlgItem(progress, 101));
    hourglass = ::GetCursor() == ::LoadCursor(nullptr, IDC_WAIT);
    lowered = ::GetThreadPriority(::GetCurrentThread()) == THREAD_PRIORITY_BELOW_NORMAL;
    ::PostMessageA(button, BM_CLICK, 0, 0);  // as a user's click, taken by the library's own pump
    ::PostMessageA(owner.hwnd, WM_APP, 0, 0);  // the caller's own: must wait for the caller's loop
  };
  BoxWatch boxes;  // a cancel shows no error box
  const Outcome o = run(tree.backupLine(""), owner.hwnd);
  lib().setCursorMode(FALSE);
  lib().setBackGroundMode(FALSE);
  expectUntouched(o, UNLHA_ERR_CANCELLED);
  ASSERT_NE(progress, nullptr) << "no progress window";
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(hasBar);
  EXPECT_EQ(buttonText, "キャンセル");
  EXPECT_EQ(archiveLabel, tree.archive());
  EXPECT_TRUE(hourglass);
  EXPECT_TRUE(lowered);
  EXPECT_FALSE(boxes.seen());
  // All undone on return.
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd));
  EXPECT_FALSE(::IsWindow(progress));
  EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_NORMAL);
  EXPECT_EQ(owner.appMessages, 0) << "the caller's message ran inside the command";
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  EXPECT_EQ(owner.appMessages, 1) << "the caller's message was lost";
}

TEST_F(ExistingArchive, QuietRunsShowNoWindowAtAll) {
  Owner owner(true);
  owner.listen();
  bool progressSeen = false;
  owner.onEvent = [&](const Event&) { progressSeen |= ::FindWindowA("PvUnlhaProgress", nullptr) != nullptr; };
  BoxWatch boxes;
  tree.writeList({"proj\\gone.txt"});
  EXPECT_EQ(run(tree.backupLine()).code, UNLHA_WARN_UNREADABLE);  // its list is for the output buffer only
  EXPECT_FALSE(progressSeen);
  EXPECT_FALSE(boxes.seen());
}

TEST_F(ExistingArchive, ErrorBoxNamesTheFileAndTheCauseAndIsOwnedByTheCaller) {
  Owner owner(true);
  ASSERT_TRUE(t::writeFile(tree.list(), "proj\\gone.txt\r\n"));
  t::MessageBoxInfo box;
  HWND boxOwner = nullptr;
  std::thread answer([&] {
    HWND h = t::waitMessageBox("unlha32.dll", ::GetCurrentProcessId());
    if (!h) return;
    box = t::readMessageBox(h);
    boxOwner = ::GetWindow(h, GW_OWNER);
    t::answerMessageBox(h, IDOK);
  });
  const Outcome o = run(tree.backupLine(""), owner.hwnd);
  answer.join();
  expectUntouched(o, UNLHA_ERR_FILE_NOT_FOUND);
  EXPECT_EQ(box.title, "unlha32.dll");
  EXPECT_NE(box.text.find("ファイルが見つかりません"), std::string::npos) << box.text;
  EXPECT_NE(box.text.find(tree.dir.path("src\\proj\\gone.txt")), std::string::npos) << box.text;
  EXPECT_NE(box.text.find("書庫は元のまま"), std::string::npos) << box.text;
  EXPECT_EQ(boxOwner, owner.hwnd);
  EXPECT_TRUE(::IsWindowEnabled(owner.hwnd));
}

// ================================================================ switches

TEST_F(Unlha32, SwitchesChooseWhatIsTakenAndHowItIsNamed) {
  Scratch s;
  s.put("d\\a.txt", "a");
  s.put("d\\sub\\b.txt", "b");
  s.put("d\\sub\\deeper\\c.c", "c");
  s.put("d\\h.txt", "h");
  ::SetFileAttributesA(s.path("d\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  t::makeDirs(s.path("d\\empty"));
  const std::string base = q(s.path() + "\\");
  auto names = [&](const std::string& sw, const std::string& what) {
    ::DeleteFileA(s.path("t.lzh").c_str());
    const Outcome o = run("u " + sw + " " + q(s.path("t.lzh")) + " " + base + " " + what + " --quiet");
    EXPECT_EQ(o.code, UNLHA_OK) << sw << " " << what << ": " << o.text;
    auto v = readArchive(s.path("t.lzh")).names();
    std::sort(v.begin(), v.end());
    return v;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(names("-r0", "d\\"), V{"d\\"});
  EXPECT_EQ(names("-r1", "d\\"), (V{"d\\a.txt", "d\\sub\\b.txt", "d\\sub\\deeper\\c.c"}));
  EXPECT_EQ(names("-r2 -a1", "d"), (V{"d\\", "d\\a.txt", "d\\empty\\", "d\\h.txt", "d\\sub\\", "d\\sub\\b.txt",
                                      "d\\sub\\deeper\\", "d\\sub\\deeper\\c.c"}));
  EXPECT_EQ(names("", "d\\*.txt"), (V{"d\\a.txt"}));               // -a0: hidden left out
  EXPECT_EQ(names("-r1 -a1", "d\\*.txt"), (V{"d\\a.txt", "d\\h.txt", "d\\sub\\b.txt"}));
  EXPECT_EQ(names("-x0 -r1", "d\\sub\\"), (V{"b.txt", "c.c"}));
  // Two files that would share one member name: refused rather than one lost.
  s.put("d\\sub\\a.txt", "another a");
  EXPECT_EQ(run("u -x0 -r1 " + q(s.path("t2.lzh")) + " " + base + " d\\ --quiet").code, UNLHA_ERR_DUPLICATE_NAME);
  EXPECT_FALSE(t::fileExists(s.path("t2.lzh")));
  // A name reaching outside the base folder cannot be a member.
  EXPECT_EQ(run("u " + q(s.path("t3.lzh")) + " " + q(s.path("d") + "\\") + " ..\\d\\a.txt --quiet").code,
            UNLHA_ERR_BAD_NAME);
  // An archive inside the folder it backs up leaves itself out.
  const std::string self = "u -r1 " + q(s.path("d\\self.lzh")) + " " + base + " d\\ --quiet";
  ASSERT_EQ(run(self).code, UNLHA_OK);
  s.put("d\\a.txt", "a, changed", kBaseTime + 10000000ull);
  ASSERT_EQ(run(self).code, UNLHA_OK);
  auto members = readArchive(s.path("d\\self.lzh")).names();
  std::sort(members.begin(), members.end());
  EXPECT_EQ(members, (V{"d\\a.txt", "d\\sub\\a.txt", "d\\sub\\b.txt", "d\\sub\\deeper\\c.c"}));
  // The archive name gets .lzh when it has no extension.
  EXPECT_EQ(run("u " + q(s.path("noext")) + " " + base + " d\\a.txt --quiet").code, UNLHA_OK);
  EXPECT_TRUE(t::fileExists(s.path("noext.lzh")));
}

// Names as Windows opens them: one member per file; names that are no file at all are
// refused rather than stored as a folder with a broken name.
TEST_F(Unlha32, NamesAreTakenAsWindowsResolvesThem) {
  Scratch s;
  s.put("d\\a.txt", "a");
  s.put("d\\b.txt", "b");
  const std::string base = q(s.path() + "\\");
  auto update = [&](const std::string& list) {
    EXPECT_TRUE(t::writeFile(s.path("list.tmp"), list));
    ::DeleteFileA(s.path("t.lzh").c_str());
    return run("u -r2 -x1 " + q(s.path("t.lzh")) + " " + base + " " + q("@" + s.path("list.tmp")) + " --quiet");
  };
  Outcome o = update("d\\a.txt\r\nd\\a.txt.\r\n\"d\\a.txt \"\r\nd.\\a.txt\r\nD\\A.TXT . \r\nd\\b.txt..\r\n");
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;
  EXPECT_EQ(readArchive(s.path("t.lzh")).names(), (std::vector<std::string>{"d\\a.txt", "d\\b.txt"}));

  const std::pair<std::string, const char*> bad[] = {
      {"d\\a.txt\r\n\x82\r\n", "a lone lead byte"},
      {"d\\a.txt\r\nd\\\x82\r\n", "a lone lead byte after a folder"},
      {std::string("d\\a.txt\r\n\0\r\n", 12), "a NUL line"},
      {".\r\n", "the base folder"},
      {"d\\..\r\n", "the base folder by a detour"},
      {"d\\...\r\n", "a component of dots only"},
      {"d\\a.txt\r\n" + std::string(1 << 20, 'n') + "\r\n", "a 1 MB name"},
  };
  for (const auto& [list, what] : bad) {
    o = update(list);
    EXPECT_EQ(o.code, UNLHA_ERR_BAD_NAME) << what << ": " << o.text.substr(0, 300);
    EXPECT_FALSE(t::fileExists(s.path("t.lzh"))) << what;
  }
}

// ================================================================ member walk

// Members are made on several threads and written in the order of the list: the archive
// is the same, byte for byte, as one thread makes it: new, updated in place, and with a
// file that cannot be read.
TEST_F(Unlha32, ThreadsChangeNoByteOfTheArchive) {
  Tree tree;
  for (int i = 0; i < 40; ++i)
    tree.add("many\\f" + std::to_string(i) + ".txt", text(200 + (i * 7919) % 30000, 100 + i));
  tree.add("many\\stored.bin", noise(300000, 7));
  tree.writeList();
  auto backup = [&](int threads, const std::string& arc) {
    Threads t(threads);
    return run("u -r2 -x1 -jm2 -a1 -t1 " + q(arc) + " " + q(tree.base()) + " " + q("@" + tree.list()) + " --quiet").code;
  };
  auto bytes = [](const std::string& path) { return t::readFile(path).value_or("<missing>"); };
  const std::string one = tree.dir.path("out\\one.lzh"), four = tree.dir.path("out\\four.lzh");
  const std::string warm = tree.dir.path("out\\warm.lzh");
  // The first read of a file written since sets its last-access time, which is stored:
  // a run on a copy first, so that both runs see the same times.
  auto both = [&](int expected) {
    ::CopyFileA(one.c_str(), warm.c_str(), FALSE);
    backup(1, warm);
    EXPECT_EQ(backup(1, one), expected);
    EXPECT_EQ(backup(4, four), expected);
    EXPECT_EQ(bytes(one), bytes(four));
  };
  both(UNLHA_OK);
  const Archive made = readArchive(four);
  ASSERT_EQ(made.members.size(), tree.files.size());
  EXPECT_STREQ(made.find("many\\stored.bin")->methodId, "-lh0-");
  EXPECT_EQ(made.content("proj\\表\\big.bin"), tree.files["proj\\表\\big.bin"]);

  // Replacements in place between kept members, additions at the end.
  tree.add("many\\f3.txt", text(9000, 1003), kBaseTime + 3600 * 10000000ull);
  tree.add("proj\\表\\big.bin", text(900000, 1004), kBaseTime + 3600 * 10000000ull);
  tree.add("many\\new.txt", text(70000, 1005));
  tree.writeList();
  both(UNLHA_OK);
  EXPECT_EQ(readArchive(four).content("proj\\表\\big.bin"), text(900000, 1004));

  // A file held open elsewhere keeps its old member on every thread count.
  tree.add("many\\f5.txt", text(4000, 1006), kBaseTime + 3600 * 10000000ull);
  tree.add("many\\f7.txt", text(4000, 1007), kBaseTime + 3600 * 10000000ull);
  HANDLE lock = ::CreateFileA(tree.dir.path("src\\many\\f5.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  both(UNLHA_WARN_UNREADABLE);
  ::CloseHandle(lock);
  EXPECT_EQ(readArchive(four).content("many\\f7.txt"), text(4000, 1007));
  EXPECT_TRUE(lib().checkArchive(four.c_str(), UNLHA_CHECK_DATA));
}

TEST_F(Unlha32, FindFirstAndFindNextFillTheMemberRecord) {
  Tree tree;
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  const Archive a = readArchive(tree.archive());

  HARC h = lib().openArchive(nullptr, tree.archive().c_str(), 0);
  ASSERT_NE(h, nullptr);
  UnlhaMemberRecord r;
  std::vector<std::string> all;
  for (int rc = lib().findFirst(h, "*.*", &r); rc == UNLHA_OK; rc = lib().findNext(h, &r)) {
    all.push_back(r.fileName);
    const lzh::Member* m = a.find(r.fileName);
    ASSERT_NE(m, nullptr) << r.fileName;
    EXPECT_EQ(r.originalSize, m->originalSize);
    EXPECT_EQ(r.compressedSize, m->packedSize);
    EXPECT_EQ(r.crc, m->crc);
    EXPECT_EQ(r.flags, 2u);
    EXPECT_EQ(r.osType, static_cast<DWORD>('M'));
    EXPECT_EQ(r.ratio, m->originalSize ? m->packedSize * 1000 / m->originalSize : 0);
    EXPECT_STREQ(r.modeText, m->methodId);
    FILETIME local;
    WORD d = 0, tm = 0;
    const FILETIME w = ft(m->winTimes.lastWrite);
    ::FileTimeToLocalFileTime(&w, &local);
    ::FileTimeToDosDateTime(&local, &d, &tm);
    EXPECT_EQ(r.dosDate, d);
    EXPECT_EQ(r.dosTime, tm);
  }
  EXPECT_EQ(all, a.names());
  EXPECT_EQ(lib().findNext(h, &r), UNLHA_FIND_END);

  ASSERT_EQ(lib().findFirst(h, "ro.txt", &r), UNLHA_OK);
  EXPECT_STREQ(r.fileName, "proj\\ro.txt");
  EXPECT_STREQ(r.attributeText, "R----A");
  EXPECT_EQ(std::string(r.padding, 3), std::string(3, '\0'));
  ASSERT_EQ(lib().findFirst(h, "*.TXT", &r), UNLHA_OK);  // ASCII letters fold
  EXPECT_STREQ(r.fileName, "proj\\readme.txt");
  ASSERT_EQ(lib().findFirst(h, "proj\\表\\*", &r), UNLHA_OK);
  EXPECT_STREQ(r.fileName, "proj\\表\\big.bin");
  ASSERT_EQ(lib().findNext(h, &r), UNLHA_OK);
  EXPECT_STREQ(r.fileName, "proj\\表\\ソ\\ソース.txt");
  EXPECT_EQ(lib().findFirst(h, "*.doc", &r), UNLHA_FIND_END);

  EXPECT_EQ(lib().closeArchive(h), UNLHA_OK);
  EXPECT_EQ(lib().closeArchive(h), UNLHA_ERR_HANDLE);
  EXPECT_EQ(lib().findFirst(h, "*", &r), UNLHA_ERR_HANDLE);
  EXPECT_EQ(lib().openArchive(nullptr, tree.list().c_str(), 0), nullptr);  // not an archive

  // `l` writes the same listing into the output buffer.
  const Outcome l = run("l " + q(tree.archive()) + " --quiet");
  EXPECT_EQ(l.code, UNLHA_OK);
  EXPECT_NE(l.text.find("proj\\表\\ソ\\ソース.txt"), std::string::npos) << l.text;
  EXPECT_EQ(run("t " + q(tree.archive()) + " --quiet").code, UNLHA_OK);
}

TEST_F(Unlha32, CheckArchiveTellsArchivesFromOtherFiles) {
  Scratch s;
  s.put("empty.lzh", "");
  s.put("text.lzh", "not an archive at all\r\n");
  s.put("a.txt", text(20000, 1));
  ASSERT_EQ(run("u " + q(s.path("ok.lzh")) + " " + q(s.path() + "\\") + " a.txt --quiet").code, UNLHA_OK);
  EXPECT_TRUE(lib().checkArchive(s.path("ok.lzh").c_str(), 0));
  EXPECT_FALSE(lib().checkArchive(s.path("empty.lzh").c_str(), 0));
  EXPECT_FALSE(lib().checkArchive(s.path("text.lzh").c_str(), 0));
  EXPECT_FALSE(lib().checkArchive(s.path("none.lzh").c_str(), 0));
  // Data damage shows only when the data are checked.
  std::string bytes = t::readFile(s.path("ok.lzh")).value_or("");
  bytes[bytes.size() - 20] ^= 0x40;
  s.put("bad.lzh", bytes);
  EXPECT_TRUE(lib().checkArchive(s.path("bad.lzh").c_str(), 0));
  EXPECT_FALSE(lib().checkArchive(s.path("bad.lzh").c_str(), UNLHA_CHECK_DATA));
  EXPECT_EQ(run("t " + q(s.path("bad.lzh")) + " --quiet").code, UNLHA_ERR_CRC);
}

TEST_F(Unlha32, ConfigDialogShowsTheVersion) {
  Owner owner(true);
  std::string textShown;
  std::thread answer([&] {
    HWND dlg = t::waitDialog("unlha32.dll のバージョン情報", ::GetCurrentProcessId());
    if (!dlg) return;
    textShown = t::windowText(::GetDlgItem(dlg, 101));
    t::answerMessageBox(dlg, IDOK);
  });
  EXPECT_TRUE(lib().configDialog(owner.hwnd, nullptr, 0));
  answer.join();
  EXPECT_EQ(textShown, "unlha32.dll  バージョン 1.00");
}

}  // namespace

// ================================================================ taking members out

namespace {

DWORD attributesOf(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

// Every file below dir, relative, sorted ("a\\b.txt").
void walk(const std::string& dir, const std::string& rel, std::vector<std::string>& out) {
  for (const std::string& n : t::listDir(dir)) {
    const std::string p = dir + "\\" + n, r = rel.empty() ? n : rel + "\\" + n;
    if (attributesOf(p) & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back(r + "\\");
      walk(p, r, out);
    } else {
      out.push_back(r);
    }
  }
}
std::vector<std::string> treeOf(const std::string& dir) {
  std::vector<std::string> v;
  walk(dir, "", v);
  std::sort(v.begin(), v.end());
  return v;
}

std::string bytesOf(const lzhtest::Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace

TEST_F(Unlha32, RestoreGivesBackTheBackedUpTreeWithTimesAndAttributes) {
  Tree tree;
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  tree.add("proj\\readme.txt", "second edition\r\n", kBaseTime + 3600 * 10000000ull);  // a replaced member too
  t::makeDirs(tree.dir.path("src\\proj\\空"));
  tree.writeList({"proj\\空"});
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);

  Owner owner;
  owner.listen();
  const std::string to = tree.dir.path("restore\\deep");  // made as needed
  Outcome o = run("x " + q(tree.archive()) + " " + q(to + "\\") + " --quiet");
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;
  for (const auto& f : tree.files) {
    SCOPED_TRACE(f.first);
    const std::string got = to + "\\" + f.first, src = tree.dir.path("src\\" + f.first);
    EXPECT_EQ(t::readFile(got).value_or("<missing>"), f.second);
    EXPECT_EQ(writeTime(got), writeTime(src));
  }
  EXPECT_TRUE(attributesOf(to + "\\proj\\能力.txt") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(attributesOf(to + "\\proj\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attributesOf(to + "\\proj\\空") & FILE_ATTRIBUTE_DIRECTORY);  // an empty folder comes back
  std::vector<std::string> expected = treeOf(tree.dir.path("src"));
  EXPECT_EQ(treeOf(to), expected);  // and nothing else: no temporary files
  ASSERT_GE(owner.events.size(), tree.files.size() + 2);
  EXPECT_EQ(owner.events.front().kind, static_cast<WPARAM>(UNLHA_NOTIFY_BEGIN));
  EXPECT_EQ(owner.events.back().kind, static_cast<WPARAM>(UNLHA_NOTIFY_END));
  EXPECT_EQ(owner.events.back().result, 0u);
  EXPECT_TRUE(owner.events[1].running);

  // Again: nothing is newer than what is there, so nothing is written.
  const std::string readme = to + "\\proj\\readme.txt";
  ASSERT_TRUE(t::writeFile(readme, "edited after the restore"));
  ASSERT_TRUE(setWriteTime(readme, kBaseTime + 7200 * 10000000ull));
  o = run("x " + q(tree.archive()) + " " + q(to + "\\") + " --quiet");
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;
  EXPECT_EQ(t::readFile(readme).value_or(""), "edited after the restore");
  // An older file is replaced; the read-only one is reported, not forced, the rest goes on.
  ASSERT_TRUE(setWriteTime(readme, kBaseTime));
  o = run("x " + q(tree.archive()) + " " + q(to + "\\") + " proj\\*.txt --quiet");
  EXPECT_EQ(o.code, UNLHA_OK) << o.text;
  EXPECT_EQ(t::readFile(readme).value_or(""), "second edition\r\n");
  ASSERT_TRUE(t::writeFile(readme, "edited again"));
  o = run("x -o1 " + q(tree.archive()) + " " + q(to + "\\") + " --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_FILE_WRITE) << o.text;
  EXPECT_NE(o.text.find("ro.txt"), std::string::npos) << o.text;
  EXPECT_EQ(t::readFile(readme).value_or(""), "second edition\r\n");  // -o1 replaced it anyway
  EXPECT_EQ(treeOf(to), expected);

  // e: file names alone, selected by wildcards; a name that selects nothing is an error.
  const std::string flat = tree.dir.path("flat");
  ASSERT_EQ(run("e " + q(tree.archive()) + " " + q(flat + "\\") + " proj\\表\\* --quiet").code, UNLHA_OK);
  EXPECT_EQ(treeOf(flat), (std::vector<std::string>{"big.bin", "ソース.txt"}));
  EXPECT_EQ(t::readFile(flat + "\\ソース.txt").value_or(""), tree.files["proj\\表\\ソ\\ソース.txt"]);
  EXPECT_EQ(run("x " + q(tree.archive()) + " " + q(flat + "\\") + " none.* --quiet").code, UNLHA_ERR_NO_MATCH);
}

TEST_F(Unlha32, HostileNamesAreRefusedAndNothingLandsOutsideTheFolder) {
  Scratch s;
  const char* hostile[] = {"..\\up.txt", "a\\..\\..\\up2.txt", "\\rooted.txt", "/etc/pv-hostile.txt",
                           "C:\\pv-drive.txt", "C:pv-drive2.txt", "\\\\server\\share\\x.txt", "CON", "nul.txt",
                           "dir\\COM1.log", "\x83\x5C\\..\\..\\sjis.txt", "ok\\x.txt:stream"};
  lzhtest::Bytes arc;
  auto addMember = [&](const std::string& name, const std::string& data) {
    const lzhtest::Bytes m = lzhtest::level0(name, data);
    arc.insert(arc.end(), m.begin(), m.end());
  };
  addMember("good\\表.txt", "good one");
  for (const char* h : hostile) addMember(h, "hostile");
  addMember("ソ.txt", "good two");
  arc.push_back(0);
  s.put("box\\hostile.lzh", bytesOf(arc));
  const std::string target = s.path("box\\in\\target");
  ASSERT_TRUE(t::makeDirs(target));

  const Outcome o = run("x " + q(s.path("box\\hostile.lzh")) + " " + q(target + "\\") + " --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_UNSAFE_NAME) << o.text;
  EXPECT_EQ(treeOf(s.path()), (std::vector<std::string>{"box\\", "box\\hostile.lzh", "box\\in\\", "box\\in\\target\\",
                                                        "box\\in\\target\\good\\", "box\\in\\target\\good\\表.txt",
                                                        "box\\in\\target\\ソ.txt"}));
  EXPECT_EQ(t::readFile(target + "\\ソ.txt").value_or(""), "good two");
  for (const char* gone : {"C:\\pv-drive.txt", "C:\\rooted.txt", "C:\\etc\\pv-hostile.txt", "Z:\\etc\\pv-hostile.txt"})
    EXPECT_FALSE(t::fileExists(gone)) << gone;
  EXPECT_NE(o.text.find("up.txt"), std::string::npos) << o.text;  // each refusal is reported
  EXPECT_NE(o.text.find("COM1.log"), std::string::npos) << o.text;
  // e drops the folders, but a hostile name stays refused.
  EXPECT_EQ(run("e " + q(s.path("box\\hostile.lzh")) + " " + q(target + "\\") + " up.txt --quiet").code,
            UNLHA_ERR_UNSAFE_NAME);
  EXPECT_FALSE(t::fileExists(target + "\\up.txt"));
}

TEST_F(Unlha32, MembersThatResolveToOneFileAreNeverMerged) {
  Scratch s;
  lzhtest::Bytes arc;
  auto addMember = [&](const std::string& name, const std::string& data) {
    const lzhtest::Bytes m = lzhtest::level0(name, data);
    arc.insert(arc.end(), m.begin(), m.end());
  };
  addMember("PWNa.txt", "first");
  addMember("pwna.TXT", "second");
  addMember("a.txt", "A1");
  addMember("a.txt.", "A2");
  addMember("sub\\b", "B1");
  addMember("sub/b", "B2");
  addMember("\x82\x60.txt", "full-width A");   // Ａ.txt
  addMember("\x82\x81.txt", "full-width a");   // ａ.txt: one name on Windows too
  addMember("subX \\a.txt", "refused");      // a folder part Windows would not find again
  addMember("\x95\x5C..\\b.txt", "refused");  // 表..
  addMember("z.txt", "last");
  arc.push_back(0);
  s.put("clash.lzh", bytesOf(arc));
  const std::string out = s.path("out");
  const std::vector<std::string> expected{"PWNa.txt", "a.txt", "sub\\", "sub\\b", "z.txt", "Ａ.txt"};

  for (const char* sw : {"", "-o1 "}) {
    SCOPED_TRACE(sw);
    Outcome o = run(std::string("x ") + sw + q(s.path("clash.lzh")) + " " + q(out + "\\") + " --quiet");
    // The first member that names a file wins; each later one is reported, not extracted.
    EXPECT_EQ(o.code, UNLHA_ERR_NAME_CLASH) << o.text;
    EXPECT_EQ(t::readFile(out + "\\PWNa.txt").value_or(""), "first");
    EXPECT_EQ(t::readFile(out + "\\a.txt").value_or(""), "A1");
    EXPECT_EQ(t::readFile(out + "\\sub\\b").value_or(""), "B1");
    EXPECT_EQ(t::readFile(out + "\\Ａ.txt").value_or(""), "full-width A");
    EXPECT_EQ(t::readFile(out + "\\z.txt").value_or(""), "last");
    EXPECT_NE(o.text.find("pwna.TXT"), std::string::npos) << o.text;
    // A refused name makes no folder: no "subX", no "表".
    EXPECT_EQ(treeOf(out), expected);
    EXPECT_NE(o.text.find(*sw ? "展開 5, そのまま 0, 失敗 6, 未処理 0" : "展開 5, そのまま 0, 失敗 6"), std::string::npos)
        << o.text;
  }
  // Run again without -o1: the five are kept, and the clashing ones are still not taken
  // for newer copies of them.
  Outcome o = run("x " + q(s.path("clash.lzh")) + " " + q(out + "\\") + " --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_NAME_CLASH) << o.text;
  EXPECT_NE(o.text.find("展開 0, そのまま 5, 失敗 6, 未処理 0"), std::string::npos) << o.text;
  EXPECT_EQ(t::readFile(out + "\\PWNa.txt").value_or(""), "first");
  // e puts every file in one folder: two members of one name there are a clash as well.
  o = run("e " + q(s.path("clash.lzh")) + " " + q(s.path("flat") + "\\") + " b --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_NAME_CLASH) << o.text;
  EXPECT_EQ(t::readFile(s.path("flat\\b")).value_or(""), "B1");
}

TEST_F(Unlha32, AFileThatIsNoArchiveIsNotAnEmptyOne) {
  Scratch s;
  s.put("empty.lzh", "");
  s.put("zeros.lzh", std::string(4096, '\0'));
  s.put("end.lzh", std::string(1, '\0'));  // what d leaves after the last member
  for (const char* name : {"empty.lzh", "zeros.lzh"}) {
    SCOPED_TRACE(name);
    const std::string arc = q(s.path(name));
    EXPECT_EQ(run("x " + arc + " " + q(s.path("out") + "\\") + " --quiet").code, UNLHA_ERR_DAMAGED);
    EXPECT_EQ(run("e " + arc + " " + q(s.path("out") + "\\") + " --quiet").code, UNLHA_ERR_DAMAGED);
    EXPECT_EQ(run("l " + arc + " --quiet").code, UNLHA_ERR_DAMAGED);
    EXPECT_EQ(run("t " + arc + " --quiet").code, UNLHA_ERR_DAMAGED);
    EXPECT_EQ(run("d " + arc + " a.txt --quiet").code, UNLHA_ERR_DAMAGED);
    EXPECT_EQ(attributesOf(s.path("out")), INVALID_FILE_ATTRIBUTES);  // nothing made for it
  }
  EXPECT_EQ(t::readFile(s.path("zeros.lzh")).value_or(""), std::string(4096, '\0'));
  const std::string end = q(s.path("end.lzh"));
  EXPECT_EQ(run("l " + end + " --quiet").code, UNLHA_OK);
  EXPECT_EQ(run("t " + end + " --quiet").code, UNLHA_OK);
  EXPECT_EQ(run("x " + end + " " + q(s.path("out") + "\\") + " --quiet").code, UNLHA_OK);

  // d of the last member leaves the end mark alone, and that is still a sound archive.
  s.put("src\\a.txt", "only one");
  const std::string one = q(s.path("one.lzh"));
  ASSERT_EQ(run("u " + one + " " + q(s.path("src") + "\\") + " a.txt --quiet").code, UNLHA_OK);
  ASSERT_EQ(run("d " + one + " a.txt --quiet").code, UNLHA_OK);
  EXPECT_EQ(t::readFile(s.path("one.lzh")).value_or(""), std::string(1, '\0'));
  EXPECT_EQ(run("t " + one + " --quiet").code, UNLHA_OK);
  EXPECT_EQ(run("d " + one + " a.txt --quiet").code, UNLHA_ERR_NO_MATCH);
}

TEST_F(Unlha32, ADamagedMemberLeavesTheExistingFileAsItWas) {
  Scratch s;
  s.put("src\\a.txt", text(5000, 1));
  s.put("src\\b.txt", text(90000, 2));
  s.put("src\\c.txt", text(300, 3));
  ASSERT_EQ(run("u " + q(s.path("t.lzh")) + " " + q(s.path("src") + "\\") + " a.txt b.txt c.txt --quiet").code, UNLHA_OK);
  Archive a = readArchive(s.path("t.lzh"));
  const lzh::Member* b = a.find("b.txt");
  ASSERT_NE(b, nullptr);
  a.bytes[b->dataOffset + b->packedSize / 2] ^= 0x5A;
  ASSERT_TRUE(t::writeFile(s.path("bad.lzh"), a.bytes));
  s.put("out\\b.txt", "the copy on disk", kBaseTime - 3600 * 10000000ull);

  Outcome o = run("x -o1 " + q(s.path("bad.lzh")) + " " + q(s.path("out") + "\\") + " --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_CRC) << o.text;
  EXPECT_NE(o.text.find("b.txt"), std::string::npos) << o.text;
  EXPECT_EQ(t::readFile(s.path("out\\b.txt")).value_or(""), "the copy on disk");
  EXPECT_EQ(writeTime(s.path("out\\b.txt")), kBaseTime - 3600 * 10000000ull);
  EXPECT_EQ(t::readFile(s.path("out\\a.txt")).value_or(""), text(5000, 1));  // the sound ones still come
  EXPECT_EQ(t::readFile(s.path("out\\c.txt")).value_or(""), text(300, 3));
  EXPECT_EQ(t::listDir(s.path("out")), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

  // Cancelled in the middle of a file: the old copy stays, no temporary file is left.
  {
    Owner owner;
    owner.listen();
    owner.answer = [](const Event& e) { return e.kind == UNLHA_NOTIFY_PROGRESS && e.writeSize > 0 ? 1 : 0; };
    o = run("x -o1 " + q(s.path("t.lzh")) + " " + q(s.path("out") + "\\") + " b.txt --quiet");
    EXPECT_EQ(o.code, UNLHA_ERR_CANCELLED) << o.text;
    EXPECT_NE(o.text.find("展開 0, そのまま 0, 失敗 0, 未処理 1"), std::string::npos) << o.text;
  }
  // Cancelled as the second of three starts: one written, two never tried.
  {
    Owner owner;
    owner.listen();
    owner.answer = [](const Event& e) -> LRESULT { return e.kind == UNLHA_NOTIFY_PROGRESS && e.fileIndex == 2; };
    o = run("x " + q(s.path("t.lzh")) + " " + q(s.path("out3") + "\\") + " --quiet");
    EXPECT_EQ(o.code, UNLHA_ERR_CANCELLED) << o.text;
    EXPECT_NE(o.text.find("展開 1, そのまま 0, 失敗 0, 未処理 2"), std::string::npos) << o.text;
    EXPECT_EQ(t::listDir(s.path("out3")), (std::vector<std::string>{"a.txt"}));
  }
  EXPECT_EQ(t::readFile(s.path("out\\b.txt")).value_or(""), "the copy on disk");
  EXPECT_EQ(t::listDir(s.path("out")), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

  // A damaged header: the members before it come out, the run says the archive is damaged.
  std::string cut = t::readFile(s.path("t.lzh")).value_or("");
  cut[readArchive(s.path("t.lzh")).find("c.txt")->headerOffset + 3] ^= 1;
  ASSERT_TRUE(t::writeFile(s.path("cut.lzh"), cut));
  o = run("x " + q(s.path("cut.lzh")) + " " + q(s.path("out2") + "\\") + " --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_DAMAGED) << o.text;
  EXPECT_NE(o.text.find("展開 2, そのまま 0, 失敗 0, 未処理 0"), std::string::npos) << o.text;
  EXPECT_NE(o.text.find("より後は読めないため"), std::string::npos) << o.text;
  // The damage outranks a member's own error: the run did not get to the end.
  cut[readArchive(s.path("t.lzh")).find("b.txt")->dataOffset + 10] ^= 0x5A;
  ASSERT_TRUE(t::writeFile(s.path("cut2.lzh"), cut));
  o = run("x " + q(s.path("cut2.lzh")) + " " + q(s.path("out4") + "\\") + " --quiet");
  EXPECT_EQ(o.code, UNLHA_ERR_DAMAGED) << o.text;
  EXPECT_NE(o.text.find("展開 1, そのまま 0, 失敗 1, 未処理 0"), std::string::npos) << o.text;
  EXPECT_EQ(t::listDir(s.path("out2")), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(Unlha32, DeleteKeepsEveryOtherMemberByteForByte) {
  Tree tree;
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  const Archive before = readArchive(tree.archive());
  Outcome o = run("d " + q(tree.archive()) + " proj\\表\\big.bin *.dat --quiet");
  ASSERT_EQ(o.code, UNLHA_OK) << o.text;
  const Archive after = readArchive(tree.archive());
  std::vector<std::string> kept;
  for (const std::string& n : before.names())
    if (n != "proj\\表\\big.bin" && n != "proj\\empty.dat") kept.push_back(n);
  EXPECT_EQ(after.names(), kept);
  for (const std::string& n : kept) EXPECT_EQ(after.raw(n), before.raw(n)) << n;
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});

  // Nothing selected, or a read-only archive: the archive stays as it was.
  const std::string bytes = after.bytes;
  EXPECT_EQ(run("d " + q(tree.archive()) + " nothing.txt --quiet").code, UNLHA_ERR_NO_MATCH);
  EXPECT_EQ(run("d " + q(tree.archive()) + " --quiet").code, UNLHA_ERR_NO_MATCH);
  ASSERT_TRUE(::SetFileAttributesA(tree.archive().c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(run("d " + q(tree.archive()) + " *.txt --quiet").code, UNLHA_ERR_ARCHIVE_READONLY);
  ::SetFileAttributesA(tree.archive().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(t::readFile(tree.archive()).value_or(""), bytes);
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});
}

TEST_F(Unlha32, ExtractMemFillsTheBufferWithTimeAndAttributes) {
  Tree tree;
  ASSERT_EQ(run(tree.backupLine()).code, UNLHA_OK);
  const std::string want = tree.files["proj\\表\\ソ\\ソース.txt"];
  std::vector<BYTE> buf(want.size() + 100, 0xEE);
  DWORD time = 0, written = 0;
  WORD attrs = 0;
  ASSERT_EQ(lib().extractMem(nullptr, (q(tree.archive()) + " ソース.txt --quiet").c_str(), buf.data(),
                             static_cast<DWORD>(buf.size()), &time, &attrs, &written),
            UNLHA_OK);
  EXPECT_EQ(written, want.size());
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + written), want);
  EXPECT_EQ(buf[written], 0xEE);
  EXPECT_EQ(time, static_cast<DWORD>(lzh::fileTimeToUnix(kBaseTime)));
  ASSERT_EQ(lib().extractMem(nullptr, ("x " + q(tree.archive()) + " proj\\ro.txt --quiet").c_str(), buf.data(),
                             static_cast<DWORD>(buf.size()), &time, &attrs, &written),
            UNLHA_OK);
  EXPECT_TRUE(attrs & lzh::kAttrReadOnly);
  // Too small: what fits, and the code says it did not.
  EXPECT_EQ(lib().extractMem(nullptr, (q(tree.archive()) + " ソース.txt --quiet").c_str(), buf.data(), 10, &time,
                             &attrs, &written),
            UNLHA_ERR_BUFFER_SMALL);
  EXPECT_EQ(written, 10u);
  EXPECT_EQ(lib().extractMem(nullptr, ("u " + q(tree.archive()) + " a --quiet").c_str(), buf.data(), 10, nullptr,
                             nullptr, &written),
            UNLHA_ERR_COMMAND);
  EXPECT_EQ(tree.outFolder(), std::vector<std::string>{"backup.lzh"});
}
