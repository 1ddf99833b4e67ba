// Walking archives: where an archive ends, and that damage (truncation, corrupted
// lengths, checksums and CRCs) is reported instead of being taken for the end.
#include <gtest/gtest.h>

#include <set>

#include "lzh/crc16.h"
#include "lzh/header.h"
#include "lzh_test_util.h"

using namespace pv::lzh;
using lzhtest::Bytes;

namespace {

Bytes sample(std::vector<Member>* ms = nullptr) {
  const Bytes a = lzhtest::makeArchive({
      lzhtest::fileEntry("stored.bin", lzhtest::randomBytes(300, 1), lzhtest::ft(1600000000)),
      lzhtest::fileEntry("dir\\text.txt", lzhtest::textBytes(5000, 2), lzhtest::ft(1600000000)),
      lzhtest::folderEntry("dir", lzhtest::ft(1600000000)),
      lzhtest::fileEntry("empty", {}, lzhtest::ft(1600000000)),
  });
  if (ms) *ms = lzhtest::members(a);
  return a;
}

Status walk(const Bytes& a, std::size_t* count = nullptr, const ReaderOptions& o = {}) {
  MemorySource src(a);
  std::vector<Member> ms;
  Status s = readArchive(src, ms, o);
  if (count) *count = ms.size();
  return s;
}

void setCrc(Bytes& a, std::size_t headerAt, std::size_t headerLen) {
  a[headerAt + 27] = a[headerAt + 28] = 0;
  const std::uint16_t c = crc16(a.data() + headerAt, headerLen);
  a[headerAt + 27] = static_cast<std::uint8_t>(c);
  a[headerAt + 28] = static_cast<std::uint8_t>(c >> 8);
}

}  // namespace

TEST(LzhArchiveReader, EveryTruncationIsDamageUnlessItFallsBetweenMembers) {
  std::vector<Member> ms;
  const Bytes a = sample(&ms);
  ASSERT_EQ(ms.size(), 4u);
  std::set<std::size_t> boundaries;  // not 0: nothing at all is no archive
  for (const Member& m : ms) boundaries.insert(m.endOffset());
  for (std::size_t cut = 0; cut < a.size(); ++cut) {
    const Bytes part(a.begin(), a.begin() + cut);
    std::size_t count = 0;
    const Status s = walk(part, &count);
    if (boundaries.count(cut)) {
      EXPECT_TRUE(s.ok()) << cut;  // an archive without end mark
    } else {
      EXPECT_EQ(s.error, Error::DamagedArchive) << cut;
    }
  }
}

TEST(LzhArchiveReader, CorruptedFieldsAreDamage) {
  std::vector<Member> ms;
  const Bytes a = sample(&ms);
  const std::size_t second = ms[1].headerOffset;
  auto expectDamaged = [&](const char* what, auto change) {
    Bytes b = a;
    change(b);
    std::size_t count = 0;
    EXPECT_EQ(walk(b, &count).error, Error::DamagedArchive) << what;
  };
  expectDamaged("length + 1", [&](Bytes& b) { ++b[second]; });
  expectDamaged("length - 1", [&](Bytes& b) { --b[second]; });
  expectDamaged("length 0xFFFF", [&](Bytes& b) { b[second] = b[second + 1] = 0xFF; });
  expectDamaged("length below the minimum", [&](Bytes& b) { b[second] = 20, b[second + 1] = 0; });
  expectDamaged("length low byte 0", [&](Bytes& b) { b[second] = 0; });
  expectDamaged("header CRC", [&](Bytes& b) { b[second + 27] ^= 1; });
  expectDamaged("name byte", [&](Bytes& b) { b[second + 34] ^= 0x20; });
  expectDamaged("first ext size", [&](Bytes& b) { b[second + 24] = 2; });
  expectDamaged("ext size past the header", [&](Bytes& b) { b[second + 29] = 0xF0, setCrc(b, second, ms[1].headerSize); });
  expectDamaged("packed size past the end", [&](Bytes& b) { b[second + 10] = 0x7F, setCrc(b, second, ms[1].headerSize); });
  expectDamaged("method ID", [&](Bytes& b) { b[second + 2] = 'x'; });
  expectDamaged("level 3", [&](Bytes& b) { b[second + 20] = 3, setCrc(b, second, ms[1].headerSize); });

  // Level 0/1 checksums (the reference headers).
  Bytes l1 = {0x1E, 0x6C, '-', 'l', 'h', '0', '-', 0x0A, 0, 0, 0, 5, 0, 0, 0, 0x5C, 0x64, 0xCF, 0x50, 0x20, 1, 5,
              'a',  '.',  't', 'x', 't', 0xD2, 0x34, 0, 5, 0, 0, 0x81, 0xCC, 0, 0, 'h', 'e', 'l', 'l', 'o'};
  EXPECT_TRUE(walk(l1).ok());
  l1[1] ^= 1;
  EXPECT_EQ(walk(l1).error, Error::DamagedArchive);
  l1[1] ^= 1;
  l1[34] ^= 1;  // the level-1 header CRC in ext 0x00
  EXPECT_EQ(walk(l1).error, Error::DamagedArchive);

  // Damaged data does not stop the walk, but extracting that member fails.
  Bytes b = a;
  b[ms[1].dataOffset + 10] ^= 0x55;
  std::vector<Member> again = lzhtest::members(b);
  ASSERT_EQ(again.size(), 4u);
  Status s;
  lzhtest::extract(b, again[1], &s);
  EXPECT_TRUE(s.error == Error::CrcMismatch || s.error == Error::CorruptData) << errorName(s.error);
  EXPECT_EQ(s.name, "dir\\text.txt");
}

