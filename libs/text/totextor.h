// HTML to plain text, the logic behind textor.Totextor.
//
// StripText walks the lower-cased HTML once, copying every character that is
// outside a tag. A "<script" or "<style" that has its closing tag jumps there,
// so the code between the tags never reaches the output. The walk stays linear
// however many such tags a page holds: the position of the next closing tag
// is remembered and searched for again only once the walk has passed it.
#pragma once

#include <string>
#include <string_view>

#include "platform/component/errors.h"

namespace harbek::textor {

// The text of the HTML, lower-case, with "&nbsp;" removed.
std::u16string stripText(std::u16string_view html);

// As stripText, without spaces and without CR LF line ends.
std::u16string stripTextNoSpace(std::u16string_view html);

// The longest space-separated word after the second occurrence of marker.
// kInvalidArgument when the marker occurs exactly once or the second
// occurrence ends the text.
com::HResult getTextorP(std::u16string_view text, std::u16string_view marker, std::u16string* result);

}  // namespace harbek::textor
