// Typed interface and identifiers of the search index component
// quenby.SiteData. Operations are declared in interface order; by-reference
// parameters are written back to late-bound callers.
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::quenby {

using com::Flag;
using com::Guid;
using com::makeGuid;

inline constexpr Guid kQuenbyClsid = makeGuid("{E96BB529-A3EB-4399-89FD-021A5E9940DA}");

class ISearchSiteData : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr Guid iid = makeGuid("{AE7F6119-0F17-481E-A7A7-9E5BED13E7D4}");

  virtual com::HResult get_SavePath(std::u16string* value) = 0;
  virtual com::HResult put_SavePath(const std::u16string& value) = 0;
  virtual com::HResult inputTmpUrl(const std::u16string& url, const std::u16string& urlText,
                                   const std::u16string& comeFromUrl, const std::u16string& comeFromText) = 0;
  virtual com::HResult GetTmpUrl(std::u16string& url, std::u16string& urlText, std::u16string& comeFromUrl,
                                 std::u16string& comeFromText, int32_t& pos) = 0;
  virtual com::HResult inputToindex(const std::u16string& str, const std::u16string& pth) = 0;
  virtual com::HResult saveFileByUrl(const std::u16string& address, const com::Bytes& data, Flag ISenCode) = 0;
  virtual com::HResult isExsitUrl(const std::u16string& address, Flag ISmd5, Flag* result) = 0;
  virtual com::HResult ChUrltoPath(const std::u16string& address, std::u16string* result) = 0;
  virtual com::HResult ChUrltoMd5path(const std::u16string& address, std::u16string* result) = 0;
  // Present in the interface; does nothing.
  virtual com::HResult writeFile() = 0;

 protected:
  ~ISearchSiteData() = default;
};

}  // namespace harbek::quenby
