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
  if (!proc) return -1;
  while (dirent* entry = readdir(proc)) {
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...; comm may hold spaces and parentheses.
    auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() && state == 'Z') {
      ++count;
    }
  }
  closedir(proc);
  return count;
}

bool noZombiesWithin(std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (zombieChildren() != 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST(OpenInBrowser, HandsTheUrlOverUntouchedAsOneArgument) {
  testing::RecordingOpener opener;
  const std::string urls[] = {
      "http://site/a.html",
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
  ASSERT_GT(plain, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(zombieChildren(), 1);
  waitpid(plain, nullptr, 0);
  EXPECT_EQ(zombieChildren(), 0);

  char dir[] = "/tmp/harbek-slow-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string script = std::string(dir) + "/slow", done = std::string(dir) + "/done";
  std::ofstream(script) << "#!/bin/sh\nsleep 1\n: > '" << done << "'\n";
  chmod(script.c_str(), 0755);
  setenv("HARBEK_URL_OPENER", script.c_str(), 1);
  auto start = std::chrono::steady_clock::now();
  openInBrowser("http://site/");
  auto took = std::chrono::steady_clock::now() - start;
  unsetenv("HARBEK_URL_OPENER");
  EXPECT_LT(took, std::chrono::milliseconds(500));
  for (int i = 0; i < 500 && !std::filesystem::exists(done); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(std::filesystem::exists(done));
  EXPECT_TRUE(noZombiesWithin(std::chrono::seconds(5)));
  std::filesystem::remove_all(dir);
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
