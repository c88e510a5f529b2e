// comreg: writes component modules' classes into a class registry, or removes them.
//   comreg [--registry FILE] [-u] MODULE...
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/component/runtime.h"

namespace {

constexpr const char* kUsage =
    "usage: comreg [--registry FILE] [-u] MODULE...\n"
    "  Loads each component module and writes its classes into the class registry\n"
    "  (HARBEK_REGISTRY, or components.reg beside this program), replacing lines of\n"
    "  the same class; module paths are kept relative to the registry's folder.\n"
    "  --registry FILE  the registry to write instead\n"
    "  -u               remove the modules' classes instead\n";

}  // namespace

int main(int argc, char** argv) {
  std::string registry = harbek::com::defaultRegistryPath();
  bool unregister = false;
  std::vector<std::string> modules;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--registry") == 0 && i + 1 < argc) {
      registry = argv[++i];
    } else if (std::strcmp(argv[i], "-u") == 0) {
      unregister = true;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "comreg: unknown option '%s'\n%s", argv[i], kUsage);
      return 2;
    } else {
      modules.emplace_back(argv[i]);
    }
  }
  if (modules.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  int status = 0;
  for (const auto& m : modules) {
    std::string message;
    if (harbek::com::failed(harbek::com::registerModule(m, registry, unregister, &message))) {
      std::fprintf(stderr, "comreg: %s\n", message.c_str());
      status = 1;
    }
  }
  return status;
}
