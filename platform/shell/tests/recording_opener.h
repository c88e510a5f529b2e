// A stand-in for the desktop's URL opener, for tests: while it lives,
// HARBEK_URL_OPENER names a small script that runs `before` (shell commands)
// and then records how many arguments it got and the first one, byte for
// byte, in a file that the test then reads.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace harbek::shell::testing {

class RecordingOpener {
 public:
  explicit RecordingOpener(const std::string& before = "") {
    char pattern[] = "/tmp/harbek-opener-XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
    std::string script = dir_ + "/opener";
    std::ofstream(script) << "#!/bin/sh\n"
                          << before
                          << "printf '%s:%s' \"$#\" \"$1\" > '" << dir_ << "/url.part' && mv '" << dir_
                          << "/url.part' '" << dir_ << "/url'\n";
    chmod(script.c_str(), 0755);
    setenv("HARBEK_URL_OPENER", script.c_str(), 1);
  }
  ~RecordingOpener() {
    unsetenv("HARBEK_URL_OPENER");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  RecordingOpener(const RecordingOpener&) = delete;
  RecordingOpener& operator=(const RecordingOpener&) = delete;

  // "<argument count>:<first argument>" of the next start of the opener, or
  // nothing when it has not run within a few seconds.
  std::optional<std::string> nextCall() {
    std::string file = dir_ + "/url";
    for (int i = 0; i < 500; ++i) {
      if (std::filesystem::exists(file)) {
        std::ostringstream content;
        content << std::ifstream(file, std::ios::binary).rdbuf();
        std::filesystem::remove(file);
        return content.str();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

 private:
  std::string dir_;
};

}  // namespace harbek::shell::testing
