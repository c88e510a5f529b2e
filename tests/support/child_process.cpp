#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <thread>

#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace harbek::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

size_t occurrences(const std::string& s, const std::string& text) {
  size_t n = 0;
  for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + text.size())) ++n;
  return n;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::filesystem::path& out, const std::filesystem::path& err)
    : out_(out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The child must not inherit a blocked SIGINT or SIGTERM from the test.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ) == 0) pid_ = pid;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

void ChildProcess::signal(int sig) const {
  if (pid_ > 0) ::kill(pid_, sig);
}

bool ChildProcess::waitForOutput(const std::string& text, size_t times, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (occurrences(readFile(out_), text) >= times) return true;
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != 0) {
      // Ended (it is reaped here, so wait() must not wait for it again).
      if (pid_ > 0) lastStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      pid_ = -1;
      return occurrences(readFile(out_), text) >= times;
    }
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

int ChildProcess::wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return lastStatus_;
  const auto end = Clock::now() + limit;
  int status = 0;
  for (;;) {
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (r < 0 || Clock::now() > end) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(5ms);
  }
  pid_ = -1;
  lastStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return lastStatus_;
}

std::string harbekPath() { return fs::programFolder() + "/harbek"; }

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& folder, std::chrono::milliseconds limit) {
  static int serial = 0;
  const std::string n = std::to_string(serial++);
  const std::filesystem::path out = folder / ("run" + n + ".out"), err = folder / ("run" + n + ".err");
  ProgramRun r;
  {
    ChildProcess child(program, args, out, err);
    r.exitCode = child.wait(limit);
  }
  r.out = readFile(out);
  r.err = readFile(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

}  // namespace harbek::testing
