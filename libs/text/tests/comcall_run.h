// Runs the comcall program in a subprocess, for tests that check a component
// through late-bound calls from the shell. comcall is expected beside the
// running test program.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace harbek::testing {

struct ComcallOutput {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::filesystem::path comcallPath() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "comcall";
}

inline std::string readWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// stdout and stderr go to files in scratch, so neither can fill a pipe.
inline ComcallOutput runComcall(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
  ComcallOutput result;
  const std::string program = comcallPath().string();
  const std::string outPath = (scratch / "comcall.out").string();
  const std::string errPath = (scratch / "comcall.err").string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.out = readWhole(outPath);
  result.err = readWhole(errPath);
  return result;
}

}  // namespace harbek::testing
