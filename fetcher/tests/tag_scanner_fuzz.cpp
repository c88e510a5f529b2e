// Fuzz target of the tag scanner: the first byte picks one of the crawler's
// five scans, the rest is a page in the system code page. Every element found
// is a piece of the page that starts with "<", the elements come in page
// order without overlapping, the lower-cased element matches it character for
// character, and each attribute value read from an element is a piece of
// that element (links are passed through unresolved here).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fetcher/tag_scanner.h"
#include "platform/text/text.h"

namespace {

struct Scan {
  std::u16string_view tagName;
  bool isEndTag;
  std::u16string_view attributes;
};

// The scans a crawl step makes of each page.
constexpr Scan kScans[] = {
    {u"a", true, u"href,innerhtml"},        {u"link", false, u"href,innerhtml"},
    {u"img", false, u"src,innerhtml"},      {u"script", true, u"src,innerhtml"},
    {u"iframe", true, u"src,innerhtml"},
};

bool inside(std::u16string_view piece, std::u16string_view whole) {
  return piece.empty() || (piece.data() >= whole.data() && piece.data() + piece.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace harbek;
  if (size == 0) return 0;
  const Scan& scan = kScans[data[0] % std::size(kScans)];
  const std::u16string page = text::fromCodePage(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

  const fetcher::ValueServices services{
      [](std::u16string_view element) { return std::u16string(element); },
      [](std::u16string_view link) { return std::u16string(link); },
  };
  const std::u16string_view pageView(page);
  size_t last = 0;
  fetcher::TagScanHooks hooks;
  hooks.progress = [&](int32_t pos, int32_t length) {
    if (length != static_cast<int32_t>(page.size()) || pos < 1 || pos > length + 1) std::abort();
  };
  hooks.element = [&](std::u16string_view element, std::u16string_view lowElement) {
    if (!inside(element, pageView) || element.empty() || element.front() != u'<') std::abort();
    const size_t start = static_cast<size_t>(element.data() - pageView.data());
    if (start < last) std::abort();
    last = start + element.size();
    if (lowElement != text::toLower(element)) std::abort();
    size_t from = 0;
    for (;;) {
      const size_t comma = scan.attributes.find(u',', from);
      const std::u16string_view name = scan.attributes.substr(from, comma - from);
      const std::u16string value = fetcher::attributeValue(element, lowElement, name, services);
      if (element.find(value) == std::u16string_view::npos) std::abort();
      if (comma == std::u16string_view::npos) break;
      from = comma + 1;
    }
    fetcher::attributeValues(element, lowElement, scan.attributes, services);
  };
  fetcher::scanTags(page, scan.tagName, scan.isEndTag, hooks);
  return 0;
}
