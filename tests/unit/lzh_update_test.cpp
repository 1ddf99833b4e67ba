// Updating archives: what is added, replaced and kept (byte for byte), how names and
// times are compared, the typed failures, cancelling, progress, and verification.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "lzh/crc16.h"
#include "lzh_test_util.h"

using namespace pv::lzh;
using lzhtest::Bytes;
using lzhtest::bytesOf;
using lzhtest::fileEntry;
using lzhtest::folderEntry;
using lzhtest::ft;

namespace {

const std::int64_t T0 = 1600000000;

UpdateResult update(const Bytes* old, const std::vector<Entry>& entries, Bytes& out,
                    const UpdateOptions& o = UpdateOptions()) {
  MemorySink sink;
  UpdateResult r;
  if (old) {
    MemorySource src(*old);
    r = updateArchive(&src, entries, sink, o);
  } else {
    r = updateArchive(nullptr, entries, sink, o);
  }
  out = sink.bytes;
  if (r.status.ok()) {
    MemorySource written(out);
    const Status v = verifyArchive(written, r);
    EXPECT_TRUE(v.ok()) << errorName(v.error) << " " << v.detail;
  }
  return r;
}

Bytes memberBytes(const Bytes& a, const Member& m) {
  return Bytes(a.begin() + static_cast<long>(m.headerOffset), a.begin() + static_cast<long>(m.endOffset()));
}

std::vector<std::string> paths(const std::vector<Member>& ms) {
  std::vector<std::string> p;
  for (const auto& m : ms) p.push_back(m.path);
  return p;
}

// A level-2 member as another tool writes it: Unix time only, no 0x41.
Bytes foreignLevel2(const std::string& name, const std::string& data, std::uint32_t unixTime) {
  HeaderFields f;
  f.method = Method::Lh0;
  f.path = name;
  f.packedSize = f.originalSize = static_cast<std::uint32_t>(data.size());
  f.crc = crc16(data.data(), data.size());
  f.unixTime = unixTime;
  Bytes h;
  EXPECT_TRUE(buildLevel2Header(f, h).ok());
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

}  // namespace

TEST(LzhUpdate, NewArchiveFromEntries) {
  const Bytes text = lzhtest::textBytes(50000, 1), noise = lzhtest::randomBytes(20000, 2);
  const std::vector<Entry> entries = {
      folderEntry("src", ft(T0)),
      fileEntry("src\\main.cpp", text, ft(T0 + 5)),
      fileEntry("noise.bin", noise, ft(T0 + 9)),
      fileEntry("empty.txt", {}, ft(T0 + 1)),
  };
  const Bytes justEnd{0};
  for (const Bytes* old : {static_cast<const Bytes*>(nullptr), &justEnd}) {
    Bytes a;
    const UpdateResult r = update(old, entries, a);
    ASSERT_TRUE(r.status.ok()) << r.status.detail;
    EXPECT_EQ(r.added, 4u);
    EXPECT_EQ(r.newestWriteTime, ft(T0 + 9));
    EXPECT_EQ(a.back(), 0);
    const auto ms = lzhtest::members(a);
    ASSERT_EQ(ms.size(), 4u);
    EXPECT_EQ(paths(ms), (std::vector<std::string>{"src", "src\\main.cpp", "noise.bin", "empty.txt"}));
    EXPECT_EQ(ms[0].method, Method::Lhd);
    EXPECT_EQ(ms[0].attributes, kAttrDirectory);
    EXPECT_EQ(ms[1].method, Method::Lh5);
    EXPECT_EQ(ms[2].method, Method::Lh0);  // does not shrink: stored
    EXPECT_EQ(ms[3].method, Method::Lh0);
    EXPECT_EQ(ms[3].originalSize, 0u);
    EXPECT_EQ(lzhtest::extract(a, ms[1]), text);
    EXPECT_EQ(lzhtest::extract(a, ms[2]), noise);
    EXPECT_EQ(ms[1].unixTime, T0 + 5);
    EXPECT_TRUE(ms[1].hasWinTimes);
    EXPECT_EQ(ms[1].winTimes.lastWrite, ft(T0 + 5));
    EXPECT_EQ(ms[1].osId, 'M');
  }
  // Only a file that does not shrink is read twice.
  auto compressible = std::make_shared<lzhtest::Opened>(), incompressible = std::make_shared<lzhtest::Opened>();
  Bytes a;
  update(nullptr, {fileEntry("t", text, ft(T0), compressible), fileEntry("n", noise, ft(T0), incompressible)}, a);
  EXPECT_EQ(compressible->opens, 1);
  EXPECT_EQ(incompressible->opens, 2);
}

TEST(LzhUpdate, AddsReplacesAndKeepsByteForByte) {
  Bytes old;
  ASSERT_TRUE(update(nullptr,
                     {fileEntry("a.txt", bytesOf("alpha"), ft(T0)), fileEntry("b.txt", lzhtest::textBytes(9000, 3), ft(T0)),
                      folderEntry("sub", ft(T0)), fileEntry("sub\\c.txt", lzhtest::textBytes(7000, 4), ft(T0))},
                     old)
                  .status.ok());
  const auto before = lzhtest::members(old);
  const Bytes newB = lzhtest::textBytes(12000, 5);
  Bytes a;
  const UpdateResult r = update(&old,
                                {fileEntry("sub\\c.txt", bytesOf("older"), ft(T0 - 100)),  // older: kept
                                 fileEntry("d.txt", bytesOf("delta"), ft(T0 + 50)),        // new: appended
                                 fileEntry("B.TXT", newB, ft(T0 + 10)),                    // newer: replaced
                                 fileEntry("a.txt", bytesOf("alpha"), ft(T0)),             // same time: kept
                                 folderEntry("sub", ft(T0))},
                                a);
  ASSERT_TRUE(r.status.ok());
  EXPECT_EQ(r.added, 1u);
  EXPECT_EQ(r.replaced, 1u);
  EXPECT_EQ(r.kept, 3u);
  const auto after = lzhtest::members(a);
  EXPECT_EQ(paths(after), (std::vector<std::string>{"a.txt", "B.TXT", "sub", "sub\\c.txt", "d.txt"}));
  for (int i : {0, 2, 3}) EXPECT_EQ(memberBytes(a, after[i]), memberBytes(old, before[i])) << i;
  EXPECT_EQ(lzhtest::extract(a, after[1]), newB);
  EXPECT_EQ(lzhtest::extract(a, after[4]), bytesOf("delta"));
  ASSERT_EQ(r.members.size(), 5u);
  EXPECT_EQ(r.members[1].action, Action::Replace);
  EXPECT_EQ(r.members[4].action, Action::Add);

  // Nothing newer: the archive comes out the same.
  Bytes same;
  const UpdateResult r2 = update(&old, {fileEntry("a.txt", bytesOf("alpha"), ft(T0))}, same);
  EXPECT_EQ(r2.kept, 4u);
  EXPECT_EQ(same, old);

  // Mode::Always replaces even what is not newer.
  UpdateOptions always;
  always.mode = UpdateOptions::Mode::Always;
  EXPECT_EQ(update(&old, {fileEntry("a.txt", bytesOf("again"), ft(T0 - 5))}, same, always).replaced, 1u);
}

TEST(LzhUpdate, NamesCompareLikeWindowsByWholeCharacters) {
  Bytes old;
  update(nullptr, {fileEntry("表\\Readme.TXT", bytesOf("1"), ft(T0)), fileEntry("\x83\x61.txt", bytesOf("2"), ft(T0))}, old);
  Bytes a;
  UpdateResult r = update(&old, {fileEntry("表/readme.txt", bytesOf("3"), ft(T0 + 1))}, a);
  EXPECT_EQ(r.replaced, 1u);
  EXPECT_EQ(r.added, 0u);
  // 83 41 and 83 61 differ only in a second byte that looks like 'A' / 'a'.
  r = update(&old, {fileEntry("\x83\x41.txt", bytesOf("4"), ft(T0 + 1))}, a);
  EXPECT_EQ(r.added, 1u);
  EXPECT_EQ(r.replaced, 0u);
  // The same name twice in the list: the first one counts.
  r = update(nullptr, {fileEntry("x", bytesOf("first"), ft(T0)), fileEntry("X", bytesOf("second"), ft(T0 + 9))}, a);
  ASSERT_EQ(r.added, 1u);
  EXPECT_EQ(lzhtest::extract(a, lzhtest::members(a)[0]), bytesOf("first"));
}

TEST(LzhUpdate, TimesCompareAtTheMemberResolution) {
  // Level 2 without 0x41: whole seconds. A file from the same second is not newer.
  Bytes l2 = foreignLevel2("f.txt", "old", 0x5EE76AF0);
  l2.push_back(0);
  Bytes a;
  EXPECT_EQ(update(&l2, {fileEntry("f.txt", bytesOf("new"), ft(0x5EE76AF0, 5000000))}, a).replaced, 0u);
  EXPECT_EQ(update(&l2, {fileEntry("f.txt", bytesOf("new"), ft(0x5EE76AF1))}, a).replaced, 1u);
  EXPECT_EQ(update(&l2, {fileEntry("f.txt", bytesOf("new"), 0)}, a).replaced, 1u);  // unknown time

  // Level 1 (DOS time 12:34:56, two-second steps), read as UTC here.
  const Bytes l1 = {0x1E, 0x6C, '-', 'l', 'h', '0', '-', 0x0A, 0, 0, 0, 5, 0, 0, 0, 0x5C, 0x64, 0xCF, 0x50, 0x20, 1, 5,
                    'a',  '.',  't', 'x', 't', 0xD2, 0x34, 0, 5, 0, 0, 0x81, 0xCC, 0, 0, 'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(update(&l1, {fileEntry("a.txt", bytesOf("x"), ft(0x5EE76AF1))}, a).replaced, 0u);
  EXPECT_EQ(update(&l1, {fileEntry("a.txt", bytesOf("x"), ft(0x5EE76AF2))}, a).replaced, 1u);
  // A caller that knows the zone: the DOS time was local time nine hours ahead of UTC.
  UpdateOptions tokyo;
  tokyo.dosTimeToUnix = [](std::uint32_t dos) { return dosTimeToUnix(dos) - 9 * 3600; };
  EXPECT_EQ(update(&l1, {fileEntry("a.txt", bytesOf("x"), ft(0x5EE76AF0 - 3600))}, a, tokyo).replaced, 1u);
  EXPECT_EQ(update(&l1, {fileEntry("a.txt", bytesOf("x"), ft(0x5EE76AF0 - 9 * 3600))}, a, tokyo).replaced, 0u);
}

TEST(LzhUpdate, KeepsMembersOfOtherLevelsAndDuplicates) {
  // Levels 0 and 1 stay as they are; the new member is level 2; an end mark is added.
  const Bytes l0 = {0x1B, 0x61, '-', 'l', 'h', '0', '-', 5, 0, 0, 0, 5, 0, 0, 0, 0x5C, 0x64, 0xCF, 0x50, 0x20, 0, 5,
                    'a',  '.',  't', 'x', 't', 0xD2, 0x34, 'h', 'e', 'l', 'l', 'o'};
  Bytes a;
  ASSERT_TRUE(update(&l0, {fileEntry("n.txt", bytesOf("new"), ft(T0))}, a).status.ok());
  ASSERT_GT(a.size(), l0.size());
  EXPECT_EQ(Bytes(a.begin(), a.begin() + static_cast<long>(l0.size())), l0);
  const auto ms = lzhtest::members(a);
  ASSERT_EQ(ms.size(), 2u);
  EXPECT_EQ(ms[0].level, 0);
  EXPECT_EQ(ms[1].level, 2);
  EXPECT_EQ(a.back(), 0);

  // Two members of one name: the later one is what extraction leaves, so it is replaced.
  Bytes dup = foreignLevel2("d.txt", "one", T0);
  const Bytes second = foreignLevel2("d.txt", "two", T0);
  dup.insert(dup.end(), second.begin(), second.end());
  ASSERT_EQ(update(&dup, {fileEntry("d.txt", bytesOf("three"), ft(T0 + 1))}, a).replaced, 1u);
  const auto dm = lzhtest::members(a);
  ASSERT_EQ(dm.size(), 2u);
  EXPECT_EQ(lzhtest::extract(a, dm[0]), bytesOf("one"));
  EXPECT_EQ(lzhtest::extract(a, dm[1]), bytesOf("three"));
}

TEST(LzhUpdate, FoldersAreStoredOnlyWhenAsked) {
  UpdateOptions noFolders;
  noFolders.storeFolders = false;
  Bytes a;
  const UpdateResult r = update(nullptr, {folderEntry("d", ft(T0)), fileEntry("d\\f", bytesOf("x"), ft(T0))}, a, noFolders);
  EXPECT_EQ(r.added, 1u);
  EXPECT_EQ(paths(lzhtest::members(a)), std::vector<std::string>{"d\\f"});
}

TEST(LzhUpdate, FailuresAreTypedAndNameTheCulprit) {
  Bytes old;
  update(nullptr, {fileEntry("a.txt", lzhtest::textBytes(3000, 1), ft(T0)), fileEntry("b.txt", bytesOf("b"), ft(T0))}, old);
  const Entry fine = fileEntry("fine.txt", lzhtest::textBytes(200000, 2), ft(T0 + 100));
  Bytes out;

  Bytes damaged = old;
  damaged[30] ^= 0x40;
  UpdateResult r = update(&damaged, {fine}, out);
  EXPECT_EQ(r.status.error, Error::DamagedArchive);
  EXPECT_TRUE(out.empty());  // nothing written before the old archive was read

  Entry unopenable = fileEntry("locked.txt", bytesOf("x"), ft(T0));
  unopenable.open = [] { return std::unique_ptr<InputStream>(); };
  r = update(&old, {fine, unopenable}, out);
  EXPECT_EQ(r.status.error, Error::ReadFailed);
  EXPECT_EQ(r.status.name, "locked.txt");

  r = update(&old, {fileEntry("bad sector.bin", lzhtest::textBytes(300000, 3), ft(T0), nullptr, 150000)}, out);
  EXPECT_EQ(r.status.error, Error::ReadFailed);
  EXPECT_EQ(r.status.name, "bad sector.bin");

  Entry huge = fileEntry("huge.iso", {}, ft(T0));
  huge.size = 0x100000000ull;  // 4 GiB
  r = update(&old, {fine, huge}, out);
  EXPECT_EQ(r.status.error, Error::TooLarge);
  EXPECT_EQ(r.status.name, "huge.iso");
  EXPECT_TRUE(out.empty());

  r = update(&old, {fine, fileEntry("a\\\\b", bytesOf("x"), ft(T0))}, out);
  EXPECT_EQ(r.status.error, Error::BadName);
  EXPECT_TRUE(out.empty());

  for (std::size_t limit : {std::size_t{0}, std::size_t{10}, old.size() + 50, old.size() + 5000}) {
    lzhtest::FullSink full(limit);
    MemorySource src(old);
    r = updateArchive(&src, {fine}, full, UpdateOptions());
    EXPECT_EQ(r.status.error, Error::WriteFailed) << limit;
  }
}

TEST(LzhUpdate, CancelAndProgress) {
  Bytes old;
  update(nullptr, {fileEntry("keep.txt", lzhtest::textBytes(100000, 1), ft(T0))}, old);
  const std::vector<Entry> entries = {fileEntry("one.txt", lzhtest::textBytes(300000, 2), ft(T0)),
                                      fileEntry("two.txt", lzhtest::textBytes(10000, 3), ft(T0))};
  std::vector<Progress> seen;
  std::vector<std::string> names;
  UpdateOptions o;
  o.progress = [&](const Progress& p) {
    seen.push_back(p);
    names.emplace_back(p.name);
    return true;
  };
  Bytes out;
  UpdateResult r = update(&old, entries, out, o);
  ASSERT_TRUE(r.status.ok());
  ASSERT_GE(seen.size(), 6u);
  EXPECT_EQ(seen.front().kind, ProgressKind::Begin);
  EXPECT_EQ(seen.front().count, 2u);
  const std::uint64_t total = seen.front().total;
  EXPECT_EQ(total, 310000u + lzhtest::members(old)[0].endOffset());
  EXPECT_EQ(seen.back().kind, ProgressKind::End);
  EXPECT_EQ(seen.back().done, total);
  std::uint64_t last = 0;
  std::vector<std::string> begun;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_GE(seen[i].done, last);
    EXPECT_LE(seen[i].done, total);
    last = seen[i].done;
    if (seen[i].kind == ProgressKind::FileBegin) begun.push_back(names[i]);
  }
  EXPECT_EQ(begun, (std::vector<std::string>{"one.txt", "two.txt"}));

  // Cancel at the second file, and in the middle of the first one's bytes.
  for (auto when : {ProgressKind::FileBegin, ProgressKind::Bytes}) {
    int files = 0;
    o.progress = [&](const Progress& p) {
      if (p.kind == ProgressKind::FileBegin) ++files;
      if (when == ProgressKind::FileBegin) return !(p.kind == when && files == 2);
      return !(p.kind == when && p.done > 150000);
    };
    r = update(&old, entries, out, o);
    EXPECT_EQ(r.status.error, Error::Cancelled);
  }
  // Verification reports its own progress and can be cancelled too.
  r = update(&old, entries, out);
  MemorySource written(out);
  int checked = 0;
  EXPECT_TRUE(verifyArchive(written, r, [&](const Progress& p) {
                return p.kind == ProgressKind::Verify && ++checked > 0;
              }).ok());
  EXPECT_EQ(checked, 2);
  EXPECT_EQ(verifyArchive(written, r, [](const Progress&) { return false; }).error, Error::Cancelled);
}

TEST(LzhUpdate, VerifyCatchesWhatWentWrongOnDisk) {
  Bytes old;
  update(nullptr, {fileEntry("k.txt", lzhtest::textBytes(4000, 1), ft(T0))}, old);
  MemorySource src(old);
  MemorySink sink;
  const UpdateResult r =
      updateArchive(&src, {fileEntry("n.txt", lzhtest::textBytes(40000, 2), ft(T0))}, sink, UpdateOptions());
  ASSERT_TRUE(r.status.ok());
  const auto ms = lzhtest::members(sink.bytes);
  ASSERT_EQ(ms.size(), 2u);

  Bytes bad = sink.bytes;
  bad[ms[1].dataOffset + ms[1].packedSize / 2] ^= 0x10;  // a flipped bit in the new member
  MemorySource s1(bad);
  const Status v1 = verifyArchive(s1, r);
  EXPECT_TRUE(v1.error == Error::CrcMismatch || v1.error == Error::CorruptData) << errorName(v1.error);
  EXPECT_EQ(v1.name, "n.txt");

  Bytes cut(sink.bytes.begin(), sink.bytes.begin() + static_cast<long>(ms[1].headerOffset));  // lost the tail
  MemorySource s2(cut);
  EXPECT_EQ(verifyArchive(s2, r).error, Error::DamagedArchive);
}

// Worker threads make the same archive as one thread: new, updated in place, with a file
// that fails to read, with a file that does not compress (its attempt is cut back and the
// header rewritten after the writer has taken part of it: the slow stream makes sure);
// a cancel or a full disk stops the workers; and the check of the written archive names
// the same first bad member.
TEST(LzhUpdate, WorkerThreadsMakeTheSameArchive) {
  auto slow = [](pv::lzh::Entry e) {  // reads wait a little, so the writer takes bytes early
    auto inner = e.open;
    e.open = [inner]() -> std::unique_ptr<InputStream> {
      struct S : InputStream {
        std::unique_ptr<InputStream> in;
        std::ptrdiff_t read(void* buf, std::size_t n) override {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          return in->read(buf, n);
        }
      };
      auto s = std::make_unique<S>();
      s->in = inner();
      return s;
    };
    return e;
  };
  std::vector<Entry> entries;
  for (int i = 0; i < 30; ++i)
    entries.push_back(fileEntry("d\\f" + std::to_string(i), lzhtest::textBytes(100 + i * 3001 % 40000, i), ft(T0)));
  entries.insert(entries.begin() + 5, slow(fileEntry("noise.bin", lzhtest::randomBytes(1000000, 9), ft(T0))));
  entries.insert(entries.begin() + 9, slow(fileEntry("big.txt", lzhtest::textBytes(1000000, 10), ft(T0))));
  entries.push_back(fileEntry("empty", {}, ft(T0)));
  entries.push_back(folderEntry("d", ft(T0)));
  auto make = [](const Bytes* old, const std::vector<Entry>& es, int threads, bool skip = false) {
    UpdateOptions o;
    o.threads = threads;
    o.skipUnreadable = skip;
    Bytes out;
    const UpdateResult r = update(old, es, out, o);
    EXPECT_TRUE(r.status.ok()) << errorName(r.status.error) << " " << r.status.name;
    return std::make_pair(out, r);
  };
  const auto one = make(nullptr, entries, 1);
  for (int threads : {2, 5}) EXPECT_TRUE(make(nullptr, entries, threads).first == one.first) << threads;
  const auto ms = lzhtest::members(one.first);
  ASSERT_EQ(ms.size(), entries.size());
  EXPECT_STREQ(ms[5].methodId, "-lh0-");

  // Replaced in place, one unreadable (its old member stays), one added.
  std::vector<Entry> later = entries;
  later[3] = fileEntry("d\\f3", lzhtest::textBytes(5000, 99), ft(T0 + 60));
  later[9] = slow(fileEntry("big.txt", lzhtest::textBytes(1000000, 98), ft(T0 + 60)));
  later[12] = fileEntry("d\\f10", lzhtest::textBytes(5000, 97), ft(T0 + 60), nullptr, 1000);
  later.push_back(fileEntry("new", lzhtest::textBytes(70000, 96), ft(T0)));
  const auto u1 = make(&one.first, later, 1, true);
  const auto u3 = make(&one.first, later, 3, true);
  EXPECT_TRUE(u1.first == u3.first);
  ASSERT_EQ(u3.second.skipped.size(), 1u);
  EXPECT_EQ(u3.second.skipped[0].name, "d\\f10");

  // Stopping while workers are busy ends the run with its own error, never a hang.
  for (int cancelAt : {1, 8}) {
    UpdateOptions o;
    o.threads = 3;
    int files = 0;
    o.progress = [&](const Progress& p) { return !(p.kind == ProgressKind::FileBegin && ++files == cancelAt); };
    MemorySink sink;
    EXPECT_EQ(updateArchive(nullptr, entries, sink, o).status.error, Error::Cancelled) << cancelAt;
  }
  for (std::size_t limit : {std::size_t{100}, one.first.size() / 2}) {
    UpdateOptions o;
    o.threads = 3;
    lzhtest::FullSink full(limit);
    EXPECT_EQ(updateArchive(nullptr, entries, full, o).status.error, Error::WriteFailed) << limit;
  }

  // A sound archive passes the check on any number of threads (members go to the
  // checking threads in batches: the last, short batch must be checked too).
  for (int threads : {2, 4}) {
    MemorySource src(u3.first);
    EXPECT_TRUE(verifyArchive(src, u3.second, {}, threads).ok()) << threads;
  }
  // Two damaged members: every thread count names the first.
  const auto um = lzhtest::members(u3.first);
  Bytes bad = u3.first;
  for (std::size_t i : {std::size_t{3}, std::size_t{9}}) bad[um[i].dataOffset + um[i].packedSize / 2] ^= 0x10;
  for (int threads : {1, 2, 4}) {
    MemorySource src(bad);
    const Status v = verifyArchive(src, u3.second, {}, threads);
    EXPECT_FALSE(v.ok()) << threads;
    EXPECT_EQ(v.name, um[3].path) << threads;
  }
}

namespace {

// The archive as the library writes it: through a write buffer into a file, which the
// check reads back. `damage` sees each flush land (the file and where it began), as a
// disk that loses a bit would.
struct BufferedFile : ByteSink {
  explicit BufferedFile(std::size_t buffer) : limit(buffer) {}
  Bytes file, buf;
  std::size_t limit;
  std::function<void(Bytes&, std::size_t)> damage;

