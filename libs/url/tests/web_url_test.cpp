#include <random>
#include <string>

#include <gtest/gtest.h>

#include "libs/url/tests/url_cases.h"
#include "libs/url/web_url.h"
#include "platform/text/text.h"

namespace harbek::url {
namespace {

std::string u8(std::u16string_view s) { return text::toUtf8(s); }

TEST(WebUrl, RightUrlInBothDialects) {
  for (const auto& c : testing::rightUrlCases()) {
    EXPECT_EQ(u8(rightUrl(c.url1, c.url2, Dialect::kVornet)), u8(c.vornet)) << u8(c.url1) << " + " << u8(c.url2);
    EXPECT_EQ(u8(rightUrl(c.url1, c.url2, Dialect::kCorvin)), u8(c.corvin)) << u8(c.url1) << " + " << u8(c.url2);
  }
}

TEST(WebUrl, Nohttp) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"http://site//a/./b.html", u"site/a/./b.html"},
      {u"HTTP://Site/A.html", u"site/a.html"},
      {u"a.b./c", u"a.b/c"},
      {u"../x", u"./x"},
      {u"x/http://y", u"x/y"},
      {u"hthttp://tp://x", u"http:/x"},  // the removal never searches its own result
      {u"https://a//b", u"https:/a/b"},
      {u"a///b", u"a/./b"},
      {u"NO-SCHEME/Ä", u"no-scheme/ä"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(u8(nohttp(c.in)), u8(c.out)) << u8(c.in);
}

TEST(WebUrl, FullUrl) {
  struct Case {
    std::u16string in;
    bool full;
  } cases[] = {
      {u"", false},           {u"ftp://x/y", true},   {u"page_https.html", true}, {u"HTTP://X", false},
      {u"/cgi/http.asp", true}, {u"mms://media", true}, {u"rspt:x", true},          {u"FTP://x", false},
      {u"x.html", false},     {u"htt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(fullUrl(c.in), c.full) << u8(c.in);
}

TEST(WebUrl, HostSchemeAndFragment) {
  struct Case {
    std::u16string (*op)(std::u16string_view);
    std::u16string in, out;
  } cases[] = {
      {gethost, u"HTTP://SITE:81/a/b", u"site:81"},
      {gethost, u"http://a.com", u"a.com"},
      {gethost, u"site/A/B", u"site"},
      {gethost, u"https://x/y", u"https:"},
      {gethost, u"", u""},
      {setHttp, u"http://x", u"http://http://x"},
      {setHttp, u"Site/A", u"http://Site/A"},
      {setHttp, u"", u"http://"},
      {noJin, u"a.html#x#y", u"a.html"},
      {noJin, u"a.html", u"a.html"},
      {noJin, u"#", u""},
      {nohttpKeepCase, u"HTTP://Site//A/./B.html", u"Site/A/./B.html"},
      {nohttpKeepCase, u"x/HtTp://Y", u"x/Y"},
  };
  for (const auto& c : cases) EXPECT_EQ(u8(c.op(c.in)), u8(c.out)) << u8(c.in);
}

TEST(WebUrl, GetPort) {
  struct Case {
    std::u16string in;
    com::HResult code;
    com::Variant port;
  } cases[] = {
      {u"http://site:8080/x.html", com::kOk, u"8080"},
      {u"http://site/x.html", com::kOk, int16_t{80}},
      {u"https://site/", com::kOk, u""},
      {u"HTTP://Site:81/", com::kOk, u"81"},
      {u"a:b:c/d", com::kOk, u"b:c"},
      {u"", com::kOk, int16_t{80}},
      {u"site:8080", com::kInvalidArgument, {}},
      {u"site:", com::kInvalidArgument, {}},
      {u"http://site:8080", com::kInvalidArgument, {}},
  };
  for (const auto& c : cases) {
    com::Variant port = u"stale";
    EXPECT_EQ(getPort(c.in, port), c.code) << u8(c.in);
    EXPECT_EQ(port, c.port) << u8(c.in);
  }
}

// Positions beyond the reach of a 16-bit counter work like any other.
TEST(WebUrl, LongUrls) {
  const std::u16string longName(40000, u'a');
  std::u16string climb;
  for (int i = 0; i < 40000; ++i) climb += u"../";
  EXPECT_EQ(gethost(u"http://" + longName + u"/x"), longName);
  EXPECT_EQ(noJin(longName + u"#x"), longName);
  EXPECT_EQ(u8(rightUrl(u"http://site/news/list.html", climb + u"d.html")), "http://site/d.html");
  EXPECT_EQ(rightUrl(u"http://site/" + longName, u"../b#c"), u"http://site/b");
  EXPECT_EQ(rightUrl(u"http://" + longName + u"/x", climb + u"d#e"), u"http://" + longName + u"/d");
}

TEST(WebUrl, KeepCaseKeepsThePathAsWritten) {
  struct Case {
    std::u16string url1, url2, out;
  } cases[] = {
      {u"http://Site/News/List.html", u"../Img/A.GIF", u"http://site/Img/A.GIF"},
      {u"HTTP://SITE/a/", u"B.html#X", u"http://site/a/B.html"},
      {u"http://Site:81/x", u"/Path/Q?A=B", u"http://site:81/Path/Q?A=B"},
      {u"http://Site/x", u"http://Other/Y.html", u"http://other/Y.html"},
      {u"http://Site/News/", u"HTTP://Other/X", u"http://site/News/Other/X"},
      {u"http://Site/", u"JavaScript:x", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(u8(rightUrlKeepCase(c.url1, c.url2)), u8(c.out)) << u8(c.url1) << " + " << u8(c.url2);
  }
}

// Over generated links of every shape, the keep-case resolution differs from
// rightUrl in letter case only.
TEST(WebUrl, KeepCaseDiffersOnlyInLetterCase) {
  const std::u16string pieces[] = {
      u"http://", u"HTTP://", u"HtTp://", u"../", u"./", u"/", u"//", u"#", u"?", u".", u"A", u"b", u"Site",
      u"x.HTML", u"mailto:", u"JavaScript:", u"ftp", u"Ä", u"中", u":", u"8080", u"hT", u"tP:/", u"..",
  };
  std::mt19937 random(20240613);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1), count(0, 9);
  auto generate = [&] {
    std::u16string s;
    for (size_t n = count(random); n > 0; --n) s += pieces[pick(random)];
    return s;
  };
  int nonEmpty = 0;
  for (int i = 0; i < 20000; ++i) {
    std::u16string a = generate(), b = generate();
    std::u16string kept = rightUrlKeepCase(a, b), lowered = rightUrl(a, b);
    ASSERT_EQ(u8(text::toLower(kept)), u8(lowered)) << u8(a) << " + " << u8(b);
    ASSERT_EQ(u8(text::toLower(nohttpKeepCase(a))), u8(nohttp(a))) << u8(a);
    nonEmpty += !lowered.empty();
  }
  EXPECT_GT(nonEmpty, 10000);
}

}  // namespace
}  // namespace harbek::url

namespace harbek::url {
namespace {

// Links of both schemes as the scanner resolves them. The https rows follow
// RFC 3986 (its section 5.4 examples among them); http pages keep the
// crawler's own rules except for https and protocol-relative links.
TEST(WebUrl, LinksOfBothSchemes) {
  struct Case {
    std::u16string page, link, want;
  } cases[] = {
      {u"https://a/b/c/d;p?q", u"g", u"https://a/b/c/g"},
      {u"https://a/b/c/d;p?q", u"./g/", u"https://a/b/c/g/"},
      {u"https://a/b/c/d;p?q", u"?y", u"https://a/b/c/d;p?y"},
      {u"https://a/b/c/d;p?q", u"g?y#s", u"https://a/b/c/g?y"},
      {u"https://a/b/c/d;p?q", u"#s", u"https://a/b/c/d;p?q"},
      {u"https://a/b/c/d;p?q", u"", u"https://a/b/c/d;p?q"},
      {u"https://a/b/c/d;p?q", u"../..", u"https://a/"},
      {u"https://a/b/c/d;p?q", u"../../../g", u"https://a/g"},
      {u"https://a/b/c/d;p?q", u"/./g", u"https://a/g"},
      {u"https://a/b/c/d;p?q", u"g.", u"https://a/b/c/g."},
      {u"https://a/b/c/d;p?q", u"..g", u"https://a/b/c/..g"},
      {u"https://a/b/c/d;p?q", u"./../g", u"https://a/b/g"},
      {u"https://Site:8443/Dir/Page.html", u"Next.HTML", u"https://site:8443/Dir/Next.HTML"},
      {u"https://site/x", u"//Other.Host/P", u"https://other.host/P"},
      {u"https://site/x", u"http://Site/A", u"http://site/A"},
      {u"https://site/x", u"mailto:a@site", u""},
      {u"https://site/x", u"ftp://site/f", u"ftp://site/f"},
      {u"http://site/x/y.html", u"HTTPS://Site:443/A/../B#f", u"https://site/B"},
      {u"http://site/x/y.html", u"https://site:99999/", u"https://site:99999/"},
      {u"http://site/x/y.html", u"//127.0.0.1:8080/c2", u"http://127.0.0.1:8080/c2"},
      {u"http://site/x/y.html", u"../Z.html", u"http://site/Z.html"},
      {u"http://site/x/y.html", u"/a//b", u"http://site/a/b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(u8(resolveLinkKeepCase(c.page, c.link)), u8(c.want)) << u8(c.page) << " + " << u8(c.link);
  }
}

// Links as the crawl follows them: both schemes by RFC 3986, dot segments
// gone, non-ASCII escaped as browsers send it (the path in UTF-8, the query
// in the page's charset; the code page unless the page says otherwise).
TEST(WebUrl, CrawlLinks) {
  struct Case {
    std::u16string page, link, want;
  } cases[] = {
      {u"http://site/docs/npm/x.html", u".", u"http://site/docs/npm/"},
      {u"http://site/docs/npm/cli/x.html", u"../../..", u"http://site/"},
      {u"http://site/docs/npm/cli/x.html", u"../../../../../a.html", u"http://site/a.html"},
      {u"http://site/x/", u"./c.html#top", u"http://site/x/c.html"},
      {u"http://Site/x/", u"http:c.html", u"http://site/x/c.html"},
      {u"http://site/x/Y.html", u"//Other/P/./Q", u"http://other/P/Q"},
      {u"https://site/x/", u"?page=2", u"https://site/x/?page=2"},
      {u"http://site/", u"/文档/页面.html?q=中 1", u"http://site/%E6%96%87%E6%A1%A3/%E9%A1%B5%E9%9D%A2.html?q=%D6%D0%201"},
      {u"http://site/", u"/%E6%96%87.html", u"http://site/%E6%96%87.html"},
      {u"http://site/", u"https://site:99999/", u"https://site:99999/"},
      {u"http://site/", u"JavaScript:void(0)", u""},
      {u"http://site/", u"tel:123", u"tel:123"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(u8(crawlLink(c.page, c.link)), u8(c.want)) << u8(c.page) << " + " << u8(c.link);
  }
  EXPECT_EQ(u8(crawlLink(u"http://site/", u"/s?q=中", text::Charset::kUtf8)), "http://site/s?q=%E4%B8%AD");
}

// http and https of one host are one site and one saved file; a port that is
// not the scheme's default makes another.
TEST(WebUrl, SiteAndSavedFormOfBothSchemes) {
  struct Case {
    std::u16string url, site, stored;
  } cases[] = {
      {u"https://Site/A.html?x=1", u"site", u"http://site/A.html?x=1"},
      {u"https://site:443/", u"site", u"http://site/"},
      {u"https://site", u"site", u"http://site/"},
      {u"https://site:8443/a", u"site:8443", u"http://site:8443/a"},
      {u"https://user@site/a", u"site", u"http://site/a"},
      {u"http://Site:8080/A.html", u"site:8080", u"http://Site:8080/A.html"},
      {u"http://site/a", u"site", u"http://site/a"},
      {u"https://:443/", u"", u"https://:443/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(u8(siteOf(c.url)), u8(c.site)) << u8(c.url);
    EXPECT_EQ(u8(storageForm(c.url)), u8(c.stored)) << u8(c.url);
  }
}

}  // namespace
}  // namespace harbek::url
