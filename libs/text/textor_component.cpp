// The component textor.Totextor over the strip logic. It holds no state.
#include "libs/text/totextor.h"
#include "libs/text/totextor_interface.h"
#include "platform/component/factory.h"

namespace harbek::textor {
namespace {

class Totextor final : public com::DispatchObject<ITotextor, Totextor> {
 public:
  static const com::DispatchTable<ITotextor>& dispatchTable() {
    static const com::DispatchTable<ITotextor> table =
        com::DispatchTable<ITotextor>(u"Totextor")
            .method(u"StripText", &ITotextor::StripText, {u"html"})
            .method(u"StripText_noSpace", &ITotextor::StripText_noSpace, {u"html"})
            .method(u"getTextorP", &ITotextor::getTextorP, {u"text", u"marker"});
    return table;
  }

  com::HResult StripText(const std::u16string& html, std::u16string* result) override {
    return com::giveResult(result, stripText(html));
  }
  com::HResult StripText_noSpace(const std::u16string& html, std::u16string* result) override {
    return com::giveResult(result, stripTextNoSpace(html));
  }
  com::HResult getTextorP(const std::u16string& text, const std::u16string& marker,
                          std::u16string* result) override {
    return com::fillResult(result, [&](std::u16string& r) { return textor::getTextorP(text, marker, &r); });
  }
};

}  // namespace
}  // namespace harbek::textor

HARBEK_COMPONENT_MODULE({harbek::textor::kTotextorClsid, "textor.Totextor",
                         &harbek::com::createObjectOf<harbek::textor::Totextor>})
