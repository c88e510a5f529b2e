#include <gtest/gtest.h>

#include "libs/charset/change_interface.h"
#include "libs/charset/code_pages.h"
#include "platform/component/runtime.h"

namespace harbek::charset {
namespace {

using namespace std::string_literals;
using com::kOk;

std::string hex(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (char c : bytes) {
    snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

class Change : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    ASSERT_EQ(com::create(kChangeClsid, change_, &message), kOk) << message;
  }
  com::ComPtr<IChange> change_;
};

TEST_F(Change, EachCodePageBothWays) {
  com::ComPtr<IChange> byName;
  ASSERT_EQ(com::createByName("glyphin.change", byName), kOk);
  const auto& info = byName->typeInfo();
  ASSERT_EQ(info.members.size(), 2u);
  EXPECT_EQ(info.className + info.members[0].name + info.members[1].name, u"changeUniToMBMBToUni");
  struct Case {
    int32_t codePage;
    std::u16string text;
    std::string bytes;
    bool roundTrips = true;
  } cases[] = {
      {936, u"中文A", "D6 D0 CE C4 41"},       {0, u"中", "D6 D0"},  // the system's code page
      {54936, u"\U0001F600中", "94 39 FC 36 D6 D0"}, {950, u"中文", "A4 A4 A4 E5"},
      {65001, u"中文", "E4 B8 AD E6 96 87"},   // three bytes a character
      {65001, u"\U0001F600a", "F0 9F 98 80 61"}, {65001, u"\xD800", "EF BF BD", false},
      {1252, u"€é", "80 E9"},                  {28591, u"é€", "E9 3F", false},
      {20127, u"Aé", "41 3F", false},          {936, u"\x0E01", "3F", false},
      {932, u"日本", "93 FA 96 7B"},           {65001, u"", ""},
  };
  for (const auto& c : cases) {
    com::Bytes bytes = "unset";
    ASSERT_EQ(change_->UniToMB(c.text, c.codePage, &bytes), kOk) << c.codePage << " " << c.bytes;
    EXPECT_EQ(hex(bytes), c.bytes) << c.codePage;
    std::u16string back = u"unset";
    ASSERT_EQ(change_->MBToUni(bytes, c.codePage, &back), kOk) << c.codePage;
    if (c.roundTrips) {
      EXPECT_EQ(back, c.text) << c.codePage << " " << c.bytes;
    }
  }
}

TEST_F(Change, BadBytesReadAsReplacementAndUnknownCodePagesFail) {
  struct Case {
    int32_t codePage;
    std::string bytes;
    std::u16string text;  // empty with a code page this table does not know: the call fails
  } cases[] = {
      {65001, "a\xFF" "b", u"a\xFFFD" "b"}, {65001, "\xE4\xB8", u"\xFFFD"}, {20127, "\x80", u"\xFFFD"},
      {54936, "\0"s, u"\0"s},               {12345, "a", u""},              {1200, "a", u""},
      {-1, "a", u""},
  };
  for (const auto& c : cases) {
    std::u16string text;
    bool known = converterName(c.codePage) != nullptr;
    EXPECT_EQ(change_->MBToUni(c.bytes, c.codePage, &text), known ? kOk : com::kInvalidArgument) << c.codePage;
    EXPECT_EQ(text, c.text) << c.codePage << " " << hex(c.bytes);
    com::Bytes bytes;
    EXPECT_EQ(change_->UniToMB(u"", c.codePage, &bytes), known ? kOk : com::kInvalidArgument) << c.codePage;
  }
}

TEST(CodePages, EveryKnownCodePageKeepsAsciiAndLongTextFits) {
  int known = 0;
  for (int32_t cp = 0; cp < 70000; ++cp) {
    if (!converterName(cp)) continue;
    ++known;
    text::Bytes bytes;
    std::u16string back;
    ASSERT_EQ(UniToMB(u"Az09", cp, &bytes), kOk) << cp;
    ASSERT_EQ(MBToUni(bytes, cp, &back), kOk) << cp;
    EXPECT_EQ(bytes, "Az09") << cp;
    EXPECT_EQ(back, u"Az09") << cp;
  }
  EXPECT_GE(known, 7);
  const std::u16string text(100000, u'中');
  text::Bytes bytes;
  std::u16string back;
  ASSERT_EQ(UniToMB(text, 65001, &bytes), kOk);
  ASSERT_EQ(MBToUni(bytes, 65001, &back), kOk);
  EXPECT_EQ(bytes.size(), 300000u);
  EXPECT_TRUE(back == text);
}

// A typed caller that passes no place for the result gets kPointer.
TEST_F(Change, NoResultPointerIsAnError) {
  EXPECT_EQ(change_->UniToMB(u"中", 936, nullptr), com::kPointer);
  EXPECT_EQ(change_->MBToUni("\xD6\xD0", 936, nullptr), com::kPointer);
  EXPECT_EQ(change_->UniToMB(u"a", 4242, nullptr), com::kPointer);  // before the code page is looked at
}

}  // namespace
}  // namespace harbek::charset
