// The page fetcher control html.
//
// html fetches one resource at a time over HTTP/1.1 on its own TCP
// connection and hands everything it receives to its owner as events; it
// writes no file itself. The owner (the crawl controller) sets HTMLcode to "",
// calls OpenUrl, which returns only when the fetch is over, and then calls
// SearchTag to have the page's elements reported one by one.
//
// There is one thread. OpenUrl waits by pumping the event loop it was given,
// so the TCP client's notifications (and with them ReadData, Cancel and the
// events they raise) run nested inside OpenUrl, as does any other work of the
// loop, the owner's own included. Events are raised synchronously: the step
// that raises one goes on only after the owner's handler has returned.
//
// A fetch: iniUrl splits the URL into host and request path; ConnectHost
// connects (by the address the IP cache holds for the host, when it holds
// one); MakeHeader builds the one request shape the control sends; each
// arrival goes through ResponseReader, the first one yielding the header
// fields; the fetch ends when the body is complete, when the server closes the
// connection, on a socket error, on Cancel, or when a time limit runs out:
//   - the connect limit: WaitTime seconds without a connection;
//   - the receive limit: WaitTime seconds without any data, counted afresh at
//     each arrival;
//   - the overall limit: 8 x WaitTime seconds from the request (two minutes
//     at the default 15), so a server dripping a byte now and then cannot
//     hold the crawl for ever. It scales with WaitTime so that an owner who
//     allows slow servers more time allows big bodies more time as well.
// Whether the body arrived whole is told by lastFetchComplete().
//
// An https URL is fetched in the same way over TLS (net::TlsClient, made on
// the first https fetch): the request and the reading of the response are
// the same; the connect limit covers the handshake, and a failed handshake or
// certificate ends the fetch at once with its reason. host and fileName are
// those of the http URL with the same host, port, path and query, so the page
// is saved where the http one would be.
//
// Keep-alive (setKeepAlive): requests leave out "Connection: close", and a
// response that ends by its Content-Length or its last chunk, from a server
// that did not ask to close, leaves its connection open for the next fetch to
// the same host and port. A kept connection that fails before the first byte
// of its response (the server closed it meanwhile) is given up and the
// request sent once more on a fresh one; one left idle for kIdleLimit is
// closed. Without keep-alive every fetch has a connection of its own.
//
// More connections (setConnections): the owner names the URLs it will ask
// for next (prefetch), and a Prefetcher (prefetcher.h) sends their requests
// on connections of its own while OpenUrl serves the current one. OpenUrl for
// a request fetched ahead waits for its response if it is still coming and
// reads it as it reads its own socket's bytes; the events, the page text and
// every property are then those of an ordinary fetch over a kept connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fetcher/html_properties.h"
#include "fetcher/prefetcher.h"
#include "fetcher/response_reader.h"
#include "fetcher/tag_scanner.h"
#include "libs/text/totextor_interface.h"
#include "libs/url/web_url_interface.h"
#include "platform/component/unknown.h"
#include "platform/event/event_loop.h"
#include "platform/net/tcp_client.h"
#include "platform/net/tls_client.h"
#include "platform/text/page_charset.h"

namespace harbek::fetcher {

// The owner's side: the six events, in their declaration order. Handlers not
// overridden ignore the event.
class HtmlEvents {
 public:
  virtual ~HtmlEvents() = default;
  virtual void SaveFile(const std::u16string& /*fileName*/, const Bytes& /*Data*/, int32_t /*CurrLen*/) {}
  virtual void Progress(int32_t /*CurrLen*/, int32_t /*allLen*/) {}
  virtual void tagProgress(int32_t /*CurrLen*/, int32_t /*allLen*/) {}
  // Part of the owner's interface; the control itself never raises it.
  virtual void Error(const std::u16string& /*errDis*/) {}
  virtual void ShowState(const std::u16string& /*State*/) {}
  virtual void GetTag(const std::u16string& /*TagName*/, const std::u16string& /*TagDis*/) {}
};

class html : public HtmlProperties {
 public:
  // The overall limit of a fetch, in multiples of WaitTime.
  static constexpr int kOverallLimitFactor = 8;
  // At most this many bytes of a page are read as its text (HTMLcode).
  static constexpr size_t kScanLimit = size_t{16} << 20;

  // connections: how both the http and the https connections are made (name
  // servers, for a loopback resolver in tests).
  html(event::EventLoop& loop, HtmlEvents& owner, const net::TcpClientOptions& connections = {});
  // With a TCP client of the caller's choosing (tests script one).
  html(event::EventLoop& loop, HtmlEvents& owner, std::unique_ptr<net::TcpClient> socket);
  ~html();
  html(const html&) = delete;
  // The default User-Agent line's value.
  static constexpr char16_t kUserAgent[] = u"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)";
  html& operator=(const html&) = delete;

