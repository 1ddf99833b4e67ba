// Byte-level facts of the LHA format: CRC-16 vectors, exact level-2 header bytes,
// reading the reference headers of levels 0/1/2, time conversions, the -lh5-
// reference stream, and Shift-JIS-safe name handling.
#include <gtest/gtest.h>

#include "lzh/codec.h"
#include "lzh/crc16.h"
#include "lzh/header.h"
#include "lzh_test_util.h"

using namespace pv::lzh;
using lzhtest::Bytes;
using lzhtest::bytesOf;

namespace {

Bytes hex(const char* s) {
  Bytes b;
  unsigned v = 0;
  int digits = 0;
  for (; *s; ++s) {
    const char c = *s;
    if (c == ' ' || c == '\n') continue;
    v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    if (++digits == 2) b.push_back(static_cast<std::uint8_t>(v)), v = 0, digits = 0;
  }
  return b;
}

// The ext headers of a level-2 header as (type, payload) pairs.
std::vector<std::pair<int, Bytes>> extsOf(const Bytes& h) {
  std::vector<std::pair<int, Bytes>> out;
  std::size_t next = h[24] | (h[25] << 8), at = 26;
  while (next) {
    out.push_back({h[at], Bytes(h.begin() + at + 1, h.begin() + at + next - 2)});
    const std::size_t following = h[at + next - 2] | (h[at + next - 1] << 8);
    at += next;
    next = following;
  }
  return out;
}

Member parseOne(const Bytes& archive) {
  MemorySource src(archive);
  Member m;
  EXPECT_TRUE(parseHeader(src, 0, m).ok());
  return m;
}

}  // namespace

TEST(LzhCrc16, ReferenceValuesAndIncrementalUse) {
  EXPECT_EQ(crc16("123456789", 9), 0xBB3D);
  EXPECT_EQ(crc16("", 0), 0x0000);
  EXPECT_EQ(crc16("hello", 5), 0x34D2);
  EXPECT_EQ(crc16("abcabcabcabc", 12), 0x44DD);
  // The eight-byte fast path and the byte tail must agree wherever the data is cut.
  const Bytes data = lzhtest::randomBytes(77, 3);
  const std::uint16_t whole = crc16(data.data(), data.size());
  std::uint16_t bytewise = 0;
  for (std::uint8_t b : data) bytewise = crc16(&b, 1, bytewise);
  EXPECT_EQ(whole, bytewise);
  for (std::size_t cut = 0; cut <= data.size(); ++cut)
    EXPECT_EQ(crc16(data.data() + cut, data.size() - cut, crc16(data.data(), cut)), whole) << cut;
}

TEST(LzhTimestamps, ReferenceValuesAndLimits) {
  EXPECT_EQ(dosTimeToUnix(0x50CF645C), 0x5EE76AF0);  // 2020-06-15 12:34:56
  EXPECT_EQ(unixToDosTime(0x5EE76AF0), 0x50CF645Cu);
  EXPECT_EQ(unixToDosTime(0x5EE76AF1), 0x50CF645Cu);  // odd seconds round down
  EXPECT_EQ(unixToFileTime(0x4B3D8150), 0x01CA8A9F45440800ull);
  EXPECT_EQ(fileTimeToUnix(0x01CA8A9F45440800ull), 0x4B3D8150);
  EXPECT_EQ(fileTimeToUnix(0x01CA8A9F45440800ull + 9999999), 0x4B3D8150);  // fractions drop
  EXPECT_EQ(unixToDosTime(0), 0x00210000u);                                  // clamped to 1980-01-01
  EXPECT_EQ(unixToFileTime(-20000000000LL), 0u);                             // before 1601
  // Damaged DOS fields (month 0, day 0) still give a time instead of failing.
  EXPECT_EQ(dosTimeToUnix(0x00000000), dosTimeToUnix(0x00210000));
}

TEST(LzhLevel2Writer, MatchesReferenceBytes) {
  HeaderFields f;
  f.method = Method::Lh0;
  f.packedSize = f.originalSize = 5;
  f.crc = 0x34D2;
  f.path = "a.txt";
  f.unixTime = 0x5EE76AF0;
  Bytes h;
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  EXPECT_EQ(h, hex("27 00 2D 6C 68 30 2D 05 00 00 00 05 00 00 00 F0 6A E7 5E 20 02 D2 34 4D 05 00"
                   "00 6D 6B 08 00 01 61 2E 74 78 74 00 00"));

  // Folders go to ext 0x02, each followed by 0xFF; T = 26 + 5 + 9 + 14.
  f.path = "sub\\deeper\\in.txt";
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  EXPECT_EQ(h.size(), 54u);
  EXPECT_EQ(h[0] | (h[1] << 8), 54);
  const auto exts = extsOf(h);
  ASSERT_EQ(exts.size(), 3u);
  EXPECT_EQ(exts[0].first, 0x00);
  EXPECT_EQ(exts[1], std::make_pair(0x01, bytesOf("in.txt")));
  EXPECT_EQ(exts[2], std::make_pair(0x02, hex("73 75 62 FF 64 65 65 70 65 72 FF")));
}

