#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "libs/ini/ini_interface.h"
#include "platform/component/runtime.h"
#include "platform/text/text.h"

namespace harbek::ini {
namespace {

namespace fs = std::filesystem;
using com::Flag;
using com::kOk;
using text::toUtf8;

std::u16string repeat(std::u16string_view s, size_t n) {
  std::u16string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

class Ini : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string message;
    ASSERT_EQ(com::create(kIniClsid, obj_, &message), kOk) << message;
    std::string pattern = (fs::temp_directory_path() / "iniXXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::u16string path(const std::string& name) const { return text::fromUtf8((dir_ / name).string()); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // getIni through the typed interface, checked against the dispatch interface.
  std::u16string get(const std::u16string& file, const std::u16string& section, const std::u16string& key) {
    std::u16string typed;
    EXPECT_EQ(obj_->getIni(file, section, key, &typed), kOk);
    com::Variant late;
    std::vector<com::Variant> args = {file, section, key};
    EXPECT_EQ(obj_->invoke(id(u"getini"), com::InvokeKind::kMethod, args, &late), kOk);
    EXPECT_EQ(late, com::Variant(typed));
    return typed;
  }

  com::DispId id(std::u16string_view name) {
    com::DispId i = 0;
    EXPECT_EQ(obj_->getIdOfName(name, &i), kOk);
    return i;
  }

  com::ComPtr<IIni> obj_;
  fs::path dir_;
};

TEST_F(Ini, GetIni) {
  const std::u16string chinese = repeat(u"中", 70);  // 140 bytes in the code page
  struct Case {
    std::string content;
    std::u16string section;
    std::u16string key;
    std::u16string value;
  } cases[] = {
      {"[sys]\r\ndbpath=  /data/site  \r\n", u"sys", u"dbpath", u"/data/site"},
      {"[sys]\nk=" + std::string(200, 'a'), u"sys", u"k", std::u16string(127, u'a')},
      {"[sys]\nk=" + text::toCodePage(chinese), u"sys", u"k", chinese.substr(0, 63)},
      {"[sys]\nk=a" + text::toCodePage(chinese), u"sys", u"k", u"a" + chinese.substr(0, 63)},
      // The cut leaves a space at the end, which goes too.
      {"[sys]\nk=" + std::string(126, 'a') + " b", u"sys", u"k", std::u16string(126, u'a')},
      {std::string("[sys]\nk=ab\0cd\n", 14), u"sys", u"k", u"ab"},
      {text::toCodePage(u"[设置]\r\n名字=张三\r\n"), u"设置", u"名字", u"张三"},
      {"[sys]\nk=1\n", std::u16string(u"sys\0x", 5), u"k", u"1"},
      {"[sys]\nk=1\n", u"other", u"k", u""},
  };
  for (const auto& c : cases) {
    write("get.ini", c.content);
    EXPECT_EQ(toUtf8(get(path("get.ini"), c.section, c.key)), toUtf8(c.value)) << c.content.substr(0, 30);
  }
  EXPECT_EQ(get(path("missing.ini"), u"sys", u"k"), u"");
  EXPECT_EQ(get(u"", u"sys", u"k"), u"");
}

TEST_F(Ini, WriteIni) {
  const std::u16string longValue = repeat(u"0123456789", 20);
  const std::u16string chinese = repeat(u"汉", 130);
  struct Case {
    std::u16string value;
    std::string stored;        // the value's bytes in the file
    std::u16string readBack;  // what getIni then returns
  } cases[] = {
      {u"/data/site", "/data/site", u"/data/site"},
      {longValue, toUtf8(longValue.substr(0, 128)), longValue.substr(0, 127)},
      {std::u16string(128, u'x'), std::string(128, 'x'), std::u16string(127, u'x')},
      {u"", "", u""},
      {u" v ", " v ", u"v"},
      {std::u16string(u"ab\0cd", 5), "ab", u"ab"},
      {chinese, text::toCodePage(chinese.substr(0, 128)), chinese.substr(0, 63)},
  };
  for (const auto& c : cases) {
    Flag ok = Flag::kFalse;
    ASSERT_EQ(obj_->WriteIni(u"sys", u"k", c.value, path("w.ini"), &ok), kOk);
    EXPECT_EQ(ok, Flag::kTrue);
    EXPECT_EQ(read("w.ini"), "[sys]\r\nk=" + c.stored + "\r\n") << toUtf8(c.value);
    EXPECT_EQ(toUtf8(get(path("w.ini"), u"sys", u"k")), toUtf8(c.readBack)) << toUtf8(c.value);
  }

  // The dispatch interface takes the file path last, too.
  std::vector<com::Variant> args = {u"sys", u"j", u"2", path("w.ini")};
  com::Variant late;
  ASSERT_EQ(obj_->invoke(id(u"WriteIni"), com::InvokeKind::kMethod, args, &late), kOk);
  EXPECT_EQ(late, com::Variant(Flag::kTrue));
  EXPECT_EQ(get(path("w.ini"), u"SYS", u"J"), u"2");
}

TEST_F(Ini, WriteIniFailuresAreFalse) {
  write("ro.ini", "[sys]\r\nk=1\r\n");
  ::chmod((dir_ / "ro.ini").c_str(), 0444);
  struct Case {
    std::u16string file;
    std::u16string key;
    std::u16string value;
  } cases[] = {
      {path("ro.ini"), u"k", u"2"},
      {path("nofolder/sys.ini"), u"k", u"2"},
      // Line ends would make the value read back as further lines.
      {path("ro2.ini"), u"k", u"2\r\n[other]"},
  };
  for (const auto& c : cases) {
    Flag ok = Flag::kTrue;
    ASSERT_EQ(obj_->WriteIni(u"sys", c.key, c.value, c.file, &ok), kOk);
    EXPECT_EQ(ok, Flag::kFalse) << toUtf8(c.file);
  }
  EXPECT_EQ(read("ro.ini"), "[sys]\r\nk=1\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "ro2.ini"));
}

}  // namespace
}  // namespace harbek::ini