  // Runs one whole fetch of an absolute "http://" or "https://" URL and
  // returns when it is over. A failed connection, a time-out or a broken response are not
  // errors of the call (they are reported as ShowState texts); the result is
  // kOverflow when the port (of the URL, else Port, or for https the https
  // port) is not 1..65535, kInvalidArgument for an https URL without a host
  // or with a bad port (nothing is connected or sent in either case), or the
  // code of a URL component that could not be created.
  com::HResult OpenUrl(const std::u16string& address);
  // Sets url, host and fileName from the URL.
  com::HResult iniUrl(const std::u16string& address);
  // Ends the running fetch, a connect wait included; safe to call when none runs.
  void Cancel();
  // True when the last OpenUrl received a whole response: a header ended by
  // its blank line, then all Content-Length bytes, the last chunk of a
  // chunked body, or, for a body of unstated length, everything up to the
  // server's orderly close. False after a time-out, a socket error, a Cancel,
  // an early close, a header that never ended or a failed connect: whatever
  // SaveFile delivered then is only part of the resource, and the owner
  // should not keep it as the page.
  bool lastFetchComplete() const { return complete_; }
  // The status code of the last OpenUrl's response; empty when no header
  // came (Status itself keeps an earlier response's value then).
  std::u16string responseStatus() const { return headerTaken_ ? Status_ : std::u16string(); }

  // The Location header of the last response with its letter case kept
  // (Location itself is lower-cased, as the whole header is), spaces around
  // it dropped; empty when there is none.
  std::u16string locationKeepCase() const;
  // Any header of the last response so, by its name (ETag, Last-Modified).
  std::u16string headerKeepCase(std::u16string_view name) const;

  // The charset the last page's text was read in (see page_charset.h).
  text::Charset pageCharset() const { return pageCharset_; }

  // How the links GetTag, ReValue and RpVALUE report are made absolute: by
  // default by the URL rules (url::resolveLinkKeepCase); a crawl asks for
  // the browser's way instead (url::crawlLink: dot segments resolved, the
  // result in the form it is requested in).
  void setBrowserLinks(bool on) { browserLinks_ = on; }
  // What the browser's way resolves the page's links against, when it is
  // not the page's URL (a <base href>); empty: the URL. Cleared by OpenUrl.
  void setLinkBase(std::u16string base) { linkBase_ = std::move(base); }
  // A saved copy of the page or style sheet at url, read as if it had just
  // come (an update's 304): its text and charset, for the scans that follow.
  void loadSaved(Bytes bytes, bool styleSheet);
  // The text of the last response when it was a style sheet (text/css).
  const std::u16string& styleSheet() const { return styleSheet_; }

  // The User-Agent line's value; empty restores kUserAgent.
  void setUserAgent(const std::u16string& userAgent);
  // Validators of a saved copy for the requests that follow: each one set
  // adds its line ("If-None-Match", "If-Modified-Since"); empty ones none.
  void setConditions(std::u16string etag, std::u16string lastModified) {
    ifNoneMatch_ = std::move(etag);
    ifModifiedSince_ = std::move(lastModified);
  }
  // How https fetches check certificates; takes effect at the next https
  // fetch (sessions kept so far are dropped when the options change).
  void setTlsOptions(const net::TlsOptions& options);
  // Keep connections for the next fetch (see the top of this file).
  void setKeepAlive(bool on) { keepAlive_ = on; }
  // How long a kept connection may stay idle.
  static constexpr std::chrono::seconds kIdleLimit{4};
  // Fetches of this control that went over a kept connection.
  int64_t reusedConnections() const { return reuseCount_; }

  // Up to this many requests at once: with more than one, the URLs given
  // to prefetch are fetched ahead and connections are kept (keep-alive).
  void setConnections(int connections);
  // The URLs the owner asks for next, in order (see prefetcher.h).
  void prefetch(const std::vector<std::u16string>& addresses);
  // Whatever was fetched ahead is dropped.
  void dropPrefetches();
  // The least time between two request starts to one site, with more than
  // one connection (with one, the owner's timer spaces the fetches).
  void setRequestInterval(std::chrono::milliseconds interval);
  // Requests under way (this control's and those fetched ahead), and the URL
  // of the one that started last.
  int inFlight() const;
  std::u16string lastStarted() const;
  // Responses fetched ahead that an OpenUrl took.
  int64_t prefetchesTaken() const { return prefetcher_ ? prefetcher_->taken() : 0; }

  // The port an https URL without one connects to (443).
  void setHttpsPort(uint16_t port) { httpsPort_ = port; }

  // The value of a header of the last response (after its colon, up to CR LF).
  std::u16string GetHeader(std::u16string_view Hname) const;
  static std::u16string strGet(std::u16string_view s, std::u16string_view str1, std::u16string_view str2) {
    return fetcher::strGet(s, str1, str2);
  }

  // Raises GetTag for every element of TagName in HTMLcode (see
  // tag_scanner.h), with the values of the attributes named in Pro. Refused,
  // with a ShowState text, while a fetch is still collecting text. Fails only
  // when the text component that "innerhtml"/"innertext" need cannot be made.
  com::HResult SearchTag(std::u16string_view TagName, std::u16string_view Pro, bool IsEndTag);
  std::u16string ReValue(std::u16string_view s, std::u16string_view p);
  std::u16string RpVALUE(std::u16string_view s, std::u16string_view PV);

