// Typed interface and identifiers of the component glyphin (class change).
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::charset {

inline constexpr com::Guid kChangeClsid = com::makeGuid("{0B30573B-6AF2-4429-89B0-4AFB50F20CE9}");

// glyphin.change
class IChange : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::Guid iid = com::makeGuid("{D624E23D-F782-408F-8E56-CF6609BFB958}");

  virtual com::HResult UniToMB(const std::u16string& source, int32_t codePage, com::Bytes* result) = 0;
  virtual com::HResult MBToUni(const com::Bytes& bytes, int32_t codePage, std::u16string* result) = 0;

 protected:
  ~IChange() = default;
};

}  // namespace harbek::charset
