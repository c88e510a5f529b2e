// The real harbek program in terminal mode against nginx serving a generated
// site: what it saves must be the site's reachable files, byte for byte,
// under save/<host:port>/<path in lower case>, and nothing else.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "tests/support/child_process.h"
#include "crawler/tests/test_site.h"
#include "platform/text/text.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ca.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;
using harbek::testing::ChildProcess;
using harbek::testing::harbekPath;
using harbek::testing::ProgramRun;
using testing::expectSameTree;
using testing::savedTree;
using testing::randomBytes;
using testing::SiteWriter;
using testing::Tree;
using testing::writeSite;

ProgramRun runHarbek(const fsys::path& dir, const std::vector<std::string>& args, std::chrono::seconds limit = 60s,
              const std::string& program = harbekPath()) {
  return harbek::testing::runProgram(program, args, dir, limit);
}

struct Request {
  std::string path;
  int status = 0;
  size_t bytes = 0;
};

// nginx's access log: `... "GET /path HTTP/1.1" status bytes ...`.
std::vector<Request> requests(const fsys::path& log) {
  std::vector<Request> out;
  std::istringstream in(readFile(log));
  for (std::string line; std::getline(in, line);) {
    size_t q = line.find("\"GET ");
    if (q == std::string::npos) continue;
    size_t end = line.find(' ', q + 5);
    size_t close = line.find('"', q + 1);
    if (end == std::string::npos || close == std::string::npos) continue;
    Request r;
    r.path = line.substr(q + 5, end - q - 5);
    std::istringstream rest(line.substr(close + 1));
    rest >> r.status >> r.bytes;
    out.push_back(r);
  }
  return out;
}

class CrawlEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    fsys::create_directories(siteRoot());
    server_ = std::make_unique<NginxServer>(siteRoot());
    ASSERT_TRUE(server_->running()) << server_->error();
    host_ = "127.0.0.1:" + std::to_string(server_->port());
  }

  fsys::path siteRoot() const { return dir_.file("site"); }
  fsys::path save() const { return dir_.file("save"); }
  fsys::path ini() const { return dir_.file("sys.ini"); }

  std::vector<std::string> args(const std::string& interval, bool withUrl,
                                const std::string& connections = "1") const {
    std::vector<std::string> a = {"--headless", "--ini", ini().string(), "--save-dir", save().string(),
                                  "--interval", interval};
    if (connections != "1") a.insert(a.end(), {"--connections", connections});
    if (withUrl) a.push_back(server_->url("/"));
    return a;
  }

  TempDir dir_;
  TempDir logs_;  // what the program prints, kept apart from what it saves
  std::unique_ptr<NginxServer> server_;
  std::string host_;
};

TEST_F(CrawlEndToEnd, CopiesTheReachableSiteByteForByteAndNothingElse) {
  SiteWriter site(siteRoot(), host_);
  const Tree expected = writeSite(site, server_->port(), 250);
  ASSERT_GT(expected.size(), 300u);

  // One fetch at a time, then eight at once (the queue's next URLs fetched
  // ahead): the same copy, and the same requests.
  for (const std::string connections : {"1", "8"}) {
    SCOPED_TRACE("--connections " + connections);
    fsys::remove_all(save());
    std::ofstream(server_->accessLogPath(), std::ios::trunc).close();
    auto r = runHarbek(logs_.path(), args("0", true, connections));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("一个网站已经下载完成"), std::string::npos);

    std::vector<std::string> strays;
    expectSameTree(expected, savedTree(save(), &strays));
    EXPECT_TRUE(strays.empty()) << strays.front();
    // Nothing was written beside the save folder: --save-dir holds for this
    // run only, and a crawl that never spilled has no counters to save.
    std::set<std::string> top;
    for (const auto& e : fsys::directory_iterator(dir_.path())) top.insert(e.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{"save", "site"}));

    // Each file was asked for once, in its own letter case, and nothing the
    // crawl must not follow was asked for at all.
    std::map<std::string, int> asked;
    for (const auto& q : requests(server_->accessLogPath())) {
      ++asked[q.path];
      EXPECT_EQ(q.status, 200) << q.path;
    }
    for (const auto& [path, n] : asked) EXPECT_EQ(n, 1) << path;
    EXPECT_EQ(asked.size(), expected.size());
    EXPECT_EQ(asked.count("/Sec1/Item_1.Html"), 1u);
    for (const char* never : {"/Only_Query.html", "/Other/Only_Other.html", "/Orphan.html"}) {
      EXPECT_EQ(asked.count(never), 0u) << never;
    }
  }
}

