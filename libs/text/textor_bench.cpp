// Times StripText over a generated page of about 1 MB: ordinary markup,
// Chinese text, entities and many script and style blocks, some of them
// without a closing tag. Prints the best and the median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "libs/text/totextor.h"

namespace {

std::u16string makePage(size_t size) {
  const std::u16string blocks[] = {
      u"<div class=\"item\"><a href=\"/news/2024/01/item.html\">Headline of the DAY</a></div>\r\n",
      u"<p>这是一个测试页面，包含中文文字和&nbsp;空格。</p>\r\n",
      u"<script type=\"text/javascript\">var x = '<b>' + 1 > 0; document.write(x);</script>\r\n",
      u"<style>.item { color: red; } p > a { margin: 0 }</style>\r\n",
      u"<table><tr><td>cell one</td><td>cell&nbsp;two &amp; three</td></tr></table>\r\n",
      u"<img src=\"/images/logo.png\" alt=\"Logo\"><br/>Some trailing text &lt;here&gt;\r\n",
      u"<script src=\"unclosed.js\">\r\n",
  };
  std::u16string page = u"<html><head><title>Bench</title></head><body>\r\n";
  for (size_t i = 0; page.size() < size; ++i) page += blocks[(i * 7 + i / 3) % std::size(blocks)];
  page += u"</body></html>\r\n";
  return page;
}

}  // namespace

int main() {
  const std::u16string page = makePage(1 << 20);
  constexpr int kRuns = 21;
  std::vector<double> ms;
  size_t outSize = 0;
  for (int i = 0; i < kRuns; ++i) {
    auto start = std::chrono::steady_clock::now();
    std::u16string text = harbek::textor::stripText(page);
    auto end = std::chrono::steady_clock::now();
    outSize = text.size();
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("StripText of %zu characters (%zu left): best %.2f ms, median %.2f ms over %d runs\n",
              page.size(), outSize, ms.front(), ms[ms.size() / 2], kRuns);
  return 0;
}
