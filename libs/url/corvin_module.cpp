// corvin.WebUrl: every operation but noJin; rightUrl keeps a "#" fragment.
#include "libs/url/web_url_object.h"
#include "platform/component/factory.h"

namespace harbek::url {
namespace {

class CorvinWebUrl final : public WebUrlObject<ICorvinWebUrl, CorvinWebUrl, Dialect::kCorvin> {
 public:
  static const com::DispatchTable<ICorvinWebUrl>& dispatchTable() {
    static const com::DispatchTable<ICorvinWebUrl> table = sharedTable();
    return table;
  }
};

}  // namespace
}  // namespace harbek::url

HARBEK_COMPONENT_MODULE({harbek::url::kCorvinClsid, "corvin.WebUrl",
                         &harbek::com::createObjectOf<harbek::url::CorvinWebUrl>})
