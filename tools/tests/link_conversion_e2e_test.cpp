// Link conversion of copies made by real crawls: a generated site whose
// every link is checked with an HTML parser, and the sample site browsed
// offline by headless Chromium.
#include <gumbo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "tests/support/child_process.h"
#include "crawler/tests/test_site.h"
#include "platform/text/text.h"
#include "tests/support/chromium_probe.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::tools {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::harbekPath;
using crawler::testing::lower;
using harbek::testing::ProgramRun;
using harbek::testing::runProgram;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;

ProgramRun harbek(const TempDir& logs, const std::vector<std::string>& args) {
  return runProgram(harbekPath(), args, logs.path(), 120s);
}

ProgramRun crawl(const TempDir& work, const std::string& url, const std::string& into, bool convert) {
  std::vector<std::string> args = {"--headless", "--ini", work.file(into + ".ini").string(), "--save-dir",
                                   work.file(into).string(), "--interval", "0", url};
  if (convert) args.insert(args.begin() + 1, "--convert-links");
  return harbek(work, args);
}

std::map<fsys::path, std::string> filesUnder(const fsys::path& root) {
  std::map<fsys::path, std::string> files;
  for (const auto& e : fsys::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fsys::relative(e.path(), root)] = readFile(e.path());
  }
  return files;
}

