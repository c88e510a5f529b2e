#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "app/tests/comcall_runner.h"
#include "searchindex/quenby_interface.h"
#include "platform/component/runtime.h"
#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

namespace harbek::quenby {
namespace {

using com::ComPtr;

TEST(QuenbyComponent, ByProgIdAndClassIdentifier) {
  ComPtr<ISearchSiteData> byName, byId;
  std::string message;
  ASSERT_EQ(com::createByName("quenby.SiteData", byName, &message), com::kOk) << message;
  ASSERT_EQ(com::create(kQuenbyClsid, byId, &message), com::kOk) << message;
  // The save folder defaults to the module's folder, which is the build's
  // output folder, beside this test program.
  std::u16string path, savePath;
  ASSERT_EQ(byId->ChUrltoPath(u"http://Host/A.htm", &path), com::kOk);
  ASSERT_EQ(byId->get_SavePath(&savePath), com::kOk);
  EXPECT_EQ(text::toUtf8(savePath), fs::programFolder());
  EXPECT_EQ(text::toUtf8(path), fs::programFolder() + "/host/a.htm");
  EXPECT_EQ(byName->writeFile(), com::kOk);
}

TEST(QuenbyComponent, DispatchInterfaceInOrder) {
  ComPtr<com::IDispatch> d;
  std::string message;
  ASSERT_EQ(com::createByName("{E96BB529-A3EB-4399-89FD-021A5E9940DA}", d, &message), com::kOk) << message;
  const char16_t* order[] = {u"SavePath",   u"inputTmpUrl", u"GetTmpUrl",      u"inputToindex", u"saveFileByUrl",
                             u"isExsitUrl", u"ChUrltoPath", u"ChUrltoMd5path", u"writeFile"};
  for (int i = 0; i < 9; ++i) {
    com::DispId id = 0;
    ASSERT_EQ(d->getIdOfName(order[i], &id), com::kOk);
    EXPECT_EQ(id, i + 1);
  }
}

TEST(QuenbyComponent, ThroughComcall) {
  harbek::testing::TempDir dir;
  const std::string save = "SavePath=" + dir.path().string();
  auto r = harbek::testing::runComcall({"quenby.SiteData", save, "+", "inputTmpUrl", "http://a/x.htm", "文字",
                                        "http://a/", "首页", "+", "inputTmpUrl", "   ", "x", "y", "z"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  struct Case {
    std::string pos;
    std::string out;
  } cases[] = {
      {"i32:0", "url=http://a/x.htm\nurlText=文字\ncomeFromUrl=http://a/\ncomeFromText=首页\npos=63\n"},
      {"i32:63", "url=\nurlText=\ncomeFromUrl=\ncomeFromText=\npos=63\n"},
  };
  for (const auto& c : cases) {
    r = harbek::testing::runComcall({"quenby.SiteData", save, "+", "GetTmpUrl", "", "", "", "", c.pos});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
  r = harbek::testing::runComcall({"quenby.SiteData", save, "+", "saveFileByUrl", "a/b.htm", "hex:626F6479", "0",
                                   "+", "isExsitUrl", "a/b.htm", "bool:false"});
  EXPECT_EQ(r.out, "-1\n");
  EXPECT_EQ(harbek::testing::readFile(dir.file("a/b.htm")), "body");
  r = harbek::testing::runComcall({"quenby.SiteData", save, "+", "saveFileByUrl", "../x.htm", "hex:41", "0"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.substr(0, 16), "error 0x800A0005");
}

// A typed caller that passes no place for the result gets kPointer from every
// operation and property that gives one.
TEST(QuenbyComponent, NoResultPointerIsAnError) {
  ComPtr<ISearchSiteData> typed;
  ASSERT_EQ(com::create(kQuenbyClsid, typed), com::kOk);
  const std::function<com::HResult()> calls[] = {
      [&] { return typed->get_SavePath(nullptr); },
      [&] { return typed->isExsitUrl(u"http://host/a.htm", com::Flag::kFalse, nullptr); },
      [&] { return typed->ChUrltoPath(u"http://host/a.htm", nullptr); },
      [&] { return typed->ChUrltoMd5path(u"http://host/a.htm", nullptr); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), com::kPointer) << "call " << i + 1;
}

}  // namespace
}  // namespace harbek::quenby
