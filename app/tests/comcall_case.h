// One row of a table of comcall runs: the arguments, and what the run must
// give back. Component tests share it so that every table checks the same way.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/tests/comcall_runner.h"

namespace harbek::testing {

struct ComcallCase {
  std::vector<std::string> args;
  int exitCode;
  std::string out;     // the whole standard output
  std::string errHas;  // a piece of the standard error; "" for any
};

// Runs comcall with the row's arguments and checks the exit code, the output
// and the piece of the error output. A failure shows the arguments (each cut
// short, as some are long on purpose).
inline void expectComcall(const ComcallCase& c) {
  std::string shown;
  for (const auto& a : c.args) shown += a.substr(0, 40) + " ";
  const ProgramRun r = runComcall(c.args);
  EXPECT_EQ(r.exitCode, c.exitCode) << shown << "\n" << r.err;
  EXPECT_EQ(r.out, c.out) << shown;
  EXPECT_NE(r.err.find(c.errHas), std::string::npos) << shown << "\n" << r.err;
}

}  // namespace harbek::testing
