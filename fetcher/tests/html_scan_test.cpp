// SearchTag through the control, with the real URL and text components.
#include <gtest/gtest.h>

#include <random>

#include "fetcher/html.h"
#include "libs/url/web_url.h"
#include "fetcher/tests/fetch_support.h"
#include "tests/support/checked_loop.h"
#include "platform/component/runtime.h"

namespace harbek::fetcher {
namespace {

using testing::Recorder;

struct Scan {
  harbek::testing::CheckedLoop loop;
  Recorder owner;
  html control{*loop, owner};
  explicit Scan(std::u16string page, std::u16string url = u"http://site/dir/x.html") {
    control.setUrl(std::move(url));
    control.setHTMLcode(std::move(page));
  }
};

TEST(SearchTag, ElementsOfAPage) {
  struct Case {
    std::u16string page, tag, pro;
    bool endTag;
    std::vector<std::u16string> want;
  } cases[] = {
      {u"<A HREF='Page.htm'>Next</A>", u"a", u"href,innerhtml", true, {u"http://site/dir/Page.htm,next"}},
      {u"<a name=top>Home</a>", u"a", u"href,innerhtml", true, {u"http://site/dir/,home"}},  // resolved when missing
      {u"<a href=\"javascript:go()\">Go</a>", u"a", u"href,innerhtml", true, {u"go"}},  // empty front vanishes
      {u"<img src=pic.gif alt=x><IMG SRC=pic.gif>", u"img", u"src,innerhtml", false,
       {u"http://site/dir/pic.gif,", u"http://site/dir/,"}},  // unquoted: up to a space only
      {u"<abbr title=x>t</a><abbr>u</abbr>", u"a", u"href,innerhtml", true, {u"http://site/dir/,t"}},  // prefix match
      {u"<a>1<a>2</a></a>", u"a", u"innertext", true, {u"12"}},  // the inner end tag ends it
      {u"<a>x</A>", u"A", u"innertext", true, {}},                // the end mark keeps the caller's case
      {u"<script src=\"/Js/A.js\"></script><script>x", u"script", u"src,innerhtml", true, {u"http://site/Js/A.js,"}},
      {u"<img lowsrc=\"l.gif\" src=\"s.gif\">", u"img", u"src", false, {u"http://site/dir/l.gif"}},
      {u"<a Class=\"Big One\" id=\"1,2\" x=\"open>", u"a", u"CLASS,id,x,title", false, {u"Big One,1,2,,"}},
      {u"<a class =\"x\" y='q'>", u"a", u"class,y", false, {u"q"}},  // a space before "=" is no match
      {u"<a x=", u"a", u"x", false, {}},
      {u"0", u"a", u"href,innerhtml", true, {}},
  };
  for (const Case& c : cases) {
    Scan s(c.page);
    ASSERT_EQ(s.control.SearchTag(c.tag, c.pro, c.endTag), com::kOk);
    std::vector<std::u16string> got;
    for (const auto& [name, dis] : s.owner.tags) {
      EXPECT_EQ(name, c.tag);
      got.push_back(dis);
    }
    EXPECT_EQ(got, c.want) << text::toUtf8(c.page);
  }
}

TEST(SearchTag, ProgressBeforeAndAfterEachElement) {
  // Positions from 1: the element's "<", then the character after its end mark.
  Scan s(u"xx<img a>yy<img b>ab<img");
  s.control.SearchTag(u"img", u"src", false);
  EXPECT_EQ(s.owner.progress, (std::vector<std::pair<int32_t, int32_t>>{{3, 24}, {10, 24}, {12, 24}, {19, 24}, {21, 24}}));
}

TEST(SearchTag, RefusedWhileAFetchCollectsText) {
  Scan busy(u"<a href=x>x</a>");
  busy.control.setGetHtmlCodeIsOver(false);
  busy.control.SearchTag(u"a", u"href", true);
  EXPECT_TRUE(busy.owner.tags.empty());
  EXPECT_EQ(busy.owner.events, (std::vector<std::string>{"ShowState 数据接收中.拒绝查找"}));

  // Unset or empty text is scanned, and yields nothing, even then.
  for (const char16_t* text : {u"0", u""}) {
    Scan idle(text);
    idle.control.setGetHtmlCodeIsOver(false);
    idle.control.SearchTag(u"a", u"href", true);
    EXPECT_TRUE(idle.owner.events.empty());
  }
}

// A link is absolute by its scheme: one with another scheme than http is
// passed on as written (and dropped as another host's), one without a scheme
// is relative whatever scheme names its text holds.
TEST(SearchTag, LinksAreAbsoluteByTheirScheme) {
  const struct {
    std::u16string link, want;
  } cases[] = {
      {u"file:///usr/share/doc/x.html", u"file:///usr/share/doc/x.html"},
      {u"tel:+123", u"tel:+123"},
      {u"IRC://irc.example/x", u"IRC://irc.example/x"},
      {u"data:text/plain,hi", u"data:text/plain,hi"},
      {u"docs/ftp-guide.html", u"http://site/c-api/docs/ftp-guide.html"},
      {u"/mms/intro.html", u"http://site/mms/intro.html"},
      {u"https-setup.html", u"http://site/c-api/https-setup.html"},
      {u"/helpers/http_client.html", u"http://site/helpers/http_client.html"},
      {u"../Rspt.html#x", u"http://site/Rspt.html"},
      {u"mailto:web@site", u""},
  };
  for (const auto& c : cases) {
    Scan s(u"");
    s.control.setUrl(u"http://site/c-api/intro.html");
    EXPECT_EQ(s.control.RpVALUE(u"<a href=\"" + c.link + u"\">", u"href"), c.want) << text::toUtf8(c.link);
  }
}

// Links resolve as vornet's rightUrl does, except that their case is kept,
// wherever the rules' test for scheme names agrees with the link's scheme
// and the link is not protocol-relative.
TEST(SearchTag, LinksAgreeWithRightUrlBarLetterCase) {
  com::ComPtr<url::IWebUrl> vornet;
  ASSERT_EQ(com::create<url::IWebUrl>(url::kVornetClsid, vornet), com::kOk);
  const std::u16string pages[] = {u"http://Site/Dir/Page.HTML", u"http://site:8080/A/B/", u"site", u"http://s/x"};
  const std::u16string pieces[] = {u"../", u"./", u"/", u"Up", u"low", u"#Frag", u"?Q=A", u".", u"//", u"http://",
                                   u"HTTP://", u"Other.Host/", u"mailto:", u"A.htm", u"%2F", u"中"};
  std::mt19937 rng(8);
  for (int i = 0; i < 3000; ++i) {
    std::u16string link;
    for (int n = rng() % 5; n > 0; --n) link += pieces[rng() % std::size(pieces)];
    const std::u16string& page = pages[rng() % std::size(pages)];
    const std::u16string scheme = url::uriScheme(link);
    // A protocol-relative link names its own host, unlike rightUrl's rule.
    const bool sameRule = scheme == u"http" || scheme == u"mailto" ||
                          (scheme.empty() && !url::fullUrl(link) && !link.starts_with(u"//"));
    if (!sameRule) continue;
    Scan s(u"");
    s.control.setUrl(page);
    std::u16string want;
    ASSERT_EQ(vornet->rightUrl(page, link, &want), com::kOk);
    EXPECT_EQ(text::toLower(s.control.RpVALUE(u"<a href=\"" + link + u"\">", u"href")), want)
        << text::toUtf8(page) << " " << text::toUtf8(link);
  }
}

}  // namespace
}  // namespace harbek::fetcher
