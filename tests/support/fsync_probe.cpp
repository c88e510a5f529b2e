#include "tests/support/fsync_probe.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace harbek::testing {

std::vector<FsyncCall>& fsyncCalls() {
  static std::vector<FsyncCall> calls;
  return calls;
}

}  // namespace harbek::testing

// Linked into the test program, this definition is the one the code under
// test calls.
extern "C" int fsync(int fd) {
  struct stat st {};
  harbek::testing::FsyncCall call;
  call.folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  char target[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
  if (n > 0) call.path.assign(target, static_cast<size_t>(n));
  harbek::testing::fsyncCalls().push_back(std::move(call));
  return static_cast<int>(::syscall(SYS_fsync, fd));
}
