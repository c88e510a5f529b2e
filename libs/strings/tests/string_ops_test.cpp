#include <time.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libs/strings/html_fragment.h"
#include "libs/strings/page_text.h"
#include "libs/strings/string_ops.h"
#include "platform/text/text.h"

namespace harbek::strings {
namespace {

using namespace std::string_literals;

std::string u8(std::u16string_view s) { return text::toUtf8(s); }

TEST(Search, PositionsAreSixteenBitAndCaseIsIgnored) {
  const std::u16string pad(32766, u'x');
  struct Case {
    std::u16string text, what;
    com::HResult code;
    int16_t last, count;
  } cases[] = {
      {u"abcabc", u"BC", com::kOk, 5, 2},
      {u"ÄBCäbc", u"äb", com::kOk, 4, 2},
      {u"abc", u"", com::kOk, 0, 0},
      {u"", u"a", com::kOk, 0, 0},
      {u"abc", u"abcd", com::kOk, 0, 0},
      {u"aaaa", u"aa", com::kOk, 3, 3},
      {pad + u"ab", u"AB", com::kOk, 32767, 1},       // the last position that fits
      {pad + u"xab", u"ab", com::kOverflow, 0, 0},    // 32768 does not
      {u"ab" + pad + u"xab", u"ab", com::kOverflow, 0, 0},
      {pad + u"xab", u"zz", com::kOk, 0, 0},          // a long text without hits is fine
  };
  for (const auto& c : cases) {
    int16_t last = -1, count = -1;
    EXPECT_EQ(InStrL(c.text, c.what, &last), c.code) << u8(c.what);
    EXPECT_EQ(iSum(c.text, c.what, &count), c.code) << u8(c.what);
    if (c.code == com::kOk) {
      EXPECT_EQ(last, c.last) << u8(c.what);
      EXPECT_EQ(count, c.count) << u8(c.what);
    }
  }
}

TEST(StrToDate, OnlyRealDatesOfTheThreeLengths) {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  const int thisYear = local.tm_year + 1900;
  struct Case {
    std::u16string in;
    int y, m, d;  // 0: the zero date
  } cases[] = {
      {u"20080512", 2008, 5, 12}, {u"200805", 2008, 5, 1},  {u"0512", thisYear, 5, 12},
      {u"20080229", 2008, 2, 29}, {u"20070229", 0, 0, 0},   {u"20081301", 0, 0, 0},
      {u"20080100", 0, 0, 0},     {u"200800", 0, 0, 0},     {u"1232", 0, 0, 0},
      {u"99991231", 9999, 12, 31}, {u"00990101", 0, 0, 0},  {u"2008-5-12", 0, 0, 0},
      {u"2008-5-1", 0, 0, 0},     {u"2008 512", 0, 0, 0},   {u"20080", 0, 0, 0},
      {u"", 0, 0, 0},             {u"200805121", 0, 0, 0},  {u"１２３４", 0, 0, 0},
  };
  for (const auto& c : cases) {
    com::Date want = c.y ? com::dateFromYmd(c.y, c.m, c.d) : com::Date{0};
    EXPECT_EQ(StrToDate(c.in).days, want.days) << u8(c.in);
  }
}

// The loop as it is written: find, replace one character, repeat. A step
// bound stands in for "never ends".
std::optional<std::u16string> literalReplace(std::u16string line, const std::u16string& f, const std::u16string& r) {
  for (int steps = 0; steps < 400 && line.size() < 400; ++steps) {
    size_t a = line.empty() ? std::u16string::npos : line.find(f);
    if (a == std::u16string::npos) return line;
    line = line.substr(0, a) + r + line.substr(a + 1);
  }
  return std::nullopt;
}

std::vector<std::u16string> allTexts(size_t maxLength, std::u16string_view alphabet) {
  std::vector<std::u16string> out{u""};
  for (size_t from = 0; from < out.size(); ++from) {
    if (out[from].size() == maxLength) continue;
    for (char16_t c : alphabet) out.push_back(out[from] + c);
  }
  return out;
}

TEST(SReplace, EndsWhereTheLoopEndsAndFailsWhereItWouldNot) {
  struct Case {
    std::u16string line, f, r;
    com::HResult code;
    std::u16string result;
  } cases[] = {
      {u"a\\b\\c", u"\\", u"/", com::kOk, u"a/b/c"},
      {u"xaby", u"ab", u"Z", com::kOk, u"xZby"},
      {u"aaab", u"ab", u"b", com::kOk, u"bbbb"},      // each step reaches back one place
      {u"abAB", u"A", u"a", com::kOk, u"abaB"},       // case counts
      {u"", u"a", u"aa", com::kOk, u""},
      {u"abc", u"", u"", com::kOk, u""},              // "" is found at 1 until the text is gone
      {u"abc", u"x", u"xx", com::kOk, u"abc"},        // nothing to replace
      {u"abc", u"", u"z", com::kInvalidArgument, u""},
      {u"abc", u"b", u"xbx", com::kInvalidArgument, u""},   // the replacement holds the search text
      {u"ab", u"ab", u"a", com::kInvalidArgument, u""},     // "a" + "b" makes "ab" again
      {u"ab", u"ab", u"ba", com::kInvalidArgument, u""},    // "ba" + "b" holds "ab"
  };
  for (const auto& c : cases) {
    std::u16string line = c.line, result = u"unset";
    EXPECT_EQ(sReplace(line, c.f, c.r, &result), c.code) << u8(c.line) << " " << u8(c.f) << " " << u8(c.r);
    if (c.code == com::kOk) {
      EXPECT_EQ(result, c.result) << u8(c.line);
      EXPECT_EQ(line, c.result) << u8(c.line);
    } else {
      EXPECT_EQ(line, c.line);
    }
  }
}

TEST(SReplace, AgreesWithTheLiteralLoopOnEverySmallInput) {
  const auto lines = allTexts(6, u"ab");
  const auto patterns = allTexts(3, u"ab");
  const auto replacements = allTexts(3, u"ab");
  int ended = 0, endless = 0;
  for (const auto& f : patterns) {
    for (const auto& r : replacements) {
      for (const auto& line : lines) {
        auto want = literalReplace(line, f, r);
        std::u16string got, inOut = line;
        com::HResult h = sReplace(inOut, f, r, &got);
        if (want) {
          ++ended;
          ASSERT_EQ(h, com::kOk) << u8(line) << " " << u8(f) << " " << u8(r);
          ASSERT_EQ(got, *want) << u8(line) << " " << u8(f) << " " << u8(r);
        } else {
          ++endless;
          ASSERT_EQ(h, com::kInvalidArgument) << u8(line) << " " << u8(f) << " " << u8(r);
        }
      }
    }
  }
  EXPECT_GT(ended, 0);
  EXPECT_GT(endless, 0);
}

TEST(SReplace, ManyReplacementsInALongTextStayLinear) {
  std::u16string line;
  for (int i = 0; i < 200000; ++i) line += u"ab\\";
  std::u16string result;
  ASSERT_EQ(sReplace(line, u"\\", u"//", &result), com::kOk);
  EXPECT_EQ(result.size(), 200000u * 4);
  EXPECT_EQ(result.substr(0, 8), u"ab//ab//");
  // A chain that reaches back one character per step, all the way.
  std::u16string chain(100000, u'a');
  chain += u'b';
  ASSERT_EQ(sReplace(chain, u"ab", u"b", &result), com::kOk);
  EXPECT_TRUE(result == std::u16string(100001, u'b')) << result.size();
}

TEST(URLDecode, ReadsPairsAndLeadBytes) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"%", u"\0"s},
      {u"abc", u"abc"},
      {u"%D6%D0", u"中"},
      {u"%d6%d0", u"中"},
      {u"%D6-D0", u"中"},       // the character between the pairs is not looked at
      {u"a%20b", u"a b"},
      {u"a+b%2B", u"a+b+"},
      {u"%41%4", u"A\x04"},
      {u"%zzA", u"\0A"s},       // no digits: code 0, and the two characters are passed over
      {u"%4g", u"\x04"},
      {u"%D6", u"\xFFFD"},      // a lead byte with nothing after it names no character
      {u"%D6%D0%", u"中\0"s},
  };
  for (const auto& c : cases) EXPECT_EQ(URLDecode(c.in), c.out) << u8(c.in);
  const std::u16string text = u"中文 a/b.c_-~";
  EXPECT_EQ(URLDecode(URLEncode(text)), text);
}

