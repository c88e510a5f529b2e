#include "platform/shell/shell.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

namespace harbek::shell {
namespace {

constexpr const char* kDefaultOpener = "xdg-open";
constexpr const char* kOpenerVariable = "HARBEK_URL_OPENER";

// Children whose reaper thread could not be started; they are collected
// without blocking on the next call, so their number never grows.
std::mutex unreapedMutex;
std::vector<pid_t> unreaped;

void reapUnreaped() {
  std::lock_guard lock(unreapedMutex);
  std::erase_if(unreaped, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

void* reap(void* arg) {
  pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(arg));
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return nullptr;
}

// Waits for the child on a thread of its own: waiting for one process id
// leaves every other child of the program, and its SIGCHLD handling, alone.
void reapInBackground(pid_t pid) {
  pthread_attr_t attr;
  pthread_t thread;
  bool started = false;
  if (pthread_attr_init(&attr) == 0) {
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    started = pthread_create(&thread, &attr, reap, reinterpret_cast<void*>(static_cast<intptr_t>(pid))) == 0;
    pthread_attr_destroy(&attr);
  }
  if (!started) {
    std::lock_guard lock(unreapedMutex);
    unreaped.push_back(pid);
  }
}

// The opener gets quiet standard streams (a browser must not hold the
// caller's pipes open) and an empty signal mask.
bool spawnOpener(std::string& program, std::string& argument, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  bool ready = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0;
  sigset_t none;
  sigemptyset(&none);
  ready = ready && posix_spawnattr_setsigmask(&attr, &none) == 0 &&
          posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK) == 0;
  char* argv[] = {program.data(), argument.data(), nullptr};
  bool spawned = ready && posix_spawnp(&pid, program.c_str(), &actions, &attr, argv, environ) == 0;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return spawned;
}

}  // namespace

void openInBrowser(std::string_view url) {
  reapUnreaped();
  const char* chosen = std::getenv(kOpenerVariable);
  std::string program = chosen && *chosen ? chosen : kDefaultOpener;
  std::string argument(url.substr(0, url.find('\0')));
  pid_t pid = 0;
  if (spawnOpener(program, argument, pid)) reapInBackground(pid);
}

}  // namespace harbek::shell
