#include "libs/charset/code_pages.h"

#include <unicode/ucnv.h>

#include <climits>
#include <memory>

namespace harbek::charset {
namespace {

struct CodePage {
  int32_t number;
  const char* converter;
};

constexpr const char* kSystem = "";

// Code page numbers as Windows numbers them, with their ICU converters.
constexpr CodePage kCodePages[] = {
    {0, kSystem},  {1, kSystem},  {3, kSystem},  {936, kSystem},
    {437, "ibm-437"},           {866, "ibm-866"},           {874, "windows-874"},
    {932, "windows-932"},       {949, "windows-949"},       {950, "windows-950"},
    {1250, "windows-1250"},     {1251, "windows-1251"},     {1252, "windows-1252"},
    {1253, "windows-1253"},     {1254, "windows-1254"},     {1255, "windows-1255"},
    {1256, "windows-1256"},     {1257, "windows-1257"},     {1258, "windows-1258"},
    {10000, "macintosh"},       {20127, "US-ASCII"},        {20866, "KOI8-R"},
    {21866, "KOI8-U"},          {28591, "ISO-8859-1"},      {28592, "ISO-8859-2"},
    {28595, "ISO-8859-5"},      {28605, "ISO-8859-15"},     {51932, "EUC-JP"},
    {51949, "EUC-KR"},          {54936, "gb18030"},
    {65000, "UTF-7"},           {65001, "UTF-8"},
};

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter open(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter cnv(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  // A Unicode form holds every character; elsewhere a character the code page
  // lacks becomes "?", not ICU's control-character substitute.
  if (ucnv_getType(cnv.get()) != UCNV_UTF8 && ucnv_getType(cnv.get()) != UCNV_UTF7) {
    ucnv_setSubstChars(cnv.get(), "?", 1, &status);
  }
  return U_SUCCESS(status) ? std::move(cnv) : nullptr;
}

// Runs an ICU conversion into out, growing out once when the first size
// guess was short.
template <class Out, class Convert>
HResult convertInto(Out& out, size_t guess, Convert convert) {
  if (guess > INT32_MAX) return com::kOutOfMemory;
  out.resize(guess);
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = convert(out.data(), static_cast<int32_t>(out.size()), status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(n));
    status = U_ZERO_ERROR;
    n = convert(out.data(), static_cast<int32_t>(out.size()), status);
  }
  if (U_FAILURE(status)) return com::kInvalidArgument;
  out.resize(static_cast<size_t>(n));
  return com::kOk;
}

}  // namespace

const char* converterName(int32_t codePage) {
  for (const auto& cp : kCodePages) {
    if (cp.number == codePage) return cp.converter;
  }
  return nullptr;
}

HResult UniToMB(std::u16string_view source, int32_t codePage, text::Bytes* result) {
  const char* name = converterName(codePage);
  if (!name) return com::kInvalidArgument;
  if (source.empty()) {
    result->clear();
    return com::kOk;
  }
  if (*name == '\0') {
    *result = text::toCodePage(source);
    return com::kOk;
  }
  if (source.size() > INT32_MAX / 8) return com::kOutOfMemory;
  Converter cnv = open(name);
  if (!cnv) return com::kInvalidArgument;
  const auto length = static_cast<int32_t>(source.size());
  // Room for every code page: ICU's bound, which counts the shift sequences
  // of stateful code pages as well.
  const size_t room = (source.size() + 10) * static_cast<size_t>(ucnv_getMaxCharSize(cnv.get()));
  return convertInto(*result, room, [&](char* dest, int32_t capacity, UErrorCode& status) {
    return ucnv_fromUChars(cnv.get(), dest, capacity, source.data(), length, &status);
  });
}

HResult MBToUni(std::string_view bytes, int32_t codePage, std::u16string* result) {
  const char* name = converterName(codePage);
  if (!name) return com::kInvalidArgument;
  if (bytes.empty()) {
    result->clear();
    return com::kOk;
  }
  if (*name == '\0') {
    *result = text::fromCodePage(bytes);
    return com::kOk;
  }
  if (bytes.size() > INT32_MAX / 2) return com::kOutOfMemory;
  Converter cnv = open(name);
  if (!cnv) return com::kInvalidArgument;
  const auto length = static_cast<int32_t>(bytes.size());
  return convertInto(*result, bytes.size() + 1, [&](char16_t* dest, int32_t capacity, UErrorCode& status) {
    return ucnv_toUChars(cnv.get(), dest, capacity, bytes.data(), length, &status);
  });
}

}  // namespace harbek::charset
