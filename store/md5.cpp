#include "store/md5.h"

#include <array>

#include "platform/text/text.h"

namespace harbek::store {
namespace {

constexpr std::array<uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

constexpr uint32_t rotl(uint32_t x, int s) { return x << s | x >> (32 - s); }

void compress(std::array<uint32_t, 4>& state, const uint32_t* x) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    switch (i / 16) {
      case 0: f = (b & c) | (~b & d); g = i; break;
      case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
    }
    uint32_t next = b + rotl(a + f + kSine[i] + x[g], kShift[i / 16 * 4 + i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

std::vector<uint32_t> MD5::messageWords(std::u16string_view sMessage) {
  const size_t n = sMessage.size();
  std::vector<uint32_t> words(((n + 8) / 64 + 1) * 16, 0);
  for (size_t i = 0; i < n; ++i) {
    // The sign extension is deliberate: a double-byte code spills 0xFF into
    // the higher bytes of its word.
    auto code = static_cast<uint32_t>(static_cast<int32_t>(text::charCode(sMessage[i])));
    words[i / 4] |= code << (8 * (i % 4));
  }
  words[n / 4] |= 0x80u << (8 * (n % 4));
  words[words.size() - 2] = static_cast<uint32_t>(n * 8);
  words[words.size() - 1] = static_cast<uint32_t>(static_cast<uint64_t>(n) >> 29);
  return words;
}

std::u16string MD5::operator()(std::u16string_view sMessage) const {
  std::array<uint32_t, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const std::vector<uint32_t> words = messageWords(sMessage);
  for (size_t k = 0; k < words.size(); k += 16) compress(state, &words[k]);
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  std::u16string out;
  out.reserve(32);
  for (uint32_t w : state) {
    for (int byte = 0; byte < 4; ++byte) {
      unsigned v = w >> (8 * byte) & 0xFF;
      out.push_back(kHex[v >> 4]);
      out.push_back(kHex[v & 0xF]);
    }
  }
  return out;
}

}  // namespace harbek::store