 private:
  using Clock = std::chrono::steady_clock;
  // Where a fetch connects: the host without its port suffix, and the port.
  struct Target {
    std::u16string name;
    uint16_t port = 0;
    bool tls = false;
    friend bool operator==(const Target&, const Target&) = default;
  };
  // A URL as a request sees it: the Host line's value and the path.
  struct Split {
    std::u16string host;
    std::u16string fileName;
    bool https = false;
  };

  com::HResult splitUrl(const std::u16string& address, Split& out);
  com::HResult target(const Split& split, Target& out) const;
  // What the prefetcher would send for this request (header: its text).
  Prefetcher::Request prefetchRequest(const Split& split, const Target& to, const std::u16string& header) const;
  bool takePrefetched(const std::string& key);
  void waitForTurn(const std::string& site);
  bool ConnectHost(const Target& to);
  // The current fetch's transport.
  net::TcpClient& transport() { return https_ ? tlsClient() : *socket_; }
  net::TlsClient& tlsClient();
  net::TcpClient::Handlers handlers();
  bool pauseBeforeRetry(Clock::time_point firstAttempt);
  std::u16string MakeHeader(const Split& split, const std::u16string& cookie) const;
  void ReadData(int32_t bytesTotal);
  void takeArrival(Bytes arrival);
  void takeHead(bool ended);
  void takePiece(Bytes piece, bool first);
  void keepText(const Bytes& piece, bool first);
  // HTMLcode (or the style sheet's text) from the bytes, in their charset.
  void decodePage(bool styleSheet);
  // What Cancel does, for the fetch's own ends (complete, closed, error).
  void endFetch();
  // The end of a whole response: the connection is kept when it may be.
  void endResponse();
  // A kept connection is dropped without a word (idle, or closed by the
  // server while idle).
  void dropKept();
  // The server closed a kept connection, or it failed, before any of the
  // response came: the request goes again on a fresh one.
  bool staleReuse() const { return keepAlive_ && reused_ && !arrived_ && !cancelled_ && !retried_; }
  bool idle() const { return keepAlive_ && getHtmlCodeIsOver_ && !inFetch_; }
  void onClosed();
  // The server's close ends the response (a body of unstated length).
  void serverClosed();
  void onError(int32_t number, const std::string& description);
  std::u16string FindIP(std::u16string_view h);
  std::u16string cachedIP(std::u16string_view h) const;
  void SaveIP(const std::u16string& address, const std::u16string& h);
  void ShowMsg(const std::u16string& s);

  bool ranOut(Clock::time_point start, int factor = 1) const;
  com::HResult ensureWebUrl();
  com::HResult ensureTextor();
  std::u16string urlText() const;
  ValueServices valueServices();

  event::EventLoop& loop_;
  HtmlEvents& owner_;
  std::unique_ptr<net::TcpClient> socket_;
  // The https transport, made on the first https fetch.
  std::unique_ptr<net::TlsClient> tls_;
  net::TlsOptions tlsOptions_;
  net::TcpClientOptions connections_;
  uint16_t httpsPort_ = 443;
  bool https_ = false;  // the current fetch's URL is https
  std::u16string userAgent_ = kUserAgent;
  std::u16string ifNoneMatch_;
  std::u16string ifModifiedSince_;
  com::ComPtr<url::IWebUrl> webUrl_;
  com::ComPtr<textor::ITotextor> textor_;

  ResponseReader reader_;
  // The page's bytes while it is fetched, and what its text is read in.
  Bytes pageBytes_;
  std::string responseCharset_;  // the Content-Type's charset label
  text::Charset pageCharset_ = text::Charset::kCodePage;
  bool browserLinks_ = false;
  std::u16string linkBase_;
  std::u16string styleSheet_;
  int64_t recvLen_ = 0;
  bool complete_ = false;
  bool headerEnded_ = false;
  bool headerPending_ = false;  // arrivals have come, their header has not ended
  bool headerTaken_ = false;    // this fetch's header fields are in
  bool cancelled_ = false;  // by the owner, during this OpenUrl
  bool keepAlive_ = false;
  bool inFetch_ = false;    // between OpenUrl's request and its end
  bool reused_ = false;     // this fetch's request went over a kept connection
  bool arrived_ = false;    // a byte of this fetch's response came
  bool retried_ = false;    // this fetch was already sent again
  bool retryFresh_ = false; // the kept connection failed: send again
  bool reusable_ = false;   // the response lets its connection be kept
  bool bodyless_ = false;   // the response's header is all of it
  int64_t reuseCount_ = 0;
  event::TimerId idleTimer_ = 0;
  Clock::time_point lastArrival_;
  // Where the socket was last sent to connect: a connection is only reused
  // for the same host and port.
  Target socketTarget_;

  std::unique_ptr<Prefetcher> prefetcher_;
  int connectionCount_ = 1;
  std::chrono::milliseconds requestInterval_{0};
  bool replaying_ = false;  // reading a response fetched ahead

  // The IP cache: entry i of one list belongs to entry i of the other.
  std::vector<std::u16string> cacheHost_;
  std::vector<std::u16string> cacheIP_;
};

}  // namespace harbek::fetcher
