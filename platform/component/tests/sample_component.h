// A component used only by the runtime's tests: one operation or property of
// every parameter kind.
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::com::testing {

inline constexpr Guid kSampleClsid = makeGuid("{0C0FFEE0-1111-4222-8333-944445555666}");

class ISample : public IDispatch {
 public:
  using Base = IDispatch;
  static constexpr Guid iid = makeGuid("{0C0FFEE0-AAAA-4BBB-8CCC-9DDDDEEEEFFF}");

  virtual HResult get_Name(std::u16string* value) = 0;
  virtual HResult put_Name(const std::u16string& value) = 0;
  virtual HResult Join(const std::u16string& a, int16_t n, std::u16string* result) = 0;
  virtual HResult Swap(std::u16string& left, int32_t& right) = 0;  // no result
  virtual HResult Half(double x, double* result) = 0;
  virtual HResult Negate(Flag f, Flag* result) = 0;
  virtual HResult NextDay(Date d, Date* result) = 0;
  virtual HResult Reverse(const Bytes& b, Bytes* result) = 0;
  virtual HResult Fail(int32_t code, Variant* result) = 0;  // fails with code unless 0
  virtual HResult get_Objects(int32_t* value) = 0;

 protected:
  ~ISample() = default;
};

}  // namespace harbek::com::testing
