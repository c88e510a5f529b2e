// A program run in the background by a test, with its standard output and
// error going to files, so that the test can watch its progress, signal it in
// the middle of its work, and wait for it with a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace harbek::testing {

class ChildProcess {
 public:
  // Starts program with args; stdin is /dev/null, stdout and stderr go to
  // the two files. running() is false when it could not be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& out,
               const std::filesystem::path& err);
  // A child still running is killed and reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  void signal(int sig) const;
  // Waits until what the program printed holds text at least times times;
  // false when the program ended first or the time ran out.
  bool waitForOutput(const std::string& text, size_t times, std::chrono::milliseconds limit);
  // The exit status; a program killed by a signal gives 128 + the signal.
  // When the time runs out the program is killed and -1 is returned.
  int wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  int lastStatus_ = -1;
  std::filesystem::path out_;
};

// The harbek program of this build (beside the test programs).
std::string harbekPath();

// A program run to its end: its exit status and what it printed.
struct ProgramRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs program to its end, its output passing through files in folder that
// are removed afterwards. A program that outlives the limit is killed (exit
// code -1): a run that never ends fails its test instead of hanging it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& folder, std::chrono::milliseconds limit);

}  // namespace harbek::testing
