#include "fetcher/tag_scanner.h"

#include <cstring>

#include "platform/text/text.h"

namespace harbek::fetcher {
namespace {

constexpr size_t npos = std::u16string_view::npos;

char16_t lowerUnit(char16_t c) {
  return c < 0x80 ? ((c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c) : text::toLower(c);
}

// text::toLower, with the ASCII letters done in line: a page is mostly ASCII.
void lowerInto(std::u16string_view page, std::u16string& out) {
  out.resize(page.size());
  for (size_t i = 0; i < page.size(); ++i) out[i] = lowerUnit(page[i]);
}

// The next unit c (below 0x100) of the page at or after `from`. memchr
// looks through the bytes with the machine's widest loads; a hit on a byte
// of another character is passed over, whichever byte order the units have.
size_t findUnit(std::u16string_view page, char16_t c, size_t from) {
  const char* bytes = reinterpret_cast<const char*>(page.data());
  const size_t size = page.size() * sizeof(char16_t);
  for (size_t at = from * sizeof(char16_t); at < size;) {
    const void* hit = std::memchr(bytes + at, static_cast<unsigned char>(c), size - at);
    if (!hit) return npos;
    const size_t offset = static_cast<size_t>(static_cast<const char*>(hit) - bytes);
    if (page[offset / sizeof(char16_t)] == c) return offset / sizeof(char16_t);
    at = offset + 1;
  }
  return npos;
}

// Where pattern stands in the lower-cased page, searched from `from`, without
// making a lower-cased copy of the page. Every pattern of the scan starts
// with "<" or ">", which nothing else lower-cases to.
size_t findLowered(std::u16string_view page, std::u16string_view pattern, size_t from) {
  for (size_t at = findUnit(page, pattern.front(), from); at != npos; at = findUnit(page, pattern.front(), at + 1)) {
    if (page.size() - at < pattern.size()) return npos;
    size_t k = 1;
    while (k < pattern.size() && lowerUnit(page[at + k]) == pattern[k]) ++k;
    if (k == pattern.size()) return at;
  }
  return npos;
}

}  // namespace

void scanTags(std::u16string_view page, std::u16string_view tagName, bool isEndTag, const TagScanHooks& hooks) {
  const std::u16string opening = u"<" + text::toLower(tagName);
  // The end mark keeps the caller's letter case, though it is searched for
  // in the lower-cased page.
  const std::u16string endMark = isEndTag ? u"</" + std::u16string(tagName) + u">" : std::u16string(u">");
  const int32_t length = text::clamp32(page.size());

  std::u16string lowElement;
  size_t pos = 0;
  while (true) {
    const size_t start = findLowered(page, opening, pos);
    if (start == npos) return;
    hooks.progress(text::clamp32(start + 1), length);
    const size_t end = findLowered(page, endMark, start);
    if (end == npos) return;
    pos = end + endMark.size();
    const std::u16string_view element = page.substr(start, pos - start);
    lowerInto(element, lowElement);
    hooks.element(element, lowElement);
    hooks.progress(text::clamp32(pos + 1), length);
  }
}

std::u16string attributeValue(std::u16string_view s, std::u16string_view lowS, std::u16string_view PV,
                              const ValueServices& services) {
  const std::u16string name = text::toLower(PV);
  if (name == u"innerhtml" || name == u"innertext") return services.stripText(s);

  std::u16string value;
  // The first "name=" counts wherever it stands, even inside another value.
  if (size_t k = lowS.find(name + u"="); k != npos) {
    size_t from = k + name.size() + 1;
    char16_t stop = u' ';
    if (from < s.size() && (s[from] == u'"' || s[from] == u'\'')) stop = s[from++];
    if (size_t to = s.find(stop, from); to != npos) value = s.substr(from, to - from);
  }
  if (name == u"src" || name == u"href") return services.resolve(value);
  return value;
}

std::u16string attributeValues(std::u16string_view s, std::u16string_view lowS, std::u16string_view p,
                               const ValueServices& services) {
  std::u16string result;
  if (p.empty()) return result;
  size_t from = 0;
  while (true) {
    const size_t comma = p.find(u',', from);
    const std::u16string v = attributeValue(s, lowS, p.substr(from, comma == npos ? npos : comma - from), services);
    if (result.empty()) {
      result = v;
    } else {
      result += u",";
      result += v;
    }
    if (comma == npos) return result;
    from = comma + 1;
  }
}

}  // namespace harbek::fetcher
