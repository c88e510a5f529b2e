// Files of spill records read and written one record at a time: the link
// queue tmp.dat and the index files of the search index store.
//
// Appends write whole records only. Reads are positioned: a record is read
// at a byte offset the caller keeps, with reads bounded by the file's size,
// so neither a long queue file nor a corrupt length field makes a read load
// more than the record it asks for (and never more than the file holds).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace harbek::quenby {

// Appends one record per text, all in one write, creating the file (but not
// its folder) when missing. False when nothing could be written; then no
// record at all is in the file.
bool appendRecords(const std::string& path, const std::vector<std::u16string>& texts);

enum class RecordRead {
  kOk,       // text is the record at pos; pos moved past it
  kBlank,    // the length field at pos is all spaces
  kNothing,  // no file, pos at or past its end, or no whole record at pos
};

// Reads the record at pos. On anything but kOk, pos and text are unchanged.
RecordRead readRecordAt(const std::string& path, int32_t& pos, std::u16string& text);

}  // namespace harbek::quenby
