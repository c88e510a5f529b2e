// The string utilities shared by the component strel (class str) and the
// program's own string module: substring counting and locating, compact
// digit dates, single-character replacement, page-text cleaning helpers,
// percent-encoding and decoding in the system code page, and punctuation
// to separator.
//
// Positions count from 1 and 0 means "not found". Operations that can fail
// return an HResult and write their answer through the last parameter; the
// others return it. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/component/errors.h"
#include "platform/component/variant.h"

namespace harbek::strings {

using com::HResult;

// Position of the last occurrence of sought in whole, ignoring letter
// case; 0 when there is none or sought is empty. kOverflow when the hit
// lies beyond position 32,767.
HResult InStrL(std::u16string_view whole, std::u16string_view sought, int16_t* position);

// Number of occurrences of sought in whole, ignoring letter case and
// counting overlapping ones ("aaa" holds "aa" twice); 0 for an empty
// sought. kOverflow when a hit lies beyond position 32,767.
HResult iSum(std::u16string_view whole, std::u16string_view sought, int16_t* count);

// YYYYMMDD, YYYYMM (day 1) or MMDD (current year); any other text, and a date
// that does not exist, gives the zero date 1899-12-30.
com::Date StrToDate(std::u16string_view digits);

// Repeatedly replaces the one character where the first occurrence of
// sought starts with replacement, until sought no longer occurs. The
// answer is also left in line. kInvalidArgument, line untouched,
// when the replacement would go on for ever; kOutOfMemory when the text
// would grow past 64 Mi code units.
HResult sReplace(std::u16string& line, std::u16string_view sought, std::u16string_view replacement,
                 std::u16string* result);

// The markup as an HTML parser builds it inside a document's body,
// serialised again and lower-cased.
std::u16string changeHtml(std::u16string_view markup);

// Drops every character of code 0 found between a "<" and the next ">".
std::u16string noSpaceINtag(std::u16string_view text);

// Percent-encoding in the system code page (the URL components' own).
std::u16string URLEncode(std::u16string_view text);

// "%XX" to the character of that code; a lead byte above 127 takes its trail
// byte from the digits three and four places further on. "+" stays.
std::u16string URLDecode(std::u16string_view text);

// Chinese and ASCII punctuation, spaces, CR LF pairs and brackets to "|".
std::u16string noBiaoDian(std::u16string_view text);

}  // namespace harbek::strings