TEST_F(CrawlEndToEnd, InterruptedCrawlResumesWhereItStopped) {
  SiteWriter site(siteRoot(), host_);
  const Tree expected = writeSite(site, server_->port(), 150);

  // Two interrupted runs, SIGINT and then SIGTERM sent twice (the second
  // arrives while the first is being handled and must change nothing), then
  // one run to the end. Each interrupt spills the queue to the next file.
  const struct {
    std::vector<std::string> args;
    int sig;
    bool twice;
  } interrupted[] = {
      {args("5", true), SIGINT, false},
      {{"--headless", "--ini", ini().string(), "--interval", "5"}, SIGTERM, true},
  };
  std::vector<std::string> cutOff;  // the last request of each interrupted run
  for (size_t run = 0; run < std::size(interrupted); ++run) {
    SCOPED_TRACE(run);
    const auto& c = interrupted[run];
    const fsys::path out = dir_.file("out" + std::to_string(run)), err = dir_.file("err" + std::to_string(run));
    {
      ChildProcess crawl(harbekPath(), c.args, out, err);
      ASSERT_TRUE(crawl.running());
      ASSERT_TRUE(crawl.waitForOutput("保存文件", 40, 60s)) << readFile(out);
      crawl.signal(c.sig);
      if (c.twice) crawl.signal(c.sig);
      EXPECT_EQ(crawl.wait(30s), 128 + c.sig) << readFile(err);
    }
    ASSERT_EQ(readFile(out).find("一个网站已经下载完成"), std::string::npos) << "the crawl ended before the interrupt";
    EXPECT_TRUE(fsys::is_regular_file(save() / "tmp" / (std::to_string(run) + ".dat")));
    EXPECT_NE(readFile(ini()).find("wnum=" + std::to_string(run + 1)), std::string::npos) << readFile(ini());
    const auto sofar = requests(server_->accessLogPath());
    ASSERT_FALSE(sofar.empty());
    cutOff.push_back(sofar.back().path);
    // A saved file is whole: the interrupt leaves no part of a page behind.
    for (const auto& [name, bytes] : savedTree(save(), nullptr)) {
      auto it = expected.find(name);
      ASSERT_NE(it, expected.end()) << name;
      EXPECT_EQ(it->second, bytes) << name;
    }
  }

  // The last run starts from the settings file and the spill files alone,
  // in a spill folder without the mark, as an older harbek left it.
  EXPECT_TRUE(fsys::remove(save() / "tmp" / ".harbek-spill"));
  auto r = runHarbek(logs_.path(), {"--headless", "--ini", ini().string(), "--interval", "0"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("一个网站已经下载完成"), std::string::npos);
  expectSameTree(expected, savedTree(save(), nullptr));
  // Nothing is left to read: the spill folder is gone and the counters start again.
  EXPECT_FALSE(fsys::exists(save() / "tmp"));
  EXPECT_NE(readFile(ini()).find("Rnum=0"), std::string::npos) << readFile(ini());

  // No file fetched whole is fetched again; only a fetch that an interrupt
  // cut off (the last of an interrupted run) may be repeated.
  std::set<std::string> whole;
  for (const Request& q : requests(server_->accessLogPath())) {
    if (std::find(cutOff.begin(), cutOff.end(), q.path) == cutOff.end()) {
      EXPECT_EQ(whole.count(q.path), 0u) << q.path << " fetched again";
    }
    auto size = site.sizes().find(q.path.ends_with('/') ? q.path + "index.html" : q.path);
    if (q.status == 200 && size != site.sizes().end() && q.bytes == size->second) whole.insert(q.path);
  }
  EXPECT_EQ(whole.size(), expected.size());
}

TEST_F(CrawlEndToEnd, AQueueBeyondTenThousandSpillsAndComesBack) {
  // 10050 links on one page. The 10001st entry spills the queue's tail
  // (links 4998 to 9999) to tmp/0.dat; the crawl reloads it once the queue
  // runs dry. The queue does not look for duplicates, so a file linked many
  // times is queued many times and fetched once: the links name runs of the
  // same file, which keeps the number of fetches small while every spilled
  // run must come back for its file to be saved.
  SiteWriter site(siteRoot(), host_);
  constexpr int kLinks = 10050;
  constexpr int kRun = 10;
  std::string index = "<html><body>\n";
  for (int i = 0; i < kLinks; ++i) {
    const int file = i < 4998 ? i % 40 : 40 + (i - 4998) / kRun;
    const std::string name = "F/f" + std::to_string(file) + ".txt";
    index += "<a href=\"" + name + "\">" + std::to_string(i) + "</a>\n";
    if (!site.sizes().count("/" + name)) site.put(name, "file " + std::to_string(file));
  }
  site.put("index.html", index + "</body></html>\n");
  ASSERT_GT(site.expected().size(), 540u);

  ChildProcess crawl(harbekPath(), args("0", true), dir_.file("out"), dir_.file("err"));
  ASSERT_TRUE(crawl.running());
  EXPECT_EQ(crawl.wait(100s), 0) << readFile(dir_.file("err"));
  const std::string out = readFile(dir_.file("out"));
  EXPECT_NE(out.find("一个网站已经下载完成"), std::string::npos);
  EXPECT_FALSE(fsys::exists(save() / "tmp"));  // read back, then removed
  const std::string settings = readFile(ini());
  EXPECT_NE(settings.find("wnum=0"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Rnum=0"), std::string::npos) << settings;
  expectSameTree(site.expected(), savedTree(save(), nullptr));
  // Every queued duplicate was dropped at the head without a fetch.
  EXPECT_EQ(requests(server_->accessLogPath()).size(), site.expected().size());
}

// SIGKILL, as a power cut would stop it, at random moments of a crawl (in
// the middle of slow large bodies and of the spill of a page with 20,000
// links among them), a restart with the same arguments after each, then a run
// to the end: the copy is the site, byte for byte, nothing missing, nothing
// cut short, no temporary file left.
TEST_F(CrawlEndToEnd, KillsAtAnyMomentLoseNothing) {
  SiteWriter site(siteRoot(), host_);
  writeSite(site, server_->port(), 1200);
  std::mt19937 rng(77);
  std::string many = "<html><body>\n";
  for (int i = 0; i < 20000; ++i) many += "<a href=\"/Many/m" + std::to_string(i % 400) + ".txt\">" + std::to_string(i) + "</a>\n";
  site.put("Many/index.html", many + "</body></html>\n");
  for (int i = 0; i < 400; ++i) site.put("Many/m" + std::to_string(i) + ".txt", "m" + std::to_string(i));
  std::string slow = "<html><body>\n<a href=\"../Many/\">many</a>\n";
  for (int i = 0; i < 4; ++i) {
    site.put("slow/Big" + std::to_string(i) + ".bin", randomBytes(rng, 1 << 20));
    slow += "<a href=\"Big" + std::to_string(i) + ".bin\">big</a>\n";
  }
  site.put("slow/index.html", slow + "</body></html>\n");
  site.put("Sub/Deeper/Leaf.HTM", "<p><a href=\"/slow/\">slow</a></p>");
  const Tree& expected = site.expected();

  const struct {
    const char* waitFor;  // the output that must have appeared this often before the kill
    size_t times;
  } kills[] = {{"保存文件", 30}, {"保存文件", 400}, {"Big1.bin", 1}, {"/Many/", 3}, {"/Many/m", 1}, {"保存文件", 900}, {"Big3.bin", 2}};
  // One fetch at a time, then eight at once: a kill loses what was fetched
  // ahead, never a file or a queued URL, and only the fetches under way at a
  // kill are asked for again.
  for (const std::string connections : {"1", "8"}) {
    SCOPED_TRACE("--connections " + connections);
    fsys::remove_all(save());
    fsys::remove(ini());
    std::ofstream(server_->accessLogPath(), std::ios::trunc).close();
    size_t killed = 0;
    for (size_t k = 0; k < std::size(kills); ++k) {
      SCOPED_TRACE(k);
      const std::string run = connections + "-" + std::to_string(k);
      const fsys::path out = logs_.file("kill" + run), err = logs_.file("killerr" + run);
      {
        ChildProcess crawl(harbekPath(), args("0", true, connections), out, err);
        ASSERT_TRUE(crawl.running());
        if (!crawl.waitForOutput(kills[k].waitFor, kills[k].times, 60s)) continue;  // ended first: no kill this time
        crawl.signal(SIGKILL);
        EXPECT_EQ(crawl.wait(30s), 128 + SIGKILL);
        ++killed;
      }
      // Whatever is saved under its own name is whole.
      for (const auto& [name, bytes] : savedTree(save(), nullptr)) {
        if (name.ends_with(".harbek-part") || name.starts_with("tmp/")) continue;
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << name;
        ASSERT_EQ(it->second.size(), bytes.size()) << name << " cut short";
      }
    }
    auto r = runHarbek(logs_.path(), args("0", true, connections), 100s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("一个网站已经下载完成"), std::string::npos);
    std::vector<std::string> strays;
    expectSameTree(expected, savedTree(save(), &strays));
    EXPECT_TRUE(strays.empty()) << strays.front();
    EXPECT_LE(requests(server_->accessLogPath()).size(), expected.size() + killed * std::stoul(connections));
  }
}

// The disk fills in the middle of a crawl (a file-size limit makes the big
// image's write fail as a full disk would): the crawl stops with status 3,
// saves no part of that file and keeps its queue; once there is room again,
// the next run completes the copy byte for byte.
TEST_F(CrawlEndToEnd, AFullDiskStopsTheCrawlAndLosesNothing) {
  if (!fsys::exists("/usr/bin/prlimit")) GTEST_SKIP() << "prlimit is missing";
  SiteWriter site(siteRoot(), host_);
  const Tree expected = writeSite(site, server_->port(), 80);  // with a 300 KB image
  std::vector<std::string> limited = {"--fsize=200000", harbekPath()};
  for (const std::string& a : args("0", true)) limited.push_back(a);
  auto full = runHarbek(logs_.path(), limited, 60s, "/usr/bin/prlimit");
  EXPECT_EQ(full.exitCode, 3) << full.err;
  EXPECT_NE(full.out.find("保存文件失败:"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("磁盘无法写入,蜘蛛已停止"), std::string::npos);
  EXPECT_FALSE(fsys::exists(save() / host_ / "images" / "big.png"));
  for (const auto& [name, bytes] : savedTree(save(), nullptr)) {
    if (name.ends_with(".harbek-part")) continue;
    auto it = expected.find(name);
    ASSERT_NE(it, expected.end()) << name;
    EXPECT_EQ(it->second, bytes) << name;
  }
  auto again = runHarbek(logs_.path(), args("0", false));
  EXPECT_EQ(again.exitCode, 0) << again.err;
  std::vector<std::string> strays;
  expectSameTree(expected, savedTree(save(), &strays));
  EXPECT_TRUE(strays.empty()) << strays.front();
}

// The settings file cannot be written (a folder stands in its place): the
// crawl says so, and a stop and a restart still copy the whole site, as the
// spill folder's journal and files carry what the counters could not.
TEST_F(CrawlEndToEnd, UnwritableSettingsLoseNothing) {
  SiteWriter site(siteRoot(), host_);
  const Tree expected = writeSite(site, server_->port(), 100);
  const fsys::path folderIni = dir_.file("ini-is-a-folder");
  fsys::create_directories(folderIni);
  std::vector<std::string> a = {"--headless", "--ini", folderIni.string(), "--save-dir", save().string(),
                                "--interval", "5", server_->url("/")};
  {
    ChildProcess crawl(harbekPath(), a, dir_.file("out"), dir_.file("err"));
    ASSERT_TRUE(crawl.waitForOutput("保存文件", 20, 60s));
    crawl.signal(SIGTERM);
    EXPECT_EQ(crawl.wait(30s), 128 + SIGTERM);
  }
  EXPECT_NE(readFile(dir_.file("out")).find("无法写入系统配置文件"), std::string::npos);
  a.pop_back();  // the restart names no address: the queue must come from disk
  a[6] = "0";
  auto r = runHarbek(logs_.path(), a);
  EXPECT_NE(r.out.find("一个网站已经下载完成"), std::string::npos);
  expectSameTree(expected, savedTree(save(), nullptr));
}

// A save folder whose path is longer than any fixed buffer is kept whole in
// the settings file, and the next run resumes in it.
TEST_F(CrawlEndToEnd, LongSaveFolderPathsAreKeptWhole) {
  SiteWriter site(siteRoot(), host_);
  const Tree expected = writeSite(site, server_->port(), 60);
  const fsys::path deep = dir_.file(std::string(100, 'd') + "/" + std::string(100, 'e') + "/save");
  {
    ChildProcess crawl(harbekPath(), {"--headless", "--ini", ini().string(), "--save-dir", deep.string(), "--interval",
                                      "5", server_->url("/")},
                       dir_.file("out"), dir_.file("err"));
    ASSERT_TRUE(crawl.waitForOutput("保存文件", 10, 60s));
    crawl.signal(SIGTERM);
    EXPECT_EQ(crawl.wait(30s), 128 + SIGTERM);
  }
  EXPECT_NE(readFile(ini()).find("dbpath=" + deep.string() + "\r\n"), std::string::npos) << readFile(ini());
  auto r = runHarbek(logs_.path(), {"--headless", "--ini", ini().string(), "--interval", "0"});
  EXPECT_NE(r.out.find("一个网站已经下载完成"), std::string::npos);
  expectSameTree(expected, savedTree(deep, nullptr));
}

TEST(HarbekArguments, ASaveFolderThatCannotBeMadeStopsTheStart) {
  TempDir dir;
  dir.write("plain", "a file, not a folder");
  auto r = runHarbek(dir.path(), {"--headless", "--ini", dir.file("sys.ini").string(), "--save-dir",
                     dir.file("plain/save").string(), "http://127.0.0.1:1/"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.out.find("无法创建保存目录"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(dir.file("plain")), "a file, not a folder");
}

TEST(HarbekArguments, BadArgumentsExitWithUsage) {
  TempDir dir;
  const struct {
    std::vector<std::string> args;
    std::string says;  // on standard error, before the usage line
  } cases[] = {
      {{"--headless", "--interval"}, "--interval needs a value"},
      {{"--headless", "--interval", "fast"}, "--interval takes milliseconds, not 'fast'"},
      {{"--headless", "--interval", "-5"}, "not '-5'"},
      {{"--headless", "--ini"}, "--ini needs a value"},
      {{"--headless", "--save-dir", ""}, "--save-dir needs a folder"},
      {{"--headless", "--bogus"}, "unknown option '--bogus'"},
  };
  for (const auto& c : cases) {
    auto r = runHarbek(dir.path(), c.args, 10s);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(c.args);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: harbek [--headless]"), std::string::npos);
  }
}

// Every way a terminal run can end, through the real program: the exit
// status, what it says, and that a failure says so at once.
TEST(HarbekArguments, EveryOutcomeHasItsStatusAndItsWord) {
  TempDir dir;
  NginxServer server(dir.file("site"));
  fsys::create_directories(dir.file("site"));
  std::ofstream(dir.file("site/index.html")) << "<a href=\"/gone.html\">gone</a>";
  ASSERT_TRUE(server.running()) << server.error();
  const std::string ini = dir.file("sys.ini").string();
  const std::string save = dir.file("save").string();
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string says;  // on standard error (or standard output for --help)
    std::chrono::seconds within;
  } cases[] = {
      {"help", {"--help"}, 0, "Exit status", 5s},
      {"short help", {"-h"}, 0, "--save-dir FOLDER", 5s},
      {"version", {"--version"}, 0, "harbek 0.", 5s},
      {"ftp address", {"--headless", "--ini", ini, "ftp://127.0.0.1/x"}, 1, "only http:// and https:// addresses", 5s},
      {"no host", {"--headless", "--ini", ini, "--save-dir", save, "::::"}, 2, "is not a web address", 5s},
      {"a space in the host", {"--headless", "--ini", ini, "--save-dir", save, "http://a b/"}, 2, "is not a web address", 5s},
      {"no address", {"--headless", "--ini", ini, "--save-dir", save}, 1, "nothing to copy", 5s},
      {"refused", {"--headless", "--ini", ini, "--save-dir", save, "http://127.0.0.1:1/"}, 4, "1 network", 5s},
      {"no such host", {"--headless", "--ini", ini, "--save-dir", save, "http://no-such-host.invalid/"}, 4,
       "1 network", 10s},
      {"a page not found", {"--headless", "--ini", ini, "--save-dir", save, server.url("/")}, 8, "1 server", 10s},
      {"settings in a missing folder",
       {"--headless", "--ini", dir.file("missing/sys.ini").string(), "--save-dir", save + "2", server.url("/")}, 8,
       "无法写入系统配置文件", 10s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    auto r = runHarbek(dir.path(), c.args, 30s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, c.within);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_NE((r.err + r.out).find(c.says), std::string::npos) << r.err << r.out;
    if (c.args.front() == "--headless" && c.status != 2 && c.says.find("only http") == std::string::npos) {
      EXPECT_NE(r.err.find("files saved"), std::string::npos) << "no summary line: " << r.err;
    }
  }
}

// Without --save-dir or a folder in the settings, a terminal copy lands in
// the current folder; with the save folder not writable for the user, nothing
// is claimed as saved and the status says a file could not be written.
TEST(HarbekArguments, CopiesGoToTheCurrentFolderAndUnwritableFoldersSaySo) {
  TempDir dir;
  fsys::create_directories(dir.file("site"));
  std::ofstream(dir.file("site/index.html")) << "<p>hello</p>";
  NginxServer server(dir.file("site"));
  ASSERT_TRUE(server.running()) << server.error();
  fsys::create_directories(dir.file("here"));
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  const std::string run = "cd " + dir.file("here").string() + " && exec " + harbekPath() + " --headless --ini " +
                          dir.file("sys.ini").string() + " " + server.url("/");
  auto r = runHarbek(dir.path(), {"-c", run}, 30s, "/bin/sh");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(dir.file("here/" + host + "/index.html")), "<p>hello</p>");
  EXPECT_EQ(readFile(dir.file("sys.ini")).find("dbpath=" + dir.file("here").string()), std::string::npos)
      << "the current folder is not written to the settings";

  // As an unprivileged user in a folder that user cannot write. That user
  // runs a copy of the program with its modules and registry, in a folder it
  // can read wherever the build tree sits (a clone in /root is mode 700).
  if (!fsys::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is missing";
  if (::geteuid() != 0) GTEST_SKIP() << "dropping to another user needs root";
  fsys::permissions(dir.path(), fsys::perms::all, fsys::perm_options::add);
  const fsys::path prog = dir.file("prog");
  fsys::create_directories(prog);
  const auto readable = fsys::perms::owner_all | fsys::perms::group_read | fsys::perms::others_read |
                        fsys::perms::group_exec | fsys::perms::others_exec;
  fsys::permissions(prog, readable);
  for (const auto& e : fsys::directory_iterator(fsys::path(harbekPath()).parent_path())) {
    const std::string name = e.path().filename().string();
    if (name != "harbek" && name != "components.reg" && !name.ends_with(".so")) continue;
    fsys::copy_file(e.path(), prog / name);
    fsys::permissions(prog / name, readable);
  }
  auto asNobody = [&](std::vector<std::string> args) {
    std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/env",
                                    "HARBEK_REGISTRY=" + (prog / "components.reg").string(), (prog / "harbek").string()};
    all.insert(all.end(), args.begin(), args.end());
    return runHarbek(dir.path(), all, 30s, "/usr/bin/setpriv");
  };
  if (auto probe = asNobody({"--version"}); probe.exitCode != 0) {
    GTEST_SKIP() << "nobody cannot run a copy of harbek in " << prog << " (" << probe.err << probe.out << ")";
  }
  fsys::create_directories(dir.file("locked"));
  fsys::permissions(dir.file("locked"), readable);
  // A settings file nobody may read is named with its reason, and the copy goes on.
  std::ofstream(dir.file("nobody.ini")) << "[sys]\n";
  fsys::permissions(dir.file("nobody.ini"), fsys::perms::owner_read | fsys::perms::owner_write);
  auto locked = asNobody({"--headless", "--ini", dir.file("nobody.ini").string(), "--save-dir",
                          dir.file("locked").string(), server.url("/")});
  EXPECT_EQ(locked.exitCode, 3) << locked.err;
  EXPECT_EQ(locked.out.find("保存文件http"), std::string::npos) << locked.out;
  EXPECT_NE(locked.out.find("保存文件失败"), std::string::npos) << locked.out;
  EXPECT_EQ(locked.err.find(" 0 write"), std::string::npos) << locked.err;
  EXPECT_NE(locked.err.find("无法写入队列日志"), std::string::npos) << locked.err;
  EXPECT_EQ(locked.err.find("not found"), std::string::npos) << "a read-only folder is no missing one: " << locked.err;
  EXPECT_NE(locked.err.find("cannot read " + dir.file("nobody.ini").string() + ": permission denied"),
            std::string::npos)
      << locked.err;
  // A registry nobody may read is named as such, not taken for one without the class.
  fsys::permissions(prog / "components.reg", fsys::perms::owner_read | fsys::perms::owner_write);
  auto noRegistry = asNobody({"--headless", "--ini", dir.file("nobody.ini").string(), "--save-dir",
                              dir.file("locked").string(), server.url("/")});
  EXPECT_EQ(noRegistry.exitCode, 1) << noRegistry.err;
  EXPECT_NE(noRegistry.err.find("cannot read " + (prog / "components.reg").string() + ": permission denied"),
            std::string::npos)
      << noRegistry.err;
  EXPECT_TRUE(fsys::is_empty(dir.file("locked")));
}

// Window mode where Qt would have nowhere to show the window: a message that
// points to --headless, exit status 2, no crash inside Qt.
TEST(HarbekArguments, WindowModeWithoutADisplaySaysSo) {
  TempDir dir;
  const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::map<std::string, std::string> saved;
  for (const char* name : names) {
    if (const char* v = std::getenv(name)) saved[name] = v;
    unsetenv(name);
  }
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"http://127.0.0.1:1/"},
      {"--ini", dir.file("sys.ini").string(), "--save-dir", dir.file("save").string()},
  };
  for (const auto& c : cases) {
    auto r = runHarbek(dir.path(), c, 10s);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(c);
    EXPECT_NE(r.err.find("use --headless"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fsys::exists(dir.file("save")));
  for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
}

// The generated site over https: copied byte for byte when its certificate
// is trusted (by the CA given) or not checked, and not at all, at once and
// with the reason and exit status 4, when the CA is not trusted.
TEST(HttpsCrawlEndToEnd, CopiesTheSiteOnlyWhenItsCertificateIsTrusted) {
  harbek::testing::TestCa ca;
  ASSERT_TRUE(ca.ready());
  TempDir dir, logs;
  const harbek::testing::TestCa::Issued cert = ca.issue("IP:127.0.0.1");
  fsys::create_directories(dir.file("site"));
  NginxServer server(dir.file("site"), {cert.certificate, cert.key, ""});
  ASSERT_TRUE(server.running()) << server.error();
  SiteWriter site(dir.file("site"), "127.0.0.1:" + std::to_string(server.port()));
  const Tree expected = writeSite(site, server.port(), 60, "https");

  const std::string agent = "harbek-test/1.0 (HTTPS)";
  const std::string defaultAgent = "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)";
  const struct {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* line;
    std::string userAgent;  // of every request
    size_t connections;     // 0: one per request
  } cases[] = {
      {"trusted CA, own User-Agent",
       {"--ca-certificate", ca.certificate().string(), "--user-agent", agent},
       0,
       "一个网站已经下载完成",
       agent, 0},
      {"CA not trusted", {}, 4, "unable to get local issuer certificate", "", 0},
      {"no check", {"--no-check-certificate"}, 0, "一个网站已经下载完成", defaultAgent, 0},
      // One handshake for the whole copy.
      {"keep-alive", {"--no-check-certificate", "--keep-alive"}, 0, "一个网站已经下载完成", defaultAgent, 1},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fsys::path save = dir.file("save" + std::to_string(n++));
    std::ofstream(server.accessLogPath(), std::ios::trunc).close();
    std::vector<std::string> args = {"--headless", "--ini", dir.file("sys.ini").string(), "--save-dir", save.string(),
                                     "--interval", "0", server.url("/")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto start = std::chrono::steady_clock::now();
    const auto r = runHarbek(logs.path(), args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    if (c.exitCode == 0) {
      expectSameTree(expected, savedTree(save, nullptr));
      std::istringstream log(readFile(server.accessLogPath()));
      size_t lines = 0;
      std::set<std::string> connections;
      for (std::string line; std::getline(log, line); ++lines) {
        EXPECT_NE(line.find("\"" + c.userAgent + "\""), std::string::npos) << line;
        // The connection's serial number, before the session's reuse mark.
        const size_t mark = line.rfind(' ');
        const size_t from = line.rfind(' ', mark - 1) + 1;
        connections.insert(line.substr(from, mark - from));
      }
      EXPECT_EQ(lines, expected.size());
      EXPECT_EQ(connections.size(), c.connections ? c.connections : lines);
    } else {
      EXPECT_TRUE(savedTree(save, nullptr).empty());
      EXPECT_EQ(server.requestCount(), 0u);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
  }
}

}  // namespace
}  // namespace harbek::crawler
