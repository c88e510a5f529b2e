#include "store/local_name.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/text/text.h"
#include "store/site_data.h"
#include "tests/support/temp_dir.h"

namespace harbek::store {
namespace {

std::string u8(std::u16string_view s) { return text::toUtf8(s); }

// The file of a URL: decoded UTF-8 paths, folders, queries, and the names
// that must never be decoded or must not be saved at all.
TEST(LocalName, NamesOfUrls) {
  const std::u16string longName(300, u'x');
  struct Case {
    std::u16string url, name;
  } cases[] = {
      {u"http://Site/Dir/Page.HTM", u"site/dir/page.htm"},
      {u"http://site", u"site/index.html"},
      {u"https://site:8443/a/", u"site:8443/a/index.html"},
      {u"http://site/%E6%96%87%E6%A1%A3/%E7%BC%96.html", u"site/文档/编.html"},
      {u"http://site/文档/编.html", u"site/文档/编.html"},
      {u"http://site/caf%C3%A9.html", u"site/café.html"},
      {u"http://site/%D6%D0.html", u"site/%d6%d0.html"},  // GBK escapes are no UTF-8: kept
      {u"http://site/a%2Fb%3Fc%00d%20e", u"site/a%2fb%3fc%00d e"},
      {u"http://site/%2e%2E/x", u"site/%2e%2e/x"},
      {u"http://site//a///b", u"site/a/b"},
      {u"http://site/doku.php?id=Start&x=a/b", u"site/doku.php?id=start&x=a%2fb"},
      {u"http://site/s?q=%E4%B8%AD%26", u"site/s?q=中%26"},
      {u"http://tmp/x.html", u""},
      {u"ftp://site/x", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(u8(localName(c.url)), u8(c.name)) << u8(c.url);

  const std::u16string cut = localName(u"http://site/" + longName + u".html");
  EXPECT_LE(text::toUtf8(cut).size(), std::u16string(u"site/").size() + kMaxSegmentBytes);
  EXPECT_NE(cut, localName(u"http://site/" + longName + u"y.html")) << "long names stay apart";
}

TEST(LocalName, SuffixesByContent) {
  struct Case {
    std::u16string name, contentType, saved;
  } cases[] = {
      {u"site/wiki/guide", u" text/html", u"site/wiki/guide.html"},
      {u"site/doku.php?id=start", u"text/html", u"site/doku.php?id=start.html"},
      {u"site/a.HTM", u"text/html", u"site/a.HTM"},
      {u"site/index.html", u"application/xhtml+xml", u"site/index.html"},
      {u"site/css.php?t=x", u"text/css", u"site/css.php?t=x.css"},
      {u"site/logo", u"image/png", u"site/logo"},
  };
  for (const Case& c : cases) EXPECT_EQ(u8(nameForContent(c.name, c.contentType)), u8(c.saved));
}

// A page and a folder of one name, in either order, and a copy made by the
// earlier rules: each file is found again under the name it has.
TEST(LocalName, PagesAndFoldersOfOneNameAreBothFound) {
  harbek::testing::TempDir dir;
  const std::u16string save = text::fromUtf8(dir.path().string());
  SiteData site;
  site.setSavePath(save);
  auto saveAs = [&](const std::u16string& url, const std::u16string& type) {
    const std::u16string name = site.makeRoomFor(nameForContent(localName(url), type));
    EXPECT_EQ(site.savePartial(name, "body of " + u8(url), true), fs::Error::kOk);
    EXPECT_EQ(site.commitPartial(name), fs::Error::kOk);
    return name;
  };
  // A file without extension first, then a page under its folder.
  EXPECT_EQ(u8(saveAs(u"http://h/data", u"application/octet-stream")), "h/data");
  EXPECT_EQ(u8(saveAs(u"http://h/data/x.html", u"text/html")), "h/data/x.html");
  // A folder first, then a file of its name.
  EXPECT_EQ(u8(saveAs(u"http://h/bin/y.html", u"text/html")), "h/bin/y.html");
  EXPECT_EQ(u8(saveAs(u"http://h/bin", u"application/octet-stream")), "h/bin/index.html");
  // Pages: "a" and "a/b" never meet.
  EXPECT_EQ(u8(saveAs(u"http://h/a", u"text/html")), "h/a.html");
  EXPECT_EQ(u8(saveAs(u"http://h/a/b", u"text/html")), "h/a/b.html");
  std::filesystem::create_directories(dir.path() / "h" / "old");
  std::ofstream(dir.path() / "h" / "old" / "%e6%96%87.html") << "an earlier copy";

  for (const char16_t* url : {u"http://h/data", u"http://h/data/x.html", u"http://h/bin", u"http://h/bin/y.html",
                              u"http://h/a", u"http://h/a/b", u"http://h/old/%E6%96%87.html"}) {
    EXPECT_TRUE(savedNameIn(save, url)) << u8(url);
    EXPECT_TRUE(site.isExsitUrl(url, false)) << u8(url);
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "h" / "data" / "index.html")) << "moved into its folder";
  EXPECT_FALSE(savedNameIn(save, u"http://h/c"));
}

TEST(LocalName, CodePageSafeKeepsEveryCharacter) {
  EXPECT_EQ(u8(codePageSafe(u"http://h/中文?a=b")), "http://h/中文?a=b");
  EXPECT_EQ(u8(codePageSafe(u"http://ไทย/x")), "http://%E0%B9%84%E0%B8%97%E0%B8%A2/x");
  EXPECT_EQ(u8(codePageSafe(u"http://h/\U0001F600")), "http://h/%F0%9F%98%80");
}

}  // namespace
}  // namespace harbek::store
