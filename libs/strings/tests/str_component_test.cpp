#include <time.h>

#include <functional>
#include <gtest/gtest.h>

#include "libs/strings/str_interface.h"
#include "platform/component/runtime.h"

namespace harbek::strings {
namespace {

using namespace std::string_literals;
using com::HResult;
using com::kOk;

std::string u8(std::u16string_view s) { return text::toUtf8(s); }

class StrComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    ASSERT_EQ(com::createByName("strel.str", str_, &message), kOk) << message;
  }
  com::ComPtr<IStr> str_;
};

TEST_F(StrComponent, CreatableByClassIdentifierWithTheOperationsInOrder) {
  com::ComPtr<IStr> byId;
  ASSERT_EQ(com::create(kStrClsid, byId), kOk);
  const com::TypeInfo& info = byId->typeInfo();
  EXPECT_EQ(info.className, u"str");
  const char16_t* names[] = {u"InStrL",     u"iSum",         u"StrToDate", u"sReplace",  u"ini",       u"selecTini",
                             u"changeHtml", u"noSpaceINtag", u"URLEncode", u"URLDecode", u"noBiaoDian"};
  ASSERT_EQ(info.members.size(), std::size(names));
  for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(info.members[i].name, names[i]);
  EXPECT_TRUE(info.members[3].params[0].byRef);
}

TEST_F(StrComponent, SearchPositionsAreSixteenBitAndIgnoreCase) {
  const std::u16string pad(32766, u'x');
  struct Case {
    std::u16string text, what;
    HResult code;
    int16_t last = 0, count = 0;
  } cases[] = {
      {u"abcabc", u"BC", kOk, 5, 2},          {u"aaaa", u"aa", kOk, 3, 3},
      {u"abcabc", u"", kOk, 0, 0},            {u"ÄBCäbc", u"äb", kOk, 4, 2},
      {u"abc", u"abcd", kOk, 0, 0},           {pad + u"ab", u"AB", kOk, 32767, 1},  // the last that fits
      {pad + u"xab", u"ab", com::kOverflow},  {u"ab" + pad + u"xab", u"ab", com::kOverflow},
      {pad + u"xab", u"zz", kOk, 0, 0},
  };
  for (const auto& c : cases) {
    int16_t last = -1, count = -1;
    EXPECT_EQ(str_->InStrL(c.text, c.what, &last), c.code) << u8(c.what);
    EXPECT_EQ(str_->iSum(c.text, c.what, &count), c.code) << u8(c.what);
    if (c.code == kOk) {
      EXPECT_EQ(last, c.last) << u8(c.what);
      EXPECT_EQ(count, c.count) << u8(c.what);
    }
  }
}

TEST_F(StrComponent, StrToDateTakesOnlyRealDatesOfThreeLengths) {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  struct Case {
    std::u16string in;
    int y = 0, m = 0, d = 0;  // 0: the zero date
  } cases[] = {
      {u"20080512", 2008, 5, 12}, {u"200805", 2008, 5, 1},  {u"0512", local.tm_year + 1900, 5, 12},
      {u"20080229", 2008, 2, 29}, {u"20070229"},            {u"20081301"},
      {u"1232"},                  {u"99991231", 9999, 12, 31}, {u"00990101"},
      {u"2008-5-12"},             {u"2008-5-1"},            {u"１２３４"},
  };
  for (const auto& c : cases) {
    com::Date d{-1};
    EXPECT_EQ(str_->StrToDate(c.in, &d), kOk);
    EXPECT_EQ(d, c.y ? com::dateFromYmd(c.y, c.m, c.d) : com::Date{0}) << u8(c.in);
  }
}

TEST_F(StrComponent, SReplaceEndsOrFailsAndWritesTheCallersLine) {
  struct Case {
    std::u16string line, f, r;
    HResult code;
    std::u16string result;  // the line after the call
  } cases[] = {
      {u"a\\b\\c", u"\\", u"/", kOk, u"a/b/c"},
      {u"xaby", u"ab", u"Z", kOk, u"xZby"},
      {u"aaab", u"ab", u"b", kOk, u"bbbb"},  // each step reaches back one place
      {u"abAB", u"A", u"a", kOk, u"abaB"},
      {u"", u"a", u"aa", kOk, u""},
      {u"abc", u"", u"", kOk, u""},  // "" is found at 1 until the text is gone
      {u"abc", u"x", u"xx", kOk, u"abc"},
      {u"abc", u"", u"z", com::kInvalidArgument, u"abc"},
      {u"a\\b", u"\\", u"\\\\", com::kInvalidArgument, u"a\\b"},
      {u"ab", u"ab", u"a", com::kInvalidArgument, u"ab"},   // "a" + "b" makes "ab" again
      {u"ab", u"ab", u"ba", com::kInvalidArgument, u"ab"},  // "ba" + "b" holds "ab"
  };
  for (const auto& c : cases) {
    std::u16string line = c.line, result = u"unset";
    EXPECT_EQ(str_->sReplace(line, c.f, c.r, &result), c.code) << u8(c.line) << " " << u8(c.f);
    EXPECT_EQ(line, c.result) << u8(c.line);
    if (c.code == kOk) {
      EXPECT_EQ(result, c.result);
    }
  }
  com::ComPtr<com::IDispatch> late;
  ASSERT_EQ(str_.as(late), kOk);
  std::vector<com::Variant> args{u"1.2.3", u".", u"--"};
  com::Variant result;
  ASSERT_EQ(late->invoke(4, com::InvokeKind::kMethod, args, &result), kOk);
  EXPECT_EQ(result, com::Variant(u"1--2--3"));
  EXPECT_EQ(args[0], com::Variant(u"1--2--3"));
}

