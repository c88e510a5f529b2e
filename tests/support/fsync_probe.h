// Which files and folders the process flushes to the disk: the test program
// that uses this takes the place of fsync(2) with a recording one (the real
// call still runs), so a test can tell what reached the disk and in which
// order.
#pragma once

#include <string>
#include <vector>

namespace harbek::testing {

struct FsyncCall {
  std::string path;  // what the descriptor names
  bool folder = false;
};

// Every fsync since the program started (clear it to start afresh).
std::vector<FsyncCall>& fsyncCalls();

}  // namespace harbek::testing
