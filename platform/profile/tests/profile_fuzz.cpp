// Fuzz target of the ini reader and writer: the input is split into an ini
// text and the names and value of one write. The write must read back at
// once, and must leave the value of every name the text held as it was.
#include <cstddef>
#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile/profile.h"

namespace {

std::string_view trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// Close enough to the reader's own folding for the ASCII names checked here.
std::string fold(std::string_view s) {
  std::string out(trim(s));
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using harbek::profile::Bytes;
  using harbek::profile::findValue;
  using harbek::profile::ProfileError;
  using harbek::profile::setValue;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  // The first three bytes are the lengths of the section, the key and the value.
  if (in.size() < 3) return 0;
  size_t lengths[3] = {size_t(in[0] & 7), size_t(in[1] & 7), size_t(in[2] & 15)};
  in.remove_prefix(3);
  std::string_view parts[3];
  for (int i = 0; i < 3; ++i) {
    parts[i] = in.substr(0, lengths[i]);
    in.remove_prefix(parts[i].size());
  }
  const std::string_view content = in;
  const auto [section, key, value] = parts;

  Bytes out;
  if (setValue(content, section, key, value, out) != ProfileError::None) return 0;
  if (findValue(out, section, key) != trim(value)) std::abort();
  for (std::string_view s : {std::string_view("a"), std::string_view("b"), section}) {
    for (std::string_view k : {"a", "b", "k", "1"}) {
      if (fold(s) == fold(section) && fold(k) == fold(key)) continue;
      if (findValue(out, s, k) != findValue(content, s, k)) std::abort();
    }
  }
  return 0;
}
