// Percent-encoding in the system code page, shared by the URL components and
// the string utilities.
#pragma once

#include <string>
#include <string_view>

namespace harbek::url {

// Letters A-Z and a-z stay; a double-byte character becomes "%" lead "%" trail
// in upper-case hexadecimal; every other character becomes "%" and its code in
// upper-case hexadecimal without leading zeros (a tab gives %9). A character
// the code page cannot hold is taken as "?" (%3F).
std::u16string urlEncode(std::u16string_view text);

}  // namespace harbek::url
