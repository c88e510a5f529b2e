// One value of an ini file as text, the logic behind setfile.ini.
//
// Texts cross into the profile layer as the platform's narrow calls take
// them: converted to the system code page and ended at their first character
// of code 0. A value is read through a buffer of 128 bytes and written from a
// field of 128 characters, so what comes back is bounded on both sides.
#pragma once

#include <string>

namespace harbek::ini {

std::u16string getIni(const std::u16string& file, const std::u16string& section, const std::u16string& key);

// True when the value was stored.
bool writeIni(const std::u16string& section, const std::u16string& key, const std::u16string& value,
              const std::u16string& file);

}  // namespace harbek::ini
