#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/tests/comcall_runner.h"

namespace harbek::strings {
namespace {

using harbek::testing::runComcall;

TEST(StrComcall, CallsFromTheShell) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
    std::string errHas;
  } cases[] = {
      {{"strel.str", "InStrL", "abcabc", "BC"}, 0, "5\n", ""},
      {{"{0B6B5590-5A02-423C-A600-2B1989622EC9}", "iSum", "aaaa", "aa"}, 0, "3\n", ""},
      {{"strel.str", "StrToDate", "20080512", "+", "StrToDate", "2008-5-12"}, 0, "2008-05-12\n1899-12-30\n", ""},
      {{"strel.str", "sReplace", "a\\b\\c", "\\", "/"}, 0, "a/b/c\nSearchLine=a/b/c\n", ""},
      {{"strel.str", "sReplace", "xaby", "ab", "Z"}, 0, "xZby\nSearchLine=xZby\n", ""},
      {{"strel.str", "sReplace", "a.b", ".", ".."}, 1, "", "error 0x800A0005"},
      {{"strel.str", "URLDecode", "%D6%D0", "+", "URLEncode", "a b1.htm"}, 0, "中\na%20b%31%2Ehtm\n", ""},
      {{"-e", "strel.str", "URLDecode", "%"}, 0, "\\0\n", ""},
      {{"strel.str", "noBiaoDian", "a，b. c"}, 0, "a|b||c\n", ""},
      {{"strel.str", "changeHtml", "<B>X</B>"}, 0, "<b>x</b>\n", ""},
      {{"strel.str", "InStrL", std::string(33000, 'a'), "a"}, 1, "", "error 0x800A0006"},
  };
  for (const auto& c : cases) {
    std::string where;
    for (const auto& a : c.args) where += a.substr(0, 40) + " ";
    auto r = runComcall(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << where << r.err;
    EXPECT_EQ(r.out, c.out) << where;
    EXPECT_NE(r.err.find(c.errHas), std::string::npos) << where << r.err;
  }
}

}  // namespace
}  // namespace harbek::strings
