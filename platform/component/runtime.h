// The component runtime: how a caller gets an object of a component class
// and talks to it.
//
// Create by class identifier or by name. A class is named by its class
// identifier (a Guid, "{...}" as text) or by its ProgID, the library's name
// and the class's name joined by a dot ("vornet.WebUrl"). createInstanceByName
// turns a ProgID into the identifier through the registry, then does what
// createInstance does.
//
// The registry (registry.h) is a text file, one class a line: identifier,
// ProgID and module file. It is the file HARBEK_REGISTRY names, or
// components.reg beside the program; the build fills it by running each
// module's register entry point (comreg).
//
// Loading the module. createInstance finds the class's line and loads its
// module with dlopen, once: modules stay loaded for the life of the process,
// as objects and texts they handed out may outlive any one caller's interest
// in them. So the runtime never asks a module whether it may be unloaded;
// the module answers that for any other loader (factory.h).
//
// The class object. A module exports its entry points with C linkage
// (factory.h, written by HARBEK_COMPONENT_MODULE). The runtime asks
// getClassObject for the class's IClassFactory and has it create the object
// with the interface the caller wants. Objects count their references
// (unknown.h); ComPtr holds them.
//
// The dispatch table. Each class has a typed C++ interface for early-bound
// callers: every operation returns a code and hands its result through the
// caller's pointer with giveResult or fillResult (dispatch.h), so a missing
// pointer is kPointer in every component. The same object answers IDispatch
// for late-bound callers such as comcall: its DispatchTable lists the
// operations in interface order, numbers them from 1, finds them by name
// without regard to letter case and converts Variant arguments to the
// declared types (variant.h).
//
// Errors. Every call returns a code from errors.h; nothing is thrown across a
// boundary. A failed creation also gives a message that names the class and,
// where one is involved, the module file.
#pragma once

#include <string>
#include <string_view>

#include "platform/component/factory.h"
#include "platform/component/registry.h"
#include "platform/component/unknown.h"

namespace harbek::com {

[[nodiscard]] HResult createInstance(const Guid& clsid, const Guid& iid, void** out, std::string* message = nullptr);

// The class given as a ProgID ("vornet.WebUrl") or as "{CLSID}".
[[nodiscard]] HResult createInstanceByName(std::string_view classText, const Guid& iid, void** out,
                             std::string* message = nullptr);

template <class I>
[[nodiscard]] HResult create(const Guid& clsid, ComPtr<I>& out, std::string* message = nullptr) {
  return createInstance(clsid, I::iid, out.out(), message);
}

template <class I>
[[nodiscard]] HResult createByName(std::string_view classText, ComPtr<I>& out, std::string* message = nullptr) {
  return createInstanceByName(classText, I::iid, out.out(), message);
}

// Loads a module file and calls its register or unregister entry point with
// the given registry (registration tool).
[[nodiscard]] HResult registerModule(const std::string& modulePath, const std::string& registryPath, bool unregister,
                       std::string* message);

}  // namespace harbek::com
