// Text and the system code page.
//
// Text is a sequence of 16-bit code units (std::u16string). Bytes on disk and
// on the wire are std::string (the alias Bytes). The system code page is GBK as
// Windows code page 936 defines it: 0x80 is the euro sign, 0xFF and the
// user-defined areas are private-use characters, so every byte sequence that
// decodes encodes back to the same bytes. This file is the only producer of
// code-page text in the project.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace harbek::text {

using Bytes = std::string;

// UTF-8 <-> UTF-16, for arguments and terminal output. Invalid UTF-8 gives
// U+FFFD per bad sequence; a lone surrogate is written as U+FFFD.
std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view text);

// Text -> system code page. A character the code page cannot hold becomes "?".
Bytes toCodePage(std::u16string_view text);

// System code page -> text. Never fails: a byte that starts nothing, or a lead
// byte whose next byte cannot complete it, gives one U+FFFD; that next byte is
// read again when it is ASCII. A lone lead byte at the end gives one U+FFFD.
std::u16string fromCodePage(std::string_view bytes);
// The same decoding appended to out, at most limit characters of it, with no
// text of its own in between (a page's text can be large).
void appendFromCodePage(std::string_view bytes, std::u16string& out, size_t limit = SIZE_MAX);

// The character's code in the system code page: 0-255 for a single-byte
// character, lead byte * 256 + trail byte read as a signed 16-bit value for a
// double-byte one. A character the code page cannot hold has the code of "?".
int16_t charCode(char16_t c);

// The character of a code (the reverse of charCode). Codes 0-255 are single
// bytes; any other code in -32768..65535 is taken as lead byte * 256 + trail
// byte. A code that names no character gives U+FFFD.
char16_t charOfCode(int32_t code);

// True when the byte is a lead byte of a double-byte character.
bool isLeadByte(unsigned char byte);

// Lower-/upper-casing of every code unit, as the platform does it.
std::u16string toLower(std::u16string_view text);
std::u16string toUpper(std::u16string_view text);
char16_t toLower(char16_t c);

// ASCII text <-> u16string without any conversion beyond widening, for
// literals and numbers.
std::u16string widen(std::string_view ascii);

// Small helpers every layer uses, kept here so that each has one meaning.

// Every occurrence of what replaced by with, scanning left to right once: a
// replacement is never searched again. An empty what replaces nothing.
std::u16string replaceAll(std::u16string_view text, std::u16string_view what, std::u16string_view with);
// The same replacement, with the occurrences found in where instead of text:
// where is a text of the same length whose code units stand for text's one
// for one (its lower-cased twin, for a search that ignores letter case).
std::u16string replaceAllFoundIn(std::u16string_view where, std::u16string_view text, std::u16string_view what,
                                 std::u16string_view with);

// The text without its leading and trailing space characters (U+0020 only,
// as the platform's trim does it: tabs and line breaks stay). A view into s.
std::u16string_view trimSpaces(std::u16string_view s);

inline bool contains(std::u16string_view s, std::u16string_view part) { return s.find(part) != s.npos; }

// The value of a hexadecimal digit in either letter case, or -1.
constexpr int hexDigit(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// A count or length as the platform's 32-bit numbers hold it: a value
// outside their range gives the nearest end.
template <std::integral T>
constexpr int32_t clamp32(T n) {
  if (std::cmp_greater(n, std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (std::cmp_less(n, std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(n);
}

}  // namespace harbek::text
