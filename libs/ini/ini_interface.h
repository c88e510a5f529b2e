// Typed interface and identifiers of setfile.ini (one value of an ini file).
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::ini {

inline constexpr com::Guid kIniClsid = com::makeGuid("{B39435CD-6858-4484-8B32-19561D80999E}");

class IIni : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::Guid iid = com::makeGuid("{65F166B8-38CA-4F9A-85D8-5FB4F21FCD95}");

  // The value, or empty text when the file, section or key is missing.
  virtual com::HResult getIni(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                              std::u16string* result) = 0;
  // Flag::kTrue when the value was stored, Flag::kFalse when the file could not be written.
  virtual com::HResult WriteIni(const std::u16string& section, const std::u16string& key, const std::u16string& value,
                                const std::u16string& file, com::Flag* result) = 0;

 protected:
  ~IIni() = default;
};

}  // namespace harbek::ini