  void flush() {
    const std::size_t at = file.size();
    file.insert(file.end(), buf.begin(), buf.end());
    buf.clear();
    if (damage) damage(file, at);
  }
  bool write(const void* data, std::size_t n) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    buf.insert(buf.end(), p, p + n);
    if (buf.size() >= limit) flush();
    return true;
  }
  std::uint64_t position() override { return file.size() + buf.size(); }
  bool writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
    if (offset > position() || n > position() - offset) return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t o = static_cast<std::size_t>(offset) + i;
      (o < file.size() ? file[o] : buf[o - file.size()]) = p[i];
    }
    return true;
  }
  bool truncate(std::uint64_t size) override {
    if (size > position()) return false;
    if (size >= file.size()) {
      buf.resize(static_cast<std::size_t>(size - file.size()));
    } else {
      file.resize(static_cast<std::size_t>(size));
      buf.clear();
    }
    return true;
  }
};

// What the file holds, never more (the read-back of the library's temporary archive).
struct FileReadBack : ByteSource {
  explicit FileReadBack(BufferedFile& f) : f(f) {}
  BufferedFile& f;
  std::uint64_t size() override { return f.file.size(); }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    if (offset > f.file.size() || n > f.file.size() - offset) return false;
    if (n) std::memcpy(buf, f.file.data() + offset, n);
    return true;
  }
};

}  // namespace

