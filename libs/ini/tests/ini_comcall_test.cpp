#include <stdlib.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/tests/comcall_runner.h"

namespace harbek::ini {
namespace {

namespace fs = std::filesystem;

TEST(IniComcall, WritesAndReadsFromTheShell) {
  std::string pattern = (fs::temp_directory_path() / "inicomcallXXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::string file = pattern + "/sys.ini";
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"setfile.ini", "WriteIni", "sys", "dbpath", " /data/中文 ", file}, "-1\n"},
      {{"setfile.ini", "getIni", file, "SYS", "DBPATH"}, "/data/中文\n"},
      {{"{B39435CD-6858-4484-8B32-19561D80999E}", "WriteIni", "sys", "Rnum", "i32:12", file}, "-1\n"},
      {{"setfile.ini", "getIni", file, "sys", "rnum"}, "12\n"},
      {{"setfile.ini", "getIni", file, "sys", "nokey"}, "\n"},
      {{"setfile.ini", "WriteIni", "sys", "k", "v", pattern + "/no/sys.ini"}, "0\n"},
  };
  for (const auto& c : cases) {
    auto r = testing::runComcall(c.args);
    EXPECT_EQ(r.exitCode, 0) << c.args[1] << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1] << " " << c.args[3];
  }
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace harbek::ini
