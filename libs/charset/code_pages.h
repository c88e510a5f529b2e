// Text to bytes and back in a Windows code page given by its number.
//
// The system code page (936, and the numbers that stand for "the system's
// code page": 0, 1 and 3) goes through platform/text, the only producer of
// system code-page text; every other known code page through an ICU
// converter. As the platform's conversion functions do without flags, a
// character a code page cannot hold is written as "?" and a byte sequence
// that decodes to nothing reads as U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/component/errors.h"
#include "platform/text/text.h"

namespace harbek::charset {

using com::HResult;

// The ICU converter name of a code page; "" for the system code page,
// nullptr when the number names no code page known here.
const char* converterName(int32_t codePage);

// kInvalidArgument for an unknown code page.
HResult UniToMB(std::u16string_view source, int32_t codePage, text::Bytes* result);
HResult MBToUni(std::string_view bytes, int32_t codePage, std::u16string* result);

}  // namespace harbek::charset
