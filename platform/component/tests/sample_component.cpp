#include "platform/component/tests/sample_component.h"

#include <algorithm>

#include "platform/component/factory.h"

namespace harbek::com::testing {
namespace {

class Sample final : public DispatchObject<ISample, Sample> {
 public:
  static const DispatchTable<ISample>& dispatchTable() {
    static const DispatchTable<ISample> table =
        DispatchTable<ISample>(u"Sample")
            .property(u"Name", &ISample::get_Name, &ISample::put_Name)
            .method(u"Join", &ISample::Join, {u"a", u"n"})
            .method(u"Swap", &ISample::Swap, {u"left", u"right"})
            .method(u"Half", &ISample::Half, {u"x"})
            .method(u"Negate", &ISample::Negate, {u"f"})
            .method(u"NextDay", &ISample::NextDay, {u"d"})
            .method(u"Reverse", &ISample::Reverse, {u"b"})
            .method(u"Fail", &ISample::Fail, {u"code"})
            .property(u"Objects", &ISample::get_Objects);
    return table;
  }

  HResult get_Name(std::u16string* value) override {
    *value = name_;
    return kOk;
  }
  HResult put_Name(const std::u16string& value) override {
    name_ = value;
    return kOk;
  }
  HResult Join(const std::u16string& a, int16_t n, std::u16string* result) override {
    if (n < 0) return kInvalidArgument;
    result->clear();
    for (int i = 0; i < n; ++i) *result += a;
    return kOk;
  }
  HResult Swap(std::u16string& left, int32_t& right) override {
    int32_t l = std::stoi(text::toUtf8(left));
    left = text::widen(std::to_string(right));
    right = l;
    return kOk;
  }
  HResult Half(double x, double* result) override {
    *result = x / 2;
    return kOk;
  }
  HResult Negate(Flag f, Flag* result) override {
    *result = toFlag(!isTrue(f));
    return kOk;
  }
  HResult NextDay(Date d, Date* result) override {
    *result = Date{d.days + 1};
    return kOk;
  }
  HResult Reverse(const Bytes& b, Bytes* result) override {
    *result = Bytes(b.rbegin(), b.rend());
    return kOk;
  }
  HResult Fail(int32_t code, Variant* result) override {
    if (code != 0) return code;
    *result = int32_t{80};
    return kOk;
  }
  HResult get_Objects(int32_t* value) override {
    *value = static_cast<int32_t>(moduleUsage().load());
    return kOk;
  }

 private:
  std::u16string name_ = u"sample";
};

}  // namespace
}  // namespace harbek::com::testing

HARBEK_COMPONENT_MODULE({harbek::com::testing::kSampleClsid, "sampletest.Sample",
                         &harbek::com::createObjectOf<harbek::com::testing::Sample>})
