#include "platform/component/runtime.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <map>
#include <mutex>

#include "platform/fs/fs.h"

namespace harbek::com {
namespace {

// Modules stay loaded for the life of the process: objects and texts they
// handed out may outlive any one caller's interest in them.
struct LoadedModules {
  std::mutex lock;
  std::map<std::string, void*> handles;
};

LoadedModules& loaded() {
  static LoadedModules m;
  return m;
}

void* loadModule(const std::string& path, std::string* message) {
  auto& m = loaded();
  std::lock_guard guard(m.lock);
  if (auto it = m.handles.find(path); it != m.handles.end()) return it->second;
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const std::string why = dlerror();
    // A module that is there but may not be read is named as such, not as
    // one that is missing.
    const fs::Error e = fs::readable(path);
    if (message) *message = e == fs::Error::kDenied ? "cannot read " + path + ": " + std::string(fs::errorName(e)) : why;
    return nullptr;
  }
  m.handles[path] = h;
  return h;
}

void setMessage(std::string* message, std::string text) {
  if (message) *message = std::move(text);
}

// A module built against other interfaces would crash on the first call:
// its version is asked before anything else of it is used.
bool sameAbi(void* handle, const std::string& path, std::string* message, const std::string& what) {
  const auto* abi = static_cast<const uint32_t*>(dlsym(handle, kAbiEntry));
  if (abi && *abi == kComponentAbi) return true;
  setMessage(message, what + "module " + path + " was built for component ABI " +
                          (abi ? std::to_string(*abi) : std::string("unknown")) + ", this program needs " +
                          std::to_string(kComponentAbi) + ": a module of another build");
  return false;
}

}  // namespace

HResult createInstance(const Guid& clsid, const Guid& iid, void** out, std::string* message) {
  if (!out) return kPointer;
  *out = nullptr;
  std::string registry = defaultRegistryPath();
  std::string unreadable;
  auto entry = findByClsid(readRegistry(registry, &unreadable), clsid);
  if (!unreadable.empty()) {
    setMessage(message, unreadable);
    return kPermissionDenied;
  }
  if (!entry) {
    setMessage(message, "class " + clsid.toString() + " is not registered in " + registry);
    return kClassNotRegistered;
  }
  std::string name = "class " + clsid.toString() + " (" + entry->progId + ")";
  std::string why;
  void* handle = loadModule(entry->modulePath, &why);
  if (!handle) {
    setMessage(message, name + ": cannot load module " + entry->modulePath + ": " + why);
    return kModuleNotFound;
  }
  if (!sameAbi(handle, entry->modulePath, message, name + ": ")) return kModuleNotFound;
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, kGetClassObjectEntry));
  if (!getClassObject) {
    setMessage(message, name + ": module " + entry->modulePath + " has no class objects");
    return kModuleNotFound;
  }
  ComPtr<IClassFactory> factory;
  HResult h = getClassObject(&clsid, &IClassFactory::iid, factory.out());
  if (failed(h)) {
    setMessage(message, name + ": module " + entry->modulePath + " does not provide the class");
    return h;
  }
  h = factory->createInstance(nullptr, iid, out);
  if (failed(h)) setMessage(message, name + ": " + errorMessage(h));
  return h;
}

HResult createInstanceByName(std::string_view classText, const Guid& iid, void** out, std::string* message) {
  if (!out) return kPointer;
  *out = nullptr;
  if (!classText.empty() && classText.front() == '{') {
    auto g = Guid::parse(classText);
    if (!g) {
      setMessage(message, "malformed class identifier " + std::string(classText));
      return kClassNotRegistered;
    }
    return createInstance(*g, iid, out, message);
  }
  std::string registry = defaultRegistryPath();
  std::string unreadable;
  auto entry = findByProgId(readRegistry(registry, &unreadable), std::string(classText));
  if (!unreadable.empty()) {
    setMessage(message, unreadable);
    return kPermissionDenied;
  }
  if (!entry) {
    setMessage(message, "class " + std::string(classText) + " is not registered in " + registry);
    return kClassNotRegistered;
  }
  return createInstance(entry->clsid, iid, out, message);
}

HResult registerModule(const std::string& modulePath, const std::string& registryPath, bool unregister,
                       std::string* message) {
  setenv("HARBEK_REGISTRY", registryPath.c_str(), 1);
  std::string why;
  void* handle = loadModule(modulePath, &why);
  if (!handle) {
    setMessage(message, "cannot load module " + modulePath + ": " + why);
    return kModuleNotFound;
  }
  if (!sameAbi(handle, modulePath, message, "")) return kModuleNotFound;
  auto fn = reinterpret_cast<RegisterFn>(dlsym(handle, unregister ? kUnregisterEntry : kRegisterEntry));
  if (!fn) {
    setMessage(message, "module " + modulePath + " is not a component module");
    return kModuleNotFound;
  }
  HResult h = fn();
  if (failed(h)) setMessage(message, "module " + modulePath + ": " + errorMessage(h));
  return h;
}

}  // namespace harbek::com
