// The spill record format, shared by the site store's queue files and the
// search index's link queue and index files; the segmenter's dictionary files
// are masked by the same ScrambleStr.
//
// A file is a plain sequence of records with no header and nothing between
// them. A record is an 8-byte length field (the decimal byte length L of the
// data, left-aligned and padded with spaces) followed by L bytes: the item in
// the system code page, masked by ScrambleStr with the list key.
//
// ScrambleStr works on the code-page bytes, one pseudo-random draw per
// character, and changes only the low 7 bits of an ASCII byte or of a
// double-byte character's trail byte. Lead bytes and single bytes of 0x80 and
// above stay as they are, so the masked bytes parse into the same characters
// as the plain ones, have the same length, and unmask exactly: every item,
// Chinese included, comes back as it was saved. For ASCII items the record is
// byte for byte the classic one (mask each character's code with the draw).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text.h"

namespace harbek::spill {

using text::Bytes;

// The one key of every spill and queue record.
inline constexpr int16_t kListKey = 8237;

// Width of the length field, and so the largest data length it can hold.
inline constexpr size_t kLengthFieldSize = 8;
inline constexpr size_t kMaxRecordData = 99'999'999;

// Masks or unmasks (the same operation) code-page bytes. The generator is
// reseeded from the key on every call, so each item is masked independently.
// An empty input gives the one byte "1".
Bytes ScrambleStr(std::string_view codePageBytes, int16_t key);

// The record of one item; nothing when the item's code-page form is longer
// than the length field can state.
std::optional<Bytes> encodeRecord(std::u16string_view item, int16_t key = kListKey);

enum class ReadStatus {
  kOk,       // item holds the record at pos; pos moved past it
  kEnd,      // pos is at the end of the data
  kCorrupt,  // no whole record at pos (bad or truncated length field, data cut short)
};

// Reads the record at pos of a file's bytes. On anything but kOk, pos and
// item are left unchanged.
ReadStatus readRecord(std::string_view data, size_t& pos, std::u16string& item, int16_t key = kListKey);

}  // namespace harbek::spill
