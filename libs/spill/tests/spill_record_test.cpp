#include "libs/spill/spill_record.h"

#include <random>

#include <gtest/gtest.h>

#include "platform/text/text.h"

namespace harbek::spill {
namespace {

TEST(SpillRecord, TwelveAsciiCharacters) {
  const std::u16string item = u"a.com/x.html";
  std::optional<Bytes> record = encodeRecord(item);
  ASSERT_TRUE(record);
  ASSERT_EQ(record->size(), 20u);
  EXPECT_EQ(record->substr(0, 8), "12      ");
  const Bytes plain = "a.com/x.html";
  const Bytes masked = record->substr(8);
  EXPECT_NE(masked, plain);
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(masked[i] & 0x80, 0) << i;  // only the low 7 bits change
  }
  EXPECT_EQ(ScrambleStr(masked, kListKey), plain);
  // Reseeded for every item: the masks of a prefix are the prefix of the masks.
  EXPECT_EQ(ScrambleStr("a.com", kListKey), masked.substr(0, 5));
  EXPECT_EQ(encodeRecord(item), record);
  EXPECT_NE(ScrambleStr(plain, kListKey + 1), masked);
  EXPECT_EQ(ScrambleStr("", kListKey), "1");
}

// Items with double-byte characters and bytes of 0x80 and above: the length
// field is the byte length of both forms, lead bytes and high single bytes
// stay, and the item comes back exactly.
TEST(SpillRecord, DoubleByteItemsComeBackExactly) {
  const std::u16string items[] = {
      u"中文网站",
      u"http://新闻.com/a中b.htm",
      u"€",
      u"€a€b",
      u"a\uF8F5z",  // the private-use character of the byte 0xFF
      u"x",
      u"",
  };
  for (const auto& item : items) {
    const std::string name = text::toUtf8(item);
    const Bytes plain = text::toCodePage(item);
    std::optional<Bytes> record = encodeRecord(item);
    ASSERT_TRUE(record) << name;
    Bytes field = std::to_string(plain.size());
    field.resize(8, ' ');
    EXPECT_EQ(record->substr(0, 8), field) << name;
    const Bytes masked = record->substr(8);
    ASSERT_EQ(masked.size(), plain.size()) << name;
    for (size_t i = 0; i < plain.size(); ++i) {
      const auto b = static_cast<unsigned char>(plain[i]);
      if (text::isLeadByte(b)) {
        EXPECT_EQ(masked[i], plain[i]) << name << " lead byte " << i;
        ++i;
        EXPECT_EQ((masked[i] ^ plain[i]) & 0x80, 0) << name << " trail byte " << i;
      } else if (b >= 0x80) {
        EXPECT_EQ(masked[i], plain[i]) << name << " high byte " << i;
      }
    }
    size_t pos = 0;
    std::u16string back;
    ASSERT_EQ(readRecord(*record, pos, back), ReadStatus::kOk) << name;
    EXPECT_EQ(back, item) << name;
    EXPECT_EQ(pos, record->size()) << name;
  }
}

TEST(SpillRecord, DamagedData) {
  const Bytes good = *encodeRecord(u"a.com/1.htm");
  const Bytes masked3 = ScrambleStr("abc", kListKey);
  struct Case {
    const char* what;
    Bytes data;
    std::vector<std::u16string> items;  // read before the read stops
    ReadStatus last;
  } cases[] = {
      {"empty", "", {}, ReadStatus::kEnd},
      {"one record", good, {u"a.com/1.htm"}, ReadStatus::kEnd},
      {"spaces around the number", good + "  3     " + masked3, {u"a.com/1.htm", u"abc"}, ReadStatus::kEnd},
      {"leading zeros", "00000003" + masked3, {u"abc"}, ReadStatus::kEnd},
      {"empty item", "0       " + good, {u"", u"a.com/1.htm"}, ReadStatus::kEnd},
      {"truncated length field", good + "12", {u"a.com/1.htm"}, ReadStatus::kCorrupt},
      {"not a number", good + "abc     abc", {u"a.com/1.htm"}, ReadStatus::kCorrupt},
      {"only spaces", good + "        abc", {u"a.com/1.htm"}, ReadStatus::kCorrupt},
      {"negative", good + "-3      abc", {u"a.com/1.htm"}, ReadStatus::kCorrupt},
      {"runs past the end", good + "99999999abc", {u"a.com/1.htm"}, ReadStatus::kCorrupt},
      {"truncated last record", good + good.substr(0, good.size() - 1), {u"a.com/1.htm"}, ReadStatus::kCorrupt},
  };
  for (const auto& c : cases) {
    size_t pos = 0;
    std::u16string item;
    std::vector<std::u16string> got;
    ReadStatus status;
    while ((status = readRecord(c.data, pos, item)) == ReadStatus::kOk) got.push_back(item);
    EXPECT_EQ(got, c.items) << c.what;
    EXPECT_EQ(status, c.last) << c.what;
    size_t whole = 0;
    for (const auto& i : got) whole += 8 + text::toCodePage(i).size();
    EXPECT_EQ(pos, whole) << c.what;  // stopped right after the last whole record
  }
}

// Whatever the bytes, reading moves forward only, stays inside the data and
// ends; masking any bytes twice gives them back.
TEST(SpillRecord, ArbitraryBytes) {
  std::mt19937 rng(20240601);
  const Bytes good = *encodeRecord(u"http://站点.com/页面.htm");
  for (int round = 0; round < 2000; ++round) {
    Bytes data;
    const int parts = static_cast<int>(rng() % 6);
    for (int p = 0; p < parts; ++p) {
      if (rng() % 2) {
        data += good;
      } else {
        const size_t n = rng() % 20;
        for (size_t k = 0; k < n; ++k) data.push_back(static_cast<char>(rng() % 2 ? rng() % 256 : '0' + rng() % 10));
      }
    }
    size_t pos = 0;
    std::u16string item;
    size_t reads = 0;
    while (readRecord(data, pos, item) == ReadStatus::kOk) {
      ASSERT_LE(pos, data.size());
      ASSERT_LE(++reads, data.size() / 8 + 1);
    }
    if (!data.empty()) {
      ASSERT_EQ(ScrambleStr(ScrambleStr(data, kListKey), kListKey), data);
    }
  }
}

}  // namespace
}  // namespace harbek::spill
