// The program's own string module: the shared string operations of
// string_ops.h (the component's class without ini and selecTini) plus two
// hand-made UTF-8 encoders.
//
// The encoders return byte strings in a text: two bytes share one 16-bit
// unit, the first byte in the low half; an odd last byte sits alone in the
// low half of the last unit.
#pragma once

#include <string>
#include <string_view>

#include "libs/strings/string_ops.h"
#include "platform/component/variant.h"
#include "platform/text/text.h"

namespace harbek::strings {

// The byte string of bytes.
std::u16string packByteString(std::string_view bytes);

// UTF-8 of one code below 65536, given as a number or its decimal text: one to
// three bytes. Empty for empty (or all-space) text, for text that is not a
// number, and for codes outside 0..65535.
std::u16string U2UTF8(const com::Variant& c);

// UTF-8 of the text without its outer spaces, each 16-bit unit encoded on its
// own (a surrogate pair gives two three-byte sequences).
std::u16string GB2UTF(std::u16string_view text);

}  // namespace harbek::strings
