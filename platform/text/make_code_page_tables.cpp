// Writes the tables of code_page_tables.h, read from ICU's windows-936
// converter and case mappings, as C++ source on standard output.
#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

bool isSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

template <typename T>
void printArray(const char* declaration, const std::vector<T>& values) {
  std::printf("%s = {", declaration);
  for (size_t i = 0; i < values.size(); ++i) std::printf("%s0x%X,", i % 16 ? "" : "\n", static_cast<unsigned>(values[i]));
  std::printf("\n};\n");
}

void printCaseMappings(const char* name, UChar32 (*map)(UChar32)) {
  std::printf("const CaseMapping %s[] = {", name);
  size_t count = 0;
  for (uint32_t u = 0x80; u <= 0xFFFF; ++u) {
    const UChar32 to = map(static_cast<UChar32>(u));
    if (isSurrogate(u) || to == static_cast<UChar32>(u) || to > 0xFFFF) continue;
    std::printf("%s{0x%X,0x%X},", count++ % 8 ? "" : "\n", u, static_cast<unsigned>(to));
  }
  std::printf("\n};\nconst size_t %sCount = %zu;\n", name, count);
}

}  // namespace

int main() {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("windows-936", &status);
  if (U_FAILURE(status)) {
    std::fprintf(stderr, "ICU has no windows-936 converter: %s\n", u_errorName(status));
    return 1;
  }
  ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  auto decode = [&](const char* src, int32_t len) -> char16_t {
    UChar out[4];
    UErrorCode st = U_ZERO_ERROR;
    ucnv_reset(cnv);
    const int32_t n = ucnv_toUChars(cnv, out, 4, src, len, &st);
    return (U_SUCCESS(st) && n == 1) ? out[0] : 0;
  };

  std::vector<char16_t> single(256, 0);
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char c = static_cast<char>(b);
    single[b] = decode(&c, 1);
  }
  std::vector<char16_t> pair(126 * 256, 0);
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const char src[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      pair[(lead - 0x81) * 256 + trail] = decode(src, 2);
    }
  }
  std::vector<uint16_t> encode(65536, 0);
  for (uint32_t u = 0; u < 0x80; ++u) encode[u] = static_cast<uint16_t>(u);
  for (uint32_t u = 0x80; u <= 0xFFFF; ++u) {
    if (isSurrogate(u)) continue;
    const UChar in = static_cast<UChar>(u);
    char out[4];
    UErrorCode st = U_ZERO_ERROR;
    ucnv_reset(cnv);
    const int32_t n = ucnv_fromUChars(cnv, out, 4, &in, 1, &st);
    if (U_FAILURE(st)) continue;
    if (n == 1) encode[u] = static_cast<unsigned char>(out[0]);
    if (n == 2) {
      encode[u] = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]));
    }
  }
  ucnv_close(cnv);

  std::printf("// Made by make_code_page_tables at build time; do not edit.\n");
  std::printf("#include \"platform/text/code_page_tables.h\"\n\nnamespace harbek::text::tables {\n\n");
  printArray("const char16_t kSingle[256]", single);
  printArray("const char16_t kPair[126 * 256]", pair);
  printArray("const uint16_t kEncode[65536]", encode);
  printCaseMappings("kLower", u_tolower);
  printCaseMappings("kUpper", u_toupper);
  std::printf("\n}  // namespace harbek::text::tables\n");
  return std::ferror(stdout) ? 1 : 0;
}
