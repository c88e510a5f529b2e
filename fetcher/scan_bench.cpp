// Times the crawler's five scans over a generated 1 MB page with 10,000
// links, and the crawler's own pass for every other link (the link finder)
// over the same page. Usage: scan_bench [runs]. Prints the time of each run
// and the best of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fetcher/html.h"
#include "fetcher/link_finder.h"
#include "platform/text/text.h"

namespace {

using harbek::fetcher::html;
using harbek::fetcher::HtmlEvents;

struct Counter : HtmlEvents {
  size_t tags = 0;
  size_t bytes = 0;
  void GetTag(const std::u16string&, const std::u16string& TagDis) override {
    ++tags;
    bytes += TagDis.size();
  }
};

std::u16string makePage() {
  constexpr size_t kSize = 1 << 20;
  std::string page = "<html><head><title>Bench</title>\n";
  for (int i = 0; i < 100; ++i) {
    page += "<link rel=\"stylesheet\" href=\"/Css/Style" + std::to_string(i) + ".css\">\n";
    page += "<script src=\"/Js/Lib" + std::to_string(i) + ".js\"></script>\n";
  }
  page += "</head><body>\n";
  for (int i = 0; i < 10000; ++i) {
    const std::string n = std::to_string(i);
    page += "<a href=\"../S" + std::to_string(i % 37) + "/Page" + n + ".html\">Item <b>" + n + "</b></a>";
    if (i % 10 == 0) page += "<img src=\"Pics/P" + n + ".gif\" alt=\"p\">";
    if (i % 200 == 0) page += "<iframe src=\"/Frame" + n + ".htm\"></iframe>";
    page += i % 4 == 0 ? "<br>\n" : " | ";
  }
  while (page.size() < kSize) page += "<p>Filler paragraph without any links at all, only words.</p>\n";
  page += "</body></html>\n";
  return harbek::text::widen(page);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  auto loop = harbek::event::makePollLoop();
  Counter owner;
  html control(*loop, owner);
  control.setUrl(std::u16string(u"http://bench.example/Dir/Index.html"));
  control.setHTMLcode(makePage());
  std::printf("page: %zu characters\n", control.HTMLcode().size());

  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    owner.tags = 0;
    const auto start = std::chrono::steady_clock::now();
    bool ok = harbek::com::succeeded(control.SearchTag(u"a", u"href,innerhtml", true)) &&
              harbek::com::succeeded(control.SearchTag(u"link", u"href,innerhtml", false)) &&
              harbek::com::succeeded(control.SearchTag(u"img", u"src,innerhtml", false)) &&
              harbek::com::succeeded(control.SearchTag(u"script", u"src,innerhtml", true)) &&
              harbek::com::succeeded(control.SearchTag(u"iframe", u"src,innerhtml", true));
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      std::printf("a scan failed: are the vornet and textor components registered?\n");
      return 1;
    }
    best = std::min(best, ms);
    std::printf("run %d: %.1f ms, %zu elements\n", r + 1, ms, owner.tags);
  }
  std::printf("best of %d: %.1f ms for the five scans\n", runs, best);
  double bestPass = 1e9;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const size_t links = harbek::fetcher::findHtmlLinks(control.HTMLcode()).size();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    bestPass = std::min(bestPass, ms);
    std::printf("pass %d: %.1f ms, %zu links\n", r + 1, ms, links);
  }
  std::printf("best of %d: %.1f ms for the one pass (%.0f %% of the five scans)\n", runs, bestPass,
              100 * bestPass / best);
  return 0;
}
