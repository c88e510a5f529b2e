// The public properties of the control html and their persistence.
//
// All of the control's fetch state is held in properties that its owner may
// read and write. Text properties use "0" for "not set". Each setter marks its
// property as changed for the host (under the persistence key: "FileName" for
// fileName, the property's own name for the others). The host initialises a
// new control, loads a saved one from its PropertyStore, and saves it back;
// both walk the properties in declaration order, and a value equal to its
// initial one is not stored. The control's own fetch and scan code updates the
// fields directly, without marking them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "fetcher/property_store.h"
#include "platform/component/variant.h"

namespace harbek::fetcher {

class HtmlProperties {
 public:
  HtmlProperties();

  // Every property takes its initial value.
  void initialise();
  // Every property is read from the store, its initial value standing in for
  // a missing key or a value of the wrong kind.
  void load(PropertyStore& store);
  void save(PropertyStore& store) const;

  // Told the persistence key of each property a setter changes.
  void setPropertyChangedHandler(std::function<void(std::u16string_view key)> handler) {
    changed_ = std::move(handler);
  }

  // The URL of the current fetch: the integer 0 until one is given, then text.
  const com::Variant& url() const { return url_; }
  void setUrl(com::Variant v) { url_ = std::move(v); mark(u"url"); }
  int16_t WaitTime() const { return WaitTime_; }
  void setWaitTime(int16_t v) { WaitTime_ = v; mark(u"WaitTime"); }
  const std::u16string& State() const { return State_; }
  void setState(std::u16string v) { State_ = std::move(v); mark(u"State"); }
  const std::u16string& urlText() const { return urlText_; }
  void setUrlText(std::u16string v) { urlText_ = std::move(v); mark(u"urlText"); }
  const std::u16string& comeFromUrl() const { return comeFromUrl_; }
  void setComeFromUrl(std::u16string v) { comeFromUrl_ = std::move(v); mark(u"comeFromUrl"); }
  const std::u16string& comeFromText() const { return comeFromText_; }
  void setComeFromText(std::u16string v) { comeFromText_ = std::move(v); mark(u"comeFromText"); }
  const std::u16string& HtmlTextor() const { return HtmlTextor_; }
  void setHtmlTextor(std::u16string v) { HtmlTextor_ = std::move(v); mark(u"HtmlTextor"); }
  const std::u16string& CharSet() const { return CharSet_; }
  void setCharSet(std::u16string v) { CharSet_ = std::move(v); mark(u"CharSet"); }
  const std::u16string& HTMLcode() const { return HTMLcode_; }
  void setHTMLcode(std::u16string v) { HTMLcode_ = std::move(v); mark(u"HTMLcode"); }
  bool isFirstResponse() const { return isFirstResponse_; }
  void setIsFirstResponse(bool v) { isFirstResponse_ = v; mark(u"isFirstResponse"); }
  bool getHtmlCodeIsOver() const { return getHtmlCodeIsOver_; }
  void setGetHtmlCodeIsOver(bool v) { getHtmlCodeIsOver_ = v; mark(u"getHtmlCodeIsOver"); }
  const std::u16string& fileName() const { return fileName_; }
  void setFileName(std::u16string v) { fileName_ = std::move(v); mark(u"FileName"); }
  const std::u16string& Cookie() const { return Cookie_; }
  void setCookie(std::u16string v) { Cookie_ = std::move(v); mark(u"Cookie"); }
  const std::u16string& host() const { return host_; }
  void setHost(std::u16string v) { host_ = std::move(v); mark(u"host"); }
  const std::u16string& Location() const { return Location_; }
  void setLocation(std::u16string v) { Location_ = std::move(v); mark(u"Location"); }
  const std::u16string& contentType() const { return contentType_; }
  void setContentType(std::u16string v) { contentType_ = std::move(v); mark(u"contentType"); }
  int32_t htmlLen() const { return htmlLen_; }
  void setHtmlLen(int32_t v) { htmlLen_ = v; mark(u"htmlLen"); }
  const std::u16string& Status() const { return Status_; }
  void setStatus(std::u16string v) { Status_ = std::move(v); mark(u"Status"); }
  const std::u16string& SendHeader() const { return SendHeader_; }
  void setSendHeader(std::u16string v) { SendHeader_ = std::move(v); mark(u"SendHeader"); }
  const std::u16string& reHeader() const { return reHeader_; }
  void setReHeader(std::u16string v) { reHeader_ = std::move(v); mark(u"reHeader"); }
  int32_t CurrLen() const { return CurrLen_; }
  void setCurrLen(int32_t v) { CurrLen_ = v; mark(u"CurrLen"); }
  int32_t ReMax() const { return ReMax_; }
  void setReMax(int32_t v) { ReMax_ = v; mark(u"ReMax"); }
  int32_t Port() const { return Port_; }
  void setPort(int32_t v) { Port_ = v; mark(u"Port"); }
  bool getTagINChost() const { return getTagINChost_; }
  void setGetTagINChost(bool v) { getTagINChost_ = v; mark(u"getTagINChost"); }
  const std::u16string& HostIP() const { return HostIP_; }
  void setHostIP(std::u16string v) { HostIP_ = std::move(v); mark(u"HostIP"); }

 protected:
  struct Property;
  static const Property* properties(size_t& count);
  void mark(std::u16string_view key) {
    if (changed_) changed_(key);
  }

  // Declaration order is persistence order.
  com::Variant url_;
  int16_t WaitTime_;
  std::u16string State_;
  std::u16string urlText_;
  std::u16string comeFromUrl_;
  std::u16string comeFromText_;
  std::u16string HtmlTextor_;
  std::u16string CharSet_;
  std::u16string HTMLcode_;
  bool isFirstResponse_;
  bool getHtmlCodeIsOver_;
  std::u16string fileName_;
  std::u16string Cookie_;
  std::u16string host_;
  std::u16string Location_;
  std::u16string contentType_;
  int32_t htmlLen_;
  std::u16string Status_;
  std::u16string SendHeader_;
  std::u16string reHeader_;
  int32_t CurrLen_;
  int32_t ReMax_;
  int32_t Port_;
  bool getTagINChost_;
  std::u16string HostIP_;

 private:
  std::function<void(std::u16string_view)> changed_;
};

}  // namespace harbek::fetcher
