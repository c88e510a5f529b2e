// HTML fragments read the way a browser reads a body's inner HTML.
#pragma once

#include <string>
#include <string_view>

namespace harbek::strings {

// Parses utf8Html as the content of a <body> element, with the HTML parsing
// rules (implied end tags, misnested tags fixed, entities decoded), and
// serialises the resulting nodes again: element and attribute names as the
// parser normalised them, every element closed unless void, attribute values
// double-quoted, text escaped except inside raw-text elements. UTF-8 in and out.
std::string serializeBodyFragment(std::string_view utf8Html);

}  // namespace harbek::strings
