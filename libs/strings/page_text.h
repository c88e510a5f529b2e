// Cleaning fetched page text: the operations of the component's class that
// the program's own string module does not carry.
#pragma once

#include <string>
#include <string_view>

namespace harbek::strings {

// changeHtml, then the steps of selecTini.
std::u16string ini(std::u16string_view source);

// Removes "&nbsp;" and the control characters 9 to 13, drops code-0
// characters inside tags, lower-cases, and removes "about:blank".
std::u16string selecTini(std::u16string_view source);

}  // namespace harbek::strings