TEST(LzhLevel2Writer, PadsWhenTheLengthLowByteWouldBeZero) {
  HeaderFields f;
  f.path = std::string(222, 'n');  // 26 + 5 + (3 + 222) = 256
  Bytes h;
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  ASSERT_EQ(h.size(), 257u);
  EXPECT_EQ(h[0], 0x01);
  EXPECT_EQ(h[1], 0x01);
  EXPECT_EQ(h.back(), 0x00);
  h.push_back(0);  // end mark
  const Member m = parseOne(h);
  EXPECT_EQ(m.headerSize, 257u);
  EXPECT_TRUE(m.hasHeaderCrc);  // the CRC covers the pad byte
  f.path = std::string(221, 'n');
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  EXPECT_EQ(h.size(), 255u);
}

TEST(LzhLevel2Writer, ShiftJisNamesSplitByWholeCharacters) {
  HeaderFields f;
  f.path = "表\\ソ.txt";  // 95 5C, then a real separator, then 83 5C
  Bytes h;
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  auto exts = extsOf(h);
  EXPECT_EQ(exts[1], std::make_pair(0x01, hex("83 5C 2E 74 78 74")));
  EXPECT_EQ(exts[2], std::make_pair(0x02, hex("95 5C FF")));

  f.path = "表";  // no folder at all: the 5C is part of the character
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  exts = extsOf(h);
  ASSERT_EQ(exts.size(), 2u);
  EXPECT_EQ(exts[1], std::make_pair(0x01, hex("95 5C")));

  EXPECT_EQ(splitPath("表\\ソ.txt"), (std::vector<std::string>{"表", "ソ.txt"}));
  EXPECT_EQ(splitPath("a/b"), (std::vector<std::string>{"a", "b"}));
}

TEST(LzhLevel2Writer, FolderAttributesAndWindowsTimes) {
  HeaderFields f;
  f.method = Method::Lhd;
  f.path = "sub\\deeper\\";
  f.attributes = 0;
  Bytes h;
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  EXPECT_EQ(std::string(h.begin() + 2, h.begin() + 7), "-lhd-");
  auto exts = extsOf(h);
  ASSERT_EQ(exts.size(), 4u);
  EXPECT_EQ(exts[1], std::make_pair(0x01, Bytes()));
  EXPECT_EQ(exts[2], std::make_pair(0x02, hex("73 75 62 FF 64 65 65 70 65 72 FF")));
  EXPECT_EQ(exts[3], std::make_pair(0x40, hex("10 00")));

  f.method = Method::Lh5;
  f.path = "r.txt";
  f.attributes = kAttrReadOnly | kAttrHidden | kAttrArchive | 0x80;  // 0x80 is no DOS bit
  f.hasWinTimes = true;
  f.winTimes = {0x0102030405060708ull, 0x1112131415161718ull, 0x2122232425262728ull};
  ASSERT_TRUE(buildLevel2Header(f, h).ok());
  exts = extsOf(h);
  ASSERT_EQ(exts.size(), 4u);
  EXPECT_EQ(exts[2], std::make_pair(0x40, hex("23 00")));
  EXPECT_EQ(exts[3], std::make_pair(0x41, hex("0807060504030201 1817161514131211 2827262524232221")));
  h.push_back(0);
  const Member m = parseOne(h);
  EXPECT_EQ(m.attributes, 0x23);
  EXPECT_TRUE(m.hasWinTimes);
  EXPECT_EQ(m.winTimes.lastWrite, 0x1112131415161718ull);
}

TEST(LzhLevel2Writer, RefusesNamesThatCannotBeStored) {
  Bytes h;
  for (const char* bad : {"", "\\a", "a\\\\b", ".\\a", "a\\..\\b", "a\xFF"}) {
    HeaderFields f;
    f.path = bad;
    EXPECT_EQ(buildLevel2Header(f, h).error, Error::BadName) << bad;
  }
  HeaderFields f;
  f.path = std::string(70000, 'x');
  EXPECT_EQ(buildLevel2Header(f, h).error, Error::TooLarge);
}

