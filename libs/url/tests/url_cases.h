// Cases of rightUrl shared by the tests of the logic and of the components.
#pragma once

#include <string>
#include <vector>

namespace harbek::url::testing {

struct RightUrlCase {
  std::u16string url1;
  std::u16string url2;
  std::u16string vornet;
  std::u16string corvin;  // the same as vornet unless a "#" survives
};

inline const std::vector<RightUrlCase>& rightUrlCases() {
  static const std::u16string page = u"http://site/news/list.html";
  static const std::vector<RightUrlCase> cases = {
      {page, u"show.html", u"http://site/news/show.html", u"http://site/news/show.html"},
      {page, u"/img/logo.gif", u"http://site/img/logo.gif", u"http://site/img/logo.gif"},
      {page, u"../d.html", u"http://site/d.html", u"http://site/d.html"},
      {page, u"../../../d.html", u"http://site/d.html", u"http://site/d.html"},
      {page, u"./c.html", u"http://site/news/./c.html", u"http://site/news/./c.html"},
      {page, u"#top", u"http://site/news/list.html", u"http://site/news/list.html"},
      {page, u"c.html#sec", u"http://site/news/c.html", u"http://site/news/c.html#sec"},
      {page, u"http://other/X.html", u"http://other/x.html", u"http://other/x.html"},
      {page, u"HTTP://other/x.html", u"http://site/news/other/x.html", u"http://site/news/other/x.html"},
      {page, u"JavaScript:void(0)", u"", u""},
      {page, u"", u"http://site/news/", u"http://site/news/"},
      {u"site", u"x.html", u"http://site/x.html", u"http://site/x.html"},
      {u"https://site/a.html", u"b.html", u"http://https:/site/b.html", u"http://https:/site/b.html"},
      {page, u"A.HTML", u"http://site/news/a.html", u"http://site/news/a.html"},
      {page, u".hidden", u"http://site/news/.hidden", u"http://site/news/.hidden"},
      {page, u"MAILTO:a@b", u"", u""},
      {page, u"x.html?to=mailto:a", u"", u""},
      {page, u"http://site/mailto:a", u"http://site/mailto:a", u"http://site/mailto:a"},
      {page, u"ftp://x/MailTo:y", u"http://ftp:/x/mailto:y", u"http://ftp:/x/mailto:y"},
      {u"http://site/a.html#p", u"#q", u"http://site/a.html", u"http://site/a.html#p"},
      {u"http://Site:81/a/b.html", u"/c", u"http://site:81/c", u"http://site:81/c"},
      {page, u"./../x.html", u"http://site/./x.html", u"http://site/./x.html"},
      {u"site", u"../x", u"http://site/x", u"http://site/x"},
      {u"", u"x", u"http:///x", u"http:///x"},
      {u"http://Site/新闻/", u"图片.HTML#甲", u"http://site/新闻/图片.html", u"http://site/新闻/图片.html#甲"},
      {page, u"page_https.html#a", u"http://page_https.html", u"http://page_https.html#a"},
  };
  return cases;
}

}  // namespace harbek::url::testing
