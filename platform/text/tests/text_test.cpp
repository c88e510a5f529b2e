#include "platform/text/text.h"

#include <gtest/gtest.h>

namespace harbek::text {
namespace {

TEST(CodePage, EncodeTable) {
  struct Case {
    std::u16string text;
    Bytes bytes;
  } cases[] = {
      {u"", ""},
      {u"abc<>/", "abc<>/"},
      {u"中", "\xD6\xD0"},
      {u"中国人", "\xD6\xD0\xB9\xFA\xC8\xCB"},
      {u"\u20AC", "\x80"},                // euro sign is one byte
      {u"a\u00E9b", "a\xA8\xA6" "b"},     // é is in GBK
      {u"\u0E01", "?"},                   // Thai is not
      {u"x\U0001F600y", "x?y"},           // a character outside the BMP
      {u"\xD800", "?"},                   // a lone surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(toCodePage(c.text), c.bytes) << toUtf8(c.text);
  }
}

TEST(CodePage, DecodeTable) {
  struct Case {
    Bytes bytes;
    std::u16string text;
  } cases[] = {
      {"", u""},
      {"plain ascii", u"plain ascii"},
      {"\xD6\xD0", u"中"},
      {"\x80", u"\u20AC"},
      {"\xD6", u"\uFFFD"},                 // lone lead byte at the end
      {"a\xD6<b", u"a\uFFFD<b"},           // the ASCII byte after a bad lead is kept
      {"\x81\x7F" "x", u"\uFFFD\x7F" "x"},  // 0x7F cannot trail: read again
      {"\x81\xFF" "x", u"\uFFFDx"},          // a bad non-ASCII trail goes with its lead
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fromCodePage(c.bytes), c.text) << toUtf8(c.text);
  }
}

TEST(CodePage, EveryDecodableSequenceRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    Bytes one(1, static_cast<char>(b));
    std::u16string t = fromCodePage(one);
    if (t != u"\uFFFD") {
      EXPECT_EQ(toCodePage(t), one) << b;
    }
  }
  int pairs = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      Bytes two{static_cast<char>(lead), static_cast<char>(trail)};
      std::u16string t = fromCodePage(two);
      if (t.size() == 1 && t[0] != 0xFFFD) {
        ++pairs;
        EXPECT_EQ(toCodePage(t), two) << lead << "," << trail;
      }
    }
  }
  EXPECT_GT(pairs, 23000);  // GBK with its user-defined areas
  EXPECT_NE(fromCodePage("\xFF"), u"\uFFFD");
}

TEST(CodePage, Utf8BytesDecodedAsGbkKeepEveryAsciiByte) {
  std::string utf8 = toUtf8(u"<a href=\"x\">中文标题</a>\r\n<b>ü</b>");
  std::u16string decoded = fromCodePage(utf8);
  std::string ascii;
  for (char16_t c : decoded)
    if (c < 0x80) ascii.push_back(static_cast<char>(c));
  std::string expected;
  for (char c : utf8)
    if (static_cast<unsigned char>(c) < 0x80) expected.push_back(c);
  EXPECT_EQ(ascii, expected);
}

TEST(CodePage, CharCodeTable) {
  struct Case {
    char16_t c;
    int16_t code;
  } cases[] = {
      {u'A', 65}, {u'\0', 0}, {u'\x7F', 127}, {u'中', -10544}, {u'\u20AC', 128},
      {u'\u0E01', 63},  // not in GBK: the code of "?"
  };
  for (const auto& c : cases) {
    EXPECT_EQ(charCode(c.c), c.code) << int(c.c);
    if (c.code != 63) {
      EXPECT_EQ(charOfCode(c.code), c.c) << c.code;
    }
  }
  EXPECT_EQ(charOfCode(0xD6D0), u'中');  // the unsigned form of the same code
  EXPECT_EQ(charOfCode(0x81 * 256 + 0x7F), u'\uFFFD');
  EXPECT_EQ(charOfCode(70000), u'\uFFFD');
}

TEST(Utf8, RoundTripAndRepair) {
  std::u16string t = u"a中\U0001F600é";
  EXPECT_EQ(fromUtf8(toUtf8(t)), t);
  EXPECT_EQ(fromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(fromUtf8("\xE4\xB8"), u"\uFFFD\uFFFD");
  EXPECT_EQ(toUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

TEST(Case, LowerAndUpper) {
  EXPECT_EQ(toLower(u"HTTP://Site/A.HTML"), u"http://site/a.html");
  EXPECT_EQ(toLower(u"ÄÖ中"), u"äö中");
  EXPECT_EQ(toUpper(u"abc中é"), u"ABC中É");
}

TEST(Helpers, ReplaceAllAndTrimSpaces) {
  struct Case {
    std::u16string_view text, what, with, replaced;
  } cases[] = {
      {u"a//b///c", u"//", u"/", u"a/b//c"},  // one pass: a replacement is not searched again
      {u"aaa", u"a", u"aa", u"aaaaaa"},
      {u"abc", u"", u"x", u"abc"},           // an empty what replaces nothing
      {u"中a中", u"中", u"", u"a"},
      {u"", u"a", u"b", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(replaceAll(c.text, c.what, c.with), c.replaced) << toUtf8(c.text);
  // Found in the lower-cased twin, replaced in the original.
  EXPECT_EQ(replaceAllFoundIn(u"x http://a http://b", u"X HTTP://a Http://B", u"http://", u""), u"X a B");

  struct Trim {
    std::u16string_view text, trimmed;
  } trims[] = {{u"  a b  ", u"a b"}, {u"\ta\n", u"\ta\n"}, {u"   ", u""}, {u"", u""}, {u" 中", u"中"}};
  for (const auto& t : trims) EXPECT_EQ(trimSpaces(t.text), t.trimmed) << toUtf8(t.text);
}

TEST(Helpers, HexDigitsAndClamp) {
  struct Hex {
    char32_t c;
    int value;
  } digits[] = {{'0', 0}, {'9', 9}, {'a', 10}, {'F', 15}, {'g', -1}, {'/', -1}, {U'\uFF10', -1}, {0xFFFFFFD6, -1}};
  for (const auto& d : digits) EXPECT_EQ(hexDigit(d.c), d.value) << static_cast<uint32_t>(d.c);
  EXPECT_EQ(clamp32(size_t{1} << 40), INT32_MAX);
  EXPECT_EQ(clamp32(int64_t{-1} << 40), INT32_MIN);
  EXPECT_EQ(clamp32(int64_t{-5}), -5);
  EXPECT_EQ(clamp32(uint32_t{0x80000000}), INT32_MAX);
}

}  // namespace
}  // namespace harbek::text
