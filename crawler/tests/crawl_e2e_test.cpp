// The real harbek program in terminal mode against nginx serving a generated
// site: what it saves must be the site's reachable files, byte for byte,
// under save/<host:port>/<path in lower case>, and nothing else.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "crawler/tests/child_process.h"
#include "platform/text/text.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;
using testing::ChildProcess;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string harbekPath() { return testing::programFolder() + "/harbek"; }

struct Run {
  int exitCode = -1;
  std::string out, err;
};

// Runs harbek to its end, killed when it outlives the limit (a crawl that
// never ends must fail the test, not hang it).
Run runHarbek(const fsys::path& dir, const std::vector<std::string>& args, std::chrono::seconds limit = 60s) {
  static int serial = 0;
  const std::string n = std::to_string(serial++);
  const fsys::path out = dir / ("run" + n + ".out"), err = dir / ("run" + n + ".err");
  Run r;
  {
    ChildProcess child(harbekPath(), args, out, err);
    r.exitCode = child.wait(limit);
  }
  r.out = readFile(out);
  r.err = readFile(err);
  fsys::remove(out);
  fsys::remove(err);
  return r;
}

// What a crawl of the site must save: relative path under the save folder
// -> bytes.
using Tree = std::map<std::string, std::string>;

class SiteWriter {
 public:
  SiteWriter(fsys::path root, std::string host) : root_(std::move(root)), host_(std::move(host)) {}

  // path is the server path without its leading "/"; reachable files are
  // expected under their lower-case path ("index.html" for folders).
  void put(const std::string& path, const std::string& bytes, bool reachable = true) {
    fsys::path file = root_ / path;
    fsys::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    if (reachable) expected_[host_ + "/" + lower(path)] = bytes;
    sizes_["/" + path] = bytes.size();
  }
  const Tree& expected() const { return expected_; }
  const std::map<std::string, size_t>& sizes() const { return sizes_; }

 private:
  fsys::path root_;
  std::string host_;
  Tree expected_;
  std::map<std::string, size_t> sizes_;
};

std::string randomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

std::string pageName(int i) { return "Sec" + std::to_string(i % 7) + "/Item_" + std::to_string(i) + ".Html"; }

// A site of `pages` pages in seven folders, with style sheets, scripts,
// images and frames, linked through all five element kinds, relative,
// absolute and full links, mixed-case names, with fragments and queries,
// mail and script links, and links to another host. A few files are served
// but reachable only through links that must not be followed.
Tree writeSite(SiteWriter& site, uint16_t port, int pages) {
  std::mt19937 rng(1234);
  const std::string p = std::to_string(port);
  const std::string gbk = text::toCodePage(u"中文页面，链接与图片。");
  site.put("index.html",
           "<html><head><title>" + gbk + "</title><link rel=\"stylesheet\" href=\"Css/Style0.CSS\"></head><body>\n"
           "<a href=\"" + pageName(0) + "\">start</a>\n<img src=\"/Images/Big.PNG\">\n"
           "<a href=\"Sub/\">sub</a> <a href=\"/\">home</a> <a href=\"index.html#top\">top</a>\n"
           "<a href=\"http://localhost:" + p + "/Other/Only_Other.html\">elsewhere</a>\n"
           "<a href=\"Only_Query.html?from=index\">query</a>\n</body></html>\n");
  site.put("Images/Big.PNG", randomBytes(rng, 300 * 1024));
  site.put("Sub/index.html", "<p>sub <a href=\"../Sub/Deeper/Leaf.HTM\">leaf</a></p>");
  site.put("Sub/Deeper/Leaf.HTM", "<p>" + gbk + "<a href=\"../../index.html\">up</a></p>");
  for (int j = 0; j < 5; ++j) site.put("Css/Style" + std::to_string(j) + ".CSS", "body { color: #" + std::to_string(j) + "00; }\n");
  for (int j = 0; j < 7; ++j) site.put("Js/App" + std::to_string(j) + ".js", "var app = " + std::to_string(j) + ";\n");
  for (int j = 0; j < 20; ++j) site.put("Images/Pic" + std::to_string(j) + ".GIF", randomBytes(rng, 500 + j * 1500));
  for (int j = 0; j < 10; ++j) {
    const std::string n = std::to_string(j);
    site.put("Frames/Frame" + n + ".html", "<html><body><a href=\"Inner" + n + ".htm\">inner</a></body></html>");
    site.put("Frames/Inner" + n + ".htm", "<p>inner " + n + " " + gbk + "</p><img src=\"../Images/Pic" + n + ".GIF\">");
  }
  for (int i = 0; i < pages; ++i) {
    std::ostringstream h;
    const std::string is = std::to_string(i);
    h << "<html><head><title>" << gbk << is << "</title>\n"
      << "<link rel=\"stylesheet\" href=\"/Css/Style" << i % 5 << ".CSS\">\n"
      << "<script src=\"../Js/App" << i % 7 << ".js\"></script>\n</head><body>\n<h1>" << gbk << "</h1>\n";
    if (i + 1 < pages) h << "<a href=\"../" << pageName(i + 1) << "\">next</a>\n";
    for (int child : {2 * i + 1, 2 * i + 2}) {
      if (child < pages) h << "<a href=\"/" << pageName(child) << "#part\">child</a>\n";
    }
    h << "<a href=\"http://127.0.0.1:" << p << "/" << pageName((i * 7) % pages) << "\">full</a>\n"
      << "<img src=\"/Images/Pic" << i % 20 << ".GIF\" alt=\"" << gbk << "\">\n"
      << "<iframe src=\"/Frames/Frame" << i % 10 << ".html\"></iframe>\n"
      << "<a href=\"/Only_Query.html?id=" << i << "\">q</a> <a href=\"Item_" << i << ".Html?print=1\">print</a>\n"
      << "<a href=\"mailto:web@example.com\">mail</a> <a href=\"javascript:void(0)\">js</a>"
      << " <a href=\"JavaScript:history.back()\">back</a>\n"
      << "<a href=\"http://localhost:" << p << "/Other/Only_Other.html\">other host</a>\n"
      << "<p>" << std::string(200 + (i * 37) % 3000, 'x') << "</p>\n</body></html>\n";
    site.put(pageName(i), h.str());
  }
  site.put("Only_Query.html", "<p>only through a query</p>", false);
  site.put("Other/Only_Other.html", "<p>only through another host</p>", false);
  site.put("Orphan.html", "<p>linked from nowhere</p>", false);
  return site.expected();
}

