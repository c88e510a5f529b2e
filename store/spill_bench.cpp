// Times one SaveList of a 10001-item queue (the crawler's trigger) and the
// LoadList of the file it wrote, in a fresh folder under the system's
// temporary folder. Usage: spill_bench [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text/text.h"
#include "store/site_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace harbek;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::string folder = (std::filesystem::temp_directory_path() / "spill_bench_XXXXXX").string();
  if (!::mkdtemp(folder.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  std::vector<std::u16string> queue;
  for (int i = 0; i < 10001; ++i) {
    queue.push_back(text::widen("www.example-site.com/news/2024/06/article" + std::to_string(i) + ".html"));
  }
  store::SiteData store;
  store.setSavePath(text::fromUtf8(folder));
  std::printf("queue of %zu items, %d rounds\n", queue.size(), rounds);
  for (int round = 0; round < rounds; ++round) {
    store::VectorUrlList list(queue);
    int32_t wfnum = round, rfnum = round;
    auto start = Clock::now();
    if (!store.SaveList(list, wfnum)) {
      std::fprintf(stderr, "spill_bench: the spill to %s failed\n", folder.c_str());
      return 1;
    }
    const double saveMs = msSince(start);
    const size_t left = list.count();
    store::VectorUrlList back;
    start = Clock::now();
    store.LoadList(back, rfnum);
    const double loadMs = msSince(start);
    std::printf("round %d: SaveList %.2f ms (%zu left)  LoadList %.2f ms (%zu items)\n", round + 1, saveMs, left,
                loadMs, back.count());
  }
  std::filesystem::remove_all(folder);
  return 0;
}
