// Where the links of a saved page stand: byte ranges of the values that a
// link converter may rewrite, in page order.
//
// HTML: the elements come from the fetcher's tag scanner (every "<"); the
// links are the href of a, area and link, the src of img, script and
// iframe, each URL of an img's srcset, and the url() and @import links of
// CSS in style attributes and style elements. The attributes of an element
// are read as a browser reads them (whole names, quoted or unquoted values,
// a ">" inside quotes is not the end), comments are passed over, and the
// text of script and style elements is not taken for tags.
// CSS: url(...) (quoted or not) and the string of @import, outside comments
// and other strings. A CSS value holding a backslash escape is left out,
// since rewriting it would need the escapes read first.
//
// The search runs on the bytes themselves, so positions are byte offsets. In
// a page in the system code page, the two bytes of a double-byte character
// are taken as one letter: a trail byte such as "@" or "\" is never read as
// syntax.
#pragma once

#include <string_view>
#include <vector>

#include "tools/treplace.h"

namespace harbek::tools {

struct LinkSpan {
  size_t begin = 0;
  size_t end = 0;
  // The value stands in an HTML attribute: character references ("&amp;")
  // are read in it and must be written for "&".
  bool inAttribute = false;
};

std::vector<LinkSpan> findHtmlLinks(std::string_view page, Encoding encoding);
std::vector<LinkSpan> findCssLinks(std::string_view css, Encoding encoding);

}  // namespace harbek::tools
