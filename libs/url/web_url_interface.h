// Typed interfaces and identifiers of the URL components.
//
// vornet.WebUrl has every operation; corvin.WebUrl all but noJin (and its
// rightUrl keeps a "#" fragment); routa.url only GotoURL. Operations are
// declared in interface order; the result is the trailing pointer.
#pragma once

#include "platform/component/dispatch.h"

namespace harbek::url {

using com::Flag;
using com::Guid;
using com::HResult;
using com::makeGuid;
using com::Variant;

inline constexpr Guid kVornetClsid = makeGuid("{93230451-C2DF-4170-B76B-CF301AA382C8}");
inline constexpr Guid kCorvinClsid = makeGuid("{FBE47733-097B-457E-9717-D2D2FF962432}");
inline constexpr Guid kRoutaClsid = makeGuid("{641E9EFD-25CB-42F1-8F6C-C49EBC000FB7}");

// The operations vornet and corvin share, in interface order.
class IWebUrlOperations : public com::IDispatch {
 public:
  virtual HResult rightUrl(const std::u16string& pageUrl, const std::u16string& linkUrl, std::u16string* result) = 0;
  virtual HResult fullUrl(const std::u16string& address, Flag* result) = 0;
  virtual HResult gethost(const std::u16string& address, std::u16string* result) = 0;
  virtual HResult GotoURL(const std::u16string& address, int32_t* result) = 0;
  virtual HResult setHttp(const std::u16string& str, std::u16string* result) = 0;
  virtual HResult nohttp(const std::u16string& address, std::u16string* result) = 0;
  virtual HResult URLEncode(const std::u16string& text, std::u16string* result) = 0;
  // The number 80 (16-bit) when the URL names no port, else the port as text.
  virtual HResult getPort(const std::u16string& url, Variant* result) = 0;

 protected:
  ~IWebUrlOperations() = default;
};

// vornet.WebUrl
class IWebUrl : public IWebUrlOperations {
 public:
  using Base = com::IDispatch;
  static constexpr Guid iid = makeGuid("{164F58E3-0A94-499D-84F0-1934C214B364}");
  virtual HResult noJin(const std::u16string& url, std::u16string* result) = 0;

 protected:
  ~IWebUrl() = default;
};

// corvin.WebUrl
class ICorvinWebUrl : public IWebUrlOperations {
 public:
  using Base = com::IDispatch;
  static constexpr Guid iid = makeGuid("{8D954447-1055-4E3A-9672-7CC7E7450F04}");

 protected:
  ~ICorvinWebUrl() = default;
};

// routa.url
class IRoutaUrl : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr Guid iid = makeGuid("{39DD7904-B272-4A9A-AF5F-153D4B286316}");
  virtual HResult GotoURL(const std::u16string& address, int32_t* result) = 0;

 protected:
  ~IRoutaUrl() = default;
};

}  // namespace harbek::url
