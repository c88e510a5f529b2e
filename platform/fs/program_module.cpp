#include "platform/fs/program_module.h"

#include <dlfcn.h>

#include "platform/fs/fs.h"

namespace harbek::fs {

bool modulesBesideProgram() {
  const std::string folder = programFolder();
  return !folder.empty() && (isFile(folder + "/components.reg") || isFile(folder + "/harbek-tls.so"));
}

bool programModuleFound(const std::string& file) {
  const std::string folder = programFolder();
  return isFile(folder + "/" + file) || isFile(folder + "/../" HARBEK_MODULE_DIR "/" + file);
}

void* programModuleSymbol(const std::string& file, const char* symbol, std::string& why) {
  const std::string folder = programFolder();
  for (const std::string& path : {folder + "/" + file, folder + "/../" HARBEK_MODULE_DIR "/" + file}) {
    if (!isFile(path)) continue;
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      why = ::dlerror();
      if (const Error e = readable(path); e == Error::kDenied) why = "cannot read " + path + ": " + std::string(errorName(e));
      return nullptr;
    }
    void* found = ::dlsym(module, symbol);
    if (!found) {
      why = path + " has no " + symbol;
      return nullptr;
    }
    const auto* abi = static_cast<const uint32_t*>(::dlsym(module, (std::string(symbol) + "_abi").c_str()));
    if (!abi || *abi != kModuleAbi) {
      why = path + " was built for module ABI " + (abi ? std::to_string(*abi) : std::string("unknown")) +
            ", this program needs " + std::to_string(kModuleAbi) + ": a module of another build";
      return nullptr;
    }
    return found;
  }
  why = "the module " + file + " is neither in " + folder + " nor in " + folder + "/../" HARBEK_MODULE_DIR;
  return nullptr;
}

}  // namespace harbek::fs
