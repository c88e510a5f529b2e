// Fetching ahead on connections of their own (--connections N).
//
// The crawl settles its queue one URL at a time, in queue order, whatever N
// is; what runs N at once is the network. While the control fetches the
// queue's head, the prefetcher sends the requests of the next URLs the crawl
// will ask for (up to N - 1 of them) on connections of its own, and keeps each
// response as it came off the wire, header and framing included, until the
// control's OpenUrl for the same request takes it and reads it exactly as it
// reads the bytes of its own socket. So a page is scanned, saved and logged
// when its turn comes, by the one code path every fetch takes.
//
// A prefetch that fails, runs out of time or grows beyond kHoldLimit is given
// up without a word and its connection closed: its URL is then fetched the
// ordinary way in its turn, with every message that fetch gives. Nothing is
// written anywhere before a response's turn, so a kill loses only what is held
// here, and the queue (and its journal) still holds those URLs.
//
// Connections are kept for the next request to the same host and port,
// whatever the server's framing (a stated length, chunks; a response that
// ends with the close, or a server that asks to close, ends its connection).
// A kept connection that fails before the first byte of its response is
// replaced and the request sent once more; one left idle for kIdleLimit is
// closed. Two requests to one site (host and port) start at least the
// interval apart, the control's own requests counted (started()).
//
// Time limits are the control's: a prefetch that receives nothing for
// WaitTime seconds, or runs longer than kOverallLimitFactor times that, is
// given up.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fetcher/response_reader.h"
#include "platform/event/event_loop.h"
#include "platform/net/tcp_client.h"
#include "platform/net/tls_client.h"

namespace harbek::fetcher {

class Prefetcher {
 public:
  using Clock = std::chrono::steady_clock;
  // A response above this many bytes is given up (and fetched in its turn,
  // so a file that large is asked for twice; once only when its header
  // states its length): what is held stays small, whatever a site serves.
  static constexpr size_t kHoldLimit = size_t{2} << 20;
  static constexpr std::chrono::seconds kIdleLimit{4};
  static constexpr int kOverallLimitFactor = 8;

  // One request, as the control would send it.
  struct Request {
    std::string connectTo;   // host name or address
    std::string serverName;  // the certificate's name (https)
    uint16_t port = 0;
    bool tls = false;
    std::string bytes;  // the request itself
    std::u16string url;  // what it fetches, shown while it runs
    // What OpenUrl matches: where it goes and what it asks.
    std::string key() const { return (tls ? "s " : "p ") + serverName + ":" + std::to_string(port) + " " + bytes; }
    std::string site() const { return serverName + ":" + std::to_string(port); }
  };
  // A response taken: its bytes as they came, and whether the server's close
  // ended it (a body of unstated length).
  struct Response {
    std::string bytes;
    bool endedByClose = false;
  };
  enum class State { kNone, kRunning, kDone };

  // connections: how many requests may run at once.
  Prefetcher(event::EventLoop& loop, size_t connections, net::TcpClientOptions tcp, net::TlsOptions tls);
  ~Prefetcher();
  Prefetcher(const Prefetcher&) = delete;
  Prefetcher& operator=(const Prefetcher&) = delete;

  // The requests the crawl asks for next, in order: those not held or running
  // yet start as connections come free; those held or running that are not
  // wanted any more are dropped.
  void want(std::vector<Request> requests);
  // Everything held or running goes ("停止", closing).
  void dropAll();
  State state(const std::string& key) const;
  // The response held for key, which is then no longer held.
  std::optional<Response> take(const std::string& key);
  // A request starts now to site for url: the control's own, or one of
  // these (for the interval, and for what the window shows).
  void started(const std::string& site, const std::u16string& url);
  // How long a request to site must wait for its turn (zero: none).
  Clock::duration untilTurn(const std::string& site) const;

  void setInterval(std::chrono::milliseconds interval) { interval_ = interval; }
  void setWaitTime(int32_t seconds) { waitSeconds_ = seconds; }
  void setTlsOptions(const net::TlsOptions& tls);

  size_t running() const;
  // The URL of the request that started last; empty before the first.
  const std::u16string& lastStarted() const { return lastStarted_; }
  // Responses taken so far, and connections that served a second request.
  int64_t taken() const { return taken_; }
  int64_t reusedConnections() const { return reused_; }

 private:
  struct Connection;
  struct Exchange;

  void scheduleStart();
  void startWaiting();
  bool start(Exchange& e);
  void connectFor(Connection& c, Exchange& e);
  void send(Connection& c);
  void onData(Connection& c);
  void onEnd(Connection& c, bool closedByPeer);
  void complete(Exchange& e, bool endedByClose, bool keepConnection);
  void fail(Exchange& e);
  void release(Connection& c, bool keep);
  void close(Connection& c);
  void armChecks();
  void checkTimes();
  Exchange* find(const std::string& key) const;

  event::EventLoop& loop_;
  net::TcpClientOptions tcp_;
  net::TlsOptions tls_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::unique_ptr<Exchange>> exchanges_;  // wanted, in order
  std::map<std::string, Clock::time_point> lastStart_;  // per site
  std::chrono::milliseconds interval_{0};
  int32_t waitSeconds_ = 15;
  event::TimerId turnTimer_ = 0;
  event::TimerId checkTimer_ = 0;
  event::TimerId startTimer_ = 0;
  std::u16string lastStarted_;
  int64_t taken_ = 0;
  int64_t reused_ = 0;
};

}  // namespace harbek::fetcher
