// Fuzz target of the HTML-to-text walk: the input bytes are taken in pairs as
// 16-bit characters. Neither "<" nor ">" ever reaches the text, the text is
// never longer than the HTML, and the marker search ends or fails cleanly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "libs/text/totextor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string html(size / 2, u'\0');
  for (size_t i = 0; i < html.size(); ++i) html[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  for (const std::u16string& text : {harbek::textor::stripText(html), harbek::textor::stripTextNoSpace(html)}) {
    if (text.size() > html.size() || text.find_first_of(u"<>") != std::u16string::npos) std::abort();
  }
  std::u16string word;
  std::u16string marker = html.substr(0, html.empty() ? 0 : html[0] % 4);
  if (harbek::com::succeeded(harbek::textor::getTextorP(html, marker, &word)) && word.size() >= html.size())
    std::abort();
  return 0;
}
