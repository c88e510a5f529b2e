// Where the links of a page or a style sheet stand: the ranges of the
// values that name other resources, in page order, with what each is to the
// page. The crawl takes links from them and the link converter rewrites them.
//
// HTML: every element is read as a browser reads its start tag (whole
// attribute names, quoted or unquoted values, a ">" inside quotes is not the
// end); comments are passed over and the text of script and style elements
// is not taken for tags. The links are:
//   pages       href of a and area; src of frame and iframe; the URL in
//               <meta http-equiv="refresh" content="N; url=...">
//   requisites  href of link; src of img, script, source, video, audio,
//               track, embed and input type=image; every URL of the srcset
//               of img and source; poster of video; data of object;
//               background of body, table, td and th; href and xlink:href
//               of SVG image and use; url() and @import of CSS in style
//               attributes and style elements
//   base        href of base
// CSS: url(...) (quoted or not) and the string of @import, outside comments
// and other strings. A CSS value holding a backslash escape is left out,
// since it would have to be read before use; "data:" URLs are left out.
//
// The search works on text whose positions the caller chooses: the page's
// own text, or (for a converter working on bytes) a view with one character
// per byte.
#pragma once

#include <string_view>
#include <vector>

namespace harbek::fetcher {

enum class LinkRole { kPage, kRequisite, kBase };

struct FoundLink {
  size_t begin = 0;
  size_t end = 0;
  // The value stands in an HTML attribute: character references ("&amp;")
  // are read in it.
  bool inAttribute = false;
  LinkRole role = LinkRole::kRequisite;
  // The href of a or link, or the src of img, script or iframe: the links
  // the crawl's five classic scans take.
  bool classic = false;
};

std::vector<FoundLink> findHtmlLinks(std::u16string_view page);
// The value of a link found in text, with its character references read
// ("&amp;" is "&") when it stands in an attribute.
std::u16string linkValue(std::u16string_view text, const FoundLink& link);
std::vector<FoundLink> findCssLinks(std::u16string_view css);

}  // namespace harbek::fetcher
