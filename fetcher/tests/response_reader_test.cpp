#include "fetcher/response_reader.h"

#include <gtest/gtest.h>

#include <random>

namespace harbek::fetcher {
namespace {

TEST(StrGet, KeyAnywhereIgnoringCaseEndMarkFromKey) {
  struct Case {
    std::u16string s, key, end, want;
  } cases[] = {
      {u"a: 1\r\nB: two\r\n", u"b:", u"\r\n", u" two"},
      {u"x-content-length: 9\r\ncontent-length: 5\r\n", u"content-length:", u"\r\n", u" 9"},
      {u"Location: /x", u"location:", u"\r\n", u""},  // no end mark
      {u"nothing", u"key:", u"\r\n", u""},
      {u"abc", u"abc", u"b", u""},  // end mark inside the key
      {u"KEY:v;", u"key:", u";", u"v"},
  };
  for (const Case& c : cases) EXPECT_EQ(strGet(c.s, c.key, c.end), c.want) << text::toUtf8(c.s);
}

// The header is collected across arrivals up to its blank line, which counts
// from the sixth byte on; what follows it is body.
TEST(ResponseReader, HeaderAcrossArrivals) {
  using State = ResponseReader::HeaderState;
  struct Case {
    std::vector<std::string> arrivals;
    State state;  // after the last arrival
    std::u16string Status;
    std::string body;
  } cases[] = {
      {{"HTTP/1.1 200 OK\r\n\r\nbody"}, State::kEnded, u"200", "body"},
      {{"HTTP/1.1 200 OK\r\n\r\n"}, State::kEnded, u"200", ""},
      {{"HTTP/1.1 200 OK\r\n", "Content-Length: 2\r\n\r\nab"}, State::kEnded, u"200", "ab"},
      {{"HTTP/1.1 404 Not", " Found\r\n\r", "\n", "xy"}, State::kEnded, u"404", ""},
      {{"HTTP/1.1 200 OK\r\n\r", "\nbody"}, State::kEnded, u"200", "body"},
      {{"\r\n\r\nab"}, State::kPending, u"", ""},  // the blank line at 0 does not count
      {{"\r\n\r\n\r\nxy"}, State::kEnded, u"", "xy"},
      {{"no blank line"}, State::kPending, u"lin", ""},
      {{std::string(kHeaderLimit - 1, 'h'), "h\r\n\r\n"}, State::kTooLong, u"hhh", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arrivals.front().substr(0, 30));
    ResponseReader r;
    r.start();
    State state = State::kPending;
    std::string body;
    for (const std::string& a : c.arrivals) {
      Bytes piece;
      bool followed = false;
      state = state == State::kEnded ? State::kEnded : r.feedHeader(a, piece, followed);
      body += piece;
    }
    EXPECT_EQ(state, c.state);
    EXPECT_EQ(r.head().Status, c.Status);
    EXPECT_EQ(body, c.body);
  }
}

TEST(ParseHead, FieldsOfTheLowerCasedHeader) {
  struct Case {
    std::u16string header, Status, contentType;
    std::optional<std::u16string> CharSet;
    std::u16string Location;
    int32_t htmlLen;
    bool chunked;
  } cases[] = {
      {u"http/1.1 200 ok\r\ncontent-type: text/html; charset=utf-8\r\ncontent-length: 12\r\n\r\n", u"200",
       u" text/html", u"utf-8", u"", 12, false},
      {u"http/1.1 302 found\r\nlocation: /a.htm\r\n\r\n", u"302", u"", std::nullopt, u" /a.htm", 0, false},
      {u"http/1.1 200 ok\r\ncontent-type: a; charset=b; charset=c\r\n\r\n", u"200", u" a", u"b", u"", 0, false},
      {u"http/1.1 200 ok\r\ntransfer-encoding: chunked\r\n\r\n", u"200", u"", std::nullopt, u"", 0, true},
      {u"http/1.1 200 ok\r\ncontent-length: 99999999999\r\n\r\n", u"200", u"", std::nullopt, u"", 0, false},
      {u"http/1.1 200 ok\r\ncontent-length: x5\r\n\r\n", u"200", u"", std::nullopt, u"", 0, false},
      {u"http/1.1 200 ok\r\ncontent-length: \t 2147483647\r\n\r\n", u"200", u"", std::nullopt, u"", 2147483647,
       false},
      {u"http/1.1 2", u"2", u"", std::nullopt, u"", 0, false},
      {u"short", u"", u"", std::nullopt, u"", 0, false},
      // Names match whole at the start of a line only.
      {u"http/1.1 200 ok\r\nx-content-length: 9\r\ncontent-length: 5\r\nx-location: /no\r\n\r\n", u"200", u"",
       std::nullopt, u"", 5, false},
      {u"http/1.1 200 ok\r\ncontent-typex: text/html\r\n\r\n", u"200", u"", std::nullopt, u"", 0, false},
  };
  for (const Case& c : cases) {
    ResponseHead h = parseHead(c.header);
    SCOPED_TRACE(text::toUtf8(c.header));
    EXPECT_EQ(h.Status, c.Status);
    EXPECT_EQ(h.contentType, c.contentType);
    EXPECT_EQ(h.CharSet, c.CharSet);
    EXPECT_EQ(h.Location, c.Location);
    EXPECT_EQ(h.htmlLen, c.htmlLen);
    EXPECT_EQ(h.chunked, c.chunked);
  }
}

// Feeds the stream in pieces of every size from 1 to its length.
TEST(ChunkDecoder, DecodesWhateverTheSplit) {
  struct Case {
    std::string stream, body;
    bool finished, failed;
  } cases[] = {
      {"5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", "hello world", true, false},
      {"A;ext=1\r\n0123456789\r\n0\r\nX-Trailer: t\r\n\r\ntail", "0123456789", true, false},
      {"3\nabc\n0\n\n", "abc", true, false},  // bare LF line ends
      {"5\r\nhel", "hel", false, false},      // not over yet
      {"zz\r\nabc", "", false, true},         // no size
      {"3\r\nabcX\r\n", "abc", false, true},  // data longer than its size
      {"ffffffffffffffff\r\n", "", false, true},
      {"0\r\n" + std::string(5000, 't'), "", false, true},  // a trailer line without end
  };
  for (const Case& c : cases) {
    for (size_t piece = 1; piece <= c.stream.size(); ++piece) {
      ChunkDecoder d;
      Bytes out;
      for (size_t at = 0; at < c.stream.size(); at += piece) d.feed(std::string_view(c.stream).substr(at, piece), out);
      SCOPED_TRACE(c.stream.substr(0, 40) + " piece " + std::to_string(piece));
      EXPECT_EQ(out, c.body);
      EXPECT_EQ(d.finished(), c.finished);
      EXPECT_EQ(d.failed(), c.failed);
    }
  }
}

// Random and hostile arrivals: nothing crashes, and what the reader holds
// stays bounded by the limits, not by the input.
TEST(ResponseReader, SurvivesRandomArrivals) {
  std::mt19937 rng(5);
  const std::string alphabet = "\r\n0123456789abcdefABCDEF;: HTTP/1.1chunkedtransfer-encoding\xff\x80";
  for (int round = 0; round < 300; ++round) {
    ResponseReader r;
    size_t delivered = 0, fed = 0;
    for (int arrival = 0; arrival < 20; ++arrival) {
      std::string bytes(rng() % 3000, '\0');
      for (char& c : bytes) c = alphabet[rng() % alphabet.size()];
      if (round % 3 == 0) bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + bytes;
      fed += bytes.size();
      if (arrival == 0 || rng() % 7 == 0) {
        r.start();
        Bytes body;
        bool followed = false;
        r.feedHeader(bytes, body, followed);
        EXPECT_LE(r.head().reHeader.size(), kHeaderLimit);
        delivered += body.size();
      } else {
        delivered += r.readMore(bytes).size();
      }
    }
    EXPECT_LE(delivered, fed);
  }
}

}  // namespace
}  // namespace harbek::fetcher
