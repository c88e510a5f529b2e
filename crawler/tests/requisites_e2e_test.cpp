// The harbek program against a page of the kind sites are made of now: style
// sheets with @import, fonts and backgrounds, srcset, <picture>, <video>,
// style attributes and elements, and requisites on a second host (another
// nginx, on another port). The copy must hold every requisite byte for byte
// and, converted, no same-site reference that opens nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "crawler/tests/test_site.h"
#include "fetcher/link_finder.h"
#include "platform/text/text.h"
#include "tests/support/child_process.h"
#include "tests/support/chromium_probe.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;
using testing::requestPaths;
using testing::savedTree;
using testing::Tree;

std::string percentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && text::hexDigit(s[i + 1]) >= 0 && text::hexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(text::hexDigit(s[i + 1]) * 16 + text::hexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

class RequisitesEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    a_ = std::make_unique<NginxServer>(dir_.file("a"));
    b_ = std::make_unique<NginxServer>(dir_.file("b"));
    ASSERT_TRUE(a_->running() && b_->running()) << a_->error() << b_->error();
    hostA_ = "127.0.0.1:" + std::to_string(a_->port());
    hostB_ = "127.0.0.1:" + std::to_string(b_->port());
    const std::string b = "http://" + hostB_;
    // Site A's files: path -> bytes; every one of them is part of the page.
    // A real 1x1 PNG (browsers read images by their bytes, whatever their
    // names say), with a tail that tells the files apart.
    const std::string bin(
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06\x00"
        "\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0b\x49\x44\x41\x54\x78\x9c\x63\x60\x00\x02\x00\x00\x05\x00\x01\x7a\x5e"
        "\xab\x3f\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
        67);
    siteA_ = {
        {"index.html",
         "<html><head><meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"refresh\" content=\"600; url=page2.html\">\n"
         "<base href=\"/\">\n"
         "<link rel=\"stylesheet\" href=\"css/site.css?ver=6.4\">\n"
         "<link rel=\"stylesheet\" href=\"" + b + "/cdn/remote.css\">\n"
         "<link rel=\"icon\" href=\"" + b + "/favicon.ico\">\n"
         "<style>@import 'css/print.css'; .hero { background: url(\"img/hero.png\") } /* url(img/none.png) */</style>\n"
         "<script src=\"js/app.js\"></script><script src=\"" + b + "/cdn/lib.js\"></script>\n"
         "</head><body background=\"img/bg.gif\" style=\"background-image:url(img/body.png)\">\n"
         "<img src=\"img/a.png\" srcset=\"img/a-2x.png 2x, img/a-3x.png 3x\" alt=\"a\">\n"
         "<picture><source srcset=\"img/p.webp 1x,img/p2.webp 2x\" type=\"image/webp\"><img src=\"img/p.png\"></picture>\n"
         "<video poster=\"media/poster.jpg\" src=\"media/v.mp4\"><source src=\"media/v.webm\"><track src=\"media/sub.vtt\"></video>\n"
         "<audio src=\"media/a.mp3\"></audio><embed src=\"media/e.swf\"><object data=\"media/o.svg\"></object>\n"
         "<input type=\"image\" src=\"img/button.png\"><input type=\"text\" src=\"img/none.png\">\n"
         "<table background=\"img/table.png\"><tr><td background=\"img/td.png\">x</td></tr></table>\n"
         "<svg><image href=\"img/svg.png\"/><use xlink:href=\"img/sprite.svg#i\"/></svg>\n"
         "<img src=\"" + b + "/cdn/remote.png\"><a href=\"" + b + "/page.html\">elsewhere</a>\n"
         "<a href=\"page2.html\">next</a></body></html>\n"},
        {"page2.html", "<html><body><img src=\"img/a.png\"><a href=\"index.html\">home</a></body></html>\n"},
        {"css/site.css?ver=6.4", ""},  // placeholder: the file is css/site.css, saved with its query
        {"css/site.css",
         "@import url(\"base.css\");\n@font-face { src: url(../fonts/f.woff2) format(\"woff2\"); }\n"
         ".x { background: url('../img/css-bg.png') } /* url(../img/none.png) */\n"
         ".y { background: url(data:image/png;base64,iVBOR) }\n"},
        {"css/base.css", "body { background: url(../img/base-bg.png) }\n"},
        {"css/print.css", "a { color: black }\n"},
        {"js/app.js", "var app = 1;\n"},
        {"fonts/f.woff2", bin},
    };
    siteA_.erase("css/site.css?ver=6.4");
    for (const char* image : {"img/hero.png", "img/bg.gif", "img/body.png", "img/a.png", "img/a-2x.png", "img/a-3x.png",
                              "img/p.webp", "img/p2.webp", "img/p.png", "media/poster.jpg", "media/v.mp4",
                              "media/v.webm", "media/sub.vtt", "media/a.mp3", "media/e.swf", "media/o.svg",
                              "img/button.png", "img/table.png", "img/td.png", "img/svg.png", "img/sprite.svg",
                              "img/css-bg.png", "img/base-bg.png"}) {
      siteA_[image] = bin + image;
    }
    siteB_ = {{"cdn/remote.css", ".r { background: url(font.woff) }\n"},
              {"cdn/font.woff", bin + "font"},
              {"favicon.ico", bin + "icon"},
              {"cdn/lib.js", "var lib = 1;\n"},
              {"cdn/remote.png", bin + "remote"},
              {"page.html", "<a href=\"/other.html\">other</a>"},
              {"other.html", "other"}};
    for (const auto& [path, bytes] : siteA_) write(dir_.file("a") / path, bytes);
    for (const auto& [path, bytes] : siteB_) write(dir_.file("b") / path, bytes);
  }

  static void write(const fsys::path& file, const std::string& bytes) {
    fsys::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }

  harbek::testing::ProgramRun copy(const std::string& save, std::vector<std::string> more) {
    std::vector<std::string> args = {"--headless", "--ini", dir_.file("sys.ini").string(), "--save-dir",
                                     dir_.file(save).string(), "--interval", "0"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(a_->url("/"));
    return harbek::testing::runProgram(harbek::testing::harbekPath(), args, logs_.path(), 90s);
  }

  // What a copy must hold: site A's files (the style sheet under its name
  // with the query and ".css"), and with requisites site B's but its pages.
  Tree expected(bool withB) const {
    Tree out;
    for (const auto& [path, bytes] : siteA_) {
      out[hostA_ + "/" + (path == "css/site.css" ? "css/site.css?ver=6.4.css" : path)] = bytes;
    }
    if (withB) {
      for (const auto& [path, bytes] : siteB_) {
        if (!path.ends_with(".html")) out[hostB_ + "/" + path] = bytes;
      }
    }
    return out;
  }

  TempDir dir_;
  TempDir logs_;
  std::unique_ptr<NginxServer> a_, b_;
  std::string hostA_, hostB_;
  std::map<std::string, std::string> siteA_, siteB_;
};

