// Times load and the segmentation of 1 MB of Chinese text made of random
// words of the word list, run by hand:
//   tamsel_bench DICTFILE INDEXFILE WORDLIST
#include <chrono>
#include <cstdio>
#include <random>

#include "libs/segment/dictionary_files.h"
#include "libs/segment/segment.h"
#include "platform/fs/fs.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;  // in the system code page

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Random words, with a comma or full stop after every few of them.
std::u16string sampleText(const std::vector<std::u16string>& words) {
  std::mt19937 random(2008);
  std::uniform_int_distribution<size_t> pick(0, words.size() - 1);
  std::uniform_int_distribution<int> phrase(3, 12);
  std::u16string text;
  size_t bytes = 0;
  while (bytes < kTextBytes) {
    for (int n = phrase(random); n > 0; --n) {
      const std::u16string& w = words[pick(random)];
      text += w;
      bytes += harbek::text::toCodePage(w).size();
    }
    text += (random() % 3 == 0) ? u"。" : u"，";
    bytes += 2;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace harbek;
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DICTFILE INDEXFILE WORDLIST\n", argv[0]);
    return 2;
  }
  fs::Bytes list;
  if (fs::readFile(argv[3], list) != fs::Error::kOk) {
    std::fprintf(stderr, "%s: cannot read\n", argv[3]);
    return 1;
  }
  std::vector<std::u16string> words = tamsel::readWordList(list);
  if (words.empty()) return 1;
  std::u16string input = sampleText(words);

  tamsel::segment seg;
  seg.dictPath = text::fromUtf8(argv[1]);
  seg.indexPath = text::fromUtf8(argv[2]);
  auto start = std::chrono::steady_clock::now();
  com::HResult h = seg.load();
  double loadSeconds = secondsSince(start);
  if (com::failed(h)) {
    std::fprintf(stderr, "load: %s\n", com::errorMessage(h).c_str());
    return 1;
  }
  std::u16string output;
  start = std::chrono::steady_clock::now();
  h = seg.Asegment(input, &output);
  double segmentSeconds = secondsSince(start);
  if (com::failed(h)) {
    std::fprintf(stderr, "Asegment: %s\n", com::errorMessage(h).c_str());
    return 1;
  }
  size_t separators = 0;
  for (char16_t c : output) separators += c == u'|';
  std::printf("load %.3f s\n", loadSeconds);
  std::printf("Asegment %.3f s for %zu bytes (%zu characters), %zu separators in the result\n", segmentSeconds,
              kTextBytes, input.size(), separators);
  return 0;
}
