#include <gtest/gtest.h>

#include "app/tests/comcall_case.h"

namespace harbek::strings {
namespace {

TEST(StrComcall, CallsFromTheShell) {
  const testing::ComcallCase cases[] = {
      {{"strel.str", "InStrL", "abcabc", "BC", "+", "iSum", "aaaa", "aa"}, 0, "5\n3\n", ""},
      {{"{0B6B5590-5A02-423C-A600-2B1989622EC9}", "StrToDate", "20080512", "+", "StrToDate", "2008-5-12"},
       0, "2008-05-12\n1899-12-30\n", ""},
      {{"strel.str", "sReplace", "a\\b\\c", "\\", "/"}, 0, "a/b/c\nSearchLine=a/b/c\n", ""},
      {{"strel.str", "sReplace", "a.b", ".", ".."}, 1, "", "error 0x800A0005"},
      {{"-e", "strel.str", "URLDecode", "%D6%D0", "+", "URLDecode", "%"}, 0, "中\n\\0\n", ""},
      {{"strel.str", "noBiaoDian", "a，b. c", "+", "changeHtml", "<B>X</B>"}, 0, "a|b||c\n<b>x</b>\n", ""},
      {{"strel.str", "InStrL", std::string(33000, 'a'), "a"}, 1, "", "error 0x800A0006"},
  };
  for (const auto& c : cases) expectComcall(c);
}

}  // namespace
}  // namespace harbek::strings
