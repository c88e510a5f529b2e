// The MD5 digest of a text, as the site store names digest-named files.
//
// The compression is RFC 1321's, but the message is formed from the text's
// characters, not its bytes: each character takes one byte position and
// contributes its system-code-page code as a sign-extended 32-bit value. For
// ASCII text that is the ordinary MD5 of the bytes; for a double-byte
// character the trail byte lands at its position, the lead byte at the next,
// and the sign fills the rest of its word with 0xFF bytes. Stored file names
// depend on this, so it must not be "fixed" into a byte MD5.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace harbek::store {

class MD5 {
 public:
  // 32 lower-case hexadecimal digits.
  std::u16string operator()(std::u16string_view sMessage) const;

  // The padded message words of a text (a multiple of 16 words).
  static std::vector<uint32_t> messageWords(std::u16string_view sMessage);
};

}  // namespace harbek::store
