#include "platform/component/errors.h"

#include <cstdio>

namespace harbek::com {

std::string errorMessage(HResult code) {
  struct Entry {
    HResult code;
    const char* text;
  };
#define HARBEK_COM_ERROR_ENTRY(name, value, text) {name, text},
  static constexpr Entry kTable[] = {HARBEK_COM_ERRORS(HARBEK_COM_ERROR_ENTRY)};
#undef HARBEK_COM_ERROR_ENTRY
  for (const auto& e : kTable)
    if (e.code == code) return e.text;
  char buf[32];
  std::snprintf(buf, sizeof buf, "Error 0x%08X", static_cast<uint32_t>(code));
  return buf;
}

}  // namespace harbek::com
