#include <gtest/gtest.h>

#include "app/tests/comcall_case.h"

namespace harbek::textor {
namespace {

TEST(TotextorComcall, LateBoundFromTheShell) {
  const testing::ComcallCase cases[] = {
      {{"textor.Totextor", "StripText", "<p>Hello</p>"}, 0, "hello\n", ""},
      {{"{4C3FD943-B6CD-4D04-9225-DD4FB97FB532}", "StripText", "<b>中文</b>&nbsp;X"}, 0, "中文x\n", ""},
      {{"textor.Totextor", "StripText_noSpace", "esc:word word\\r\\nword"}, 0, "wordwordword\n", ""},
      {{"textor.Totextor", "getTextorP", "a|bb ccc d|x yyy zz", "|"}, 0, "yyy\n", ""},
      {{"textor.Totextor", "getTextorP", "a|b", "|"}, 1, "", "error 0x800A0005"},
  };
  for (const auto& c : cases) expectComcall(c);
}

}  // namespace
}  // namespace harbek::textor
