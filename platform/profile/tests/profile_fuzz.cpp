// Fuzz target of the ini reader and writer: the input is an ini text, a
// section, a key and a value, separated by the first three 0xFF bytes (a byte
// the system code page never uses). Reading any text at any name never fails;
// a value that setValue accepts reads back as written (without the spaces
// and tabs around it), and writing it a second time changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile/profile.h"

namespace {

std::string_view trimBlanks(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace harbek::profile;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view parts[4];
  for (int i = 0; i < 3; ++i) {
    const size_t cut = rest.find('\xFF');
    parts[i] = rest.substr(0, cut);
    rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
  }
  parts[3] = rest;
  const auto [content, section, key, value] = parts;

  findValue(content, section, key);
  Bytes out;
  if (setValue(content, section, key, value, out) != ProfileError::kNone) return 0;
  const std::optional<std::string_view> back = findValue(out, section, key);
  if (!back || *back != trimBlanks(value)) std::abort();
  // Writing again changes nothing more.
  Bytes again;
  if (setValue(out, section, key, value, again) != ProfileError::kNone || again != out) std::abort();
  return 0;
}
