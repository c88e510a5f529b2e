#include "fetcher/tag_scanner.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/text/text.h"

namespace harbek::fetcher {
namespace {

// Marks what went through each service, so a case shows which one ran.
ValueServices markingServices() {
  ValueServices s;
  s.stripText = [](std::u16string_view e) { return u"T(" + std::u16string(e) + u")"; };
  s.resolve = [](std::u16string_view link) { return u"R(" + std::u16string(link) + u")"; };
  return s;
}

struct Found {
  std::vector<std::u16string> elements;
  std::vector<std::pair<int32_t, int32_t>> progress;
};

Found scan(std::u16string_view page, std::u16string_view tag, bool endTag) {
  Found f;
  TagScanHooks hooks;
  hooks.progress = [&](int32_t pos, int32_t len) { f.progress.emplace_back(pos, len); };
  hooks.element = [&](std::u16string_view e, std::u16string_view low) {
    EXPECT_EQ(text::toLower(e), low);
    f.elements.emplace_back(e);
  };
  scanTags(page, tag, endTag, hooks);
  return f;
}

TEST(ScanTags, ElementsByPrefixUpToTheEndMark) {
  struct Case {
    std::u16string page, tag;
    bool endTag;
    std::vector<std::u16string> want;
  } cases[] = {
      {u"<A HREF='x'>Next</A> <abbr>t</a>", u"a", true, {u"<A HREF='x'>Next</A>", u"<abbr>t</a>"}},
      {u"<abbr>t</abbr>", u"a", true, {}},  // "</abbr>" is not "</a>"
      {u"<a>1<a>2</a></a>", u"a", true, {u"<a>1<a>2</a>"}},  // nested: the inner end tag ends it
      {u"<img src=a><IMG SRC=b>", u"img", false, {u"<img src=a>", u"<IMG SRC=b>"}},
      {u"<script>x", u"script", true, {}},                        // no end tag: stop
      {u"<script>x</script><script>y", u"script", true, {u"<script>x</script>"}},
      {u"<a>x</A>", u"A", true, {}},  // the end mark keeps the caller's case
      {u"", u"a", true, {}},
      {u"<link a><link b", u"link", false, {u"<link a>"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scan(c.page, c.tag, c.endTag).elements, c.want) << text::toUtf8(c.page);
  }
}

TEST(ScanTags, ProgressBeforeAndAfterEachElement) {
  // Positions from 1: the element's "<", then the character after its end mark.
  Found f = scan(u"xx<img a>yy<img b>", u"img", false);
  std::vector<std::pair<int32_t, int32_t>> want = {{3, 18}, {10, 18}, {12, 18}, {19, 18}};
  EXPECT_EQ(f.progress, want);
  // An element without its end mark still reports where it starts.
  EXPECT_EQ(scan(u"ab<img", u"img", false).progress, (std::vector<std::pair<int32_t, int32_t>>{{3, 6}}));
}

TEST(RpVALUE, QuotedUnquotedMissingAndPseudoAttributes) {
  struct Case {
    std::u16string element, name, want;
  } cases[] = {
      {u"<A HREF='Page.htm'>Next</A>", u"href", u"R(Page.htm)"},
      {u"<img src=pic.gif alt=x>", u"src", u"R(pic.gif)"},
      {u"<img src=pic.gif>", u"src", u"R()"},  // unquoted up to a space only
      {u"<a name=top>", u"href", u"R()"},      // resolved even when missing
      {u"<img lowsrc=\"l.gif\" src=\"s.gif\">", u"src", u"R(l.gif)"},
      {u"<a title=\"x\" Class=\"Big One\">", u"CLASS", u"Big One"},
      {u"<a class =\"x\">", u"class", u""},  // a space before "=" is no match
      {u"<a class=\"open>", u"class", u""},  // no closing quote
      {u"<a x=", u"x", u""},
      {u"<b>Hi</b>", u"innerHTML", u"T(<b>Hi</b>)"},
      {u"<b>Hi</b>", u"innertext", u"T(<b>Hi</b>)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RpVALUE(c.element, text::toLower(c.element), c.name, markingServices()), c.want)
        << text::toUtf8(c.element);
  }
}

TEST(ReValue, EmptyValuesAtTheFrontVanish) {
  ValueServices s = markingServices();
  s.resolve = [](std::u16string_view link) { return std::u16string(link); };
  struct Case {
    std::u16string element, names, want;
  } cases[] = {
      {u"<a href=\"\">x</a>", u"href,innerhtml", u"T(<a href=\"\">x</a>)"},
      {u"<a href=\"u\"></a>", u"href,class", u"u,"},
      {u"<a href=\"u\" class=\"c\">", u"href,class", u"u,c"},
      {u"<a>", u"class,id,href", u""},
      {u"<a id=\"1,2\">", u"id,id", u"1,2,1,2"},
      {u"<a id=\"1\">", u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReValue(c.element, text::toLower(c.element), c.names, s), c.want) << text::toUtf8(c.element);
  }
}

}  // namespace
}  // namespace harbek::fetcher
