#include "libs/strings/page_text.h"

#include <algorithm>

#include "libs/strings/string_ops.h"
#include "platform/text/text.h"

namespace harbek::strings {

std::u16string ini(std::u16string_view source) {
  if (source.empty()) return {};
  return selecTini(changeHtml(source));
}

std::u16string selecTini(std::u16string_view source) {
  if (source.empty()) return {};
  std::u16string s = text::replaceAll(source, u"&nbsp;", u"");
  std::erase_if(s, [](char16_t c) { return c >= 9 && c <= 13; });
  s = text::toLower(noSpaceINtag(s));
  return text::replaceAll(s, u"about:blank", u"");
}

}  // namespace harbek::strings
