// The control html against the scripted loopback server and a scripted client.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>

#include "fetcher/html.h"
#include "fetcher/tests/fetch_support.h"
#include "platform/net/socket_errors.h"
#include "tests/support/checked_loop.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::fetcher {
namespace {

using harbek::testing::ScriptedHttpServer;
using harbek::testing::Script;
using namespace std::chrono_literals;
namespace patterns = harbek::testing::patterns;
using testing::FakeTcpClient;
using testing::Recorder;

std::u16string u16(const std::string& s) { return text::fromUtf8(s); }

// The socket error's own wording is the TCP client's; only the prefix is ours.
std::vector<std::string> withoutErrorWording(std::vector<std::string> events) {
  for (std::string& e : events) {
    if (e.starts_with("ShowState wskError:")) e = "ShowState wskError:";
  }
  return events;
}

struct Fetch {
  harbek::testing::CheckedLoop loop;
  Recorder owner;
  html control{*loop, owner};
};

TEST(HtmlUrl, HostAndPathFromTheUrl) {
  struct Case {
    std::u16string url, host, fileName;
  } cases[] = {
      {u"http://Site/Dir/Page.HTM", u"site", u"/Dir/Page.HTM"},
      {u"http://Site:8080/A.htm", u"site:8080", u"/A.htm"},
      {u"http://site", u"site", u""},
      {u"HTTP://SITE//a/./b.html?Q=1", u"site", u"/a/./b.html?Q=1"},
      // The host's name inside the path stays where it is.
      {u"http://site/site/a.htm", u"site", u"/site/a.htm"},
  };
  Fetch f;
  for (const Case& c : cases) {
    ASSERT_EQ(f.control.iniUrl(c.url), com::kOk);
    EXPECT_EQ(f.control.url(), com::Variant(c.url));
    EXPECT_EQ(f.control.host(), c.host) << text::toUtf8(c.url);
    EXPECT_EQ(f.control.fileName(), c.fileName) << text::toUtf8(c.url);
  }
}

TEST(HtmlFetch, RequestBytesLineForLine) {
  ScriptedHttpServer server(patterns::oneWrite("ok"));
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  const std::string tail =
      "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n"
      "Host: " + host + "\r\n"
      "Accept-Language: zh-cn\r\nAccept-CharSet: gb2312\r\nAccept: */*\r\n"
      "cache-Control: no-cache\r\nPragma: no-cache\r\nConnection: close\r\n\r\n";
  struct Case {
    std::string path;
    std::u16string cookie;
    std::string want;
  } cases[] = {
      {"/Dir/Page.HTM", u"0", "GET /Dir/Page.HTM HTTP/1.1\r\n" + tail},
      {"", u"0", "GET / HTTP/1.1\r\n" + tail},
      {"/a", u"", "GET /a HTTP/1.1\r\nCookie: \r\n" + tail},
      {"/a", u"id=7; s=x", "GET /a HTTP/1.1\r\nCookie: id=7; s=x\r\n" + tail},
      {"/a b.htm?x=1", u"0", "GET /a%20b.htm?x=1 HTTP/1.1\r\n" + tail},
  };
  Fetch f;
  f.control.setPort(1);  // the URL's port wins
  for (size_t i = 0; i < std::size(cases); ++i) {
    f.control.setCookie(cases[i].cookie);
    ASSERT_EQ(f.control.OpenUrl(u16("http://" + host + cases[i].path)), com::kOk);
    ASSERT_TRUE(server.waitForFinished(i + 1));
    EXPECT_EQ(server.requests().at(i), cases[i].want);
    EXPECT_EQ(text::toCodePage(f.control.SendHeader()), cases[i].want);
  }
}

TEST(HtmlFetch, EventsForEachArrivalPattern) {
  const std::string body = "<p>hello</p>";
  const std::string p = "ShowState 接收到数据";
  struct Case {
    const char* name;
    Script script;
    std::vector<std::string> events;
    std::string saved;
    bool complete;
  } cases[] = {
      {"one write", patterns::oneWrite(body),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 12", "Progress 12/12", "ShowState 数据取回完成"},
       body, true},
      {"header then body", patterns::headerThenBody(body),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 12", "Progress 12/12", "ShowState 数据取回完成"},
       body, true},
      {"small writes", patterns::smallWrites(body, 5, 30ms),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 5", "Progress 5/12", "SaveFile /a.htm 5",
        "Progress 10/12", "SaveFile /a.htm 2", "Progress 12/12", "ShowState 数据取回完成"},
       body, true},
      {"no length", patterns::noContentLength(body),
       {"ShowState 进入缓存", p, "ShowState 没有数据长度", "SaveFile /a.htm 12"}, body, true},
      {"chunked", patterns::chunked({"<p>hel", "lo</p>"}),
       {"ShowState 进入缓存", p, "ShowState 没有数据长度", "SaveFile /a.htm 6", "SaveFile /a.htm 6",
        "ShowState 数据取回完成"},
       body, true},
      {"early close", patterns::earlyClose(body, 5),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 5", "Progress 5/12"}, "<p>he", false},
      {"reset", patterns::resetAfter(harbek::testing::httpHeader(200, 12, {"Content-Type: text/html"}) + "<p>"),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 3", "Progress 3/12", "ShowState wskError:"},
       "<p>", false},
      {"garbage", patterns::garbage("no http here"),
       {"ShowState 进入缓存", p, "ShowState 没有数据长度"}, "", false},
      // A header in several arrivals is collected whole; what follows its blank line is body.
      {"status line, pause, rest",
       Script().awaitRequest().write("HTTP/1.1 200 OK\r\n").sleep(300ms).write(
           "Content-Type: text/html\r\nContent-Length: 12\r\n\r\n" + body),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 12", "Progress 12/12", "ShowState 数据取回完成"},
       body, true},
      {"3 kB header in two segments",
       Script().awaitRequest().write("HTTP/1.1 200 OK\r\nX-Pad: " + std::string(1500, 'p')).sleep(50ms).write(
           std::string(1500, 'q') + "\r\nContent-Type: text/html\r\nContent-Length: 12\r\n\r\n" + body),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 12", "Progress 12/12", "ShowState 数据取回完成"},
       body, true},
      // A body longer than Content-Length is cut there, and the fetch is whole.
      {"more than Content-Length",
       Script().awaitRequest().write(harbek::testing::httpHeader(200, 5, {"Content-Type: text/html"}) + body).silence(),
       {"ShowState 进入缓存", p, "Progress 0/5", "SaveFile /a.htm 5", "Progress 5/5", "ShowState 数据取回完成"},
       "<p>he", true},
      {"X-Content-Length first",
       Script().awaitRequest().write("HTTP/1.1 200 OK\r\nX-Content-Length: 99\r\nContent-Type: text/html\r\n"
                                     "Content-Length: 12\r\n\r\n" + body).silence(),
       {"ShowState 进入缓存", p, "Progress 0/12", "SaveFile /a.htm 12", "Progress 12/12", "ShowState 数据取回完成"},
       body, true},
      {"a 404 is a body like any other",
       Script().awaitRequest().write(harbek::testing::httpResponse(404, "gone", {"Content-Type: text/html"})),
       {"ShowState 进入缓存", p, "Progress 0/4", "SaveFile /a.htm 4", "Progress 4/4", "ShowState 数据取回完成"},
       "gone", true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.script);
    Fetch f;
    ASSERT_EQ(f.control.OpenUrl(u16(server.url("/a.htm"))), com::kOk);
    EXPECT_EQ(withoutErrorWording(f.owner.events), c.events);
    EXPECT_EQ(f.owner.saved, c.saved);
    EXPECT_EQ(f.control.lastFetchComplete(), c.complete);
    EXPECT_TRUE(f.control.getHtmlCodeIsOver());
    EXPECT_TRUE(f.control.isFirstResponse());
    EXPECT_EQ(f.control.HTMLcode(), text::fromCodePage(c.saved));
  }
}

TEST(HtmlFetch, HeaderFieldsAndText) {
  // GBK bytes of "中文", split across two arrivals in the second fetch.
  const std::string gbk = "\xd6\xd0\xce\xc4";
  ScriptedHttpServer server(std::vector<Script>{
      patterns::oneWrite("\xe4\xb8\xad\xe6\x96\x87", {"Content-Type: text/html; charset=utf-8", "Location: /Next.htm"}),
      patterns::oneWrite("GIF89a", {"Content-Type: image/gif"}),
      Script().awaitRequest().write(harbek::testing::httpHeader(200, 4, {"Content-Type: text/html"}) + "\xd6\xd0\xce")
          .sleep(50ms).write("\xc4"),
  });
  Fetch f;
  f.control.OpenUrl(u16(server.url("/a.htm")));
  EXPECT_EQ(f.control.Status(), u"200");
  EXPECT_EQ(f.control.contentType(), u" text/html");
  EXPECT_EQ(f.control.CharSet(), u"utf-8");
  EXPECT_EQ(f.control.Location(), u" /next.htm");
  EXPECT_EQ(f.control.htmlLen(), 6);
  EXPECT_EQ(f.control.HTMLcode(), u"中文");
  EXPECT_EQ(f.control.GetHeader(u"Content-Length"), u" 6");

  f.control.OpenUrl(u16(server.url("/b.gif")));
  EXPECT_EQ(f.control.contentType(), u" image/gif");
  EXPECT_EQ(f.control.CharSet(), u"utf-8");  // left as it was
  EXPECT_EQ(f.control.HTMLcode(), u"");
  EXPECT_TRUE(f.owner.saved.ends_with("GIF89a"));

  // A character split between two arrivals is read whole.
  f.owner.saved.clear();
  f.control.OpenUrl(u16(server.url("/c.htm")));
  EXPECT_EQ(f.owner.saved, gbk);
  EXPECT_EQ(f.control.HTMLcode(), u"中文");
}

// What a page's text is read in: the response's charset, else its <meta>,
// else its byte-order mark, else UTF-8 when its bytes are UTF-8, else GBK.
TEST(HtmlFetch, PageCharset) {
  const std::string utf8 = "\xe6\x96\x87", gbk = "\xce\xc4";  // 文
  struct Case {
    const char* what;
    std::string contentType, body;
    std::u16string text;
  } cases[] = {
      {"header", "text/html; charset=UTF-8", utf8, u"文"},
      {"header wins over the bytes", "text/html; charset=gbk", gbk, u"文"},
      {"meta charset", "text/html", "<meta charset='utf-8'>" + utf8, u"<meta charset='utf-8'>文"},
      {"meta http-equiv", "text/html", "<meta http-equiv=Content-Type content='text/html; charset=gb2312'>" + gbk,
       u"<meta http-equiv=Content-Type content='text/html; charset=gb2312'>文"},
      {"byte-order mark", "text/html", "\xef\xbb\xbf" + utf8, u"文"},
      {"valid UTF-8", "text/html", "<p>" + utf8, u"<p>文"},
      {"anything else is GBK", "text/html", "<p>" + gbk, u"<p>文"},
  };
  for (const Case& c : cases) {
    ScriptedHttpServer server(patterns::oneWrite(c.body, {"Content-Type: " + c.contentType}));
    Fetch f;
    f.control.OpenUrl(u16(server.url("/p.html")));
    EXPECT_EQ(f.control.HTMLcode(), c.text) << c.what;
  }
}

TEST(HtmlFetch, IpCacheMessages) {
  ScriptedHttpServer server(patterns::oneWrite("x"));
  Fetch f;
  f.control.OpenUrl(u16(server.url("/1")));
  ASSERT_FALSE(f.owner.events.empty());
  EXPECT_EQ(f.owner.events.front(), "ShowState 进入缓存");
  f.owner.events.clear();
  f.control.OpenUrl(u16(server.url("/2")));
  ASSERT_GE(f.owner.events.size(), 3u);
  EXPECT_EQ(f.owner.events[0], "ShowState 查询IP成功");  // before the connect
  EXPECT_EQ(f.owner.events[1], "ShowState 查询IP成功");  // when connected
  EXPECT_EQ(f.owner.events[2], "ShowState 接收到数据");
  EXPECT_EQ(std::count(f.owner.events.begin(), f.owner.events.end(), "ShowState 进入缓存"), 0);
}

TEST(HtmlFetch, PortsOutsideOneToSixtyFiveThousandFailBeforeAnythingIsSent) {
  ScriptedHttpServer server(patterns::oneWrite("x"));
  const std::string ok = std::to_string(server.port());
  struct Case {
    std::string hostPort;
    int32_t Port;
    com::HResult want;
  } cases[] = {
      {"127.0.0.1", 0, com::kOverflow},      {"127.0.0.1", 65536, com::kOverflow},
      {"127.0.0.1", -80, com::kOverflow},    {"127.0.0.1:0", 80, com::kOverflow},
      {"127.0.0.1:65536", 80, com::kOverflow}, {"127.0.0.1:8a", 80, com::kOverflow},
      {"127.0.0.1:", 80, com::kOverflow},    {"127.0.0.1:" + ok, 70000, com::kOk},
  };
  Fetch f;
  for (const Case& c : cases) {
    f.owner.events.clear();
    f.control.setPort(c.Port);
    EXPECT_EQ(f.control.OpenUrl(u16("http://" + c.hostPort + "/x")), c.want) << c.hostPort;
    if (c.want != com::kOk) {
      EXPECT_TRUE(f.owner.events.empty()) << c.hostPort;
    }
  }
  ASSERT_TRUE(server.waitForFinished(1));
  EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(HtmlFetch, SilenceEndsAfterWaitTimeUsingAlmostNoCpu) {
  ScriptedHttpServer server(patterns::silence());
  Fetch f;
  f.control.setWaitTime(3);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  f.control.OpenUrl(u16(server.url("/")));
  const auto took = std::chrono::steady_clock::now() - start;
  getrusage(RUSAGE_SELF, &after);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  const double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                     seconds(before.ru_stime);
  std::printf("cpu over %.2f s of waiting: %.4f s\n", std::chrono::duration<double>(took).count(), cpu);
  EXPECT_GE(took, 3s);
  EXPECT_LT(took, 4s);
  EXPECT_LT(cpu, 0.1);
  EXPECT_EQ(f.owner.events.back(), "ShowState 数据接收超时");
  EXPECT_FALSE(f.control.lastFetchComplete());
  EXPECT_TRUE(f.control.isFirstResponse());
}

// How long each kind of slow or broken server holds a fetch, with WaitTime 1.
TEST(HtmlFetch, TimeLimits) {
  struct Case {
    const char* name;
    Script script;
    bool listening;
    std::chrono::milliseconds atLeast, below;
    std::string lastEvent;
    bool complete;
  } cases[] = {
      // Thirty bytes over three seconds, never a second apart: the limit restarts at each arrival.
      {"steady", patterns::smallWrites(std::string(30, 'b'), 3, 300ms), true, 2500ms, 4s, "ShowState 数据取回完成", true},
      {"dripping", patterns::smallWrites(std::string(100, 'b'), 1, 200ms), true, 8s, 9500ms,
       "ShowState 数据接收超时", false},
      // A refusal is reported and ends the fetch at once, with the connect
      // failure's own line after the socket error's.
      {"refused", patterns::silence(), false, 0ms, 500ms, "ShowState 连接服务器时间过长", false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.script);
    Fetch f;
    f.control.setWaitTime(1);
    const auto start = std::chrono::steady_clock::now();
    f.control.OpenUrl(c.listening ? u16(server.url("/")) : u"http://127.0.0.1:1/");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, c.atLeast);
    EXPECT_LT(took, c.below);
    EXPECT_EQ(withoutErrorWording(f.owner.events).back(), c.lastEvent);
    if (!c.listening) {
      ASSERT_GE(f.owner.events.size(), 2u);
      EXPECT_EQ(withoutErrorWording(f.owner.events).end()[-2], "ShowState wskError:");
    }
    EXPECT_EQ(f.control.lastFetchComplete(), c.complete);
    EXPECT_TRUE(f.control.isFirstResponse());
  }
}

TEST(HtmlFetch, EndlessHeaderIsBounded) {
  ScriptedHttpServer server(patterns::endlessHeader());
  Fetch f;
  f.control.setWaitTime(2);
  f.control.OpenUrl(u16(server.url("/")));
  EXPECT_LE(f.control.reHeader().size(), kHeaderLimit);
  EXPECT_EQ(f.control.Status(), u"200");
  EXPECT_FALSE(f.control.lastFetchComplete());
  EXPECT_TRUE(f.control.getHtmlCodeIsOver());
}

// The scripted client: connection reuse and the retry on no buffer space.
struct ScriptedFetch {
  harbek::testing::CheckedLoop loop;
  Recorder owner;
  FakeTcpClient* wsk = nullptr;
  std::unique_ptr<html> control;
  ScriptedFetch() {
    auto client = std::make_unique<FakeTcpClient>(*loop);
    wsk = client.get();
    control = std::make_unique<html>(*loop, owner, std::move(client));
    // Every request is answered at once.
    wsk->onSend = [this] { loop->post([this] { wsk->arrive("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"); }); };
  }
};

TEST(HtmlFetch, OpenConnectionReusedOnlyForTheSameHostAndPort) {
  ScriptedFetch f;
  f.control->OpenUrl(u"http://a.test/1");
  EXPECT_EQ(f.wsk->connects, (std::vector<std::string>{"a.test:80"}));
  struct Case {
    std::u16string url;
    std::vector<std::string> connects;
  } cases[] = {
      {u"http://a.test/2", {"a.test:80"}},                    // same host and port: used as it is
      {u"http://b.test/3", {"a.test:80", "b.test:80"}},       // another host
      {u"http://b.test:81/4", {"a.test:80", "b.test:80", "b.test:81"}},  // another port
  };
  for (const Case& c : cases) {
    f.wsk->state_ = net::SocketState::kConnected;  // as if left open
    f.control->OpenUrl(c.url);
    EXPECT_EQ(f.wsk->connects, c.connects) << text::toUtf8(c.url);
    EXPECT_TRUE(f.control->lastFetchComplete());
  }
  EXPECT_EQ(f.wsk->sent.size(), 4u);
}

TEST(HtmlFetch, NoBufferSpaceRetriesWithAPauseUntilConnectedOrCancelled) {
  ScriptedFetch f;
  f.wsk->connectResults = {net::kWsaNoBufferSpace, net::kWsaNoBufferSpace};
  auto start = std::chrono::steady_clock::now();
  f.control->OpenUrl(u"http://a.test/");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(f.wsk->connects.size(), 3u);
  EXPECT_EQ(std::count(f.owner.events.begin(), f.owner.events.end(), "ShowState WSK_ERR:10055重新连接"), 2);
  EXPECT_TRUE(f.control->lastFetchComplete());

  f.wsk->connectResults.assign(1000, net::kWsaNoBufferSpace);
  f.loop->addTimer(1500ms, false, [&] { f.control->Cancel(); });
  start = std::chrono::steady_clock::now();
  f.control->OpenUrl(u"http://b.test/");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
  EXPECT_EQ(f.wsk->connects.size(), 5u);
  EXPECT_EQ(f.wsk->sent.size(), 1u);
  EXPECT_FALSE(f.control->lastFetchComplete());
}

TEST(HtmlFetch, CancelEndsTheConnectWait) {
  ScriptedFetch f;
  f.control->setWaitTime(10);
  f.wsk->connectResults = {11001};  // host not found: otherwise the wait would run out
  f.loop->addTimer(200ms, false, [&] { f.control->Cancel(); });
  const auto start = std::chrono::steady_clock::now();
  f.control->OpenUrl(u"http://nowhere.test/");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(f.wsk->sent.empty());
}

TEST(HtmlFetch, CancelFromAHandlerEndsTheFetch) {
  ScriptedFetch f;
  f.wsk->onSend = [&] {
    f.loop->post([&] { f.wsk->arrive("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"); });
  };
  f.owner.onState = [&](const std::u16string& s) {
    if (s == u"接收到数据") f.control->Cancel();
  };
  f.control->OpenUrl(u"http://a.test/");
  EXPECT_TRUE(f.control->getHtmlCodeIsOver());
  EXPECT_FALSE(f.control->lastFetchComplete());
  EXPECT_EQ(f.owner.saved, "abc");  // the step goes on after the handler returns
}

TEST(HtmlFetch, RealServerBytesEqualTheFiles) {
  harbek::testing::TempDir root;
  std::string binary;
  for (int i = 0; i < 200000; ++i) binary += static_cast<char>((i * 7919) >> 3);
  const std::string page = "<html><body><a href=\"Mixed/Case.HTML\">\xd6\xd0</a></body></html>";
  root.write("Index.html", page);
  root.write("Mixed/Case.HTML", "upper");
  root.write("mixed/case.html", "lower");
  root.write("data.bin", binary);
  harbek::testing::NginxServer nginx(root.path());
  ASSERT_TRUE(nginx.running()) << nginx.error();

  struct Case {
    std::string path, want;
  } cases[] = {{"/Index.html", page}, {"/data.bin", binary}, {"/Mixed/Case.HTML", "upper"}};
  Fetch f;
  for (const Case& c : cases) {
    f.owner.saved.clear();
    ASSERT_EQ(f.control.OpenUrl(u16(nginx.url(c.path))), com::kOk);
    EXPECT_EQ(f.control.Status(), u"200") << c.path;
    EXPECT_TRUE(f.control.lastFetchComplete()) << c.path;
    EXPECT_TRUE(f.owner.saved == c.want) << c.path << ": " << f.owner.saved.size() << " bytes";
  }
  f.control.OpenUrl(u16(nginx.url("/Index.html")));
  EXPECT_EQ(f.control.HTMLcode(), text::fromCodePage(page));
  // The link found on the page keeps its case and fetches the right file.
  ASSERT_EQ(f.control.SearchTag(u"a", u"href,innerhtml", true), com::kOk);
  ASSERT_EQ(f.owner.tags.size(), 1u);
  const std::u16string link = f.owner.tags[0].second.substr(0, f.owner.tags[0].second.find(u','));
  f.owner.saved.clear();
  f.control.OpenUrl(link);
  EXPECT_EQ(f.owner.saved, "upper");
}

// Two fetches in a row with keep-alive: how many connections the server saw,
// what each request said, and whether both fetches came back whole.
TEST(HtmlKeepAlive, ConnectionReuseByFraming) {
  using harbek::testing::httpResponse;
  const std::string one = httpResponse(200, "one"), two = httpResponse(200, "two");
  const std::string chunkedOne = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\none\r\n0\r\n\r\n";
  struct Case {
    const char* name;
    std::vector<Script> scripts;
    size_t connections;
  } cases[] = {
      {"Content-Length", {Script().awaitRequest().write(one).awaitRequest().write(two).silence()}, 1},
      {"chunked", {Script().awaitRequest().write(chunkedOne).awaitRequest().write(two).silence()}, 1},
      {"stated length 0",
       {Script().awaitRequest().write(httpResponse(200, "") + "").awaitRequest().write(two).silence()}, 1},
      {"304 without a body",
       {Script().awaitRequest().write("HTTP/1.1 304 Not Modified\r\n\r\n").awaitRequest().write(two).silence()}, 1},
      // The end is the close: the next request needs a new connection.
      {"no length", {Script().awaitRequest().write(httpResponse(200, "one", {}, false)).close(),
                     Script().awaitRequest().write(two).silence()}, 2},
      {"server says close", {Script().awaitRequest().write(httpResponse(200, "one", {"Connection: close"})).silence(),
                             Script().awaitRequest().write(two).silence()}, 2},
      {"HTTP/1.0 without keep-alive", {Script().awaitRequest().write("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\none").silence(),
                                       Script().awaitRequest().write(two).silence()}, 2},
      // The kept connection takes the second request and closes unanswered:
      // the request goes once more on a fresh connection.
      {"stale reuse, closed", {Script().awaitRequest().write(one).awaitRequest().close(),
                               Script().awaitRequest().write(two).silence()}, 2},
      {"stale reuse, reset", {Script().awaitRequest().write(one).awaitRequest().reset(),
                              Script().awaitRequest().write(two).silence()}, 2},
      {"extra bytes after the body", {Script().awaitRequest().write(one + "junk").silence(),
                                      Script().awaitRequest().write(two).silence()}, 2},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.scripts);
    Fetch f;
    f.control.setWaitTime(3);
    f.control.setKeepAlive(true);
    std::vector<bool> complete;
    for (const char* path : {"/a", "/b"}) {
      f.owner.saved.clear();
      const auto start = std::chrono::steady_clock::now();
      ASSERT_EQ(f.control.OpenUrl(u16(server.url(path))), com::kOk);
      EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << path;
      complete.push_back(f.control.lastFetchComplete());
    }
    EXPECT_EQ(f.owner.saved, "two");
    EXPECT_EQ(complete, (std::vector<bool>{true, true}));
    EXPECT_EQ(server.connectionCount(), c.connections);
    EXPECT_EQ(f.control.reusedConnections(), c.connections == 1 || std::string(c.name).starts_with("stale") ? 1 : 0);
    for (const std::string& r : server.requests()) {
      EXPECT_EQ(r.find("Connection: close"), std::string::npos);
      EXPECT_NE(r.find("GET /"), std::string::npos);
    }
    EXPECT_EQ(std::count(f.owner.events.begin(), f.owner.events.end(), "ShowState wskError:"), 0);
  }
}

