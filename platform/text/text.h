// Text and the system code page.
//
// Text is a sequence of 16-bit code units (std::u16string). Bytes on disk and
// on the wire are std::string (the alias Bytes). The system code page is GBK as
// Windows code page 936 defines it: 0x80 is the euro sign, 0xFF and the
// user-defined areas are private-use characters, so every byte sequence that
// decodes encodes back to the same bytes. This file is the only producer of
// code-page text in the project.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace harbek::text
