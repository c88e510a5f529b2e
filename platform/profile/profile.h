// Reading and writing one value of an ini file, in place of the platform's
// profile functions.
//
// An ini file is lines of bytes in the system code page. A section line holds
// the section name in square brackets; a value line holds a key, "=" and the
// value; every other line (comments, blank lines, anything unreadable) is
// carried along untouched. Section and key names are compared without regard
// to letter case and to the spaces and tabs around them; when a name occurs
// twice, the first wins, for reading and for writing alike.
//
// Reading never fails: a missing file, section or key gives the default.
// Writing replaces the value of the key or adds the key at the end of its
// section, adding the section (and the file) when missing, and leaves every
// other byte of the file as it was. The new file is written beside the old
// one and renamed over it, so a failed write leaves the old file whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text/text.h"

namespace harbek::profile {

using text::Bytes;

enum class ProfileError {
  kNone,
  kBadName,      // a name or value that would not read back: a line end, "=" in a key, "]" in a section
  kReadOnly,     // the file is not writable
  kCannotRead,   // the file exists but its bytes could not be read, so it is left alone
  kCannotWrite,  // the new file could not be written or renamed (a missing folder, for one)
};

const char* errorName(ProfileError e);

// The value of key in section of an ini text, without the spaces and tabs
// around it; nullopt when the section or the key is missing.
std::optional<std::string_view> findValue(std::string_view content, std::string_view section,
                                          std::string_view key);

// The ini text with key set to value in section. BadName leaves out unchanged.
ProfileError setValue(std::string_view content, std::string_view section, std::string_view key,
                      std::string_view value, Bytes& out);

// The value (or the default) as a buffer of bufferSize bytes holds it: at most
// bufferSize - 1 bytes, never ending in the first half of a double-byte
// character.
Bytes getProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                       std::string_view defaultValue, size_t bufferSize);

ProfileError writeProfileString(const std::filesystem::path& file, std::string_view section,
                                std::string_view key, std::string_view value);

// Sets every key of values in section with one write of the file: the file
// holds all the new values or none of them.
ProfileError writeProfileStrings(const std::filesystem::path& file, std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace harbek::profile
