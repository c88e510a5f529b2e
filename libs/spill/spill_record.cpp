#include "libs/spill/spill_record.h"

#include "platform/text/text.h"

namespace harbek::spill {
namespace {

// A 32-bit linear congruential generator: small, fast and the same on every
// machine, which is all the masking needs. Spill files are written and read
// only by this program, so no other generator has to be matched.
class RepeatableRandom {
 public:
  explicit RepeatableRandom(int32_t seed) : state_(static_cast<uint32_t>(seed)) {}

  // floor(r * 256) for the next r in [0, 1): the top byte of the next state.
  unsigned nextByte() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 24;
  }

 private:
  uint32_t state_;
};

}  // namespace

Bytes ScrambleStr(std::string_view codePageBytes, int16_t key) {
  if (codePageBytes.empty()) return "1";
  RepeatableRandom random(-static_cast<int32_t>(key));
  Bytes out(codePageBytes);
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(out[i]);
    const char mask = static_cast<char>(random.nextByte() & 0x7F);
    if (b < 0x80) {
      out[i] ^= mask;
    } else if (text::isLeadByte(b) && i + 1 < out.size()) {
      out[++i] ^= mask;  // the trail byte; the lead byte marks the pair
    }
  }
  return out;
}

std::optional<Bytes> encodeRecord(std::u16string_view item, int16_t key) {
  const Bytes plain = text::toCodePage(item);
  if (plain.size() > kMaxRecordData) return std::nullopt;
  Bytes record = std::to_string(plain.size());
  record.resize(kLengthFieldSize, ' ');
  if (!plain.empty()) record += ScrambleStr(plain, key);
  return record;
}

ReadStatus readRecord(std::string_view data, size_t& pos, std::u16string& item, int16_t key) {
  if (pos >= data.size()) return ReadStatus::kEnd;
  if (data.size() - pos < kLengthFieldSize) return ReadStatus::kCorrupt;
  std::string_view field = data.substr(pos, kLengthFieldSize);
  // Spaces around the number are padding; the number is its leading digits.
  size_t start = field.find_first_not_of(' ');
  if (start == std::string_view::npos) return ReadStatus::kCorrupt;
  size_t length = 0;
  size_t digits = 0;
  for (size_t k = start; k < field.size() && field[k] >= '0' && field[k] <= '9'; ++k, ++digits) {
    length = length * 10 + static_cast<size_t>(field[k] - '0');
  }
  if (digits == 0) return ReadStatus::kCorrupt;  // not a number, or negative
  const size_t dataStart = pos + kLengthFieldSize;
  if (length > data.size() - dataStart) return ReadStatus::kCorrupt;
  item = length == 0 ? std::u16string()
                     : text::fromCodePage(ScrambleStr(data.substr(dataStart, length), key));
  pos = dataStart + length;
  return ReadStatus::kOk;
}

}  // namespace harbek::spill
