#include <gtest/gtest.h>

#include "app/tests/comcall_case.h"

namespace harbek::charset {
namespace {

TEST(ChangeComcall, CallsFromTheShell) {
  const testing::ComcallCase cases[] = {
      {{"glyphin.change", "UniToMB", "中", "i32:936", "+", "MBToUni", "hex:D6D0", "936"}, 0, "D6 D0\n中\n", ""},
      {{"{0B30573B-6AF2-4429-89B0-4AFB50F20CE9}", "UniToMB", "中文", "65001"}, 0, "E4 B8 AD E6 96 87\n", ""},
      {{"glyphin.change", "MBToUni", "hex:A4A4", "950", "+", "UniToMB", "é", "1252"}, 0, "中\nE9\n", ""},
      {{"glyphin.change", "UniToMB", "", "936"}, 0, "\n", ""},
      {{"glyphin.change", "UniToMB", "a", "4242"}, 1, "", "error 0x800A0005"},
  };
  for (const auto& c : cases) expectComcall(c);
}

}  // namespace
}  // namespace harbek::charset
