// Link conversion over a small copy on disk: what each kind of link becomes,
// and what a run over a whole copy may and may not touch.
#include "tools/link_converter.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "tests/support/temp_dir.h"

namespace harbek::tools {
namespace {

namespace fsys = std::filesystem;
using harbek::testing::readFile;
using harbek::testing::TempDir;

// A copy of two hosts, laid out as the crawler saves: lower case,
// index.html for folders, the spill folder beside the hosts.
void makeCopy(const TempDir& dir) {
  for (const char* file : {"site/index.html", "site/contact.html", "site/about.html", "site/news/index.html",
                           "site/news/story.html", "site/css/site.css", "site/img/a.gif", "site/img/a-2x.gif",
                           "site/docs/index.html", "site/中文.html", "site/a%20b.html", "other/x.html",
                           "tmp/1.dat"}) {
    dir.write(std::string("save/") + file, "x");
  }
}

TEST(LinkConverter, RewritesEachKindOfLinkAndNothingElse) {
  TempDir dir;
  makeCopy(dir);
  const std::string save = dir.file("save").string();
  const std::string gbkTrail = "\x95\x5C";  // a double-byte character whose trail byte is "\"
  struct Case {
    const char* page;
    PageKind kind;
    std::string before, after;
  } cases[] = {
      // Case and root: the copy's names are lower case, and "/" is its host folder.
      {"site/news/story.html", PageKind::kHtml, R"x(<a href="/Contact.html">)x", R"x(<a href="../contact.html">)x"},
      {"site/news/story.html", PageKind::kHtml, "<A HREF='../About.html#team'>", "<A HREF='../about.html#team'>"},
      {"site/news/story.html", PageKind::kHtml, R"x(<a href="index.html">)x", R"x(<a href="index.html">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<a href="/news/">)x", R"x(<a href="news/index.html">)x"},
      {"site/index.html", PageKind::kHtml, "<a href=/docs>x</a>", "<a href=docs/index.html>x</a>"},
      {"site/index.html", PageKind::kHtml, R"x(<a href=" ./news/../about.html ">)x", R"x(<a href="about.html">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<a href="/news///">)x", R"x(<a href="news/index.html">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<img src="\img\A.gif">)x", R"x(<img src="img/a.gif">)x"},
      // Bytes that are no text in the page's encoding are kept as they are.
      {"site/index.html", PageKind::kHtml, "<a href=\"/x\x81\">", "<a href=\"/x\x81\">"},
      // Not in the copy: an absolute address, so it still works online.
      {"site/news/story.html", PageKind::kHtml, R"x(<a href="find.html?q=a&amp;b=c#r">)x",
       R"x(<a href="http://site/news/find.html?q=a&amp;b=c#r">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<a href="/Missing Page.html">)x",
       R"x(<a href="http://site/Missing%20Page.html">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<script src="//cdn.invalid/x.js">)x",
       R"x(<script src="http://cdn.invalid/x.js">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<a href="http://Elsewhere.invalid/X.html">)x",
       R"x(<a href="http://Elsewhere.invalid/X.html">)x"},
      {"site/index.html", PageKind::kHtml, R"x(<a href="http://tmp/1.dat">)x", R"x(<a href="http://tmp/1.dat">)x"},
      // Another host of the copy, and an absolute link into this one.
      {"site/index.html", PageKind::kHtml, R"x(<a href="HTTP://Other/x.html">)x", R"x(<a href="../other/x.html">)x"},
      {"other/x.html", PageKind::kHtml, R"x(<a href="http://site:80/about.html">)x", R"x(<a href="../site/about.html">)x"},
      // Links a browser does not load from the web stay as written.
      {"site/index.html", PageKind::kHtml,
       R"x(<a href="mailto:a@b.invalid"><a href="javascript:go('/about.html')"><img src="data:image/gif;base64,R0=="><a href="#top"><a href="">)x",
       R"x(<a href="mailto:a@b.invalid"><a href="javascript:go('/about.html')"><img src="data:image/gif;base64,R0=="><a href="#top"><a href="">)x"},
      // Names a browser would misread are percent-encoded.
      {"site/index.html", PageKind::kHtml, R"x(<a href="/中文.html"><a href="/a%20b.html">)x",
       R"x(<a href="%E4%B8%AD%E6%96%87.html"><a href="a%2520b.html">)x"},
      // srcset, style attributes and elements.
      {"site/news/story.html", PageKind::kHtml, R"x(<img srcset="/img/A.gif 1x,/img/a-2x.gif 2x" src=/img/a.gif>)x",
       R"x(<img srcset="../img/a.gif 1x,../img/a-2x.gif 2x" src=../img/a.gif>)x"},
      {"site/index.html", PageKind::kHtml,
       R"x(<p style="background:url('/img/a.gif')"><style>@import "/css/site.css"; p{background:URL( /img/a.gif )}</style>)x",
       R"x(<p style="background:url('img/a.gif')"><style>@import "css/site.css"; p{background:URL( img/a.gif )}</style>)x"},
      {"site/css/site.css", PageKind::kCss,
       R"x(@import url("/css/Site.css"); a{background:url(../img/a.gif)} /* url(/img/a.gif) */ b{content:"url(/x)"})x",
       R"x(@import url("site.css"); a{background:url(../img/a.gif)} /* url(/img/a.gif) */ b{content:"url(/x)"})x"},
      // Only real attributes of link elements, outside comments and scripts.
      {"site/index.html", PageKind::kHtml,
       R"x(<a title="x>y" data-href="/about.html" href='/about.html'><abbr href="/about.html"><!-- <a href="/about.html"> --><script>s='<a href="/about.html">'</script>)x",
       R"x(<a title="x>y" data-href="/about.html" href='about.html'><abbr href="/about.html"><!-- <a href="/about.html"> --><script>s='<a href="/about.html">'</script>)x"},
      // A page in the system code page: a trail byte "\" is no CSS escape.
      {"site/index.html", PageKind::kHtml,
       "<p title=\"" + gbkTrail + "\"><style>p{content:\"" + gbkTrail + "\"} q{background:url(/img/a.gif)}</style>",
       "<p title=\"" + gbkTrail + "\"><style>p{content:\"" + gbkTrail + "\"} q{background:url(img/a.gif)}</style>"},
  };
  for (const Case& c : cases) {
    LinkCounts counts;
    EXPECT_EQ(convertLinks(c.before, c.kind, save, c.page, counts), c.after) << c.page << ": " << c.before;
    // A converted page converts to itself.
    EXPECT_EQ(convertLinks(c.after, c.kind, save, c.page, counts), c.after) << c.page << ": " << c.after;
  }
}

TEST(LinkConverter, ConvertsACopyInPlaceAndLeavesWhatItMustNotTouch) {
  TempDir dir;
  const fsys::path save = dir.file("save");
  const std::string page = "<a href=\"/About.html\">";
  dir.write("save/site/index.html", page);
  dir.write("save/site/about.html", "<a href=\"index.html\">");
  dir.write("save/site/readonly.html", page);
  dir.write("save/site/logo.gif", "GIF89a<a href=\"/About.html\">");
  dir.write("save/tmp/journal.html", page);
  // UTF-8 text, and a path in the system code page that conversion would
  // percent-encode: the page would read as UTF-8 afterwards.
  const std::string mixed = "<p>\xE4\xB8\xAD</p><a href=\"/\xD6\xD0.html\">";
  dir.write("save/site/mixed.html", mixed);
  dir.write("outside/page.html", page);
  fsys::create_symlink(dir.file("outside/page.html"), save / "site/link.html");
  chmod((save / "site/readonly.html").c_str(), 0444);
  struct stat unchangedBefore {};
  stat((save / "site/about.html").c_str(), &unchangedBefore);

  const ConvertSummary first = convertCopy(save.string());
  EXPECT_EQ(readFile(save / "site/index.html"), "<a href=\"about.html\">");
  EXPECT_EQ(first.converted, 1u);
  ASSERT_EQ(first.failures.size(), 1u);
  EXPECT_EQ(first.failures[0].first, "site/readonly.html");
  // Left as they were: a read-only page, what is not a page, the spill
  // folder, the file behind a symbolic link, and a page of mixed encodings.
  for (const fsys::path& kept : {save / "site/readonly.html", save / "tmp/journal.html", dir.file("outside/page.html")}) {
    EXPECT_EQ(readFile(kept), page) << kept;
  }
  EXPECT_EQ(readFile(save / "site/mixed.html"), mixed);
  EXPECT_EQ(readFile(save / "site/logo.gif"), "GIF89a<a href=\"/About.html\">");
  EXPECT_TRUE(fsys::is_symlink(save / "site/link.html"));
  // A page that needs no change is not written at all.
  struct stat unchangedAfter {};
  stat((save / "site/about.html").c_str(), &unchangedAfter);
  EXPECT_EQ(unchangedAfter.st_ino, unchangedBefore.st_ino);
  EXPECT_EQ(unchangedAfter.st_mtim.tv_nsec, unchangedBefore.st_mtim.tv_nsec);

  chmod((save / "site/readonly.html").c_str(), 0644);
  const ConvertSummary second = convertCopy(save.string());
  EXPECT_TRUE(second.ok());
  EXPECT_EQ(second.converted, 1u);  // the page that was read-only
  const ConvertSummary third = convertCopy(save.string());
  EXPECT_EQ(third.converted, 0u);
  EXPECT_FALSE(convertCopy(dir.file("missing").string()).ok());
}

}  // namespace
}  // namespace harbek::tools
