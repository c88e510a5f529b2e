#include <gtest/gtest.h>

#include "libs/strings/strel_module.h"

namespace harbek::strings {
namespace {

using namespace std::string_literals;

// Byte strings compare unit by unit: two bytes a unit, the first in the low half.
TEST(StrelModule, U2UTF8AndGB2UTF) {
  struct Case {
    com::Variant in;
    std::u16string out;
  } codes[] = {
      {int32_t{65}, u"\x0041"},  {int32_t{20013}, u"\xB8E4\x00AD"}, {int32_t{169}, u"\xA9C2"},
      {int32_t{65536}, u""},     {int32_t{0}, u"\0"s},              {int32_t{128}, u"\x80C2"},
      {int32_t{2047}, u"\xBFDF"}, {int32_t{2048}, u"\xA0E0\x0080"}, {int32_t{65535}, u"\xBFEF\x00BF"},
      {int16_t{-1}, u""},        {u"  20013 ", u"\xB8E4\x00AD"},    {u"   ", u""},
      {u"abc", u""},             {com::Variant(), u""},
  };
  for (const auto& c : codes) EXPECT_EQ(U2UTF8(c.in), c.out) << static_cast<int>(c.in.type());
  struct TextCase {
    std::u16string in, out;
  } texts[] = {
      {u" 中A ", u"\xB8E4\x41AD"},                 // E4 B8 AD 41: outer spaces go
      {u"a b", u"\x2061\x0062"},                   {u"   ", u""},
      {u"\U0001F600", u"\xA0ED\xEDBD\x80B8"},      // ED A0 BD ED B8 80: each unit on its own
      {u"\x0E01é€", u"\xB8E0\xC381\xE2A9\xAC82"},  // a character GBK lacks keeps its code
  };
  for (const auto& c : texts) EXPECT_EQ(GB2UTF(c.in), c.out) << text::toUtf8(c.in);
}

}  // namespace
}  // namespace harbek::strings
