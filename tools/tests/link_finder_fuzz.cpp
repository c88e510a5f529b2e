// Fuzz target of the link finder: whatever the bytes, in either encoding,
// the values found lie inside the page, in page order, without overlapping,
// which is what lets the converter splice new values in one pass.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/link_finder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace harbek::tools;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (Encoding encoding : {Encoding::kUtf8, Encoding::kCodePage}) {
    for (const auto& links : {findHtmlLinks(bytes, encoding), findCssLinks(bytes, encoding)}) {
      size_t last = 0;
      for (const LinkSpan& link : links) {
        if (link.begin < last || link.end <= link.begin || link.end > size) std::abort();
        last = link.end;
      }
    }
  }
  return 0;
}
