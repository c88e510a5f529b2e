// vornet.WebUrl: every operation; rightUrl drops a "#" fragment.
#include "libs/url/web_url_object.h"
#include "platform/component/factory.h"

namespace harbek::url {
namespace {

class VornetWebUrl final : public WebUrlObject<IWebUrl, VornetWebUrl, Dialect::kVornet> {
 public:
  static const com::DispatchTable<IWebUrl>& dispatchTable() {
    static const com::DispatchTable<IWebUrl> table = sharedTable().method(u"noJin", &IWebUrl::noJin, {u"url"});
    return table;
  }
  HResult noJin(const std::u16string& url, std::u16string* result) override {
    return com::giveResult(result, url::noJin(url));
  }
};

}  // namespace
}  // namespace harbek::url

HARBEK_COMPONENT_MODULE({harbek::url::kVornetClsid, "vornet.WebUrl",
                         &harbek::com::createObjectOf<harbek::url::VornetWebUrl>})
