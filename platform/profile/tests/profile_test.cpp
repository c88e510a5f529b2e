#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/profile/profile.h"
#include "platform/text/text.h"

namespace harbek::profile {
namespace {

namespace fs = std::filesystem;

std::string gbk(std::u16string_view s) { return text::toCodePage(s); }

TEST(Profile, FindValue) {
  const std::string longLine(1 << 20, 'x');
  struct Case {
    std::string content;
    std::string section;
    std::string key;
    std::optional<std::string> value;
  } cases[] = {
      {"[sys]\r\ndbpath=c:\\db\r\nRnum=3\r\n", "sys", "dbpath", "c:\\db"},
      {"[SyS]\nRNum = 5 \n", "sys", "rnum", "5"},
      {"[ a ]\n\t k =  v w  \n", " A", "K ", "v w"},
      {"[a]\nk=1\n", "b", "k", std::nullopt},
      {"[a]\nk=1\n", "a", "x", std::nullopt},
      {"[a]\nk=1\n[b]\nx=2\n", "b", "k", std::nullopt},
      {"k=1\n[a]\n", "a", "k", std::nullopt},  // above every section
      {"[a]\nk=1\n[a]\nk=2\n", "a", "k", "1"},  // the first section wins
      {"[a]\nx=1\n[A]\nk=2\n", "a", "k", std::nullopt},
      {"[a]\nk=1\nK=2\n", "a", "k", "1"},
      {"[a]\nk=v", "a", "k", "v"},  // no final line end
      {"[a]\nk=v\r", "a", "k", "v"},
      {"[a]\r\n;k=1\r\nk=2", "a", "k", "2"},
      {"[a]\nk=x=y\n", "a", "k", "x=y"},
      {"[a]\nk=\n", "a", "k", ""},
      {"[a]\nk\n", "a", "k", std::nullopt},  // no "=": not a value line
      {"[a\nk=1\n", "a", "k", "1"},           // an unclosed section name runs to the line end
      {"[a]\n" + std::string("\0\xff\x80\x81=\x01", 6) + "\nk=v\n", "a", "k", "v"},
      {"[a]\n" + longLine + "\nk=" + longLine + "\n", "a", "k", longLine},
      {gbk(u"[设置]\n路径=中文\n"), gbk(u"设置"), gbk(u"路径"), gbk(u"中文")},
      {gbk(u"[ΑΒ]\nΓ=1\n"), gbk(u"αβ"), gbk(u"γ"), "1"},
      // 0x81 0x41 and 0x81 0x61 are two characters, not one in two cases.
      {"[\x81\x41]\nk=1\n[\x81\x61]\nk=2\n", "\x81\x61", "k", "2"},
      {"", "a", "k", std::nullopt},
  };
  for (const auto& c : cases) {
    auto v = findValue(c.content, c.section, c.key);
    ASSERT_EQ(v.has_value(), c.value.has_value()) << c.content.substr(0, 40);
    if (v) {
      EXPECT_EQ(*v, *c.value) << c.content.substr(0, 40);
    }
  }
}

TEST(Profile, SetValue) {
  struct Case {
    std::string content;
    std::string section;
    std::string key;
    std::string value;
    std::string result;  // "" with error BadName
    ProfileError error = ProfileError::kNone;
  } cases[] = {
      {"", "sys", "k", "v", "[sys]\r\nk=v\r\n"},
      {"[sys]\r\nk=1\r\nj=2\r\n", "sys", "k", "22", "[sys]\r\nk=22\r\nj=2\r\n"},
      {"[Sys]\n  DbPath = old \n", "SYS", "dbpath", "new", "[Sys]\nDbPath=new\n"},
      {"[a]\nx=1\n\n[b]\ny=2\n", "a", "k", "v", "[a]\nx=1\nk=v\n\n[b]\ny=2\n"},
      {"[a]\nx=1\n", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
      {"[a]\nx=1", "a", "k", "v", "[a]\nx=1\nk=v\n"},
      {"[a]\nx=1", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
      {"; comment", "a", "k", "v", "; comment\r\n[a]\r\nk=v\r\n"},
      {"[a]", "a", "k", "v", "[a]\r\nk=v\r\n"},
      {"[a]\r\nk=1\r\n", "a", "k", "", "[a]\r\nk=\r\n"},
      {"[a]\nx=1\n[a]\nk=2\n", "a", "k", "v", "[a]\nx=1\nk=v\n[a]\nk=2\n"},
      {"; top\n[a]\n; note\nfoo\nk=1\n# other\n[b]\nk=1\n", "a", "k", "9",
       "; top\n[a]\n; note\nfoo\nk=9\n# other\n[b]\nk=1\n"},
      {"[a]\nk=1", "a", "k", "2", "[a]\nk=2"},
      {"", " a ", " k ", " v ", "[a]\r\nk= v \r\n"},
      {"[a]\n", "a", "a=b", "v", "", ProfileError::kBadName},
      {"[a]\n", "a", "[k", "v", "", ProfileError::kBadName},
      {"[a]\n", "a]b", "k", "v", "", ProfileError::kBadName},
      {"[a]\n", "a", "k", "v\r\n[b]", "", ProfileError::kBadName},
      {"[a]\n", "a\n", "k", "v", "", ProfileError::kBadName},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(setValue(c.content, c.section, c.key, c.value, out), c.error) << c.content << "|" << c.key;
    EXPECT_EQ(out, c.error == ProfileError::kNone ? c.result : "untouched") << c.content << "|" << c.key;
  }
}

// Random texts of section lines, value lines, blanks, bad bytes and all three
// kinds of line end: a write must be readable at once and leave every other
// value as it read before.
TEST(Profile, WriteKeepsEveryOtherValue) {
  const std::string pieces[] = {"[a]", "[A]", "[b]", "[", "]", "k", "K", "j", "=", "1", " ", "\t", ";",
                                "\r\n", "\n", "\r", std::string("\0", 1), "\xff", "\x81", "\x81\x41", "x"};
  const std::string names[] = {"a", "b", "c"};
  const std::string keys[] = {"k", "j", "x", "1"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string content;
    for (int n = rng() % 40; n > 0; --n) content += pieces[rng() % std::size(pieces)];
    const std::string& section = names[rng() % std::size(names)];
    const std::string& key = keys[rng() % std::size(keys)];
    std::string out;
    ASSERT_EQ(setValue(content, section, key, "new", out), ProfileError::kNone);
    ASSERT_EQ(findValue(out, section, key), std::optional<std::string_view>("new")) << content;
    for (const auto& s : names) {
      for (const auto& k : keys) {
        if (s == section && k == key) continue;
        EXPECT_EQ(findValue(out, s, k), findValue(content, s, k)) << "[" << s << "]" << k << " in " << content;
      }
    }
  }
}

class ProfileFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "profileXXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return dir_ / name;
  }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  size_t entries() const { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); }

