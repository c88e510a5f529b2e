#include "libs/ini/ini.h"

#include <algorithm>
#include <filesystem>

#include "platform/profile/profile.h"
#include "platform/text/text.h"

namespace harbek::ini {
namespace {

constexpr size_t kBufferBytes = 128;
constexpr size_t kFieldChars = 128;

// The text as a narrow call sees it: up to its first character of code 0.
std::u16string_view untilZero(std::u16string_view s) { return s.substr(0, s.find(u'\0')); }

profile::Bytes narrow(std::u16string_view s) { return text::toCodePage(untilZero(s)); }

std::filesystem::path pathOf(std::u16string_view s) { return std::filesystem::path(text::toUtf8(untilZero(s))); }

}  // namespace

std::u16string getIni(const std::u16string& file, const std::u16string& section, const std::u16string& key) {
  profile::Bytes buffer = profile::getProfileString(pathOf(file), narrow(section), narrow(key), "", kBufferBytes);
  // A value holding a zero byte ends there, as the buffer is read up to it.
  buffer.resize(std::min(buffer.size(), buffer.find('\0')));
  return std::u16string(text::trimSpaces(text::fromCodePage(buffer)));
}

bool writeIni(const std::u16string& section, const std::u16string& key, const std::u16string& value,
              const std::u16string& file) {
  // The value travels in a field of 128 characters: a longer one loses the
  // rest, a shorter one ends at the terminator that follows it.
  std::u16string_view field = std::u16string_view(value).substr(0, kFieldChars);
  return profile::writeProfileString(pathOf(file), narrow(section), narrow(key), narrow(field)) ==
         profile::ProfileError::kNone;
}

}  // namespace harbek::ini
