#include <gtest/gtest.h>

#include "app/tests/comcall_runner.h"

namespace harbek::charset {
namespace {

TEST(ChangeComcall, CallsFromTheShell) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out, errHas;
  } cases[] = {
      {{"glyphin.change", "UniToMB", "中", "i32:936", "+", "MBToUni", "hex:D6D0", "936"}, 0, "D6 D0\n中\n", ""},
      {{"{0B30573B-6AF2-4429-89B0-4AFB50F20CE9}", "UniToMB", "中文", "65001"}, 0, "E4 B8 AD E6 96 87\n", ""},
      {{"glyphin.change", "MBToUni", "hex:A4A4", "950", "+", "UniToMB", "é", "1252"}, 0, "中\nE9\n", ""},
      {{"glyphin.change", "UniToMB", "", "936"}, 0, "\n", ""},
      {{"glyphin.change", "UniToMB", "a", "4242"}, 1, "", "error 0x800A0005"},
  };
  for (const auto& c : cases) {
    auto r = harbek::testing::runComcall(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args[1] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1];
    EXPECT_NE(r.err.find(c.errHas), std::string::npos) << c.args[1] << r.err;
  }
}

}  // namespace
}  // namespace harbek::charset