// New members are checked from the file as they reach it, while the rest are made:
// replacements between kept members, a file whose compressed attempt is cut back after
// part of it reached the file, one left out as unreadable. The archive is the same as
// one thread's; a bit lost on disk, in a member checked early or in one checked at the
// end, fails the check and names the first such member; a cancel during the pass or
// during the rest of the check ends with Cancelled.
TEST(LzhUpdate, NewMembersAreCheckedFromTheFileWhileTheRestAreMade) {
  std::vector<Entry> first;
  for (int i = 0; i < 30; ++i)
    first.push_back(fileEntry("t\\f" + std::to_string(i), lzhtest::textBytes(10000 + i * 7919 % 30000, i), ft(T0)));
  Bytes old;
  ASSERT_TRUE(update(nullptr, first, old).status.ok());
  std::vector<Entry> later = first;
  for (int i : {3, 17, 25})
    later[static_cast<std::size_t>(i)] = fileEntry("t\\f" + std::to_string(i), lzhtest::textBytes(30000, 100 + i), ft(T0 + 60));
  later[20] = fileEntry("t\\f20", lzhtest::textBytes(30000, 120), ft(T0 + 60), nullptr, 9000);  // unreadable
  later.push_back(fileEntry("noise.bin", lzhtest::randomBytes(400000, 5), ft(T0)));
  for (int i = 0; i < 20; ++i)
    later.push_back(fileEntry("n\\g" + std::to_string(i), lzhtest::textBytes(10000 + i * 4001 % 30000, 200 + i), ft(T0)));

  auto options = [](int threads) {
    UpdateOptions o;
    o.threads = threads;
    o.skipUnreadable = true;
    return o;
  };
  MemorySink plain;
  {
    MemorySource src(old);
    ASSERT_TRUE(updateArchive(&src, later, plain, options(1)).status.ok());
  }
  const auto ms = lzhtest::members(plain.bytes);
  auto index = [&](const std::string& name) {
    for (std::size_t i = 0; i < ms.size(); ++i)
      if (ms[i].path == name) return i;
    ADD_FAILURE() << name;
    return std::size_t{0};
  };
  // A bit of each named member's data flipped as it reaches the file.
  auto losing = [&](std::vector<std::string> names) {
    return [&ms, names, index](Bytes& file, std::size_t at) {
      for (const std::string& n : names) {
        const std::size_t o = static_cast<std::size_t>(ms[index(n)].dataOffset + ms[index(n)].packedSize / 2);
        if (o >= at && o < file.size()) file[o] ^= 0x10;
      }
    };
  };
  struct Outcome {
    Status pass, check;
    Bytes file;
    std::size_t early = 0;
  };
  auto backup = [&](int threads, std::function<void(Bytes&, std::size_t)> damage = {}, ProgressFn passProgress = {},
                    ProgressFn checkProgress = {}) {
    BufferedFile sink(64u << 10);
    sink.damage = std::move(damage);
    FileReadBack readBack(sink);
    WrittenCheck check(readBack, [&sink] { return std::uint64_t{sink.file.size()}; }, threads - 1, {}, threads);
    UpdateOptions o = options(threads);
    o.check = &check;
    o.progress = std::move(passProgress);
    MemorySource src(old);
    Outcome out;
    const UpdateResult r = updateArchive(&src, later, sink, o);
    out.pass = r.status;
    if (!r.status.ok()) return out;
    EXPECT_EQ(r.skipped.size(), 1u);
    sink.flush();
    out.early = check.checkedEarly();
    MemorySource written(sink.file);
    out.check = check.finish(written, r, checkProgress);
    out.file = sink.file;
    return out;
  };

  for (int threads : {1, 2, 4}) {
    const Outcome o = backup(threads);
    EXPECT_TRUE(o.pass.ok() && o.check.ok()) << threads << " " << errorName(o.check.error) << " " << o.check.name;
    EXPECT_TRUE(o.file == plain.bytes) << threads;
    if (threads == 1) EXPECT_EQ(o.early, 0u);
    else EXPECT_GT(o.early, 10u) << threads;  // most were checked during the pass
  }

  const std::string early = "t\\f17", late = "n\\g19";  // the last one is in the buffer at the end
  for (int threads : {1, 3}) {
    for (const auto& damaged : {std::vector<std::string>{late, early}, std::vector<std::string>{late}}) {
      const Outcome o = backup(threads, losing(damaged));
      ASSERT_TRUE(o.pass.ok()) << threads;
      EXPECT_TRUE(o.check.error == Error::CrcMismatch || o.check.error == Error::CorruptData)
          << threads << " " << errorName(o.check.error);
      EXPECT_EQ(o.check.name, damaged.back()) << threads;
    }
  }

  // Cancelled while members are being checked beside the pass, and in the check after it.
  int files = 0;
  const Outcome mid = backup(3, {}, [&](const Progress& p) { return !(p.kind == ProgressKind::FileBegin && ++files == 20); });
  EXPECT_EQ(mid.pass.error, Error::Cancelled);
  const Outcome end = backup(3, {}, {}, [](const Progress& p) { return p.kind != ProgressKind::Verify; });
  EXPECT_TRUE(end.pass.ok());
  EXPECT_EQ(end.check.error, Error::Cancelled);
}
