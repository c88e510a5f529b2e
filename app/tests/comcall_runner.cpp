#include "app/tests/comcall_runner.h"

#include <chrono>

#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

namespace harbek::testing {

ProgramRun runComcall(const std::vector<std::string>& args) {
  const TempDir output;
  return runProgram(fs::programFolder() + "/comcall", args, output.path(), std::chrono::seconds(60));
}

}  // namespace harbek::testing
