#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libs/charset/change_interface.h"
#include "libs/charset/code_pages.h"
#include "platform/component/runtime.h"

namespace harbek::charset {
namespace {

using namespace std::string_literals;
using com::ComPtr;
using com::HResult;
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
  ComPtr<IChange> change_;
};

TEST_F(Change, CreatableByNameWithItsTwoOperations) {
  ComPtr<IChange> byName;
  std::string message;
  ASSERT_EQ(com::createByName("glyphin.change", byName, &message), kOk) << message;
  const auto& info = byName->typeInfo();
  EXPECT_EQ(info.className, u"change");
  ASSERT_EQ(info.members.size(), 2u);
  EXPECT_EQ(info.members[0].name, u"UniToMB");
  EXPECT_EQ(info.members[1].name, u"MBToUni");
  EXPECT_EQ(info.members[1].params[1].name, u"lCP");
}

TEST_F(Change, EachCodePageBothWays) {
  struct Case {
    int32_t codePage;
    std::u16string text;
    std::string bytes;
    bool roundTrips;
  } cases[] = {
      {936, u"中文A", "D6 D0 CE C4 41", true},
      {0, u"中", "D6 D0", true},                        // the system's code page
      {54936, u"\U0001F600中文", "94 39 FC 36 D6 D0 CE C4", true},
      {950, u"中文", "A4 A4 A4 E5", true},
      {65001, u"中文", "E4 B8 AD E6 96 87", true},       // three bytes a character
      {65001, u"\U0001F600a", "F0 9F 98 80 61", true},
      {65001, u"\xD800", "EF BF BD", false},           // a lone surrogate
      {1252, u"€é", "80 E9", true},
      {28591, u"é€", "E9 3F", false},                  // no euro sign in ISO-8859-1
      {20127, u"Aé", "41 3F", false},
      {936, u"\x0E01", "3F", false},
      {932, u"日本", "93 FA 96 7B", true},
      {65001, u"", "", true},
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

TEST_F(Change, BytesThatDecodeToNothingAndUnknownCodePages) {
  struct Case {
    int32_t codePage;
    std::string bytes;
    HResult code;
    std::u16string text;
  } cases[] = {
      {936, "\xD6\xD0", kOk, u"中"},
      {65001, "a\xFF" "b", kOk, u"a\xFFFD" "b"},
      {65001, "\xE4\xB8", kOk, u"\xFFFD"},
      {20127, "\x80", kOk, u"\xFFFD"},
      {950, "", kOk, u""},
      {54936, "\0"s, kOk, u"\0"s},
      {12345, "a", com::kInvalidArgument, u""},
      {1200, "a", com::kInvalidArgument, u""},
      {-1, "a", com::kInvalidArgument, u""},
  };
  for (const auto& c : cases) {
    std::u16string text;
    EXPECT_EQ(change_->MBToUni(c.bytes, c.codePage, &text), c.code) << c.codePage << " " << hex(c.bytes);
    if (c.code == kOk) {
      EXPECT_EQ(text, c.text) << c.codePage << " " << hex(c.bytes);
    }
  }
  com::Bytes bytes;
  EXPECT_EQ(change_->UniToMB(u"a", 12345, &bytes), com::kInvalidArgument);
  EXPECT_EQ(change_->UniToMB(u"", 12345, &bytes), com::kInvalidArgument);
}

TEST(CodePages, EveryKnownCodePageOpensAndKeepsAscii) {
  int known = 0;
  for (int32_t cp = 0; cp < 70000; ++cp) {
    if (!converterName(cp)) continue;
    ++known;
    text::Bytes bytes;
    ASSERT_EQ(UniToMB(u"Az09", cp, &bytes), kOk) << cp;
    EXPECT_EQ(bytes, "Az09") << cp;
    std::u16string back;
    ASSERT_EQ(MBToUni(bytes, cp, &back), kOk) << cp;
    EXPECT_EQ(back, u"Az09") << cp;
  }
  EXPECT_GE(known, 7);
}

TEST(CodePages, LongChineseTextFitsInUtf8) {
  std::u16string text(100000, u'中');
  text::Bytes bytes;
  ASSERT_EQ(UniToMB(text, 65001, &bytes), kOk);
  EXPECT_EQ(bytes.size(), 300000u);
  std::u16string back;
  ASSERT_EQ(MBToUni(bytes, 65001, &back), kOk);
  EXPECT_EQ(back, text);
}

}  // namespace
}  // namespace harbek::charset