// A kept connection left idle is closed by the control after kIdleLimit; the
// next fetch connects afresh.
TEST(HtmlKeepAlive, IdleConnectionIsClosed) {
  using harbek::testing::httpResponse;
  ScriptedHttpServer server(Script().awaitRequest().write(httpResponse(200, "one")).awaitRequest().write(
      httpResponse(200, "two")));
  Fetch f;
  f.control.setKeepAlive(true);
  ASSERT_EQ(f.control.OpenUrl(u16(server.url("/a"))), com::kOk);
  // The server's side ends its script (the client closed) once the limit is up.
  const auto until = std::chrono::steady_clock::now() + html::kIdleLimit + 2s;
  while (!server.waitForFinished(1, 10ms) && std::chrono::steady_clock::now() < until) f.loop->pumpOnce(50ms);
  EXPECT_TRUE(server.waitForFinished(1, 10ms));
  EXPECT_EQ(f.loop->timerCount(), 0u);
  ASSERT_EQ(f.control.OpenUrl(u16(server.url("/b"))), com::kOk);
  EXPECT_TRUE(f.control.lastFetchComplete());
  EXPECT_EQ(server.connectionCount(), 2u);
}

// With two connections the control fetches ahead on the second: each
// response is then read, when its OpenUrl comes, as the control's own (same
// events, same completeness), whatever framing ended it, and no request goes
// twice. A kept connection that went stale is replaced once.
TEST(HtmlPrefetch, ResponsesFetchedAheadAreReadAsTheirOwn) {
  using harbek::testing::httpResponse;
  const std::string one = httpResponse(200, "one"), two = httpResponse(200, "two");
  const std::string chunkedOne = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\no\r\n2\r\nne\r\n0\r\n\r\n";
  struct Case {
    const char* name;
    std::vector<Script> scripts;
    size_t connections;
    size_t requests;
  } cases[] = {
      {"Content-Length", {Script().awaitRequest().write(one).awaitRequest().write(two).silence()}, 1, 2},
      {"chunked", {Script().awaitRequest().write(chunkedOne).awaitRequest().write(two).silence()}, 1, 2},
      {"no length: the close ends it",
       {Script().awaitRequest().write(httpResponse(200, "one", {}, false)).close(),
        Script().awaitRequest().write(two).silence()}, 2, 2},
      {"server says close",
       {Script().awaitRequest().write(httpResponse(200, "one", {"Connection: close"})).silence(),
        Script().awaitRequest().write(two).silence()}, 2, 2},
      {"stale reuse", {Script().awaitRequest().write(one).awaitRequest().close(),
                       Script().awaitRequest().write(two).silence()}, 2, 3},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.scripts);
    Fetch f;
    f.control.setWaitTime(3);
    f.control.setConnections(2);
    std::vector<std::string> bodies;
    std::vector<bool> complete;
    for (const char* path : {"/a", "/b"}) {
      f.owner.saved.clear();
      f.owner.events.clear();
      f.control.prefetch({u16(server.url(path))});
      ASSERT_EQ(f.control.OpenUrl(u16(server.url(path))), com::kOk);
      bodies.push_back(f.owner.saved);
      complete.push_back(f.control.lastFetchComplete());
      ASSERT_FALSE(f.owner.events.empty());
      EXPECT_EQ(f.owner.events.front(), "ShowState 接收到数据") << path;
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(complete, (std::vector<bool>{true, true}));
    EXPECT_EQ(f.control.prefetchesTaken(), 2);
    EXPECT_EQ(server.connectionCount(), c.connections);
    size_t requests = 0;
    for (const std::string& r : server.requests()) {
      for (size_t at = r.find("GET /"); at != std::string::npos; at = r.find("GET /", at + 1)) ++requests;
    }
    EXPECT_EQ(requests, c.requests);
  }
}

}  // namespace
}  // namespace harbek::fetcher
