// Values of late-bound calls: text, 16- and 32-bit integers, double, flag,
// date and byte array, and the conversions between them that a call applies
// to reach a parameter's declared type.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/component/errors.h"
#include "platform/text/text.h"

namespace harbek::com {

// Flags cross component boundaries as -1 (true) and 0 (false).
enum class Flag : int16_t { kFalse = 0, kTrue = -1 };
constexpr Flag toFlag(bool b) { return b ? Flag::kTrue : Flag::kFalse; }
constexpr bool isTrue(Flag f) { return f != Flag::kFalse; }

// A date as days since 1899-12-30 (the zero date), fractions being the time.
struct Date {
  double days = 0;
  friend constexpr bool operator==(const Date&, const Date&) = default;
};
Date dateFromYmd(int year, int month, int day);
void ymdFromDate(Date date, int& year, int& month, int& day);

using text::Bytes;

// The order of the alternatives is the order of VarType.
enum class VarType : uint8_t { kEmpty, kText, kI16, kI32, kF64, kFlag, kDate, kBytes, kAny };
const char* varTypeName(VarType t);

struct Variant {
  std::variant<std::monostate, std::u16string, int16_t, int32_t, double, Flag, Date, Bytes> value;

  Variant() = default;
  template <class T>
  Variant(T v) : value(std::move(v)) {}
  Variant(const char16_t* s) : value(std::u16string(s)) {}

  VarType type() const { return static_cast<VarType>(value.index()); }
  template <class T>
  const T* get() const { return std::get_if<T>(&value); }
  friend bool operator==(const Variant&, const Variant&) = default;
};

// Converts to the given type where a natural conversion exists (decimal text
// <-> number, number <-> flag, "YYYY-MM-DD" <-> date). Fails with
// kTypeMismatch where none does and kOverflow where the value does not fit.
// VarType::kAny copies the value as it is.
HResult convert(const Variant& in, VarType to, Variant& out);

}  // namespace harbek::com
