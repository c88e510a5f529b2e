#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "app/tests/comcall_case.h"
#include "libs/segment/dictionary_files.h"
#include "libs/segment/tamsel_interface.h"
#include "platform/component/runtime.h"
#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

namespace harbek::tamsel {
namespace {

using com::ComPtr;
using com::InvokeKind;
using com::Variant;

// A small dictionary written to a temporary folder.
class SmallDictionary {
 public:
  SmallDictionary() {
    DictionaryFiles files;
    EXPECT_EQ(makeDictionaryFiles({u"中国", u"人民", u"年"}, &files), com::kOk);
    index_ = dir_.write("small.idx", files.index).string();
    dict_ = dir_.write("small.dic", files.dictionary).string();
  }
  const std::string& index() const { return index_; }
  const std::string& dict() const { return dict_; }
  std::string missing() const { return dir_.file("missing.dic").string(); }

 private:
  harbek::testing::TempDir dir_;
  std::string index_, dict_;
};

TEST(TamselComponent, DispatchInterfaceInOrder) {
  SmallDictionary files;
  ComPtr<ISegment> typed;
  ComPtr<com::IDispatch> d;
  std::string message;
  ASSERT_EQ(com::create(kTamselClsid, typed, &message), com::kOk) << message;
  ASSERT_EQ(com::createByName("tamsel.segment", d, &message), com::kOk) << message;
  const char16_t* order[] = {u"isLoad", u"indexPath", u"dictPath", u"load", u"Asegment", u"AddWord"};
  for (int i = 0; i < 6; ++i) {
    com::DispId id = 0;
    ASSERT_EQ(d->getIdOfName(order[i], &id), com::kOk);
    EXPECT_EQ(id, i + 1);
  }
  struct Call {
    com::DispId id;
    InvokeKind kind;
    std::vector<Variant> args;
    com::HResult code;
    Variant result;
  } calls[] = {
      {1, InvokeKind::kPropertyGet, {}, com::kOk, Flag::kFalse},
      {2, InvokeKind::kPropertyPut, {text::fromUtf8(files.index())}, com::kOk, {}},
      {3, InvokeKind::kPropertyPut, {text::fromUtf8(files.missing())}, com::kOk, {}},
      {4, InvokeKind::kMethod, {}, com::kFileNotFound, {}},
      {1, InvokeKind::kPropertyGet, {}, com::kOk, Flag::kFalse},
      {3, InvokeKind::kPropertyPut, {text::fromUtf8(files.dict())}, com::kOk, {}},
      {3, InvokeKind::kPropertyGet, {}, com::kOk, text::fromUtf8(files.dict())},
      {4, InvokeKind::kMethod, {}, com::kOk, {}},
      {1, InvokeKind::kPropertyGet, {}, com::kOk, Flag::kTrue},
      {5, InvokeKind::kMethod, {u"中国人民"}, com::kOk, u"中国|人民"},
      {5, InvokeKind::kMethod, {int16_t{12}}, com::kOk, u"12"},
      {6, InvokeKind::kMethod, {u"词"}, com::kOk, {}},
      {1, InvokeKind::kPropertyPut, {int32_t{0}}, com::kOk, {}},
      {1, InvokeKind::kPropertyGet, {}, com::kOk, Flag::kFalse},
  };
  for (auto& c : calls) {
    Variant result;
    EXPECT_EQ(d->invoke(c.id, c.kind, c.args, &result), c.code) << c.id;
    EXPECT_EQ(result, c.result) << c.id;
  }
  // Objects are independent: the typed one made by class identifier has
  // loaded nothing.
  std::u16string out;
  EXPECT_EQ(typed->Asegment(u"中国", &out), com::kSubscriptOutOfRange);
}

TEST(TamselComponent, ThroughComcall) {
  SmallDictionary files;
  const testing::ComcallCase cases[] = {
      {{"tamsel.segment", "dictPath=" + files.dict(), "+", "indexPath=" + files.index(), "+", "load", "+",
        "Asegment", "中国人民"},
       0, "中国|人民\n", ""},
      {{"tamsel.segment", "Asegment", "中国"}, 1, "", "error 0x800A0009"},
      {{"tamsel.segment", "indexPath=" + files.missing(), "+", "load"}, 1, "", "error 0x800A0035"},
  };
  for (const auto& c : cases) expectComcall(c);
}

// The dictionary the build makes from the packaged word list, when there is
// one, through comcall as a caller would use it.
TEST(TamselComponent, BuiltDictionary) {
  const std::filesystem::path folder = std::filesystem::path(fs::programFolder()) / "dict";
  if (!std::filesystem::exists(folder / "tamsel.dic")) GTEST_SKIP() << "no built dictionary in " << folder;
  auto r = harbek::testing::runComcall({"tamsel.segment", "dictPath=" + (folder / "tamsel.dic").string(), "+",
                                        "indexPath=" + (folder / "tamsel.idx").string(), "+", "load", "+",
                                        "Asegment", "我们在北京学习", "+", "Asegment", "2008年北京奥运会", "+", "isLoad"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "我们|在|北京|学习\n2008年|北京|奥运会\n-1\n");
}

// A typed caller that passes no place for the result gets kPointer from every
// operation and property that gives one.
TEST(TamselComponent, NoResultPointerIsAnError) {
  ComPtr<ISegment> typed;
  ASSERT_EQ(com::create(kTamselClsid, typed), com::kOk);
  const std::function<com::HResult()> calls[] = {
      [&] { return typed->get_isLoad(nullptr); },
      [&] { return typed->get_indexPath(nullptr); },
      [&] { return typed->get_dictPath(nullptr); },
      [&] { return typed->Asegment(u"中国", nullptr); },
      [&] { return typed->AddWord(u"中国", nullptr); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), com::kPointer) << "call " << i + 1;
}

}  // namespace
}  // namespace harbek::tamsel
