// Fuzz target of the segmenter: the input is three parts separated by the
// first two 0xFF bytes (an index, a dictionary and a text, all in the system
// code page). The indexed lookup must give the literal search's result and
// error, and the output never holds more than the text and its separators.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "libs/segment/segment.h"
#include "libs/segment/tests/literal_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace harbek;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  for (int i = 0; i < 2; ++i) {
    size_t cut = rest.find('\xFF');
    parts[i] = rest.substr(0, cut);
    rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
  }
  parts[2] = rest;
  auto index = tamsel::dictionaryFromBuffer(std::string(parts[0]) + '\0');
  auto dictionary = tamsel::dictionaryFromBuffer(std::string(parts[1]) + '\0');
  std::u16string text = text::fromCodePage(parts[2]);

  tamsel::testing::LiteralLookup literal(index, dictionary);
  tamsel::IndexedLookup indexed(index, dictionary);
  std::u16string expected, out;
  com::HResult want = tamsel::Asegment(text, literal, &expected);
  if (tamsel::Asegment(text, indexed, &out) != want) std::abort();
  if (com::succeeded(want) && (out != expected || out.size() > 2 * text.size() + 1)) std::abort();
  return 0;
}
