// Typed interface and identifiers of the segmentation component
// tamsel.segment. Operations are declared in interface order; the result is
// the trailing pointer.
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::tamsel {

using com::Flag;
using com::Guid;
using com::makeGuid;

inline constexpr Guid kTamselClsid = makeGuid("{A6E31570-AB69-47D3-A707-157D9BE4C02B}");

class ISegment : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr Guid iid = makeGuid("{0A888C92-1503-4CD7-AC28-EEE0A030D7C4}");

  virtual com::HResult get_isLoad(Flag* value) = 0;
  virtual com::HResult put_isLoad(Flag value) = 0;
  virtual com::HResult get_indexPath(std::u16string* value) = 0;
  virtual com::HResult put_indexPath(const std::u16string& value) = 0;
  virtual com::HResult get_dictPath(std::u16string* value) = 0;
  virtual com::HResult put_dictPath(const std::u16string& value) = 0;
  virtual com::HResult load() = 0;
  virtual com::HResult Asegment(const std::u16string& str, std::u16string* result) = 0;
  // Present in the interface; stores nothing and returns an empty value.
  virtual com::HResult AddWord(const std::u16string& word, com::Variant* result) = 0;

 protected:
  ~ISegment() = default;
};

}  // namespace harbek::tamsel
