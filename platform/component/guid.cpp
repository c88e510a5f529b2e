#include "platform/component/guid.h"

namespace harbek::com {

std::string Guid::toString() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "{";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
    s.push_back(kHex[bytes[i] >> 4]);
    s.push_back(kHex[bytes[i] & 15]);
  }
  s.push_back('}');
  return s;
}

}  // namespace harbek::com