std::string percentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The links of CSS text: url(...) and the string of @import.
void cssLinks(const std::string& css, std::vector<std::string>& links) {
  static const std::regex kUrl(R"x(url\(\s*['"]?([^'")\s]+))x", std::regex::icase);
  static const std::regex kImport(R"x(@import\s+['"]([^'"]+))x", std::regex::icase);
  const std::string code = std::regex_replace(css, std::regex(R"x(/\*[^*]*\*/)x"), "");
  for (const std::regex* re : {&kUrl, &kImport}) {
    for (std::sregex_iterator m(code.begin(), code.end(), *re), end; m != end; ++m) links.push_back((*m)[1]);
  }
}

// Every link a browser would load from a page, as the parser reads it.
void htmlLinks(const GumboNode* node, std::vector<std::string>& links) {
  if (node->type != GUMBO_NODE_ELEMENT) return;
  const GumboElement& e = node->v.element;
  auto attribute = [&](const char* name) -> const char* {
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? a->value : nullptr;
  };
  const GumboTag tag = e.tag;
  const char* link = tag == GUMBO_TAG_A || tag == GUMBO_TAG_LINK ? attribute("href")
                     : tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_IFRAME ? attribute("src")
                                                                                                 : nullptr;
  if (link) links.push_back(link);
  if (const char* srcset = tag == GUMBO_TAG_IMG ? attribute("srcset") : nullptr) {
    std::istringstream in(srcset);
    for (std::string candidate; std::getline(in, candidate, ',');) {
      std::istringstream words(candidate);
      std::string url;
      if (words >> url) links.push_back(url);
    }
  }
  if (const char* style = attribute("style")) cssLinks(style, links);
  for (unsigned i = 0; i < e.children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
    if (tag == GUMBO_TAG_STYLE && child->type == GUMBO_NODE_TEXT) cssLinks(child->v.text.text, links);
    htmlLinks(child, links);
  }
}

// The page's text as UTF-8 for the parser: GBK pages are the ones that are
// not UTF-8.
std::string asUtf8(const std::string& bytes) {
  return text::toUtf8(text::fromUtf8(bytes)) == bytes ? bytes : text::toUtf8(text::fromCodePage(bytes));
}

// The page with the values that conversion may rewrite masked out.
std::string masked(const std::string& page) {
  static const std::regex kValue(R"x(((?:href|src|srcset|style)\s*=\s*)("[^"]*"|'[^']*'|[^\s>]+))x", std::regex::icase);
  static const std::regex kUrl(R"x(url\([^)]*\))x", std::regex::icase);
  static const std::regex kImport(R"x(@import\s*("[^"]*"|'[^']*'))x", std::regex::icase);
  return std::regex_replace(std::regex_replace(std::regex_replace(page, kValue, "$1#"), kUrl, "url(#)"), kImport,
                            "@import #");
}

bool isPage(const fsys::path& file) { return file.extension() == ".html" || file.extension() == ".css"; }

// The links of the copy's pages that neither lead to a file of the copy nor
// are absolute addresses of what the copy lacks ("page: link").
std::vector<std::string> brokenLinks(const fsys::path& copy, const std::string& host) {
  std::vector<std::string> broken;
  for (const auto& [file, bytes] : filesUnder(copy)) {
    if (!isPage(file)) continue;
    std::vector<std::string> links;
    if (file.extension() == ".css") {
      cssLinks(bytes, links);
    } else {
      GumboOutput* parsed = gumbo_parse(asUtf8(bytes).c_str());
      htmlLinks(parsed->root, links);
      gumbo_destroy_output(&kGumboDefaultOptions, parsed);
    }
    for (const std::string& link : links) {
      if (link.starts_with("mailto:") || link.starts_with("#")) continue;
      bool ok = false;
      if (link.starts_with("http://") || link.starts_with("https://")) {
        // An address of this site is right only for what the copy lacks.
        const std::string rest = link.substr(link.find("//") + 2);
        std::string path = rest.starts_with(host + "/") ? lower(rest.substr(host.size() + 1)) : "";
        if (path.empty() || path.ends_with("/")) path += "index.html";
        ok = !rest.starts_with(host + "/") || rest.find('?') != std::string::npos || !fsys::exists(copy / path);
      } else {
        const fsys::path target =
            (copy / file.parent_path() / percentDecoded(link.substr(0, link.find('#')))).lexically_normal();
        ok = fsys::is_regular_file(target) && !fsys::relative(target, copy.parent_path()).string().starts_with("..");
      }
      if (!ok) broken.push_back(file.string() + ": " + link);
    }
  }
  return broken;
}

const std::string kGif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
                       "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                       43);

void writeGeneratedSite(const TempDir& site) {
  site.write("index.html", R"x(<!doctype html><html><head><meta charset="utf-8"><title>首页</title>
<link rel="stylesheet" href="/CSS/Site.css">
<style>@import url("/CSS/Print.css"); body { background: url(IMG/Bg.gif) }</style></head>
<body><h1 id="top">首页</h1>
<a href="/News/">新闻</a> <a href="About.HTML#team">关于</a> <a href="News/Story1.html#part2">Story</a>
<a href="search.html?q=%E4%B8%AD&amp;n=1">Search</a> <a href="http://elsewhere.invalid/page.html">Elsewhere</a>
<a href="//elsewhere.invalid/x.html">Scheme-relative</a> <a href="#top">Top</a> <a href="mailto:a@b.invalid">Mail</a>
<img src="IMG/Logo.gif" srcset="IMG/Logo.gif 1x, /IMG/Logo2x.gif 2x" alt="logo">
<div style="background-image: url('/IMG/Bg.gif')">x</div>
</body></html>
)x");
  site.write("About.HTML", R"x(<html><head><meta charset="utf-8"><link rel="stylesheet" href="CSS/Print.css"></head>
<body><h1 id="team">团队</h1><img src="IMG/Bg.gif"><img src='/IMG/Logo2x.gif'>
<a href="./index.html">Home</a> <a href=News/>News</a></body></html>
)x");
  site.write("News/index.html", R"x(<html><body><a href="Story1.html">1</a> <a href="./Story2.html">2</a>
<a href="../About.HTML">About</a> <a href="/">Home</a></body></html>
)x");
  site.write("News/Story1.html",
             "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\"></head><body>" +
                 text::toCodePage(u"<p title=\"昞\" id=\"part2\">第一篇新闻</p>") +
                 "<a href=\"Story2.html\">Next</a> <a href=\"../index.html\">Home</a> <img src=\"../IMG/Logo.gif\">"
                 " <a href=\"../../About.HTML\">About</a></body></html>\n");
  site.write("News/Story2.html", R"x(<html><body><p>第二篇</p><a href='Story1.html#part2'>Back</a>
<a href=/News/>All</a> <a href="/Missing.html">Missing</a></body></html>
)x");
  site.write("CSS/Site.css", R"x(@import "Print.css"; h1 { background: url("../IMG/Bg.gif") } /* url(/none.gif) */
)x");
  site.write("CSS/Print.css", "body { color: #000 } .x { background: url(/IMG/Logo.gif) }\n");
  for (const char* image : {"IMG/Logo.gif", "IMG/Logo2x.gif", "IMG/Bg.gif"}) site.write(image, kGif);
}

TEST(LinkConversion, EveryLinkOfAGeneratedSiteLeadsIntoTheCopyOrToTheWeb) {
  TempDir site, work;
  writeGeneratedSite(site);
  NginxServer server(site.path());
  ASSERT_TRUE(server.running()) << server.error();
  const std::string host = "127.0.0.1:" + std::to_string(server.port());

  // A plain crawl is byte for byte what the server holds; the site's links to
  // pages it does not have make the exit status 8.
  ASSERT_EQ(crawl(work, server.url("/"), "plain", false).exitCode, 8);
  const auto plain = filesUnder(work.file("plain") / host);
  for (const auto& [file, bytes] : filesUnder(site.path())) {
    EXPECT_EQ(plain.at(lower(file.string())), bytes) << file;
  }

  fsys::copy(work.file("plain"), work.file("converted"), fsys::copy_options::recursive);
  const ProgramRun first = harbek(work, {"--convert-links", work.file("converted").string()});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  const fsys::path copy = work.file("converted") / host;
  const auto converted = filesUnder(copy);

  for (const auto& [file, bytes] : converted) {
    if (isPage(file)) {
      EXPECT_EQ(masked(bytes), masked(plain.at(file))) << file;
    } else {
      EXPECT_EQ(bytes, plain.at(file)) << file;
    }
  }
  // The checker itself: the byte-exact copy's root-relative links are broken.
  const std::vector<std::string> brokenInPlain = brokenLinks(work.file("plain") / host, host);
  EXPECT_NE(std::find(brokenInPlain.begin(), brokenInPlain.end(), "index.html: /CSS/Site.css"), brokenInPlain.end());
  EXPECT_EQ(brokenLinks(copy, host), std::vector<std::string>{});

  // Converting again changes nothing.
  const ProgramRun second = harbek(work, {"--convert-links", work.file("converted").string()});
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_NE(second.out.find("0 pages converted"), std::string::npos) << second.out;
  EXPECT_EQ(filesUnder(copy), converted);

  // A crawl that converts when it ends makes the same copy.
  const ProgramRun direct = crawl(work, server.url("/"), "direct", true);
  EXPECT_EQ(direct.exitCode, 8) << direct.err;
  EXPECT_EQ(filesUnder(work.file("direct") / host), converted);
  EXPECT_NE(direct.out.find("converted " + host), std::string::npos) << direct.out;
  // --quiet keeps the summary, not the line per page.
  const ProgramRun quiet = harbek(work, {"--headless", "--quiet", "--convert-links", "--ini", work.file("quiet.ini").string(),
                                         "--save-dir", work.file("quiet").string(), "--interval", "0", server.url("/")});
  EXPECT_EQ(filesUnder(work.file("quiet") / host), converted);
  EXPECT_EQ(quiet.out.find("converted " + host), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.out.find("pages converted"), std::string::npos) << quiet.out;
}

TEST(LinkConversion, CommandExitStatusSaysWhetherEveryPageWasHandled) {
  TempDir work;
  work.write("copy/site/index.html", "<a href=\"/About.html\">");
  work.write("copy/site/about.html", "<a href=\"/\">");
  const std::string copy = work.file("copy").string();
  struct Case {
    const char* what;
    fsys::perms indexMode;
    std::vector<std::string> args;
    int exitCode;
    std::string out, err;
  } cases[] = {
      {"a read-only page", fsys::perms(0444), {"--convert-links", copy}, 1, "converted site/about.html\n",
       "failed site/index.html: read-only file\n"},
      {"the rest", fsys::perms(0644), {"--convert-links", copy}, 0, "converted site/index.html\n", ""},
      {"no such folder", fsys::perms(0644), {"--convert-links", work.file("none").string()}, 2, "",
       "harbek: " + work.file("none").string() + " is not a folder\n"},
      // A web address is a start address of window mode, which needs a display.
      {"a web address", fsys::perms(0644), {"--convert-links", "http://127.0.0.1:1/"}, 2, "",
       "harbek: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
       "use --headless to copy a site in the terminal\n"},
  };
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fsys::permissions(work.file("copy/site/index.html"), c.indexMode);
    const ProgramRun r = harbek(work, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), c.out);
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_EQ(readFile(work.file("copy/site/index.html")), "<a href=\"about.html\">");
}

TEST(LinkConversion, SampleSiteCopyBrowsesOfflineInChromium) {
  const std::string chromium = harbek::testing::findChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  TempDir work;
  NginxServer server(HARBEK_SAMPLE_SITE);
  ASSERT_TRUE(server.running()) << server.error();
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  ASSERT_EQ(crawl(work, server.url("/"), "plain", false).exitCode, 0);
  ASSERT_EQ(crawl(work, server.url("/"), "converted", true).exitCode, 0);

  struct Case {
    const char* copy;
    std::string failures;  // what the probe reports
  } cases[] = {
      {"converted", ""},
      // The check itself: the byte-exact copy's root-relative link is broken.
      {"plain", "link file:///Contact.html"},
  };
  size_t pages = 0;
  for (const auto& e : fsys::recursive_directory_iterator(work.file("converted") / host)) {
    pages += e.path().extension() == ".html";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.copy);
    const fsys::path folder = work.file(std::string("browse-") + c.copy);
    fsys::create_directories(folder);
    const harbek::testing::BrowseReport report =
        harbek::testing::browseOffline(chromium, work.file(c.copy) / host / "index.html", folder);
    ASSERT_TRUE(report.ran) << report.error;
    if (c.failures.empty()) {
      EXPECT_EQ(report.visited, pages);
      EXPECT_EQ(report.failures, "");
    } else {
      EXPECT_NE(report.failures.find(c.failures), std::string::npos) << report.failures;
    }
  }
}

}  // namespace
}  // namespace harbek::tools
