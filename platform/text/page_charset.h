// The character set of a fetched page, and its text.
//
// A page says what it is written in by its response's Content-Type, by a
// <meta> element near its start, or by a byte-order mark. When it says
// nothing, bytes that are valid UTF-8 and hold at least one non-ASCII
// sequence are read as UTF-8 (no other encoding in use produces them by
// chance); everything else is read in the system code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harbek::text {

enum class Charset { kCodePage, kUtf8, kLatin1, kUtf16Le, kUtf16Be };

// The charset a label names ("utf-8", "GBK", "iso-8859-1", ...; case and
// spaces around it ignored). Nothing for a label that is empty or unknown.
std::optional<Charset> charsetNamed(std::string_view label);

// The charset a <meta charset> or <meta http-equiv content="...; charset=">
// declares in the bytes given (a page's first 1024, say).
std::optional<Charset> charsetInMeta(std::string_view bytes);

// The charset of a byte-order mark at the start of bytes, and the mark's length.
std::optional<Charset> charsetOfBom(std::string_view bytes, size_t* markLength = nullptr);

// True when bytes are UTF-8 as the standard defines it (no overlong forms,
// surrogates or code points past U+10FFFF), a sequence cut short at the end
// included.
bool isValidUtf8(std::string_view bytes);

// The charset of a page: the response's label, else its <meta> in the first
// 1024 bytes, else its byte-order mark, else UTF-8 by the rule above, else
// the code page.
Charset pageCharset(std::string_view responseLabel, std::string_view body);

// The text of bytes in a charset, a byte-order mark of that charset dropped;
// never fails (bad sequences become U+FFFD). At most limit characters.
void appendDecoded(std::string_view bytes, Charset charset, std::u16string& out, size_t limit = SIZE_MAX);

// Text in a charset as bytes; a character it cannot hold becomes "?".
std::string encodeAs(std::u16string_view text, Charset charset);

}  // namespace harbek::text
