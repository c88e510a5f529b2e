// Where the links of a saved page stand, as byte ranges that the link
// converter may rewrite, in page order (what counts as a link is
// fetcher/link_finder.h's).
//
// The search runs on the bytes themselves, so positions are byte offsets. In
// a page in the system code page, the two bytes of a double-byte character
// are taken as one letter: a trail byte such as "@" or "\" is never read as
// syntax.
#pragma once

#include <string_view>
#include <vector>

#include "fetcher/link_finder.h"
#include "tools/treplace.h"

namespace harbek::tools {

using LinkSpan = fetcher::FoundLink;

std::vector<LinkSpan> findHtmlLinks(std::string_view page, Encoding encoding);
std::vector<LinkSpan> findCssLinks(std::string_view css, Encoding encoding);

}  // namespace harbek::tools