TEST(NoBiaoDian, EveryMarkAndOnlyWholeLineEnds) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"a，b. c", u"a|b||c"},
      {u"，。；‘《》：’“”,.: }{()", std::u16string(18, u'|')},
      {u"a\r\nb", u"a|b"},
      {u"a\rb\nc\n\r", u"a\rb\nc\n\r"},
      {u"\r\r\n", u"\r|"},
      {u"x!?、-", u"x!?、-"},
  };
  for (const auto& c : cases) EXPECT_EQ(noBiaoDian(c.in), c.out) << u8(c.in);
}

TEST(NoSpaceINtag, DropsCodeZeroInsideTagsOnly) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"<a href=\"x.html\">", u"<a href=\"x.html\">"},
      {u"<a\0 href>x\0y<\0/a>"s, u"<a href>x\0y</a>"s},
      {u"\0<\0>\0"s, u"\0<>\0"s},
      {u"<<\0>>\0"s, u"<<>>\0"s},
      {u"<\0"s, u"<"},
  };
  for (const auto& c : cases) EXPECT_EQ(noSpaceINtag(c.in), c.out) << u8(c.in);
}

TEST(ChangeHtml, BodyContentLowerCasedAndWellFormed) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"<B>Hi</B>", u"<b>hi</b>"},
      {u"<P>a<P>b", u"<p>a</p><p>b</p>"},
      {u"<A HREF=X.html Class='c'>L</A>", u"<a href=\"x.html\" class=\"c\">l</a>"},
      {u"<b><i>x</b>y</i>", u"<b><i>x</i></b><i>y</i>"},
      {u"a&nbsp;b &lt;&amp;&gt; &quot;", u"a&nbsp;b &lt;&amp;&gt; \""},
      {u"<img src=a.gif ALT=\"x&quot;y\"><BR>", u"<img src=\"a.gif\" alt=\"x&quot;y\"><br>"},
      {u"<!-- Note -->t", u"<!-- note -->t"},
      {u"<script>if (a<b && c) x();</script>", u"<script>if (a<b && c) x();</script>"},
      {u"<html><head><title>T</title></head><body>中文</body></html>", u"<title>t</title>中文"},
      {u"<table><td>1</table>", u"<table><tbody><tr><td>1</td></tr></tbody></table>"},
      {u"<foo-bar X=1>z</foo-bar>", u"<foo-bar x=\"1\">z</foo-bar>"},
      {u"", u""},
      {u"</p>", u"<p></p>"},
  };
  for (const auto& c : cases) EXPECT_EQ(changeHtml(c.in), c.out) << u8(c.in);
}

