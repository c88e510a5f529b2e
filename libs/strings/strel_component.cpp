// The component strel: class str over the shared string operations.
#include "libs/strings/page_text.h"
#include "libs/strings/str_interface.h"
#include "libs/strings/string_ops.h"
#include "platform/component/factory.h"

namespace harbek::strings {
namespace {

using com::HResult;

class Str final : public com::DispatchObject<IStr, Str> {
 public:
  static const com::DispatchTable<IStr>& dispatchTable() {
    static const com::DispatchTable<IStr> table =
        com::DispatchTable<IStr>(u"str")
            .method(u"InStrL", &IStr::InStrL, {u"inString", u"srchString"})
            .method(u"iSum", &IStr::iSum, {u"FullString", u"schString"})
            .method(u"StrToDate", &IStr::StrToDate, {u"strChanged"})
            .method(u"sReplace", &IStr::sReplace, {u"SearchLine", u"SearchFor", u"ReplaceWith"})
            .method(u"ini", &IStr::ini, {u"Istr"})
            .method(u"selecTini", &IStr::selecTini, {u"Istr"})
            .method(u"changeHtml", &IStr::changeHtml, {u"myHtml"})
            .method(u"noSpaceINtag", &IStr::noSpaceINtag, {u"str"})
            .method(u"URLEncode", &IStr::URLEncode, {u"str"})
            .method(u"URLDecode", &IStr::URLDecode, {u"str"})
            .method(u"noBiaoDian", &IStr::noBiaoDian, {u"str"});
    return table;
  }

  HResult InStrL(const std::u16string& whole, const std::u16string& sought, int16_t* result) override {
    return com::fillResult(result, [&](int16_t& r) { return strings::InStrL(whole, sought, &r); });
  }
  HResult iSum(const std::u16string& whole, const std::u16string& sought, int16_t* result) override {
    return com::fillResult(result, [&](int16_t& r) { return strings::iSum(whole, sought, &r); });
  }
  HResult StrToDate(const std::u16string& digits, com::Date* result) override {
    return com::giveResult(result, strings::StrToDate(digits));
  }
  HResult sReplace(std::u16string& line, const std::u16string& sought, const std::u16string& replacement,
                   std::u16string* result) override {
    return com::fillResult(result, [&](std::u16string& r) { return strings::sReplace(line, sought, replacement, &r); });
  }
  HResult ini(const std::u16string& source, std::u16string* result) override {
    return com::giveResult(result, strings::ini(source));
  }
  HResult selecTini(const std::u16string& source, std::u16string* result) override {
    return com::giveResult(result, strings::selecTini(source));
  }
  HResult changeHtml(const std::u16string& markup, std::u16string* result) override {
    return com::giveResult(result, strings::changeHtml(markup));
  }
  HResult noSpaceINtag(const std::u16string& str, std::u16string* result) override {
    return com::giveResult(result, strings::noSpaceINtag(str));
  }
  HResult URLEncode(const std::u16string& str, std::u16string* result) override {
    return com::giveResult(result, strings::URLEncode(str));
  }
  HResult URLDecode(const std::u16string& str, std::u16string* result) override {
    return com::giveResult(result, strings::URLDecode(str));
  }
  HResult noBiaoDian(const std::u16string& str, std::u16string* result) override {
    return com::giveResult(result, strings::noBiaoDian(str));
  }
};

}  // namespace
}  // namespace harbek::strings

HARBEK_COMPONENT_MODULE({harbek::strings::kStrClsid, "strel.str",
                         &harbek::com::createObjectOf<harbek::strings::Str>})