TEST(LzhHeaderReader, ReadsReferenceHeadersOfEveryLevel) {
  const Bytes l2 = hex("27 00 2D 6C 68 30 2D 05 00 00 00 05 00 00 00 F0 6A E7 5E 20 02 D2 34 00 05 00"
                       "00 98 0E 08 00 01 61 2E 74 78 74 00 00 68 65 6C 6C 6F 00");
  const Bytes l1 = hex("1E 6C 2D 6C 68 30 2D 0A 00 00 00 05 00 00 00 5C 64 CF 50 20 01 05 61 2E 74 78 74 D2 34 00 05 00"
                       "00 81 CC 00 00 68 65 6C 6C 6F");
  const Bytes l0 = hex("1B 61 2D 6C 68 30 2D 05 00 00 00 05 00 00 00 5C 64 CF 50 20 00 05 61 2E 74 78 74 D2 34"
                       "68 65 6C 6C 6F");
  int level = 2;
  for (const Bytes* a : {&l2, &l1, &l0}) {
    Status s;
    const auto ms = lzhtest::members(*a, &s);
    ASSERT_TRUE(s.ok()) << level << " " << s.detail;
    ASSERT_EQ(ms.size(), 1u);
    const Member& m = ms[0];
    EXPECT_EQ(m.level, level);
    EXPECT_EQ(m.method, Method::Lh0);
    EXPECT_EQ(m.packedSize, 5u);
    EXPECT_EQ(m.originalSize, 5u);
    EXPECT_EQ(m.crc, 0x34D2);
    EXPECT_EQ(m.path, "a.txt");
    EXPECT_EQ(m.unixTime, 0x5EE76AF0);  // the DOS times read as UTC give the same instant
    EXPECT_EQ(m.timeIsDos, level != 2);
    EXPECT_EQ(m.attributes, kAttrArchive);
    EXPECT_EQ(m.hasHeaderCrc, level != 0);
    EXPECT_EQ(m.dataOffset, m.headerSize);
    EXPECT_EQ(lzhtest::extract(*a, m), bytesOf("hello"));
    --level;
  }
}

TEST(LzhHeaderReader, KeepsUnixAndUnknownExtensions) {
  // Level 2 with 0x50 (mode), 0x51 (gid, uid), 0x54 (time), 0x99 (unknown), 0x42 (64-bit sizes).
  Bytes h = hex("00 00 2D 6C 68 30 2D 09 00 00 00 09 00 00 00 00 00 00 00 20 02 00 00 55 05 00"
                "00 00 00 05 00"
                "50 A4 81 07 00"
                "51 E8 03 F4 01 07 00"
                "54 F0 6A E7 5E 05 00"
                "99 AA BB 13 00"
                "42 02 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00 00 00");
  h[0] = static_cast<std::uint8_t>(h.size());
  std::uint16_t c = crc16(h.data(), h.size());
  h[27] = static_cast<std::uint8_t>(c);
  h[28] = static_cast<std::uint8_t>(c >> 8);
  h.push_back('x');
  h.push_back('y');
  const Member m = parseOne(h);
  EXPECT_TRUE(m.hasUnixMode);
  EXPECT_EQ(m.unixMode, 0x81A4);
  EXPECT_EQ(m.unixGid, 1000);
  EXPECT_EQ(m.unixUid, 500);
  EXPECT_EQ(m.unixTime, 0x5EE76AF0);
  EXPECT_EQ(m.packedSize, 2u);  // 0x42 wins over the 32-bit fields
  EXPECT_EQ(m.originalSize, 2u);
  ASSERT_EQ(m.extHeaders.size(), 6u);
  EXPECT_EQ(m.extHeaders[4].type, 0x99);
  EXPECT_EQ(m.extHeaders[4].data, hex("AA BB"));
}

TEST(LzhCodecStream, MatchesReferenceStreamForEachWindow) {
  const Bytes text = bytesOf("abcabcabcabc");
  const Bytes packed = compressLh5(text.data(), text.size());
  EXPECT_EQ(packed, hex("00 04 28 05 30 71 37 91 D0 21 B0"));
  Bytes out;
  ASSERT_TRUE(decompress(Method::Lh5, packed.data(), packed.size(), text.size(), out).ok());
  EXPECT_EQ(out, text);

  // The same codes for -lh6-/-lh7-: only the P-tree fields grow to 5 bits.
  std::string bits = "0000000000000100" "00101" "000000001" "01" "001"
                     "100000111" "0001001101" "111" "0010001110" "1"
                     "00000" "00010" "00" "01" "10" "11" "0";
  while (bits.size() % 8) bits += '0';
  Bytes wide;
  for (std::size_t i = 0; i < bits.size(); i += 8) wide.push_back(static_cast<std::uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
  for (Method m : {Method::Lh6, Method::Lh7}) {
    ASSERT_TRUE(decompress(m, wide.data(), wide.size(), text.size(), out).ok());
    EXPECT_EQ(out, text);
  }
}

TEST(LzhNames, ComparisonKeyFoldsAsciiOnlyByWholeCharacters) {
  EXPECT_EQ(nameKey("Dir\\README.TXT"), nameKey("dir/readme.txt"));
  EXPECT_EQ(nameKey("dir\\"), "dir");
  EXPECT_EQ(nameKey("表"), "表");  // 95 5C is not a trailing separator
  EXPECT_EQ(nameKey("ソ\\"), "ソ");
  EXPECT_NE(nameKey("\x83\x41"), nameKey("\x83\x61"));  // second bytes are not letters
  EXPECT_EQ(nameKey("ＡＢＣ"), "ＡＢＣ");                  // full-width letters keep their case
}
