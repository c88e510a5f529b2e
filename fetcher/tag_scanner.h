// The tag and attribute scanner: a plain text search, not an HTML parser.
//
// An element is "<" + the tag name (matched as a prefix, ignoring letter
// case) up to its end mark: its end tag, or the first ">". Attributes are read
// by a "name=" search inside the element. Searching compares the page's
// characters lower-cased one code unit at a time, without a lower-cased copy
// of the page (a page can be large); each element is lower-cased on its own
// for the attribute search. Elements and values are cut from the page itself,
// so they keep its letter case.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace harbek::fetcher {

struct TagScanHooks {
  // The 1-based scan position and the length of the page.
  std::function<void(int32_t pos, int32_t length)> progress;
  // One element, and the same characters from the lower-cased page.
  std::function<void(std::u16string_view element, std::u16string_view lowElement)> element;
};

// Finds every element of tagName in page, in order.
void scanTags(std::u16string_view page, std::u16string_view tagName, bool isEndTag, const TagScanHooks& hooks);

// What reading a value needs from outside: the text of an element without
// its markup, and a link resolved against the page's URL.
struct ValueServices {
  std::function<std::u16string(std::u16string_view element)> stripText;
  std::function<std::u16string(std::u16string_view link)> resolve;
};

// The value of one attribute (or of "innerhtml"/"innertext") of an element.
std::u16string attributeValue(std::u16string_view s, std::u16string_view lowS, std::u16string_view PV,
                              const ValueServices& services);

// The values of the attributes named in p (separated by ","), joined by ","
// except that empty values at the front leave no trace.
std::u16string attributeValues(std::u16string_view s, std::u16string_view lowS, std::u16string_view p,
                               const ValueServices& services);

}  // namespace harbek::fetcher
