// The component classes over the WebUrl logic: vornet.WebUrl and
// corvin.WebUrl share every operation but noJin and differ in the dialect of
// rightUrl; routa.url has GotoURL only.
#pragma once

#include "libs/url/url_encode.h"
#include "libs/url/web_url.h"
#include "libs/url/web_url_interface.h"

namespace harbek::url {

// A pointer to a shared operation, as a member of the derived interface the
// dispatch table is built for.
template <class Iface, class... A>
constexpr auto memberOf(HResult (IWebUrlOperations::*fn)(A...)) -> HResult (Iface::*)(A...) {
  return fn;
}

template <class Iface, class Derived, Dialect kDialect>
class WebUrlObject : public com::DispatchObject<Iface, Derived> {
 public:
  HResult rightUrl(const std::u16string& pageUrl, const std::u16string& linkUrl, std::u16string* result) override {
    return com::giveResult(result, url::rightUrl(pageUrl, linkUrl, kDialect));
  }
  HResult fullUrl(const std::u16string& address, Flag* result) override {
    return com::giveResult(result, com::toFlag(url::fullUrl(address)));
  }
  HResult gethost(const std::u16string& address, std::u16string* result) override {
    return com::giveResult(result, url::gethost(address));
  }
  HResult GotoURL(const std::u16string& address, int32_t* result) override {
    // Opens a browser: only for a caller that can take the answer.
    return com::fillResult(result, [&](int32_t& r) {
      r = url::GotoURL(address);
      return com::kOk;
    });
  }
  HResult setHttp(const std::u16string& str, std::u16string* result) override {
    return com::giveResult(result, url::setHttp(str));
  }
  HResult nohttp(const std::u16string& address, std::u16string* result) override {
    return com::giveResult(result, url::nohttp(address));
  }
  HResult URLEncode(const std::u16string& text, std::u16string* result) override {
    return com::giveResult(result, urlEncode(text));
  }
  HResult getPort(const std::u16string& url, Variant* result) override {
    return com::fillResult(result, [&](Variant& r) { return url::getPort(url, r); });
  }

 protected:
  // The shared operations, in interface order, with their parameter names.
  static com::DispatchTable<Iface> sharedTable() {
    com::DispatchTable<Iface> table(u"WebUrl");
    table.method(u"rightUrl", memberOf<Iface>(&IWebUrlOperations::rightUrl), {u"url1", u"url2"})
        .method(u"fullUrl", memberOf<Iface>(&IWebUrlOperations::fullUrl), {u"urlx"})
        .method(u"gethost", memberOf<Iface>(&IWebUrlOperations::gethost), {u"Turl"})
        .method(u"GotoURL", memberOf<Iface>(&IWebUrlOperations::GotoURL), {u"Turl"})
        .method(u"setHttp", memberOf<Iface>(&IWebUrlOperations::setHttp), {u"str"})
        .method(u"nohttp", memberOf<Iface>(&IWebUrlOperations::nohttp), {u"httpSTR"})
        .method(u"URLEncode", memberOf<Iface>(&IWebUrlOperations::URLEncode), {u"text"})
        .method(u"getPort", memberOf<Iface>(&IWebUrlOperations::getPort), {u"url"});
    return table;
  }
};

}  // namespace harbek::url