// Every file under the save folder but the spill files; spill files must be
// numbered ".dat" files in tmp/.
Tree savedTree(const fsys::path& save, std::vector<std::string>* strays) {
  Tree out;
  std::error_code ec;
  for (auto it = fsys::recursive_directory_iterator(save, ec); !ec && it != fsys::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const std::string rel = fsys::relative(it->path(), save).string();
    if (rel.starts_with("tmp/")) {
      if (!it->path().filename().string().ends_with(".dat") && strays) strays->push_back(rel);
      continue;
    }
    out[rel] = readFile(it->path());
  }
  return out;
}

// Compares the trees by name and bytes, naming the first few differences.
void expectSameTree(const Tree& expected, const Tree& actual) {
  std::vector<std::string> missing, extra, differ;
  for (const auto& [name, bytes] : expected) {
    auto it = actual.find(name);
    if (it == actual.end()) {
      missing.push_back(name);
    } else if (it->second != bytes) {
      differ.push_back(name);
    }
  }
  for (const auto& [name, bytes] : actual) {
    if (!expected.count(name)) extra.push_back(name);
  }
  auto some = [](const std::vector<std::string>& v) {
    std::string s = std::to_string(v.size()) + ":";
    for (size_t i = 0; i < v.size() && i < 5; ++i) s += " " + v[i];
    return s;
  };
  EXPECT_TRUE(missing.empty()) << "missing " << some(missing);
  EXPECT_TRUE(extra.empty()) << "not expected " << some(extra);
  EXPECT_TRUE(differ.empty()) << "different bytes " << some(differ);
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

  std::vector<std::string> args(const std::string& interval, bool withUrl) const {
    std::vector<std::string> a = {"--headless", "--ini", ini().string(), "--save-dir", save().string(),
                                  "--interval", interval};
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

  auto r = runHarbek(logs_.path(), args("0", true));
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
      EXPECT_EQ(crawl.wait(30s), 0) << readFile(err);
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

  // The last run starts from the settings file and the spill files alone.
  auto r = runHarbek(logs_.path(), {"--headless", "--ini", ini().string(), "--interval", "0"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("一个网站已经下载完成"), std::string::npos);
  expectSameTree(expected, savedTree(save(), nullptr));
  EXPECT_NE(readFile(ini()).find("Rnum=2"), std::string::npos) << readFile(ini());

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
  EXPECT_TRUE(fsys::is_regular_file(save() / "tmp" / "0.dat"));
  const std::string settings = readFile(ini());
  EXPECT_NE(settings.find("wnum=1"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Rnum=1"), std::string::npos) << settings;
  expectSameTree(site.expected(), savedTree(save(), nullptr));
  // Every queued duplicate was dropped at the head without a fetch.
  EXPECT_EQ(requests(server_->accessLogPath()).size(), site.expected().size());
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
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"http://127.0.0.1:1/"},
      {"--headless", "--interval"},
      {"--headless", "--interval", "fast"},
      {"--headless", "--interval", "-5"},
      {"--headless", "--ini"},
      {"--headless", "--save-dir", ""},
      {"--headless", "--unknown"},
  };
  for (const auto& c : cases) {
    auto r = runHarbek(dir.path(), c, 10s);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(c);
    EXPECT_NE(r.err.find("usage: harbek --headless"), std::string::npos);
  }
}

}  // namespace
}  // namespace harbek::crawler
