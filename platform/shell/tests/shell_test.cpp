#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/shell/shell.h"
#include "platform/shell/tests/recording_opener.h"

namespace harbek::shell {
namespace {

// Children of this process that have ended but were never waited for.
int zombieChildren() {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc ? readdir(proc) : nullptr) {
    std::string line;
    std::getline(std::ifstream(std::string("/proc/") + entry->d_name + "/stat"), line);
    // pid (comm) state ppid ...; comm may hold spaces and parentheses.
    auto close = line.rfind(')');
    char state = 0;
    int ppid = 0;
    if (close != std::string::npos && sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 &&
        ppid == getpid() && state == 'Z') {
      ++count;
    }
  }
  if (proc) closedir(proc);
  return count;
}

bool noZombiesWithin(std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (zombieChildren() != 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return zombieChildren() == 0;
}

TEST(OpenInBrowser, HandsTheUrlOverUntouchedAsOneArgument) {
  testing::RecordingOpener opener;
  const std::string urls[] = {
      "http://site/a b.html?x=1&y=2;z=$HOME`id`\"q\"'s'|more>out<in*",
      "  leading and trailing  ",
      "-not-an-option",
      "http://site/\xE4\xB8\xAD\xE6\x96\x87/\t\\n",
      "",
  };
  for (const auto& url : urls) {
    openInBrowser(url);
    EXPECT_EQ(opener.nextCall(), "1:" + url) << url;
  }
  openInBrowser(std::string("cut\0here", 8));
  EXPECT_EQ(opener.nextCall(), "1:cut");
  EXPECT_TRUE(noZombiesWithin(std::chrono::seconds(5)));
}

TEST(OpenInBrowser, DoesNotWaitAndLeavesNoZombie) {
  // The zombie count must see a child that nobody waits for.
  pid_t plain = fork();
  if (plain == 0) _exit(0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(zombieChildren(), 1);
  waitpid(plain, nullptr, 0);

  testing::RecordingOpener opener("sleep 1\n");
  auto start = std::chrono::steady_clock::now();
  openInBrowser("http://site/");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(opener.nextCall(), "1:http://site/");
  EXPECT_TRUE(noZombiesWithin(std::chrono::seconds(5)));
}

TEST(OpenInBrowser, AnOpenerThatCannotStartIsIgnored) {
  for (const char* program : {"/nonexistent/opener", "harbek-no-such-opener", "/tmp"}) {
    setenv("HARBEK_URL_OPENER", program, 1);
    openInBrowser("http://site/");
  }
  unsetenv("HARBEK_URL_OPENER");
  EXPECT_TRUE(noZombiesWithin(std::chrono::seconds(5)));
}

}  // namespace
}  // namespace harbek::shell
