// What the component's tables cannot show: the replacement loop checked
// against its literal form, sizes, and the serialiser's own names.
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "libs/strings/html_fragment.h"
#include "libs/strings/string_ops.h"
#include "platform/text/text.h"

namespace harbek::strings {
namespace {

using namespace std::string_literals;

// The loop as it is written; a step bound stands in for "never ends".
std::optional<std::u16string> literalReplace(std::u16string line, const std::u16string& f, const std::u16string& r) {
  for (int steps = 0; steps < 400 && line.size() < 400; ++steps) {
    size_t a = line.empty() ? std::u16string::npos : line.find(f);
    if (a == std::u16string::npos) return line;
    line = line.substr(0, a) + r + line.substr(a + 1);
  }
  return std::nullopt;
}

std::vector<std::u16string> allTexts(size_t maxLength) {
  std::vector<std::u16string> out{u""};
  for (size_t from = 0; from < out.size(); ++from) {
    if (out[from].size() < maxLength) {
      out.push_back(out[from] + u'a');
      out.push_back(out[from] + u'b');
    }
  }
  return out;
}

TEST(SReplace, AgreesWithTheLiteralLoopOnEverySmallInput) {
  int ended = 0, endless = 0;
  for (const auto& f : allTexts(3)) {
    for (const auto& r : allTexts(3)) {
      for (const auto& line : allTexts(6)) {
        auto want = literalReplace(line, f, r);
        std::u16string got, inOut = line;
        com::HResult h = sReplace(inOut, f, r, &got);
        std::string where = text::toUtf8(line + u" " + f + u" " + r);
        ASSERT_EQ(h, want ? com::kOk : com::kInvalidArgument) << where;
        if (want) {
          ASSERT_EQ(got, *want) << where;
        }
        ++(want ? ended : endless);
      }
    }
  }
  EXPECT_GT(ended, 0);
  EXPECT_GT(endless, 0);
}

TEST(SReplace, ManyReplacementsInALongTextStayLinear) {
  std::u16string line, result;
  for (int i = 0; i < 200000; ++i) line += u"ab\\";
  ASSERT_EQ(sReplace(line, u"\\", u"//", &result), com::kOk);
  EXPECT_EQ(result.size(), 200000u * 4);
  EXPECT_EQ(result.substr(0, 8), u"ab//ab//");
  std::u16string chain = std::u16string(100000, u'a') + u'b';  // reaches back one place per step
  ASSERT_EQ(sReplace(chain, u"ab", u"b", &result), com::kOk);
  EXPECT_TRUE(result == std::u16string(100001, u'b')) << result.size();
}

TEST(ChangeHtml, SerializerKeepsForeignNamesAndSurvivesDeepNesting) {
  EXPECT_EQ(serializeBodyFragment("<svg viewBox='0 0 1 1'><clippath/><a xlink:href='#x'>t</a></svg>"),
            "<svg viewBox=\"0 0 1 1\"><clipPath></clipPath><a xlink:href=\"#x\">t</a></svg>");
  std::string deep;
  for (int i = 0; i < 500000; ++i) deep += "<span>";
  std::string out = serializeBodyFragment(deep + "x");
  EXPECT_EQ(out.substr(0, 12), "<span><span>");
  EXPECT_EQ(out.size(), 500000u * (6 + 7) + 1);
  // The tokenizer reads code 0 in a tag name, and a vertical tab, as U+FFFD.
  EXPECT_EQ(changeHtml(u"<B\xFFFD\0>\v"s), u"<b\xFFFD\xFFFD>\xFFFD</b\xFFFD\xFFFD>");
}

}  // namespace
}  // namespace harbek::strings
