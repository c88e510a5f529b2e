// Class and interface identifiers in their {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text.h"

namespace harbek::com {

struct Guid {
  std::array<uint8_t, 16> bytes{};  // in the order the text form shows them

  // Parses "{...}" (braces optional, hex digits in any case). Usable in
  // constant expressions, so identifiers can be written as literals.
  static constexpr std::optional<Guid> parse(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
      text = text.substr(1, 36);
    if (text.size() != 36) return std::nullopt;
    Guid g;
    size_t k = 0;
    for (size_t i = 0; i < 36;) {
      if (i == 8 || i == 13 || i == 18 || i == 23) {
        if (text[i] != '-') return std::nullopt;
        ++i;
        continue;
      }
      int hi = text::hexDigit(text[i]), lo = text::hexDigit(text[i + 1]);
      if (hi < 0 || lo < 0) return std::nullopt;
      g.bytes[k++] = static_cast<uint8_t>(hi * 16 + lo);
      i += 2;
    }
    return g;
  }

  // The upper-case braced form.
  std::string toString() const;

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
  friend constexpr auto operator<=>(const Guid&, const Guid&) = default;
};

// A Guid from a literal, checked at compile time.
consteval Guid makeGuid(std::string_view text) {
  auto g = Guid::parse(text);
  if (!g) throw "malformed identifier";  // not a constant expression: a compile error
  return *g;
}

}  // namespace harbek::com