TEST(LzhArchiveReader, WhereTheArchiveEnds) {
  const Bytes a = sample();
  ASSERT_EQ(a.back(), 0);
  std::size_t count = 0;
  Bytes b = a;
  b.insert(b.end(), {'t', 'r', 'a', 'i', 'l', 'i', 'n', 'g'});
  EXPECT_TRUE(walk(b, &count).ok());  // bytes after the end mark are ignored
  EXPECT_EQ(count, 4u);
  b = a;
  b.back() = 'Z';  // no end mark but garbage where the next header would be
  EXPECT_EQ(walk(b).error, Error::DamagedArchive);
  // An empty archive is the end mark alone; nothing, or zeros, is no archive.
  EXPECT_EQ(walk(Bytes{}).error, Error::DamagedArchive);
  EXPECT_EQ(walk(Bytes(4096, 0)).error, Error::DamagedArchive);
  EXPECT_EQ(walk(Bytes{0, 'x'}).error, Error::DamagedArchive);
  EXPECT_TRUE(walk(Bytes{0}, &count).ok());
  EXPECT_EQ(count, 0u);
  b = a;
  b.pop_back();  // members and no end mark: still accepted, as other tools write them
  EXPECT_TRUE(walk(b, &count).ok());
  EXPECT_EQ(count, 4u);
}

TEST(LzhArchiveReader, UnpaddedHeaderStartingWithZeroIsAMember) {
  // A writer that forgot the pad byte: T = 256 stored as 00 01.
  HeaderFields f;
  f.method = Method::Lh0;
  f.path = std::string(222, 'n');
  f.packedSize = f.originalSize = 2;
  f.crc = crc16("hi", 2);
  Bytes h;
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  ASSERT_EQ(h.size(), 257u);
  h.pop_back();
  h[0] = 0x00;
  h[1] = 0x01;
  setCrc(h, 0, h.size());
  Bytes a = sample();
  a.pop_back();  // the end mark
  a.insert(a.end(), h.begin(), h.end());
  a.insert(a.end(), {'h', 'i', 0});
  Status s;
  const auto ms = lzhtest::members(a, &s);
  ASSERT_TRUE(s.ok()) << s.detail;
  ASSERT_EQ(ms.size(), 5u);
  EXPECT_EQ(ms[4].path, f.path);
  EXPECT_EQ(lzhtest::extract(a, ms[4]), lzhtest::bytesOf("hi"));
}

TEST(LzhArchiveReader, SkipsASelfExtractorStubOnlyWhenAsked) {
  Bytes a(5000, 0x90);
  a[0] = 'M';
  a[1] = 'Z';
  const Bytes arc = sample();
  a.insert(a.end(), arc.begin(), arc.end());
  EXPECT_EQ(walk(a).error, Error::DamagedArchive);
  ReaderOptions o;
  o.skipStub = true;
  std::size_t count = 0;
  EXPECT_TRUE(walk(a, &count, o).ok());
  EXPECT_EQ(count, 4u);
}

TEST(LzhArchiveReader, SurvivesEveryByteOfTheHeadersCorrupted) {
  std::vector<Member> ms;
  const Bytes a = sample(&ms);
  for (const Member& m : ms) {
    for (std::uint64_t at = m.headerOffset; at < m.dataOffset; ++at) {
      for (std::uint8_t x : {0x01, 0x80, 0xFF}) {
        Bytes b = a;
        b[at] ^= x;
        std::size_t count = 0;
        const Status s = walk(b, &count);
        if (at == m.headerOffset + 26) {
          // The type byte of the header-CRC ext: the header then reads as one without
          // a CRC (accepted, as some writers omit it), and every member is still there.
          EXPECT_TRUE(s.ok());
          EXPECT_EQ(count, ms.size());
          continue;
        }
        // Every other header byte is covered by the length, the header CRC or the
        // data that follows: a change is damage, never a shorter archive.
        EXPECT_EQ(s.error, Error::DamagedArchive) << "offset " << at << " xor " << int(x) << " read " << count;
      }
    }
  }
}
