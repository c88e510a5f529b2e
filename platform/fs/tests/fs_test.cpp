#include "platform/fs/fs.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/fsync_probe.h"

namespace harbek::fs {

void PrintTo(Error e, std::ostream* os) { *os << errorName(e); }

namespace {

namespace stdfs = std::filesystem;

class FsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (stdfs::temp_directory_path() / "fs_test_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { stdfs::remove_all(root_); }
  std::string at(const std::string& name) const { return root_ + "/" + name; }

  std::string root_;
};

TEST_F(FsTest, Queries) {
  ASSERT_EQ(createFolder(at("dir")), Error::kOk);
  ASSERT_EQ(appendFile(at("file"), "x"), Error::kOk);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  stdfs::create_symlink(at("dir"), at("linkdir"));
  stdfs::create_symlink(at("missing"), at("dangling"));
  struct Case {
    std::string path;
    bool file, folder, any, missing;
  } cases[] = {
      {at("dir"), false, true, true, false},
      {at("file"), true, false, true, false},
      {at("fifo"), false, false, true, false},
      {at("linkdir"), false, true, true, false},
      {at("dangling"), false, false, true, false},
      {at("missing"), false, false, false, true},
      {at("file/x"), false, false, false, true},
      {std::string(""), false, false, false, false},
      {at("file") + std::string(1, '\0') + "x", false, false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isFile(c.path), c.file) << c.path;
    EXPECT_EQ(isFolder(c.path), c.folder) << c.path;
    EXPECT_EQ(exists(c.path), c.any) << c.path;
    EXPECT_EQ(missing(c.path), c.missing) << c.path;
  }
}

TEST_F(FsTest, FailuresAreNamedErrors) {
  ASSERT_EQ(createFolder(at("dir")), Error::kOk);
  ASSERT_EQ(appendFile(at("file"), "x"), Error::kOk);
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  Bytes data;
  struct Case {
    const char* what;
    Error got, want;
  } cases[] = {
      {"folder again", createFolder(at("dir")), Error::kExists},
      {"folder in missing parent", createFolder(at("none/dir")), Error::kNotFound},
      {"folder under a file", createFolder(at("file/dir")), Error::kNotFolder},
      {"folders on the way", createFolders(at("a/b//c/")), Error::kOk},
      {"folders that are there", createFolders(at("a/b/c")), Error::kOk},
      {"folders under a file", createFolders(at("file/x/y")), Error::kNotFolder},
      {"append to a folder", appendFile(at("dir"), "x"), Error::kIsFolder},
      {"append to a FIFO does not wait", appendFile(at("fifo"), "x"), Error::kNotFile},
      {"append in missing folder", appendFile(at("none/f"), "x"), Error::kNotFound},
      {"append with trailing slash", appendFile(at("new/"), "x"), Error::kIsFolder},
      {"read a folder", readFile(at("dir"), data), Error::kIsFolder},
      {"read a missing file", readFile(at("none"), data), Error::kNotFound},
      {"remove a missing file", removeFile(at("none")), Error::kNotFound},
      {"NUL in a path", appendFile(at("a") + std::string(1, '\0'), "x"), Error::kInvalidPath},
      {"list a file", [&] {
         std::vector<Entry> e;
         return listFolder(at("file"), e);
       }(), Error::kNotFolder},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what << ": " << errorName(c.got);
  EXPECT_FALSE(exists(at("new")));
  EXPECT_TRUE(isFolder(at("a/b/c")));
}

TEST_F(FsTest, AppendReadListRemove) {
  std::string f = at("data.bin");
  const std::string chunk1("a\0\r\n\xFF", 5);
  ASSERT_EQ(appendFile(f, chunk1), Error::kOk);
  ASSERT_EQ(appendFile(f, ""), Error::kOk);
  ASSERT_EQ(appendFile(f, "tail", true), Error::kOk);
  Bytes got;
  ASSERT_EQ(readFile(f, got), Error::kOk);
  EXPECT_EQ(got, chunk1 + "tail");
  EXPECT_EQ(syncFile(f), Error::kOk);

  ASSERT_EQ(createFolder(at("sub")), Error::kOk);
  std::vector<Entry> entries;
  ASSERT_EQ(listFolder(root_, entries), Error::kOk);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "data.bin");
  EXPECT_FALSE(entries[0].isFolder);
  EXPECT_EQ(entries[1].name, "sub");
  EXPECT_TRUE(entries[1].isFolder);

  EXPECT_EQ(removeFile(f), Error::kOk);
  EXPECT_FALSE(exists(f));
  EXPECT_EQ(removeFile(at("sub")), Error::kIsFolder);
}

// A fresh file takes the name whatever held it, and never writes through a
// link left there.
TEST_F(FsTest, CreateReplacesWhatHeldTheName) {
  ASSERT_EQ(appendFile(at("outside"), "keep"), Error::kOk);
  ASSERT_EQ(appendFile(at("old"), "old bytes"), Error::kOk);
  ASSERT_EQ(::symlink(at("outside").c_str(), at("link").c_str()), 0);
  ASSERT_EQ(createFolder(at("dir")), Error::kOk);
  struct Case {
    const char* name;
    Error want;
  } cases[] = {{"new", Error::kOk}, {"old", Error::kOk}, {"link", Error::kOk},
               {"dir", Error::kIsFolder}, {"none/f", Error::kNotFound}};
  for (const auto& c : cases) {
    AppendFile f;
    Error got = f.create(at(c.name));
    if (got == Error::kOk) got = f.append("fresh");
    EXPECT_EQ(got, c.want) << c.name << ": " << errorName(got);
    Bytes bytes;
    if (c.want == Error::kOk) {
      EXPECT_EQ(readFile(at(c.name), bytes), Error::kOk);
      EXPECT_EQ(bytes, "fresh") << c.name;
      EXPECT_FALSE(isLink(at(c.name))) << c.name;
    }
  }
  Bytes outside;
  EXPECT_EQ(readFile(at("outside"), outside), Error::kOk);
  EXPECT_EQ(outside, "keep");
}

// A record that the disk takes only in part must not stay half-written: the
// next record appended would start in the middle of it.
TEST_F(FsTest, ShortWriteIsCutBack) {
  std::string f = at("records");
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

  AppendFile out;
  Error opened = out.open(f);
  Error first = out.append("12345678");
  Error second = out.append("abcdefgh");  // only two of its bytes would fit
  (void)out.close();  // the writes' results are what this case looks at
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(opened, Error::kOk);
  EXPECT_EQ(first, Error::kOk);
  EXPECT_NE(second, Error::kOk);
  Bytes got;
  ASSERT_EQ(readFile(f, got), Error::kOk);
  EXPECT_EQ(got, "12345678");
}

// A replaced file is on the disk under its name when the call returns: the
// new bytes first, then the folder that holds the rename.
TEST_F(FsTest, ReplaceFlushesTheFileThenItsFolder) {
  ASSERT_EQ(appendFile(at("f"), "old"), Error::kOk);
  testing::fsyncCalls().clear();
  ASSERT_EQ(replaceFile(at("f"), "new"), Error::kOk);
  const std::vector<testing::FsyncCall> calls = testing::fsyncCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_FALSE(calls[0].folder);
  EXPECT_TRUE(calls[1].folder);
  EXPECT_EQ(stdfs::path(calls[1].path), stdfs::canonical(root_));
}

TEST(ProgramFolder, IsTheFolderOfThisTest) {
  std::string folder = programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(isFolder(folder));
  EXPECT_TRUE(isFile(folder + "/fs_tests"));
}

}  // namespace
}  // namespace harbek::fs
