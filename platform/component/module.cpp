// The entry points' work inside a component module.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "platform/component/factory.h"
#include "platform/component/registry.h"

namespace harbek::com {
namespace {

std::string modulePathOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

class ClassFactory final : public ObjectBase<IClassFactory> {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}
  HResult createInstance(IUnknown* outer, const Guid& iid, void** out) override {
    if (!out) return kPointer;
    *out = nullptr;
    if (outer) return kNoAggregation;
    return entry_.create(iid, out);
  }
  HResult lockServer(bool lock) override {
    if (lock) moduleUsage().fetch_add(1); else moduleUsage().fetch_sub(1);
    return kOk;
  }

 private:
  const ClassEntry& entry_;
};

}  // namespace

HResult moduleRegister(std::span<const ClassEntry> classes, const void* anyModuleAddress) {
  std::string path = modulePathOf(anyModuleAddress);
  if (path.empty()) return kFail;
  std::vector<RegistryEntry> entries;
  for (const auto& c : classes) entries.push_back({c.clsid, c.progId, path});
  return addRegistryEntries(defaultRegistryPath(), entries);
}

HResult moduleUnregister(std::span<const ClassEntry> classes, const void*) {
  std::vector<Guid> ids;
  for (const auto& c : classes) ids.push_back(c.clsid);
  return removeRegistryEntries(defaultRegistryPath(), ids);
}

HResult moduleGetClassObject(std::span<const ClassEntry> classes, const Guid& clsid, const Guid& iid,
                             void** out) {
  if (!out) return kPointer;
  *out = nullptr;
  for (const auto& c : classes) {
    if (c.clsid == clsid) {
      auto factory = makeObject<ClassFactory>(c);
      return factory->queryInterface(iid, out);
    }
  }
  return kClassNotRegistered;
}

HResult moduleCanUnloadNow() { return moduleUsage().load() == 0 ? kOk : kFalse; }

}  // namespace harbek::com
