// Micro benchmarks of the string operations that see whole fetched pages:
// changeHtml and ini over a generated page of about 1 MB, sReplace turning
// every "\" of a 1 MB path list into "/", and iSum over the page.
#include <benchmark/benchmark.h>

#include "libs/strings/page_text.h"
#include "libs/strings/string_ops.h"

namespace {

std::u16string makePage(size_t size) {
  const std::u16string blocks[] = {
      u"<div class=\"item\"><a href=\"/news/2024/01/item.html\">Headline of the DAY</a></div>\r\n",
      u"<p>这是一个测试页面，包含中文文字和&nbsp;空格。<P>unclosed\r\n",
      u"<script type=\"text/javascript\">var x = '<b>' + 1 > 0;</script>\r\n",
      u"<table><tr><td>cell one<td>cell&nbsp;two &amp; three</table>\r\n",
      u"<img src=\"/images/logo.png\" alt=\"Logo\"><br/>Some trailing text &lt;here&gt;\r\n",
  };
  std::u16string page;
  for (size_t i = 0; page.size() < size; ++i) page += blocks[(i * 7 + i / 3) % std::size(blocks)];
  return page;
}

const std::u16string& page() {
  static const std::u16string p = makePage(1 << 20);
  return p;
}

void changeHtml(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(harbek::strings::changeHtml(page()));
  state.SetBytesProcessed(state.iterations() * page().size() * 2);
}

void ini(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(harbek::strings::ini(page()));
  state.SetBytesProcessed(state.iterations() * page().size() * 2);
}

void sReplace(benchmark::State& state) {
  std::u16string paths;
  while (paths.size() < (1 << 20)) paths += u"site\\news\\2024\\item.html\r\n";
  for (auto _ : state) {
    std::u16string line = paths, result;
    benchmark::DoNotOptimize(harbek::strings::sReplace(line, u"\\", u"/", &result));
  }
  state.SetBytesProcessed(state.iterations() * paths.size() * 2);
}

void iSum(benchmark::State& state) {
  int16_t n = 0;
  // A hit past position 32,767 overflows, so the whole page is searched for
  // a text it does not hold.
  for (auto _ : state) benchmark::DoNotOptimize(harbek::strings::iSum(page(), u"zzz", &n));
  state.SetBytesProcessed(state.iterations() * page().size() * 2);
}

}  // namespace

BENCHMARK(changeHtml)->Unit(benchmark::kMillisecond);
BENCHMARK(ini)->Unit(benchmark::kMillisecond);
BENCHMARK(sReplace)->Unit(benchmark::kMillisecond);
BENCHMARK(iSum)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
