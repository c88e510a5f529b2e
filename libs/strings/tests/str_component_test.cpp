#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libs/strings/str_interface.h"
#include "platform/component/runtime.h"

namespace harbek::strings {
namespace {

using namespace std::string_literals;
using com::ComPtr;
using com::HResult;
using com::kOk;

std::string u8(std::u16string_view s) { return text::toUtf8(s); }

class StrComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    ASSERT_EQ(com::createByName("strel.str", str_, &message), kOk) << message;
  }
  ComPtr<IStr> str_;
};

TEST_F(StrComponent, CreatableByClassIdentifierWithTheOperationsInOrder) {
  ComPtr<IStr> byId;
  std::string message;
  ASSERT_EQ(com::create(kStrClsid, byId, &message), kOk) << message;
  const com::TypeInfo& info = byId->typeInfo();
  EXPECT_EQ(info.className, u"str");
  const char16_t* names[] = {u"InStrL",       u"iSum",      u"StrToDate", u"sReplace",
                             u"ini",          u"selecTini", u"changeHtml", u"noSpaceINtag",
                             u"URLEncode",    u"URLDecode", u"noBiaoDian"};
  ASSERT_EQ(info.members.size(), std::size(names));
  for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(info.members[i].name, names[i]);
  EXPECT_TRUE(info.members[3].params[0].byRef);
  EXPECT_EQ(info.members[3].params[0].name, u"SearchLine");
}

TEST_F(StrComponent, SearchOperations) {
  struct Case {
    std::u16string text, what;
    HResult code;
    int16_t last, count;
  } cases[] = {
      {u"abcabc", u"BC", kOk, 5, 2},
      {u"aaaa", u"aa", kOk, 3, 3},
      {u"abcabc", u"", kOk, 0, 0},
      {std::u16string(40000, u'a'), u"A", com::kOverflow, 0, 0},
  };
  for (const auto& c : cases) {
    int16_t last = -1, count = -1;
    EXPECT_EQ(str_->InStrL(c.text, c.what, &last), c.code) << u8(c.what);
    EXPECT_EQ(str_->iSum(c.text, c.what, &count), c.code) << u8(c.what);
    if (c.code == kOk) {
      EXPECT_EQ(last, c.last);
      EXPECT_EQ(count, c.count);
    }
  }
}

TEST_F(StrComponent, StrToDateGivesTheZeroDateForOtherTexts) {
  struct Case {
    std::u16string in;
    com::Date out;
  } cases[] = {
      {u"20080512", com::dateFromYmd(2008, 5, 12)},
      {u"200805", com::dateFromYmd(2008, 5, 1)},
      {u"2008-5-12", com::Date{0}},
      {u"20081340", com::Date{0}},
  };
  for (const auto& c : cases) {
    com::Date d{-1};
    EXPECT_EQ(str_->StrToDate(c.in, &d), kOk);
    EXPECT_EQ(d, c.out) << u8(c.in);
  }
}

TEST_F(StrComponent, SReplaceWritesTheCallersLineToo) {
  struct Case {
    std::u16string line, f, r;
    HResult code;
    std::u16string result;
  } cases[] = {
      {u"a\\b\\c", u"\\", u"/", kOk, u"a/b/c"},
      {u"xaby", u"ab", u"Z", kOk, u"xZby"},
      {u"", u"x", u"y", kOk, u""},
      {u"a\\b", u"\\", u"\\\\", com::kInvalidArgument, u"a\\b"},
      {u"ab", u"", u"x", com::kInvalidArgument, u"ab"},
  };
  for (const auto& c : cases) {
    std::u16string line = c.line, result;
    EXPECT_EQ(str_->sReplace(line, c.f, c.r, &result), c.code) << u8(c.line);
    EXPECT_EQ(line, c.result) << u8(c.line);
    if (c.code == kOk) {
      EXPECT_EQ(result, c.result);
    }
  }

  // Through the dispatch interface the by-reference argument comes back.
  ComPtr<com::IDispatch> late;
  ASSERT_EQ(str_.as(late), kOk);
  com::DispId id = 0;
  ASSERT_EQ(late->getIdOfName(u"SREPLACE", &id), kOk);
  EXPECT_EQ(id, 4);
  std::vector<com::Variant> args{u"1.2.3", u".", u"--"};
  com::Variant result;
  ASSERT_EQ(late->invoke(id, com::InvokeKind::Method, args, &result), kOk);
  EXPECT_EQ(result, com::Variant(u"1--2--3"));
  EXPECT_EQ(args[0], com::Variant(u"1--2--3"));
}

TEST_F(StrComponent, TextOperations) {
  using Op = HResult (IStr::*)(const std::u16string&, std::u16string*);
  struct Case {
    Op op;
    std::u16string in, out;
  } cases[] = {
      {&IStr::URLDecode, u"%", u"\0"s},
      {&IStr::URLDecode, u"abc", u"abc"},
      {&IStr::URLDecode, u"%D6%D0", u"中"},
      {&IStr::URLDecode, u"a%20b", u"a b"},
      {&IStr::URLEncode, u"a b1.htm", u"a%20b%31%2Ehtm"},
      {&IStr::URLEncode, u"中\t", u"%D6%D0%9"},
      {&IStr::URLEncode, u"", u""},
      {&IStr::noBiaoDian, u"a，b. c", u"a|b||c"},
      {&IStr::noSpaceINtag, u"<a href=\"x.html\">", u"<a href=\"x.html\">"},
      {&IStr::noSpaceINtag, u"<a\0 b>"s, u"<a b>"},
      {&IStr::changeHtml, u"<P CLASS=X>One<BR>Two", u"<p class=\"x\">one<br>two</p>"},
      {&IStr::ini, u"<A HREF=\"A.html\">A&nbsp;B</A>\r\n", u"<a href=\"a.html\">ab</a>"},
      {&IStr::selecTini, u"A&nbsp;B\r\nabout:blank#x", u"ab#x"},
      {&IStr::ini, u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string out = u"unset";
    EXPECT_EQ(((*str_).*c.op)(c.in, &out), kOk) << u8(c.in);
    EXPECT_EQ(out, c.out) << u8(c.in);
  }
}

}  // namespace
}  // namespace harbek::strings
