#include "platform/component/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/text/text.h"

namespace harbek::com {
namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr int64_t kZeroDateFromEpoch = -25569;  // 1899-12-30

std::string trimmed(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  std::string out;
  for (size_t i = b; i < e; ++i) {
    if (s[i] > 0x7F) return "\x01";  // never numeric
    out.push_back(static_cast<char>(s[i]));
  }
  return out;
}

HResult parseNumber(const std::u16string& s, double& out) {
  std::string t = trimmed(s);
  if (t.empty()) return kTypeMismatch;
  const char* b = t.data();
  if (*b == '+') ++b;
  auto [end, ec] = std::from_chars(b, t.data() + t.size(), out);
  if (ec == std::errc::result_out_of_range) return kOverflow;
  if (ec != std::errc() || end != t.data() + t.size()) return kTypeMismatch;
  return kOk;
}

// Rounds half to even, as integer conversions of the platform do.
HResult toInteger(double d, double lo, double hi, int64_t& out) {
  if (std::isnan(d)) return kOverflow;
  double r = std::nearbyint(d);
  if (r < lo || r > hi) return kOverflow;
  out = static_cast<int64_t>(r);
  return kOk;
}

HResult asDouble(const Variant& in, double& out) {
  switch (in.type()) {
    case VarType::kEmpty: out = 0; return kOk;
    case VarType::kText: return parseNumber(*in.get<std::u16string>(), out);
    case VarType::kI16: out = *in.get<int16_t>(); return kOk;
    case VarType::kI32: out = *in.get<int32_t>(); return kOk;
    case VarType::kF64: out = *in.get<double>(); return kOk;
    case VarType::kFlag: out = static_cast<int16_t>(*in.get<Flag>()); return kOk;
    case VarType::kDate: out = in.get<Date>()->days; return kOk;
    default: return kTypeMismatch;
  }
}

std::u16string numberText(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return text::widen(buf);
}

std::u16string dateText(Date d) {
  int y, m, day;
  ymdFromDate(d, y, m, day);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, day);
  return text::widen(buf);
}

HResult parseDate(const std::u16string& s, Date& out) {
  std::string t = trimmed(s);
  int y, m, d;
  char tail;
  if (std::sscanf(t.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return kTypeMismatch;
  if (m < 1 || m > 12 || d < 1 || d > 31) return kTypeMismatch;
  Date r = dateFromYmd(y, m, d);
  int y2, m2, d2;
  ymdFromDate(r, y2, m2, d2);
  if (y2 != y || m2 != m || d2 != d) return kTypeMismatch;  // 2023-02-30
  out = r;
  return kOk;
}

}  // namespace

Date dateFromYmd(int year, int month, int day) {
  return Date{static_cast<double>(daysFromCivil(year, month, day) - kZeroDateFromEpoch)};
}

void ymdFromDate(Date date, int& year, int& month, int& day) {
  int64_t z = static_cast<int64_t>(std::floor(date.days)) + kZeroDateFromEpoch + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

const char* varTypeName(VarType t) {
  switch (t) {
    case VarType::kEmpty: return "empty";
    case VarType::kText: return "text";
    case VarType::kI16: return "i16";
    case VarType::kI32: return "i32";
    case VarType::kF64: return "f64";
    case VarType::kFlag: return "bool";
    case VarType::kDate: return "date";
    case VarType::kBytes: return "bytes";
    case VarType::kAny: return "any";
  }
  return "?";
}

HResult convert(const Variant& in, VarType to, Variant& out) {
  if (to == VarType::kAny || in.type() == to) {
    out = in;
    return kOk;
  }
  double d = 0;
  int64_t n = 0;
  HResult h = kOk;
  switch (to) {
    case VarType::kEmpty:
      out = Variant();
      return kOk;
    case VarType::kText:
      switch (in.type()) {
        case VarType::kEmpty: out = std::u16string(); return kOk;
        case VarType::kFlag: out = std::u16string(isTrue(*in.get<Flag>()) ? u"True" : u"False"); return kOk;
        case VarType::kDate: out = dateText(*in.get<Date>()); return kOk;
        case VarType::kBytes: return kTypeMismatch;
        default:
          asDouble(in, d);
          out = numberText(d);
          return kOk;
      }
    case VarType::kI16:
    case VarType::kI32:
      if (in.type() == VarType::kBytes || in.type() == VarType::kDate) return kTypeMismatch;
      if ((h = asDouble(in, d)) != kOk) return h;
      if (to == VarType::kI16) {
        if ((h = toInteger(d, -32768, 32767, n)) != kOk) return h;
        out = static_cast<int16_t>(n);
      } else {
        if ((h = toInteger(d, -2147483648.0, 2147483647.0, n)) != kOk) return h;
        out = static_cast<int32_t>(n);
      }
      return kOk;
    case VarType::kF64:
      if (in.type() == VarType::kBytes) return kTypeMismatch;
      if ((h = asDouble(in, d)) != kOk) return h;
      out = d;
      return kOk;
    case VarType::kFlag:
      if (in.type() == VarType::kText) {
        std::u16string t = text::toLower(*in.get<std::u16string>());
        if (t == u"true") { out = Flag::kTrue; return kOk; }
        if (t == u"false") { out = Flag::kFalse; return kOk; }
      }
      if (in.type() == VarType::kBytes || in.type() == VarType::kDate) return kTypeMismatch;
      if ((h = asDouble(in, d)) != kOk) return h;
      out = toFlag(d != 0);
      return kOk;
    case VarType::kDate:
      if (in.type() == VarType::kText) {
        Date r;
        if ((h = parseDate(*in.get<std::u16string>(), r)) != kOk) return h;
        out = r;
        return kOk;
      }
      if (in.type() == VarType::kBytes || in.type() == VarType::kFlag) return kTypeMismatch;
      if ((h = asDouble(in, d)) != kOk) return h;
      out = Date{d};
      return kOk;
    case VarType::kBytes:
      if (in.type() == VarType::kEmpty) {
        out = Bytes();
        return kOk;
      }
      return kTypeMismatch;
    case VarType::kAny:
      break;
  }
  return kTypeMismatch;
}

}  // namespace harbek::com
