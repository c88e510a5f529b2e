// Runs the comcall program beside the running test program and captures what
// it prints, for tests of components through late-bound calls.
#pragma once

#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace harbek::testing {

// Runs build/bin/comcall with args, no standard input, and waits for it.
ProgramRun runComcall(const std::vector<std::string>& args);

}  // namespace harbek::testing
