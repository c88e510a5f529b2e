#include "libs/segment/dictionary_files.h"

#include <map>
#include <set>

#include "libs/segment/segment.h"

namespace harbek::tamsel {
namespace {

constexpr std::u16string_view kWordSeparator = u",";
constexpr std::u16string_view kLineEnd = u"\r\n";

bool fitsTheFormat(const std::u16string& w) {
  if (w.empty() || w.find_first_of(u",\r\n") != std::u16string::npos) return false;
  return text::fromCodePage(text::toCodePage(w)) == w;
}

std::u16string joinLines(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (const auto& line : lines) {
    text += line;
    text += kLineEnd;
  }
  return text;
}

}  // namespace

std::vector<std::u16string> readWordList(std::string_view utf8) {
  std::vector<std::u16string> words;
  while (!utf8.empty()) {
    size_t end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    line = line.substr(0, line.find_first_of(" \t\r"));
    if (!line.empty()) words.push_back(text::fromUtf8(line));
  }
  return words;
}

com::HResult makeDictionaryFiles(const std::vector<std::u16string>& words, DictionaryFiles* out) {
  *out = {};
  std::map<char16_t, std::vector<std::u16string>> groups;
  std::set<std::u16string> seen;
  for (const auto& w : words) {
    if (!fitsTheFormat(w) || !seen.insert(w).second) {
      ++out->skipped;
      continue;
    }
    groups[w[0]].push_back(w);
    ++out->words;
  }

  std::vector<std::u16string> index, lines;
  for (const auto& [first, group] : groups) {
    index.emplace_back(1, first);
    std::u16string line;
    for (const auto& w : group) {
      if (!line.empty()) line += kWordSeparator;
      line += w;
    }
    lines.push_back(std::move(line));
  }

  // Blank lines move the index's extra last entry onto another character
  // until it is none of the first characters.
  for (int attempt = 0; attempt < 64; ++attempt) {
    text::Bytes indexBytes = unscramble(text::toCodePage(joinLines(index)), kIndexKey);
    std::vector<std::u16string> readBack = indexFromBuffer(indexBytes + '\0');
    if (readBack.size() != index.size() + 1 || !std::equal(index.begin(), index.end(), readBack.begin()))
      return com::kFail;
    const std::u16string& extra = readBack.back();
    if (extra.size() == 1 && groups.count(extra[0])) {
      index.emplace_back();
      lines.emplace_back();
      continue;
    }
    out->index = std::move(indexBytes);
    out->dictionary = text::toCodePage(joinLines(lines));
    return com::kOk;
  }
  return com::kFail;
}

}  // namespace harbek::tamsel
