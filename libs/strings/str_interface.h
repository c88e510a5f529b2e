// Typed interface and identifiers of the component strel (class str).
// Operations in interface order; the result is the trailing pointer.
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::strings {

inline constexpr com::Guid kStrClsid = com::makeGuid("{0B6B5590-5A02-423C-A600-2B1989622EC9}");

// strel.str
class IStr : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::Guid iid = com::makeGuid("{673D48D8-56F4-4A47-B3EA-FE3A374CF3B4}");

  virtual com::HResult InStrL(const std::u16string& whole, const std::u16string& sought, int16_t* result) = 0;
  virtual com::HResult iSum(const std::u16string& whole, const std::u16string& sought, int16_t* result) = 0;
  virtual com::HResult StrToDate(const std::u16string& digits, com::Date* result) = 0;
  // The line holds the result as well after the call.
  virtual com::HResult sReplace(std::u16string& line, const std::u16string& sought, const std::u16string& replacement,
                                std::u16string* result) = 0;
  virtual com::HResult ini(const std::u16string& source, std::u16string* result) = 0;
  virtual com::HResult selecTini(const std::u16string& source, std::u16string* result) = 0;
  virtual com::HResult changeHtml(const std::u16string& markup, std::u16string* result) = 0;
  virtual com::HResult noSpaceINtag(const std::u16string& str, std::u16string* result) = 0;
  virtual com::HResult URLEncode(const std::u16string& str, std::u16string* result) = 0;
  virtual com::HResult URLDecode(const std::u16string& str, std::u16string* result) = 0;
  virtual com::HResult noBiaoDian(const std::u16string& str, std::u16string* result) = 0;

 protected:
  ~IStr() = default;
};

}  // namespace harbek::strings
