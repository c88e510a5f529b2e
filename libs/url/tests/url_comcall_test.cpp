#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/tests/comcall_case.h"
#include "platform/shell/tests/recording_opener.h"

namespace harbek::url {
namespace {

using harbek::testing::runComcall;

TEST(UrlComcall, CallsEachComponentFromTheShell) {
  const testing::ComcallCase cases[] = {
      {{"vornet.WebUrl", "rightUrl", "http://site/news/list.html", "../d.html"}, 0, "http://site/d.html\n", ""},
      {{"{93230451-C2DF-4170-B76B-CF301AA382C8}", "rightUrl", "site/news/", "c.html#sec"}, 0, "http://site/news/c.html\n", ""},
      {{"corvin.WebUrl", "rightUrl", "site/news/", "c.html#sec"}, 0, "http://site/news/c.html#sec\n", ""},
      {{"vornet.WebUrl", "rightUrl", "http://site/news/list.html", "JavaScript:void(0)"}, 0, "\n", ""},
      {{"vornet.WebUrl", "gethost", "HTTP://SITE:81/a/b"}, 0, "site:81\n", ""},
      {{"{FBE47733-097B-457E-9717-D2D2FF962432}", "fullUrl", "page_https.html"}, 0, "-1\n", ""},
      {{"vornet.WebUrl", "fullUrl", "HTTP://X"}, 0, "0\n", ""},
      {{"vornet.WebUrl", "getPort", "http://site/x.html"}, 0, "80\n", ""},
      {{"corvin.WebUrl", "getPort", "http://site:8080/x.html"}, 0, "8080\n", ""},
      {{"vornet.WebUrl", "getPort", "site:8080"}, 1, "", "error 0x800A0005"},
      {{"vornet.WebUrl", "URLEncode", "中 a"}, 0, "%D6%D0%20a\n", ""},
      {{"vornet.WebUrl", "setHttp", "x", "+", "noJin", "a#b", "+", "nohttp", "HTTP://a//b"}, 0, "http://x\na\na/b\n", ""},
      {{"vornet.WebUrl", "noJin", "a", "+", "getPort", "site:", "+", "noJin", "b"}, 1, "a\n", "0x800A0005"},
      {{"corvin.WebUrl", "noJin", "x"}, 2, "", ""},
      {{"routa.url", "gethost", "x"}, 2, "", ""},
  };
  for (const auto& c : cases) expectComcall(c);
}

TEST(UrlComcall, GotoUrlReachesTheOpenerByteForByte) {
  shell::testing::RecordingOpener opener;
  const std::string url = "http://site/a b.html?x=1&y=2;z=$HOME`id`\"q\"'s'|\xE4\xB8\xAD";
  for (const char* component :
       {"routa.url", "{641E9EFD-25CB-42F1-8F6C-C49EBC000FB7}", "vornet.WebUrl", "corvin.WebUrl"}) {
    auto r = runComcall({component, "GotoURL", url});
    EXPECT_EQ(r.exitCode, 0) << component << r.err;
    EXPECT_EQ(r.out, "0\n") << component;
    EXPECT_EQ(opener.nextCall(), "1:" + url) << component;
  }
  setenv("HARBEK_URL_OPENER", "/nonexistent/opener", 1);
  auto r = runComcall({"routa.url", "GotoURL", url});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "0\n");
}

}  // namespace
}  // namespace harbek::url
