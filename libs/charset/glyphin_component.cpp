// The component glyphin: class change over the code-page conversions.
#include "libs/charset/change_interface.h"
#include "libs/charset/code_pages.h"
#include "platform/component/factory.h"

namespace harbek::charset {
namespace {

class Change final : public com::DispatchObject<IChange, Change> {
 public:
  static const com::DispatchTable<IChange>& dispatchTable() {
    static const com::DispatchTable<IChange> table = com::DispatchTable<IChange>(u"change")
                                                         .method(u"UniToMB", &IChange::UniToMB, {u"sSrc", u"lCP"})
                                                         .method(u"MBToUni", &IChange::MBToUni, {u"bySrc", u"lCP"});
    return table;
  }

  com::HResult UniToMB(const std::u16string& source, int32_t codePage, com::Bytes* result) override {
    return com::fillResult(result, [&](com::Bytes& r) { return charset::UniToMB(source, codePage, &r); });
  }
  com::HResult MBToUni(const com::Bytes& bytes, int32_t codePage, std::u16string* result) override {
    return com::fillResult(result, [&](std::u16string& r) { return charset::MBToUni(bytes, codePage, &r); });
  }
};

}  // namespace
}  // namespace harbek::charset

HARBEK_COMPONENT_MODULE({harbek::charset::kChangeClsid, "glyphin.change",
                         &harbek::com::createObjectOf<harbek::charset::Change>})
