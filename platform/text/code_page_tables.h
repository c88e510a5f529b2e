// The GBK code page (the Windows table) and the case mappings of the Basic
// Multilingual Plane, as constant tables made at build time from ICU by
// make_code_page_tables, so that the programs need no converter at run time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace harbek::text::tables {

// Decoding: kSingle[b] is the character of byte b (0x80-0xFF) standing
// alone, 0 when b is a lead byte or invalid; kPair[(lead - 0x81) * 256 +
// trail] is the character of a double-byte pair, 0 when the pair is invalid.
extern const char16_t kSingle[256];
extern const char16_t kPair[126 * 256];
// Encoding: the bytes of every code unit, 0 when the code page cannot hold
// it; a value above 0xFF is lead * 256 + trail.
extern const uint16_t kEncode[65536];

// A code unit whose simple case mapping is another, sorted by from.
struct CaseMapping {
  char16_t from;
  char16_t to;
};
extern const CaseMapping kLower[];
extern const size_t kLowerCount;
extern const CaseMapping kUpper[];
extern const size_t kUpperCount;

}  // namespace harbek::text::tables
