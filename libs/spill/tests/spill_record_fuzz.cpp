// Fuzz target of the spill record reader: whatever the bytes, reading moves
// forward through whole records only and stops inside the data, a failed read
// leaves the position alone, and masking any bytes twice gives them back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "libs/spill/spill_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace harbek::spill;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  std::u16string item;
  for (;;) {
    const size_t before = pos;
    const ReadStatus status = readRecord(bytes, pos, item);
    if (status != ReadStatus::kOk) {
      if (pos != before) std::abort();
      break;
    }
    if (pos < before + kLengthFieldSize || pos > size) std::abort();
  }
  if (!bytes.empty() && ScrambleStr(ScrambleStr(bytes, kListKey), kListKey) != bytes) std::abort();
  return 0;
}
