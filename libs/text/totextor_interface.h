// Typed interface and identifiers of textor.Totextor (HTML to plain text).
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::textor {

inline constexpr com::Guid kTotextorClsid = com::makeGuid("{4C3FD943-B6CD-4D04-9225-DD4FB97FB532}");

class ITotextor : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::Guid iid = com::makeGuid("{626671A3-4828-4CC6-B260-B0EC0271F7CF}");

  virtual com::HResult StripText(const std::u16string& html, std::u16string* result) = 0;
  virtual com::HResult StripText_noSpace(const std::u16string& html, std::u16string* result) = 0;
  virtual com::HResult getTextorP(const std::u16string& text, const std::u16string& marker,
                                  std::u16string* result) = 0;

 protected:
  ~ITotextor() = default;
};

}  // namespace harbek::textor