TEST_F(StrComponent, TextOperations) {
  using Op = HResult (IStr::*)(const std::u16string&, std::u16string*);
  const Op dec = &IStr::URLDecode, enc = &IStr::URLEncode, bd = &IStr::noBiaoDian, tag = &IStr::noSpaceINtag,
           html = &IStr::changeHtml, ini = &IStr::ini, sel = &IStr::selecTini;
  struct Case {
    Op op;
    std::u16string in, out;
  } cases[] = {
      {dec, u"%", u"\0"s},          {dec, u"abc", u"abc"},     {dec, u"%D6%D0", u"中"},
      {dec, u"a%20b", u"a b"},      {dec, u"%d6-D0", u"中"},   {dec, u"a+b%2B", u"a+b+"},
      {dec, u"%41%4", u"A\x04"},    {dec, u"%zzA", u"\0A"s},   {dec, u"%D6", u"\xFFFD"},
      {enc, u"a b1.htm", u"a%20b%31%2Ehtm"},                   {enc, u"中\t", u"%D6%D0%9"},
      {bd, u"a，b. c", u"a|b||c"},  {bd, u"，。；‘《》：’“”,.: }{()", std::u16string(18, u'|')},
      {bd, u"a\r\nb\rc\n\r\r\n", u"a|b\rc\n\r|"},
      {tag, u"<a href=\"x.html\">", u"<a href=\"x.html\">"},   {tag, u"\0<a\0 b>\0<\0"s, u"\0<a b>\0<"s},
      {html, u"<P CLASS=X>One<BR>Two", u"<p class=\"x\">one<br>two</p>"},
      {html, u"<b><i>x</b>y</i>", u"<b><i>x</i></b><i>y</i>"},
      {html, u"a&nbsp;b &lt;&amp;&gt; &quot;", u"a&nbsp;b &lt;&amp;&gt; \""},
      {html, u"<img src=a.gif ALT='x\"y'><!-- C -->", u"<img src=\"a.gif\" alt=\"x&quot;y\"><!-- c -->"},
      {html, u"<script>if (a<b && c) x();</script>", u"<script>if (a<b && c) x();</script>"},
      {html, u"<html><head><title>T</title></head><body>中</body></html>", u"<title>t</title>中"},
      {html, u"<table><td>1</table>", u"<table><tbody><tr><td>1</td></tr></tbody></table>"},
      {html, u"<foo-bar X=1></p>", u"<foo-bar x=\"1\"><p></p></foo-bar>"},
      {ini, u"<A HREF=\"A.html\">A&nbsp;B</A>\r\n", u"<a href=\"a.html\">ab</a>"},
      {sel, u"A&nbsp;B\r\n\t\v\fabout:blank#x", u"ab#x"},
      // lower-casing comes before "about:blank" goes, and that removal is one pass
      {sel, u"About:Blank|aboutabout:blank:blank", u"|about:blank"},
      // "&NBSP;" is no entity: the document escapes it, the plain steps only lower-case it
      {ini, u"&NBSP;&nbsp;", u"&amp;nbsp;"},   {sel, u"&NBSP;&nbsp;", u"&nbsp;"},
      {sel, u"<a\0b>"s, u"<ab>"},  {ini, u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string out = u"unset";
    EXPECT_EQ(((*str_).*c.op)(c.in, &out), kOk) << u8(c.in);
    EXPECT_EQ(out, c.out) << u8(c.in);
  }
}

// A typed caller that passes no place for the result gets kPointer from every
// operation, and sReplace leaves the caller's line alone.
TEST_F(StrComponent, NoResultPointerIsAnErrorForEveryOperation) {
  std::u16string line = u"a.b";
  const std::function<HResult()> calls[] = {
      [&] { return str_->InStrL(u"ab", u"b", nullptr); },
      [&] { return str_->iSum(u"ab", u"b", nullptr); },
      [&] { return str_->StrToDate(u"20080512", nullptr); },
      [&] { return str_->sReplace(line, u".", u"/", nullptr); },
      [&] { return str_->ini(u"<b>x</b>", nullptr); },
      [&] { return str_->selecTini(u"x", nullptr); },
      [&] { return str_->changeHtml(u"<B>x</B>", nullptr); },
      [&] { return str_->noSpaceINtag(u"< b >", nullptr); },
      [&] { return str_->URLEncode(u"a b", nullptr); },
      [&] { return str_->URLDecode(u"%20", nullptr); },
      [&] { return str_->noBiaoDian(u"a,b", nullptr); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), com::kPointer) << "operation " << i + 1;
  EXPECT_EQ(line, u"a.b");
}

}  // namespace
}  // namespace harbek::strings
