// Creating objects by class identifier or by ProgID.
//
// The runtime looks the class up in the registry, loads its module once for
// the life of the process, asks the module for the class object and has it
// create the object. Every failure comes back as a code, with a message that
// names the class and, where one is involved, the module file.
#pragma once

#include <string>
#include <string_view>

#include "platform/component/factory.h"
#include "platform/component/registry.h"
#include "platform/component/unknown.h"

namespace harbek::com {

HResult createInstance(const Guid& clsid, const Guid& iid, void** out, std::string* message = nullptr);

// The class given as a ProgID ("vornet.WebUrl") or as "{CLSID}".
HResult createInstanceByName(std::string_view classText, const Guid& iid, void** out,
                             std::string* message = nullptr);

template <class I>
HResult create(const Guid& clsid, ComPtr<I>& out, std::string* message = nullptr) {
  return createInstance(clsid, I::iid, out.out(), message);
}

template <class I>
HResult createByName(std::string_view classText, ComPtr<I>& out, std::string* message = nullptr) {
  return createInstanceByName(classText, I::iid, out.out(), message);
}

// Loads a module file and calls its register or unregister entry point with
// the given registry (registration tool).
HResult registerModule(const std::string& modulePath, const std::string& registryPath, bool unregister,
                       std::string* message);

}  // namespace harbek::com
