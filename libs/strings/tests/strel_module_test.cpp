#include <gtest/gtest.h>

#include "libs/strings/strel_module.h"

namespace harbek::strings {
namespace {

using namespace std::string_literals;

// Byte strings are compared unit by unit: two bytes a unit, the first low.
TEST(StrelModule, U2UTF8OfNumbersAndDecimalTexts) {
  struct Case {
    com::Variant in;
    std::u16string out;
  } cases[] = {
      {int32_t{65}, u"\x0041"},
      {int32_t{20013}, u"\xB8E4\x00AD"},  // E4 B8 AD
      {int32_t{169}, u"\xA9C2"},          // C2 A9
      {int32_t{65536}, u""},
      {int32_t{0}, u"\0"s},
      {int32_t{127}, u"\x007F"},
      {int32_t{128}, u"\x80C2"},
      {int32_t{2047}, u"\xBFDF"},
      {int32_t{2048}, u"\xA0E0\x0080"},
      {int32_t{65535}, u"\xBFEF\x00BF"},
      {int16_t{-1}, u""},
      {u"  20013 ", u"\xB8E4\x00AD"},
      {u"65", u"\x0041"},
      {u"   ", u""},
      {u"", u""},
      {u"abc", u""},
      {com::Variant(), u""},
  };
  for (const auto& c : cases) {
    com::Variant shown;
    com::convert(c.in, com::VarType::Text, shown);
    EXPECT_EQ(U2UTF8(c.in), c.out) << text::toUtf8(*shown.get<std::u16string>());
  }
}

TEST(StrelModule, GB2UTFIsTheUtf8OfEachUnit) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u" 中A ", u"\xB8E4\x41AD"},                          // E4 B8 AD 41
      {u"a b", u"\x2061\x0062"},
      {u"", u""},
      {u"   ", u""},
      {u"\U0001F600", u"\xA0ED\xEDBD\x80B8"},               // ED A0 BD ED B8 80
      {u"\x0E01", u"\xB8E0\x0081"},                         // a character GBK cannot hold
      {u"é€", u"\xA9C3\x82E2\x00AC"},                       // C3 A9 E2 82 AC
  };
  for (const auto& c : cases) EXPECT_EQ(GB2UTF(c.in), c.out) << text::toUtf8(c.in);
  EXPECT_EQ(packByteString("\x01\x02\x03"), u"\x0201\x0003");
}

}  // namespace
}  // namespace harbek::strings
