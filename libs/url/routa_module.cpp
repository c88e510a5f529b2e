// routa.url: GotoURL only.
#include "libs/url/web_url.h"
#include "libs/url/web_url_interface.h"
#include "platform/component/factory.h"

namespace harbek::url {
namespace {

class RoutaUrl final : public com::DispatchObject<IRoutaUrl, RoutaUrl> {
 public:
  static const com::DispatchTable<IRoutaUrl>& dispatchTable() {
    static const com::DispatchTable<IRoutaUrl> table =
        com::DispatchTable<IRoutaUrl>(u"url").method(u"GotoURL", &IRoutaUrl::GotoURL, {u"Turl"});
    return table;
  }
  HResult GotoURL(const std::u16string& address, int32_t* result) override {
    // Opens a browser: only for a caller that can take the answer.
    return com::fillResult(result, [&](int32_t& r) {
      r = url::GotoURL(address);
      return com::kOk;
    });
  }
};

}  // namespace
}  // namespace harbek::url

HARBEK_COMPONENT_MODULE({harbek::url::kRoutaClsid, "routa.url", &harbek::com::createObjectOf<harbek::url::RoutaUrl>})
