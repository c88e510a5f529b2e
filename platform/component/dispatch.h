// The dispatch interface: late-bound calls by name.
//
// Each component class has a typed C++ interface (an abstract class whose
// virtual operations return an HResult and write their result through a
// trailing pointer) for early-bound callers, and the same object answers
// IDispatch for late-bound ones. A DispatchTable lists the operations and
// properties in interface order; dispatch numbers are positions in that
// order, from 1. Names are matched without regard to letter case.
//
// Parameter kinds are read off the typed operation's signature:
//   T or const T&   an argument passed by value
//   T&              an argument passed by reference: its new value is written
//                   back into the caller's Variant after the call
//   T* (last)       the result
// with T one of std::u16string, int16_t, int32_t, double, Flag, Date, Bytes
// or Variant (any type).
#pragma once

#include <functional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/component/unknown.h"
#include "platform/component/variant.h"
#include "platform/text/text.h"

namespace harbek::com {

using DispId = int32_t;

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut };

struct ParamInfo {
  std::u16string name;
  VarType type;
  bool byRef;
};

struct MemberInfo {
  std::u16string name;
  bool isProperty = false;
  std::vector<ParamInfo> params;  // a property's put value is not listed
  VarType result = VarType::kEmpty;  // Empty: the operation returns nothing
  bool canPut = false;              // properties only
};

struct TypeInfo {
  std::u16string className;
  std::vector<MemberInfo> members;  // member i has dispatch number i + 1
};

class IDispatch : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr Guid iid = makeGuid("{00020400-0000-0000-C000-000000000046}");

  virtual const TypeInfo& typeInfo() = 0;
  // kUnknownName when the class has no member of that name.
  virtual HResult getIdOfName(std::u16string_view name, DispId* id) = 0;
  // args in declaration order; by-reference arguments are written back.
  // A method may also be invoked as PropertyGet, a property's get as Method.
  virtual HResult invoke(DispId id, InvokeKind kind, std::span<Variant> args, Variant* result) = 0;

 protected:
  ~IDispatch() = default;
};

// A typed operation's result travels through the caller's pointer. A caller
// that passes none gets kPointer, the same from every component; every
// component hands its results through one of these two.
template <class T, class V>
HResult giveResult(T* result, V&& value) {
  if (!result) return kPointer;
  *result = std::forward<V>(value);
  return kOk;
}

// For work that writes the result itself and gives its own code: it runs
// only when there is a place for the result.
template <class T, class Work>
HResult fillResult(T* result, Work&& work) {
  if (!result) return kPointer;
  return std::forward<Work>(work)(*result);
}

namespace detail {

template <class T> struct VarTypeOf;
template <> struct VarTypeOf<std::u16string> { static constexpr VarType value = VarType::kText; };
template <> struct VarTypeOf<int16_t> { static constexpr VarType value = VarType::kI16; };
template <> struct VarTypeOf<int32_t> { static constexpr VarType value = VarType::kI32; };
template <> struct VarTypeOf<double> { static constexpr VarType value = VarType::kF64; };
template <> struct VarTypeOf<Flag> { static constexpr VarType value = VarType::kFlag; };
template <> struct VarTypeOf<Date> { static constexpr VarType value = VarType::kDate; };
template <> struct VarTypeOf<Bytes> { static constexpr VarType value = VarType::kBytes; };
template <> struct VarTypeOf<Variant> { static constexpr VarType value = VarType::kAny; };

template <class A>
struct Param {
  using Store = std::remove_cvref_t<std::remove_pointer_t<A>>;
  static constexpr bool isResult = std::is_pointer_v<A>;
  static constexpr bool byRef = std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>;
  static constexpr VarType type = VarTypeOf<Store>::value;
  static decltype(auto) pass(Store& s) {
    if constexpr (isResult) return &s; else return (s);
  }
};

template <class T>
HResult fromVariant(const Variant& v, T& out) {
  if constexpr (std::is_same_v<T, Variant>) {
    out = v;
    return kOk;
  } else {
    Variant c;
    HResult h = convert(v, VarTypeOf<T>::value, c);
    if (failed(h)) return h;
    out = std::get<T>(std::move(c.value));
    return kOk;
  }
}

template <class T>
Variant toVariant(T v) {
  if constexpr (std::is_same_v<T, Variant>) return v; else return Variant(std::move(v));
}

}  // namespace detail

template <class Iface>
class DispatchTable {
 public:
  using Invoker = std::function<HResult(Iface&, std::span<Variant>, Variant*)>;

  explicit DispatchTable(std::u16string className) { info_.className = std::move(className); }

