// comreg: writes component modules' classes into a class registry, or removes them.
//   comreg [--registry FILE] [-u] MODULE...
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/component/runtime.h"

int main(int argc, char** argv) {
  std::string registry = harbek::com::defaultRegistryPath();
  bool unregister = false;
  std::vector<std::string> modules;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--registry") == 0 && i + 1 < argc) {
      registry = argv[++i];
    } else if (std::strcmp(argv[i], "-u") == 0) {
      unregister = true;
    } else {
      modules.emplace_back(argv[i]);
    }
  }
  if (modules.empty()) {
    std::fprintf(stderr, "usage: comreg [--registry FILE] [-u] MODULE...\n");
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
