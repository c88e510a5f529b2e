#include <gtest/gtest.h>

#include "app/tests/comcall_case.h"

namespace harbek::testing {
namespace {

TEST(Comcall, CallsPrintResultsAndByRefValues) {
  const ComcallCase cases[] = {
      {{"sampletest.Sample", "Join", "ab", "3"}, 0, "ababab\n", ""},
      {{"{0C0FFEE0-1111-4222-8333-944445555666}", "join", "ab", "i16:2"}, 0, "abab\n", ""},
      {{"sampletest.Sample", "Join", "x", "0"}, 0, "\n", ""},  // an empty result is an empty line
      {{"sampletest.Sample", "Name", "+", "Name=hi", "+", "NAME"}, 0, "sample\nhi\n", ""},
      {{"sampletest.Sample", "Swap", "1", "2"}, 0, "left=2\nright=1\n", ""},
      {{"sampletest.Sample", "Half", "f64:3"}, 0, "1.5\n", ""},
      {{"sampletest.Sample", "Negate", "bool:true", "+", "Negate", "bool:false"}, 0, "0\n-1\n", ""},
      {{"sampletest.Sample", "NextDay", "date:2024-02-28", "+", "NextDay", "date:1899-12-29"}, 0,
       "2024-02-29\n1899-12-30\n", ""},
      {{"sampletest.Sample", "Reverse", "hex:01abFF"}, 0, "FF AB 01\n", ""},
      {{"sampletest.Sample", "Reverse", "hex:"}, 0, "\n", ""},
      {{"sampletest.Sample", "Join", "text:i16:5", "1"}, 0, "i16:5\n", ""},
      {{"-e", "sampletest.Sample", "Join", "esc:a\\\\\\r\\n\\t\\0\\x01\\u4E2D", "1"}, 0,
       "a\\\\\\r\\n\\t\\0\\x01\xE4\xB8\xAD\n", ""},
      {{"sampletest.Sample", "Join", "ab", "3", "+", "Fail", "i32:-2146828282", "+", "Join", "a", "1"}, 1,
       "ababab\n", "error 0x800A0006: Overflow"},
      {{"sampletest.Sample", "Join", "ab", "x"}, 1, "", "error 0x800A000D: Type mismatch"},
      {{"sampletest.Sample", "Join", "ab"}, 1, "", "error 0x8002000E"},
      {{"sampletest.Sample", "Nope"}, 2, "", "Nope"},
      {{"sampletest.Sample", "Objects=3"}, 2, "", "Objects"},
      {{"nosuch.Class", "x"}, 2, "", "nosuch.Class"},
      {{"sampletest.Sample"}, 2, "", "usage"},
      {{"sampletest.Sample", "Join", "ab", "+"}, 2, "", "usage"},
      {{"sampletest.Sample", "Join", "hex:abc", "1"}, 2, "", "hex"},
      {{"sampletest.Sample", "Join", "a", "i16:x"}, 2, "", "i16"},
  };
  for (const auto& c : cases) expectComcall(c);
}

// What comcall tells of itself and of the registered classes.
TEST(Comcall, HelpAndListsOfClassesAndMembers) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string outPart;
  } cases[] = {
      {{"--help"}, 0, "  -e     print texts with escapes"},
      {{"--list"}, 0, "sampletest.Sample    {0C0FFEE0-1111-4222-8333-944445555666} "},
      {{"--list", "sampletest.Sample"}, 0, "operation Swap &left:"},
      {{"--list", "nosuch.Class"}, 2, ""},
      {{"--list", "a", "b"}, 2, ""},
  };
  for (const auto& c : cases) {
    ProgramRun r = runComcall(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back() << "\n" << r.err;
    EXPECT_NE(r.out.find(c.outPart), std::string::npos) << c.args.back() << "\n" << r.out;
  }
}

}  // namespace
}  // namespace harbek::testing