  fs::path dir_;
};

TEST_F(ProfileFile, ReadCutsToTheBuffer) {
  const std::string ascii(200, 'a');
  const std::string chinese = gbk(std::u16string(64, u'中'));  // 128 bytes
  struct Case {
    std::string value;
    size_t bufferSize;
    std::string result;
  } cases[] = {
      {ascii, 128, ascii.substr(0, 127)},
      {chinese, 128, chinese.substr(0, 126)},  // the 64th character does not fit whole
      {"a" + chinese, 128, "a" + chinese.substr(0, 126)},
      {"abc", 128, "abc"},
      {"abc", 3, "ab"},
      {"abc", 1, ""},
      {"abc", 0, ""},
      {"ab\x81", 128, "ab\x81"},  // a lone lead byte at the end is one byte
  };
  for (const auto& c : cases) {
    fs::path f = write("cut.ini", "[s]\r\nk=" + c.value + "\r\n");
    EXPECT_EQ(getProfileString(f, "s", "k", "dflt", c.bufferSize), c.result) << c.value << " " << c.bufferSize;
  }
  EXPECT_EQ(getProfileString(dir_ / "missing.ini", "s", "k", "dflt", 128), "dflt");
  EXPECT_EQ(getProfileString(dir_ / "cut.ini", "s", "nokey", "", 128), "");
  EXPECT_EQ(getProfileString(dir_, "s", "k", "dflt", 128), "dflt");  // a folder
}

TEST_F(ProfileFile, WriteReplacesTheFileWhole) {
  fs::path f = dir_ / "sys.ini";
  ASSERT_EQ(writeProfileString(f, "sys", "Rnum", "1"), ProfileError::kNone);
  EXPECT_EQ(read(f), "[sys]\r\nRnum=1\r\n");
  ASSERT_EQ(writeProfileString(f, "sys", "Wnum", "2"), ProfileError::kNone);
  ASSERT_EQ(writeProfileString(f, "SYS", "rnum", "3"), ProfileError::kNone);
  EXPECT_EQ(read(f), "[sys]\r\nRnum=3\r\nWnum=2\r\n");
  EXPECT_EQ(getProfileString(f, "sys", "rnum", "", 128), "3");

  ::chmod(f.c_str(), 0640);
  ASSERT_EQ(writeProfileString(f, "sys", "Rnum", "4"), ProfileError::kNone);
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(), 1u);  // no temporary file left behind

  fs::path link = dir_ / "link.ini";
  fs::create_symlink(f, link);
  ASSERT_EQ(writeProfileString(link, "sys", "Rnum", "5"), ProfileError::kNone);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(getProfileString(f, "sys", "Rnum", "", 128), "5");
}

TEST_F(ProfileFile, FailedWritesLeaveEverythingAsItWas) {
  fs::path ro = write("ro.ini", "[sys]\nk=1\n");
  ::chmod(ro.c_str(), 0444);
  fs::create_directory(dir_ / "sub");
  struct Case {
    fs::path file;
    ProfileError error;
  } cases[] = {
      {ro, ProfileError::kReadOnly},
      {dir_ / "nofolder" / "sys.ini", ProfileError::kCannotWrite},
      {dir_ / "sub", ProfileError::kCannotWrite},
      {dir_ / "sub/", ProfileError::kCannotWrite},
      {fs::path(), ProfileError::kCannotWrite},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(writeProfileString(c.file, "sys", "k", "2"), c.error) << c.file;
  }
  EXPECT_EQ(read(ro), "[sys]\nk=1\n");
  EXPECT_EQ(entries(), 2u);
  EXPECT_TRUE(fs::is_empty(dir_ / "sub"));
}

}  // namespace
}  // namespace harbek::profile
