#include <gtest/gtest.h>

#include "app/tests/comcall_runner.h"

namespace harbek::strings {
namespace {

TEST(StrComcall, CallsFromTheShell) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out, errHas;
  } cases[] = {
      {{"strel.str", "InStrL", "abcabc", "BC", "+", "iSum", "aaaa", "aa"}, 0, "5\n3\n", ""},
      {{"{0B6B5590-5A02-423C-A600-2B1989622EC9}", "StrToDate", "20080512", "+", "StrToDate", "2008-5-12"},
       0, "2008-05-12\n1899-12-30\n", ""},
      {{"strel.str", "sReplace", "a\\b\\c", "\\", "/"}, 0, "a/b/c\nSearchLine=a/b/c\n", ""},
      {{"strel.str", "sReplace", "a.b", ".", ".."}, 1, "", "error 0x800A0005"},
      {{"-e", "strel.str", "URLDecode", "%D6%D0", "+", "URLDecode", "%"}, 0, "中\n\\0\n", ""},
      {{"strel.str", "noBiaoDian", "a，b. c", "+", "changeHtml", "<B>X</B>"}, 0, "a|b||c\n<b>x</b>\n", ""},
      {{"strel.str", "InStrL", std::string(33000, 'a'), "a"}, 1, "", "error 0x800A0006"},
  };
  for (const auto& c : cases) {
    auto r = harbek::testing::runComcall(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args[1] << c.args[2].substr(0, 20) << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[1];
    EXPECT_NE(r.err.find(c.errHas), std::string::npos) << c.args[1] << r.err;
  }
}

}  // namespace
}  // namespace harbek::strings