TEST(ChangeHtml, SerializerKeepsForeignNamesAndSurvivesDeepNesting) {
  EXPECT_EQ(serializeBodyFragment("<svg viewBox='0 0 1 1'><clippath/><a xlink:href='#x'>t</a></svg>"),
            "<svg viewBox=\"0 0 1 1\"><clipPath></clipPath><a xlink:href=\"#x\">t</a></svg>");
  std::string deep;
  for (int i = 0; i < 500000; ++i) deep += "<span>";
  std::string out = serializeBodyFragment(deep + "x");
  EXPECT_EQ(out.substr(0, 12), "<span><span>");
  EXPECT_EQ(out.size(), 500000u * (6 + 7) + 1);
  // Code 0 and U+FFFD in a tag name, as the tokenizer reads them.
  EXPECT_EQ(changeHtml(u"<B\xFFFD\0>x"s), u"<b\xFFFD\xFFFD>x</b\xFFFD\xFFFD>");
}

TEST(PageText, StepsRunInTheirOrder) {
  struct Case {
    std::u16string in, ini, selecTini;
  } cases[] = {
      {u"<A HREF=\"x\">A&nbsp;B</A>\r\n", u"<a href=\"x\">ab</a>", u"<a href=\"x\">ab</a>"},
      // the parser reads the vertical tab and code 0 in a tag name as U+FFFD
      {u"X\tY\vZ\f<a\0b>"s, u"xy\xFFFDz<a\xFFFD" u"b></a\xFFFD" u"b>", u"xyz<ab>"},
      // lower-casing comes before "about:blank" goes; that removal is one pass
      {u"About:Blank|aboutabout:blank:blank", u"|about:blank", u"|about:blank"},
      // "&NBSP;" is no entity: the document escapes it, the plain steps only lower-case it
      {u"&NBSP;&nbsp;", u"&amp;nbsp;", u"&nbsp;"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini(c.in), c.ini) << u8(c.in);
    EXPECT_EQ(selecTini(c.in), c.selecTini) << u8(c.in);
  }
}

}  // namespace
}  // namespace harbek::strings
