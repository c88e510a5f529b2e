#include "fetcher/tag_scanner.h"

#include <algorithm>
#include <limits>

#include "platform/text/text.h"

namespace harbek::fetcher {
namespace {

constexpr size_t npos = std::u16string_view::npos;

int32_t clamp32(size_t n) {
  return static_cast<int32_t>(std::min<size_t>(n, std::numeric_limits<int32_t>::max()));
}

// text::toLower, with the ASCII letters done in line: a page is mostly ASCII
// and is lower-cased once per scan.
void lowerInto(std::u16string_view page, std::u16string& out) {
  out.resize(page.size());
  for (size_t i = 0; i < page.size(); ++i) {
    const char16_t c = page[i];
    out[i] = c < 0x80 ? ((c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c) : text::toLower(c);
  }
}

}  // namespace

void scanTags(std::u16string_view page, std::u16string_view tagName, bool isEndTag, const TagScanHooks& hooks) {
  std::u16string low;
  lowerInto(page, low);
  const std::u16string_view lowPage = low;
  const std::u16string opening = u"<" + text::toLower(tagName);
  // The end mark keeps the caller's letter case, though it is searched for
  // in the lower-cased page.
  const std::u16string endMark = isEndTag ? u"</" + std::u16string(tagName) + u">" : std::u16string(u">");
  const int32_t length = clamp32(page.size());

  size_t pos = 0;
  while (true) {
    const size_t start = lowPage.find(opening, pos);
    if (start == npos) return;
    hooks.progress(clamp32(start + 1), length);
    const size_t end = lowPage.find(endMark, start);
    if (end == npos) return;
    pos = end + endMark.size();
    hooks.element(page.substr(start, pos - start), lowPage.substr(start, pos - start));
    hooks.progress(clamp32(pos + 1), length);
  }
}

std::u16string RpVALUE(std::u16string_view s, std::u16string_view lowS, std::u16string_view PV,
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

std::u16string ReValue(std::u16string_view s, std::u16string_view lowS, std::u16string_view p,
                       const ValueServices& services) {
  std::u16string result;
  if (p.empty()) return result;
  size_t from = 0;
  while (true) {
    const size_t comma = p.find(u',', from);
    const std::u16string v = RpVALUE(s, lowS, p.substr(from, comma == npos ? npos : comma - from), services);
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
