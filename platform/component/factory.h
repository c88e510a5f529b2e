// Class objects and component modules.
//
// A module exports four entry points with C linkage:
//   registerServer()      writes the module's classes into the class registry
//   unregisterServer()    removes them
//   getClassObject(clsid, iid, out)   hands out the class object of a class
//   canUnloadNow()        kOk when no object of the module is alive and no
//                         lock is held, else kFalse. Our runtime keeps modules
//                         loaded (runtime.h) and never asks; the answer is
//                         there for any other loader of the module.
// The registry file is the one named by HARBEK_REGISTRY, or components.reg in
// the folder of the running program. A module lists its classes once with
// HARBEK_COMPONENT_MODULE and gets all four entry points.
#pragma once

#include <cstdint>

#include <span>
#include <string>

#include "platform/component/unknown.h"

namespace harbek::com {

class IClassFactory : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr Guid iid = makeGuid("{00000001-0000-0000-C000-000000000046}");
  // outer must be null: no class supports aggregation.
  virtual HResult createInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
  virtual HResult lockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// One creatable class of a module.
struct ClassEntry {
  Guid clsid;
  const char* progId;  // "library.Class"
  HResult (*create)(const Guid& iid, void** out);
};

// Creates a T (default-constructible, derived from ObjectBase) and queries it.
template <class T>
HResult createObjectOf(const Guid& iid, void** out) {
  auto obj = makeObject<T>();
  return obj->queryInterface(iid, out);
}

// The entry points' work, for HARBEK_COMPONENT_MODULE.
HResult moduleRegister(std::span<const ClassEntry> classes, const void* anyModuleAddress);
HResult moduleUnregister(std::span<const ClassEntry> classes, const void* anyModuleAddress);
HResult moduleGetClassObject(std::span<const ClassEntry> classes, const Guid& clsid, const Guid& iid,
                             void** out);
HResult moduleCanUnloadNow();

// The version of what a module and its loader hand each other (the
// interfaces, Guid, Variant and texts); every module exports the one it was
// built with as kAbiEntry, and the runtime loads no module of another. Raise
// it with every change to those types.
#ifndef HARBEK_COMPONENT_ABI
#define HARBEK_COMPONENT_ABI 1
#endif
inline constexpr uint32_t kComponentAbi = HARBEK_COMPONENT_ABI;
inline constexpr const char* kAbiEntry = "harbekComponentAbi";

// Names of the entry points, as a loader looks them up.
inline constexpr const char* kRegisterEntry = "registerServer";
inline constexpr const char* kUnregisterEntry = "unregisterServer";
inline constexpr const char* kGetClassObjectEntry = "getClassObject";
inline constexpr const char* kCanUnloadEntry = "canUnloadNow";

using RegisterFn = HResult (*)();
using GetClassObjectFn = HResult (*)(const Guid*, const Guid*, void**);
using CanUnloadFn = HResult (*)();

}  // namespace harbek::com

// Defines the module's four entry points over a list of ClassEntry values:
//   HARBEK_COMPONENT_MODULE({kClsid, "vornet.WebUrl", &createObjectOf<WebUrlObject>})
#define HARBEK_COMPONENT_MODULE(...)                                                          \
  namespace {                                                                                 \
  const ::harbek::com::ClassEntry kHarbekModuleClasses[] = {__VA_ARGS__};                     \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) ::harbek::com::HResult registerServer() { \
    return ::harbek::com::moduleRegister(kHarbekModuleClasses, (const void*)&registerServer); \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) ::harbek::com::HResult unregisterServer() { \
    return ::harbek::com::moduleUnregister(kHarbekModuleClasses, (const void*)&registerServer); \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) ::harbek::com::HResult getClassObject(    \
      const ::harbek::com::Guid* clsid, const ::harbek::com::Guid* iid, void** out) {         \
    return ::harbek::com::moduleGetClassObject(kHarbekModuleClasses, *clsid, *iid, out);      \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) ::harbek::com::HResult canUnloadNow() {   \
    return ::harbek::com::moduleCanUnloadNow();                                               \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) const uint32_t harbekComponentAbi =       \
      HARBEK_COMPONENT_ABI;