TEST_F(RequisitesEndToEnd, EveryRequisiteOfTheSiteIsCopied) {
  auto r = copy("plain", {});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  testing::expectSameTree(expected(false), savedTree(dir_.file("plain"), nullptr));
  EXPECT_EQ(b_->requestCount(), 0u);
  for (const std::string& path : requestPaths(a_->accessLogPath())) EXPECT_EQ(path.find("none"), std::string::npos) << path;
}

TEST_F(RequisitesEndToEnd, RequisitesOfOtherSitesAndAConvertedCopyWithNoBrokenReference) {
  auto r = copy("whole", {"--page-requisites", "--convert-links"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const fsys::path save = dir_.file("whole");
  // Byte for byte before conversion: the requisites that are no pages.
  Tree saved = savedTree(save, nullptr);
  Tree want = expected(true);
  for (auto& [name, bytes] : want) {
    if (name.ends_with(".html") || name.find(".css") != std::string::npos) continue;
    EXPECT_EQ(saved[name], bytes) << name;
  }
  std::set<std::string> names;
  for (const auto& [name, bytes] : saved) names.insert(name);
  std::set<std::string> wantNames;
  for (const auto& [name, bytes] : want) wantNames.insert(name);
  EXPECT_EQ(names, wantNames);
  const std::vector<std::string> askedOfB = requestPaths(b_->accessLogPath());
  EXPECT_EQ(std::count(askedOfB.begin(), askedOfB.end(), "/page.html"), 0) << "a page of another site";

  EXPECT_NE(saved[hostA_ + "/index.html"].find("<base href=\"\">"), std::string::npos) << "the base goes";
  // Every reference of every converted page and style sheet that names a
  // file of the copy opens one; no reference to site A is left absolute.
  for (const auto& [name, bytes] : saved) {
    const bool css = name.find(".css") != std::string::npos;
    if (!css && !name.ends_with(".html")) continue;
    const std::u16string text = text::fromUtf8(bytes);
    for (const fetcher::FoundLink& link : css ? fetcher::findCssLinks(text) : fetcher::findHtmlLinks(text)) {
      if (link.role == fetcher::LinkRole::kBase) continue;
      std::string value = text::toUtf8(fetcher::linkValue(text, link));
      value = value.substr(0, value.find('#'));
      EXPECT_EQ(value.find(hostA_), std::string::npos) << name << ": " << value;
      if (value.starts_with("http:")) {
        EXPECT_EQ(value.find(hostB_ + "/cdn"), std::string::npos) << name << ": " << value;
        continue;
      }
      const fsys::path target = (save / name).parent_path() / percentDecoded(value);
      EXPECT_TRUE(fsys::is_regular_file(target)) << name << ": " << value;
    }
  }
}

// The converted copy, opened from disk in Chromium: every style sheet and
// image of both pages loads, and every link opens a file.
TEST_F(RequisitesEndToEnd, TheConvertedCopyBrowsesOfflineInChromium) {
  const std::string chromium = harbek::testing::findChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  ASSERT_EQ(copy("whole", {"--page-requisites", "--convert-links"}).exitCode, 0);
  const fsys::path browse = dir_.file("browse");
  fsys::create_directories(browse);
  const harbek::testing::BrowseReport report = harbek::testing::browseOffline(
      chromium, dir_.file("whole") / hostA_ / "index.html", browse, fsys::path(HARBEK_SCREENSHOT_DIR) / "requisites.png");
  ASSERT_TRUE(report.ran) << report.error;
  EXPECT_EQ(report.visited, 2u);
  EXPECT_EQ(report.failures, "");
}

}  // namespace
}  // namespace harbek::crawler
