// Reference-counted objects with interface queries.
//
// Every component object implements IUnknown. An object starts with one
// reference, owned by whoever created it; ComPtr holds references. Objects of
// a module are counted so the module can answer whether it may be unloaded.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "platform/component/errors.h"
#include "platform/component/guid.h"

namespace harbek::com {

class IUnknown {
 public:
  static constexpr Guid iid = makeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HResult queryInterface(const Guid& iid, void** out) = 0;
  virtual uint32_t addRef() = 0;
  virtual uint32_t release() = 0;

 protected:
  ~IUnknown() = default;
};

// Holds one reference to an interface.
template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->addRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  // Takes over a reference the caller already owns.
  static ComPtr adopt(I* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }

  void reset() {
    if (p_) std::exchange(p_, nullptr)->release();
  }
  I* get() const { return p_; }
  I* operator->() const { return p_; }
  I& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For out-parameters of queryInterface and createInstance.
  void** out() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }

  template <class J>
  HResult as(ComPtr<J>& target) const {
    if (!p_) return kPointer;
    return p_->queryInterface(J::iid, target.out());
  }

 private:
  I* p_ = nullptr;
};

// Live objects and locks of the module this code is linked into.
std::atomic<long>& moduleUsage();

// True when iid names I or one of the interfaces of its Base chain. Every
// interface declares its identifier as `iid` and its parent as `Base`.
template <class I>
constexpr bool implementsIid(const Guid& iid) {
  if (iid == I::iid) return true;
  if constexpr (std::is_same_v<I, IUnknown>) {
    return false;
  } else {
    return implementsIid<typename I::Base>(iid);
  }
}

// Implements IUnknown for an object of interface Iface (for example
// IWebUrl -> IDispatch -> IUnknown). queryInterface answers for Iface and its
// Base chain, and nothing else.
template <class Iface>
class ObjectBase : public Iface {
 public:
  ObjectBase() { moduleUsage().fetch_add(1); }
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;
  virtual ~ObjectBase() { moduleUsage().fetch_sub(1); }

  HResult queryInterface(const Guid& iid, void** out) override {
    if (!out) return kPointer;
    *out = nullptr;
    if (!implementsIid<Iface>(iid)) return kNoInterface;
    addRef();
    *out = static_cast<Iface*>(this);
    return kOk;
  }
  uint32_t addRef() override { return ++refs_; }
  uint32_t release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<uint32_t> refs_{1};
};

// Makes a new object and hands out its first reference.
template <class T, class... Args>
ComPtr<T> makeObject(Args&&... args) {
  return ComPtr<T>::adopt(new T(std::forward<Args>(args)...));
}

}  // namespace harbek::com
