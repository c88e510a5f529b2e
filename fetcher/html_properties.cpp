#include "fetcher/html_properties.h"

#include <array>

namespace harbek::fetcher {
namespace {

using com::Variant;
using com::VarType;

// How a field of each type travels through a store.
template <class T>
struct Kind;
template <>
struct Kind<std::u16string> {
  static constexpr VarType type = VarType::kText;
  static Variant to(const std::u16string& v) { return v; }
  static std::u16string from(const Variant& v) { return *v.get<std::u16string>(); }
};
template <>
struct Kind<int16_t> {
  static constexpr VarType type = VarType::kI16;
  static Variant to(int16_t v) { return v; }
  static int16_t from(const Variant& v) { return *v.get<int16_t>(); }
};
template <>
struct Kind<int32_t> {
  static constexpr VarType type = VarType::kI32;
  static Variant to(int32_t v) { return v; }
  static int32_t from(const Variant& v) { return *v.get<int32_t>(); }
};
template <>
struct Kind<bool> {
  static constexpr VarType type = VarType::kFlag;
  static Variant to(bool v) { return com::toFlag(v); }
  static bool from(const Variant& v) { return com::isTrue(*v.get<com::Flag>()); }
};
template <>
struct Kind<Variant> {
  static constexpr VarType type = VarType::kAny;
  static Variant to(const Variant& v) { return v; }
  static Variant from(const Variant& v) { return v; }
};

}  // namespace

struct HtmlProperties::Property {
  const char16_t* key;
  Variant initial;
  Variant (*get)(const HtmlProperties&);
  // Takes a value of any kind; false when it cannot be converted.
  bool (*set)(HtmlProperties&, const Variant&);
};

const HtmlProperties::Property* HtmlProperties::properties(size_t& count) {
  // Each entry reads and writes its field through a pointer to member.
  auto entry = []<auto Field>(const char16_t* key, Variant initial) {
    using T = std::remove_reference_t<decltype(std::declval<HtmlProperties&>().*Field)>;
    return Property{
        key, std::move(initial),
        [](const HtmlProperties& p) { return Kind<T>::to(p.*Field); },
        [](HtmlProperties& p, const Variant& v) {
          Variant converted;
          if (com::failed(com::convert(v, Kind<T>::type, converted))) return false;
          p.*Field = Kind<T>::from(converted);
          return true;
        }};
  };
  using H = HtmlProperties;
  static const std::array<Property, 25> table = {
      entry.operator()<&H::url_>(u"url", Variant(int16_t{0})),
      entry.operator()<&H::WaitTime_>(u"WaitTime", Variant(int16_t{15})),
      entry.operator()<&H::State_>(u"State", Variant(u"0")),
      entry.operator()<&H::urlText_>(u"urlText", Variant(u"0")),
      entry.operator()<&H::comeFromUrl_>(u"comeFromUrl", Variant(u"0")),
      entry.operator()<&H::comeFromText_>(u"comeFromText", Variant(u"0")),
      entry.operator()<&H::HtmlTextor_>(u"HtmlTextor", Variant(u"0")),
      entry.operator()<&H::CharSet_>(u"CharSet", Variant(u"GB2312")),
      entry.operator()<&H::HTMLcode_>(u"HTMLcode", Variant(u"0")),
      entry.operator()<&H::isFirstResponse_>(u"isFirstResponse", Variant(com::Flag::kTrue)),
      entry.operator()<&H::getHtmlCodeIsOver_>(u"getHtmlCodeIsOver", Variant(com::Flag::kTrue)),
      entry.operator()<&H::fileName_>(u"FileName", Variant(u"0")),
      entry.operator()<&H::Cookie_>(u"Cookie", Variant(u"0")),
      entry.operator()<&H::host_>(u"host", Variant(u"0")),
      entry.operator()<&H::Location_>(u"Location", Variant(u"0")),
      entry.operator()<&H::contentType_>(u"contentType", Variant(u"0")),
      entry.operator()<&H::htmlLen_>(u"htmlLen", Variant(int32_t{0})),
      entry.operator()<&H::Status_>(u"Status", Variant(u"0")),
      entry.operator()<&H::SendHeader_>(u"SendHeader", Variant(u"0")),
      entry.operator()<&H::reHeader_>(u"reHeader", Variant(u"0")),
      entry.operator()<&H::CurrLen_>(u"CurrLen", Variant(int32_t{0})),
      entry.operator()<&H::ReMax_>(u"ReMax", Variant(int32_t{0})),
      entry.operator()<&H::Port_>(u"Port", Variant(int32_t{80})),
      entry.operator()<&H::getTagINChost_>(u"getTagINChost", Variant(com::Flag::kTrue)),
      entry.operator()<&H::HostIP_>(u"HostIP", Variant(u"")),
  };
  count = table.size();
  return table.data();
}

HtmlProperties::HtmlProperties() { initialise(); }

void HtmlProperties::initialise() {
  size_t n = 0;
  const Property* table = properties(n);
  for (size_t i = 0; i < n; ++i) table[i].set(*this, table[i].initial);
}

void HtmlProperties::load(PropertyStore& store) {
  size_t n = 0;
  const Property* table = properties(n);
  for (size_t i = 0; i < n; ++i) {
    const Property& p = table[i];
    if (!p.set(*this, store.read(p.key, p.initial))) p.set(*this, p.initial);
  }
}

void HtmlProperties::save(PropertyStore& store) const {
  size_t n = 0;
  const Property* table = properties(n);
  for (size_t i = 0; i < n; ++i) store.write(table[i].key, table[i].get(*this), table[i].initial);
}

}  // namespace harbek::fetcher
