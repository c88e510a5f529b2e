// The component tamsel.segment over the segmentation library.

#include "platform/component/dispatch.h"

#include "libs/segment/segment.h"
#include "libs/segment/tamsel_interface.h"
#include "platform/component/factory.h"

namespace harbek::tamsel {
namespace {

class SegmentObject final : public com::DispatchObject<ISegment, SegmentObject> {
 public:
  static const com::DispatchTable<ISegment>& dispatchTable() {
    static const com::DispatchTable<ISegment> table =
        com::DispatchTable<ISegment>(u"segment")
            .property(u"isLoad", &ISegment::get_isLoad, &ISegment::put_isLoad)
            .property(u"indexPath", &ISegment::get_indexPath, &ISegment::put_indexPath)
            .property(u"dictPath", &ISegment::get_dictPath, &ISegment::put_dictPath)
            .method(u"load", &ISegment::load)
            .method(u"Asegment", &ISegment::Asegment, {u"str"})
            .method(u"AddWord", &ISegment::AddWord, {u"word"});
    return table;
  }

  com::HResult get_isLoad(Flag* value) override {
    return com::giveResult(value, com::toFlag(segment_.isLoad));
  }
  com::HResult put_isLoad(Flag value) override {
    segment_.isLoad = com::isTrue(value);
    return com::kOk;
  }
  com::HResult get_indexPath(std::u16string* value) override {
    return com::giveResult(value, segment_.indexPath);
  }
  com::HResult put_indexPath(const std::u16string& value) override {
    segment_.indexPath = value;
    return com::kOk;
  }
  com::HResult get_dictPath(std::u16string* value) override {
    return com::giveResult(value, segment_.dictPath);
  }
  com::HResult put_dictPath(const std::u16string& value) override {
    segment_.dictPath = value;
    return com::kOk;
  }
  com::HResult load() override { return segment_.load(); }
  com::HResult Asegment(const std::u16string& str, std::u16string* result) override {
    return com::fillResult(result, [&](std::u16string& r) { return segment_.Asegment(str, &r); });
  }
  com::HResult AddWord(const std::u16string&, com::Variant* result) override {
    return com::giveResult(result, com::Variant());
  }

 private:
  segment segment_;
};

}  // namespace
}  // namespace harbek::tamsel

HARBEK_COMPONENT_MODULE({harbek::tamsel::kTamselClsid, "tamsel.segment",
                         &harbek::com::createObjectOf<harbek::tamsel::SegmentObject>})
