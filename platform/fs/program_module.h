// The program's own modules (the windows, the TLS engine): shared objects
// loaded when first needed, so that a run that does not need them does not
// pay for them. They live beside the program in a build folder and in
// lib/harbek/ of an installed tree.
#pragma once

#include <cstdint>
#include <string>

namespace harbek::fs {

// The version of the C++ objects and structures the program and its modules
// hand each other (the TLS client and its options, the window mode's
// options). Beside each entry point E a module exports E_abi, the version it
// was built with (HARBEK_MODULE_ABI(E)); the loader refuses another. Raise
// it with every change to those types.
inline constexpr uint32_t kModuleAbi = 4;

// Loads module file (a name such as "harbek-tls.so") and returns the address
// of its exported symbol; null with the reason in why when the module is
// missing, does not load, lacks the symbol or was built for another module
// ABI. A module once loaded stays.
// True for a build tree, whose modules (and class registry) sit beside the
// program; false for an installed program, whose modules are in lib/harbek/.
bool modulesBesideProgram();

// True when module file is beside the program or in lib/harbek/.
bool programModuleFound(const std::string& file);

void* programModuleSymbol(const std::string& file, const char* symbol, std::string& why);

}  // namespace harbek::fs

// Exports the module ABI of entry point entry, beside it.
#define HARBEK_MODULE_ABI(entry) \
  extern "C" __attribute__((visibility("default"))) const uint32_t entry##_abi = ::harbek::fs::kModuleAbi;
