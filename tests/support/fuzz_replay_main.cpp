// The main of a fuzz target's replay program: feeds the empty input, then
// every file of the seed corpus folders named on the command line (in name
// order), to LLVMFuzzerTestOneInput, as libFuzzer does when it starts. A
// target reports a fault by aborting, so getting to the end is the pass. A
// missing or empty folder fails, so that a moved corpus cannot pass by
// running nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace stdfs = std::filesystem;

bool readWhole(const stdfs::path& file, std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void feed(const std::string& bytes) {
  // A copy of exactly the input's size, so that the address sanitizer sees
  // any read past its end.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>...\n", argv[0]);
    return 2;
  }
  feed({});
  size_t fed = 0;
  for (int a = 1; a < argc; ++a) {
    std::error_code ec;
    std::vector<stdfs::path> files;
    for (const auto& entry : stdfs::directory_iterator(argv[a], ec)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    if (ec || files.empty()) {
      std::fprintf(stderr, "%s: no corpus files in %s\n", argv[0], argv[a]);
      return 1;
    }
    std::sort(files.begin(), files.end());
    for (const stdfs::path& file : files) {
      std::string bytes;
      if (!readWhole(file, bytes)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.c_str());
        return 1;
      }
      std::fprintf(stderr, "%s\n", file.c_str());
      feed(bytes);
      ++fed;
    }
  }
  std::printf("%zu corpus files replayed\n", fed);
  return 0;
}