  // An operation; names are its parameter names, in order.
  template <class... A>
  DispatchTable& method(std::u16string name, HResult (Iface::*fn)(A...),
                        std::vector<std::u16string> names = {}) {
    MemberInfo m;
    m.name = std::move(name);
    m.result = VarType::kEmpty;
    [[maybe_unused]] size_t k = 0;
    (
        [&] {
          using P = detail::Param<A>;
          if constexpr (P::isResult) {
            m.result = P::type;
          } else {
            std::u16string n = k < names.size() ? names[k] : u"arg" + text::widen(std::to_string(k + 1));
            m.params.push_back({std::move(n), P::type, P::byRef});
            ++k;
          }
        }(),
        ...);
    info_.members.push_back(std::move(m));
    getters_.push_back([fn](Iface& obj, std::span<Variant> args, Variant* result) {
      return call(obj, fn, args, result, std::index_sequence_for<A...>{});
    });
    putters_.emplace_back();
    return *this;
  }

  // A property with a getter and, unless put is null, a setter.
  template <class T, class P = const T&>
  DispatchTable& property(std::u16string name, HResult (Iface::*get)(T*),
                          HResult (Iface::*put)(P) = nullptr) {
    MemberInfo m;
    m.name = std::move(name);
    m.isProperty = true;
    m.result = detail::VarTypeOf<T>::value;
    m.canPut = put != nullptr;
    info_.members.push_back(std::move(m));
    getters_.push_back([get](Iface& obj, std::span<Variant> args, Variant* result) -> HResult {
      if (!args.empty()) return kBadParamCount;
      T v{};
      HResult h = (obj.*get)(&v);
      if (succeeded(h) && result) *result = detail::toVariant(std::move(v));
      return h;
    });
    if (put) {
      putters_.push_back([put](Iface& obj, std::span<Variant> args, Variant*) -> HResult {
        if (args.size() != 1) return kBadParamCount;
        T v{};
        HResult h = detail::fromVariant(args[0], v);
        if (failed(h)) return h;
        return (obj.*put)(v);
      });
    } else {
      putters_.emplace_back();
    }
    return *this;
  }

  const TypeInfo& info() const { return info_; }

  HResult idOfName(std::u16string_view name, DispId* id) const {
    if (!id) return kPointer;
    std::u16string wanted = text::toLower(name);
    for (size_t i = 0; i < info_.members.size(); ++i) {
      if (text::toLower(info_.members[i].name) == wanted) {
        *id = static_cast<DispId>(i + 1);
        return kOk;
      }
    }
    return kUnknownName;
  }

  HResult invoke(Iface& obj, DispId id, InvokeKind kind, std::span<Variant> args, Variant* result) const {
    if (id < 1 || static_cast<size_t>(id) > info_.members.size()) return kMemberNotFound;
    size_t i = static_cast<size_t>(id - 1);
    if (kind == InvokeKind::kPropertyPut) {
      if (!putters_[i]) return kMemberNotFound;
      return putters_[i](obj, args, result);
    }
    return getters_[i](obj, args, result);
  }

 private:
  template <class... A, size_t... I>
  static HResult call(Iface& obj, HResult (Iface::*fn)(A...), std::span<Variant> args,
                      [[maybe_unused]] Variant* result, std::index_sequence<I...>) {
    constexpr size_t inputs = ((detail::Param<A>::isResult ? 0 : 1) + ... + 0);
    if (args.size() != inputs) return kBadParamCount;
    std::tuple<typename detail::Param<A>::Store...> store;
    HResult h = kOk;
    // Arguments convert to their declared types, in order; the first that
    // cannot be converted fails the call.
    (
        [&] {
          if constexpr (!detail::Param<A>::isResult) {
            if (succeeded(h)) h = detail::fromVariant(args[I], std::get<I>(store));
          }
        }(),
        ...);
    if (failed(h)) return h;
    h = (obj.*fn)(detail::Param<A>::pass(std::get<I>(store))...);
    (
        [&] {
          using P = detail::Param<A>;
          if constexpr (P::isResult) {
            if (result && succeeded(h)) *result = detail::toVariant(std::move(std::get<I>(store)));
          } else if constexpr (P::byRef) {
            args[I] = detail::toVariant(std::get<I>(store));
          }
        }(),
        ...);
    return h;
  }

  TypeInfo info_;
  std::vector<Invoker> getters_;
  std::vector<Invoker> putters_;
};

// Base of a component class: IUnknown from ObjectBase, IDispatch from the
// table that Derived::dispatchTable() returns.
template <class Iface, class Derived>
class DispatchObject : public ObjectBase<Iface> {
 public:
  const TypeInfo& typeInfo() override { return Derived::dispatchTable().info(); }
  HResult getIdOfName(std::u16string_view name, DispId* id) override {
    return Derived::dispatchTable().idOfName(name, id);
  }
  HResult invoke(DispId id, InvokeKind kind, std::span<Variant> args, Variant* result) override {
    return Derived::dispatchTable().invoke(*this, id, kind, args, result);
  }
};

}  // namespace harbek::com
