#include <gtest/gtest.h>

#include "libs/text/totextor_interface.h"
#include "platform/component/runtime.h"

namespace harbek::textor {
namespace {

using com::HResult;
using com::kInvalidArgument;
using com::kOk;
using text::toUtf8;

struct StripCase {
  std::u16string html;
  std::u16string text;
};

const StripCase kStripCases[] = {
    {u"<p>Hello</p>", u"hello"},
    {u"a&nbsp;b", u"ab"},
    {u"x<script>var s = '<b>';</script>y", u"xy"},
    {u"x<style>p { color: red }</style>y", u"xy"},
    {u"<SCRIPT>x</SCRIPT>z", u"z"},
    {u"Plain TEXT &amp; More&nbsp;", u"plain text &amp; more"},
    {u"a>b", u"ab"},
    {u"a<b", u"a"},
    // Without its closing tag a script is an ordinary tag.
    {u"<script>alert(1)", u"alert(1)"},
    {u"<scriptx>hi", u"hi"},
    {u"<script>a</style>b", u"ab"},
    {u"<style>x</script>y</style>z", u"z"},
    {u"<script>x</script", u"x"},  // the closing tag needs its ">"
    {u"<script</script>x", u"x"},
    // Several blocks: each jump finds its own closing tag.
    {u"<script>1</script>a<script>2</script>b<style>3</style>c", u"abc"},
    {u"<script>a</script><style>b</style>c", u"c"},
    {u"<script src=a.js></script>after<script>b</script>end", u"afterend"},
    {u"<b>中文ABC</b> Ünïcode", u"中文abc ünïcode"},
    // "&nbsp;" goes after the walk, in one pass.
    {u"&nb<b>sp;", u""},
    {u"&nb&nbsp;sp;", u"&nbsp;"},
    {u"", u""},
};

const StripCase kNoSpaceCases[] = {
    {u"word word\r\nword", u"wordwordword"},
    {u"a b\tc\nd\re", u"ab\tc\nd\re"},
    {u"<p> Hello World </p>&nbsp;x", u"helloworldx"},
    {u"&nb sp;", u""},
    {u"a\r<b>\nc", u"ac"},
    {u"\r\r\n\n", u"\r\n"},
    {u"<script> a b </script> c d ", u"cd"},
};

struct MarkerCase {
  std::u16string text;
  std::u16string marker;
  HResult code;
  std::u16string word;
};

const MarkerCase kMarkerCases[] = {
    {u"a|bb ccc d|x yyy zz", u"|", kOk, u"yyy"},
    {u"aa bbbb cc", u"|", kOk, u"bbbb"},  // no marker: the whole text less its last character
    {u"ab cd ef", u"#", kOk, u"ab"},      // the first of equal words
    {u"<em>one</em>two three<em>four five six", u"<em>", kOk, u"four"},
    {u"|a|bb|ccc d", u"|", kOk, u"bb|ccc"},
    {u"a|b|c", u"|", kOk, u""},
    {u"x|y|   !", u"|", kOk, u""},
    {u"a|b", u"|", kInvalidArgument, u""},      // one marker
    {u"aXbxc dd", u"x", kInvalidArgument, u""},  // case-sensitive: one marker
    {u"a|b|", u"|", kInvalidArgument, u""},     // the second marker ends the text
    {u"", u"|", kInvalidArgument, u""},
    {u"abc def", u"", kOk, u"abc"},
};

class Totextor : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    ASSERT_EQ(com::create(kTotextorClsid, obj_, &message), kOk) << message;
  }

  // The same call through the dispatch interface, by name.
  HResult invoke(std::u16string_view name, std::vector<com::Variant> args, std::u16string* result) {
    com::DispId id = 0;
    HResult h = obj_->getIdOfName(name, &id);
    if (com::failed(h)) return h;
    com::Variant out;
    h = obj_->invoke(id, com::InvokeKind::kMethod, args, &out);
    if (com::succeeded(h)) *result = *out.get<std::u16string>();
    return h;
  }

  com::ComPtr<ITotextor> obj_;
};

TEST_F(Totextor, StripText) {
  for (const auto& c : kStripCases) {
    std::u16string typed, late;
    ASSERT_EQ(obj_->StripText(c.html, &typed), kOk);
    EXPECT_EQ(toUtf8(typed), toUtf8(c.text)) << toUtf8(c.html);
    ASSERT_EQ(invoke(u"striptext", {c.html}, &late), kOk);
    EXPECT_EQ(late, typed) << toUtf8(c.html);
  }
}

TEST_F(Totextor, StripTextNoSpace) {
  for (const auto& c : kNoSpaceCases) {
    std::u16string typed, late;
    ASSERT_EQ(obj_->StripText_noSpace(c.html, &typed), kOk);
    EXPECT_EQ(toUtf8(typed), toUtf8(c.text)) << toUtf8(c.html);
    ASSERT_EQ(invoke(u"StripText_noSpace", {c.html}, &late), kOk);
    EXPECT_EQ(late, typed) << toUtf8(c.html);
  }
}

TEST_F(Totextor, GetTextorP) {
  for (const auto& c : kMarkerCases) {
    std::u16string typed = u"unchanged", late;
    EXPECT_EQ(obj_->getTextorP(c.text, c.marker, &typed), c.code) << toUtf8(c.text);
    EXPECT_EQ(invoke(u"getTextorP", {c.text, c.marker}, &late), c.code) << toUtf8(c.text);
    if (c.code == kOk) {
      EXPECT_EQ(toUtf8(typed), toUtf8(c.word)) << toUtf8(c.text);
      EXPECT_EQ(late, typed) << toUtf8(c.text);
    } else {
      EXPECT_EQ(typed, u"unchanged") << toUtf8(c.text);
    }
  }
}

}  // namespace
}  // namespace harbek::textor
