// The program's own modules (the windows, the TLS engine): shared objects
// loaded when first needed, so that a run that does not need them does not
// pay for them. They live beside the program in a build folder and in
// lib/harbek/ of an installed tree.
#pragma once

#include <string>

namespace harbek::fs {

// Loads module file (a name such as "harbek-tls.so") and returns the address
// of its exported symbol; null with the reason in why when the module is
// missing, does not load or lacks the symbol. A module once loaded stays.
// True for a build tree, whose modules (and class registry) sit beside the
// program; false for an installed program, whose modules are in lib/harbek/.
bool modulesBesideProgram();

// True when module file is beside the program or in lib/harbek/.
bool programModuleFound(const std::string& file);

void* programModuleSymbol(const std::string& file, const char* symbol, std::string& why);

}  // namespace harbek::fs
