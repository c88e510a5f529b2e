// Runs the comcall program beside the running test program and captures what
// it prints, for tests of components through late-bound calls.
#pragma once

#include <string>
#include <vector>

namespace harbek::testing {

struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs program (a path) with args, no standard input; waits for it.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args);

// Runs build/bin/comcall with args.
ProgramResult runComcall(const std::vector<std::string>& args);

}  // namespace harbek::testing
