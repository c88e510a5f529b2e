// Builds the segmenter's dictionary and index files from a word list:
//   tamsel_dictgen WORDLIST OUTFOLDER
// writes OUTFOLDER/tamsel.dic and OUTFOLDER/tamsel.idx. Each file is written
// beside its final name and renamed over it, so an interrupted build never
// leaves half a dictionary.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "libs/segment/dictionary_files.h"
#include "platform/fs/fs.h"

namespace {

bool writeWhole(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path partial = path;
  partial += ".part";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(partial, path, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace harbek;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s WORDLIST OUTFOLDER\n", argv[0]);
    return 2;
  }
  fs::Bytes list;
  if (fs::Error e = fs::readFile(argv[1], list); e != fs::Error::kOk) {
    std::fprintf(stderr, "%s: %s\n", argv[1], std::string(fs::errorName(e)).c_str());
    return 1;
  }
  tamsel::DictionaryFiles files;
  if (com::failed(tamsel::makeDictionaryFiles(tamsel::readWordList(list), &files))) {
    std::fprintf(stderr, "the index file would not read back as written\n");
    return 1;
  }
  std::filesystem::path folder = argv[2];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !writeWhole(folder / "tamsel.dic", files.dictionary) || !writeWhole(folder / "tamsel.idx", files.index)) {
    std::fprintf(stderr, "%s: cannot write the dictionary files\n", argv[2]);
    return 1;
  }
  std::printf("%zu words (%zu left out) -> %s\n", files.words, files.skipped, folder.c_str());
  return 0;
}
