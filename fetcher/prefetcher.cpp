#include "fetcher/prefetcher.h"

#include <algorithm>

namespace harbek::fetcher {

using namespace std::chrono_literals;

struct Prefetcher::Connection {
  std::unique_ptr<net::TcpClient> socket;
  bool tls = false;  // the socket is a TLS one
  std::string site;  // where it leads once connected
  Exchange* exchange = nullptr;
  event::TimerId idleTimer = 0;
};

struct Prefetcher::Exchange {
  enum class Phase { kWaiting, kRunning, kDone, kFailed };
  explicit Exchange(Request r) : request(std::move(r)), key(request.key()) {}
  Request request;
  std::string key;
  Phase phase = Phase::kWaiting;
  Connection* connection = nullptr;
  std::string raw;  // the response as it came
  ResponseReader reader;
  ResponseHead head;
  bool headerEnded = false;
  int64_t body = 0;       // body bytes, framing taken off
  bool reused = false;    // sent over a connection that served before
  bool retried = false;   // sent once more after a stale reuse
  bool endedByClose = false;
  Clock::time_point started;
  Clock::time_point lastArrival;
};

Prefetcher::Prefetcher(event::EventLoop& loop, size_t connections, net::TcpClientOptions tcp, net::TlsOptions tls)
    : loop_(loop), tcp_(std::move(tcp)), tls_(std::move(tls)) {
  for (size_t i = 0; i < connections; ++i) connections_.push_back(std::make_unique<Connection>());
}

Prefetcher::~Prefetcher() {
  for (event::TimerId t : {turnTimer_, checkTimer_, startTimer_}) {
    if (t) loop_.cancelTimer(t);
  }
  for (auto& c : connections_) {
    if (c->idleTimer) loop_.cancelTimer(c->idleTimer);
    if (c->socket) {
      c->socket->setHandlers({});
      c->socket->close();
    }
  }
}

void Prefetcher::setTlsOptions(const net::TlsOptions& tls) {
  if (tls.verify == tls_.verify && tls.caFile == tls_.caFile) return;
  tls_ = tls;
  dropAll();
  // Connections made under the old checks are not used again.
  for (auto& c : connections_) {
    if (c->tls) close(*c);
  }
}

Prefetcher::Exchange* Prefetcher::find(const std::string& key) const {
  for (const auto& e : exchanges_) {
    if (e->key == key) return e.get();
  }
  return nullptr;
}

void Prefetcher::want(std::vector<Request> requests) {
  std::vector<std::unique_ptr<Exchange>> next;
  for (Request& r : requests) {
    const std::string key = r.key();
    auto it = std::find_if(exchanges_.begin(), exchanges_.end(), [&](const auto& e) { return e && e->key == key; });
    if (it != exchanges_.end()) {
      next.push_back(std::move(*it));
    } else if (std::none_of(next.begin(), next.end(), [&](const auto& e) { return e->key == key; })) {
      next.push_back(std::make_unique<Exchange>(std::move(r)));
    }
  }
  for (auto& old : exchanges_) {
    if (old && old->connection) {
      Connection& c = *old->connection;
      c.exchange = nullptr;
      close(c);
    }
  }
  exchanges_ = std::move(next);
  startWaiting();
}

void Prefetcher::dropAll() { want({}); }

Prefetcher::State Prefetcher::state(const std::string& key) const {
  const Exchange* e = find(key);
  if (!e) return State::kNone;
  if (e->phase == Exchange::Phase::kRunning) return State::kRunning;
  return e->phase == Exchange::Phase::kDone ? State::kDone : State::kNone;
}

std::optional<Prefetcher::Response> Prefetcher::take(const std::string& key) {
  auto it = std::find_if(exchanges_.begin(), exchanges_.end(), [&](const auto& e) { return e->key == key; });
  if (it == exchanges_.end()) return std::nullopt;
  std::unique_ptr<Exchange> e = std::move(*it);
  exchanges_.erase(it);
  if (e->connection) {
    // Still running: the caller fetches it itself, so it must not arrive twice.
    e->connection->exchange = nullptr;
    close(*e->connection);
  }
  if (e->phase != Exchange::Phase::kDone) return std::nullopt;
  ++taken_;
  return Response{std::move(e->raw), e->endedByClose};
}

void Prefetcher::started(const std::string& site, const std::u16string& url) {
  lastStart_[site] = Clock::now();
  lastStarted_ = url;
}

Prefetcher::Clock::duration Prefetcher::untilTurn(const std::string& site) const {
  const auto it = lastStart_.find(site);
  if (it == lastStart_.end() || interval_.count() <= 0) return Clock::duration::zero();
  return std::max(Clock::duration::zero(), it->second + interval_ - Clock::now());
}

size_t Prefetcher::running() const {
  return static_cast<size_t>(std::count_if(exchanges_.begin(), exchanges_.end(),
                                           [](const auto& e) { return e->phase == Exchange::Phase::kRunning; }));
}

// Later, outside any notification: starting may replace a connection's
// socket, which must not happen inside that socket's own notification.
void Prefetcher::scheduleStart() {
  if (startTimer_) return;
  startTimer_ = loop_.addTimer(0ms, false, [this] {
    startTimer_ = 0;
    startWaiting();
  });
}

void Prefetcher::startWaiting() {
  Clock::duration soonest = Clock::duration::max();
  for (auto& e : exchanges_) {
    if (e->phase != Exchange::Phase::kWaiting) continue;
    const Clock::duration wait = untilTurn(e->request.site());
    if (wait > Clock::duration::zero()) {
      soonest = std::min(soonest, wait);
      continue;
    }
    if (!start(*e)) break;  // no connection free
  }
  if (soonest != Clock::duration::max() && !turnTimer_) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(soonest) + 1ms;
    turnTimer_ = loop_.addTimer(ms, false, [this] {
      turnTimer_ = 0;
      startWaiting();
    });
  }
}

bool Prefetcher::start(Exchange& e) {
  Connection* chosen = nullptr;
  // A kept connection to the same site first, then any free one.
  for (auto& c : connections_) {
    if (!c->exchange && c->socket && c->tls == e.request.tls && c->site == e.request.site() &&
        c->socket->state() == net::SocketState::kConnected) {
      chosen = c.get();
      break;
    }
  }
  const bool reuse = chosen != nullptr;
  if (!chosen) {
    for (auto& c : connections_) {
      if (!c->exchange) {
        chosen = c.get();
        break;
      }
    }
  }
  if (!chosen) return false;
  e.phase = Exchange::Phase::kRunning;
  e.connection = chosen;
  e.started = e.lastArrival = Clock::now();
  chosen->exchange = &e;
  started(e.request.site(), e.request.url);
  armChecks();
  if (reuse) {
    ++reused_;
    e.reused = true;
    if (chosen->idleTimer) loop_.cancelTimer(chosen->idleTimer);
    chosen->idleTimer = 0;
    send(*chosen);
  } else {
    connectFor(*chosen, e);
  }
  return true;
}

void Prefetcher::connectFor(Connection& c, Exchange& e) {
  e.reused = false;
  if (c.idleTimer) loop_.cancelTimer(c.idleTimer);
  c.idleTimer = 0;
  if (!c.socket || c.tls != e.request.tls) {
    if (c.socket) {
      c.socket->setHandlers({});
      c.socket->close();
    }
    if (e.request.tls) {
      net::TcpClientOptions transport = tcp_;
      transport.noDelay = true;
      c.socket = net::makeTlsClient(loop_, net::makeTcpClient(loop_, transport), tls_);
    } else {
      c.socket = net::makeTcpClient(loop_, tcp_);
    }
    c.tls = e.request.tls;
    net::TcpClient::Handlers handlers;
    handlers.connected = [this, &c] { send(c); };
    handlers.dataArrival = [this, &c](int32_t) { onData(c); };
    handlers.closed = [this, &c] { onEnd(c, true); };
    handlers.error = [this, &c](int32_t, const std::string&) { onEnd(c, false); };
    c.socket->setHandlers(std::move(handlers));
  }
  if (e.request.tls) static_cast<net::TlsClient&>(*c.socket).setServerName(e.request.serverName);
  c.site = e.request.site();
  if (c.socket->connect(e.request.connectTo, e.request.port) != 0) fail(e);
}

void Prefetcher::send(Connection& c) {
  if (!c.exchange) return;
  Exchange& e = *c.exchange;
  e.reader.start();
  e.raw.clear();
  e.headerEnded = false;
  e.body = 0;
  e.lastArrival = Clock::now();
  if (c.socket->send(e.request.bytes) != 0) onEnd(c, false);
}

void Prefetcher::onData(Connection& c) {
  if (!c.exchange) {
    close(c);  // bytes no request asked for: the connection serves no other
    return;
  }
  Exchange& e = *c.exchange;
  const std::string arrival = c.socket->takeAll();
  e.lastArrival = Clock::now();
  e.raw += arrival;
  if (e.raw.size() > kHoldLimit) {
    fail(e);
    return;
  }
  Bytes body;
  if (!e.headerEnded) {
    bool bodyFollowed = false;
    switch (e.reader.feedHeader(arrival, body, bodyFollowed)) {
      case ResponseReader::HeaderState::kPending:
        return;
      case ResponseReader::HeaderState::kTooLong:
        fail(e);
        return;
      case ResponseReader::HeaderState::kEnded:
        e.headerEnded = true;
        e.head = e.reader.head();
        if (e.head.lengthStated && static_cast<size_t>(e.head.htmlLen) > kHoldLimit) {
          fail(e);  // too large to hold: fetched in its turn, without waiting for the body
          return;
        }
        if (e.head.noBody || (e.head.lengthStated && e.head.htmlLen == 0 && !e.head.chunked)) {
          complete(e, false, e.head.keepAlive && !bodyFollowed);
          return;
        }
        break;
    }
  } else {
    body = e.reader.readMore(arrival);
  }
  e.body += static_cast<int64_t>(body.size());
  if (e.reader.chunked()) {
    if (e.reader.chunkedEnded()) complete(e, false, e.head.keepAlive && e.reader.chunkedComplete() && !e.reader.chunkedOverran());
  } else if (e.head.lengthStated && e.body >= e.head.htmlLen) {
    complete(e, false, e.head.keepAlive && e.body == e.head.htmlLen);
  }
  // Otherwise the body goes on, or the server's close ends it.
}

void Prefetcher::onEnd(Connection& c, bool closedByPeer) {
  if (!c.exchange) {
    close(c);  // a kept connection the server closed while idle
    return;
  }
  Exchange& e = *c.exchange;
  if (e.raw.empty() && e.reused && !e.retried) {
    // The kept connection had gone stale: once more on a fresh one.
    e.retried = true;
    c.socket->close();
    connectFor(c, e);
    return;
  }
  if (closedByPeer && e.headerEnded && !e.reader.chunked() && !e.head.lengthStated) {
    complete(e, true, false);
    return;
  }
  fail(e);
}

void Prefetcher::complete(Exchange& e, bool endedByClose, bool keepConnection) {
  e.phase = Exchange::Phase::kDone;
  e.endedByClose = endedByClose;
  Connection& c = *e.connection;
  e.connection = nullptr;
  c.exchange = nullptr;
  release(c, keepConnection);
  scheduleStart();
}

void Prefetcher::fail(Exchange& e) {
  e.phase = Exchange::Phase::kFailed;
  std::string().swap(e.raw);
  if (e.connection) {
    Connection& c = *e.connection;
    e.connection = nullptr;
    c.exchange = nullptr;
    close(c);
  }
  scheduleStart();
}

void Prefetcher::release(Connection& c, bool keep) {
  if (!keep) {
    close(c);
    return;
  }
  c.idleTimer = loop_.addTimer(kIdleLimit, false, [this, &c] {
    c.idleTimer = 0;
    if (!c.exchange) close(c);
  });
}

void Prefetcher::close(Connection& c) {
  if (c.idleTimer) loop_.cancelTimer(c.idleTimer);
  c.idleTimer = 0;
  if (c.socket) c.socket->close();
  c.site.clear();
}

// While anything runs, its time limits are looked at once a second.
void Prefetcher::armChecks() {
  if (checkTimer_) return;
  checkTimer_ = loop_.addTimer(1s, true, [this] { checkTimes(); });
}

void Prefetcher::checkTimes() {
  const Clock::time_point now = Clock::now();
  const auto receiveLimit = std::chrono::seconds(waitSeconds_);
  bool anyRunning = false;
  for (auto& e : exchanges_) {
    if (e->phase != Exchange::Phase::kRunning) continue;
    if (now - e->lastArrival > receiveLimit || now - e->started > receiveLimit * kOverallLimitFactor) {
      fail(*e);
    } else {
      anyRunning = true;
    }
  }
  if (!anyRunning) {
    loop_.cancelTimer(checkTimer_);
    checkTimer_ = 0;
  }
}

}  // namespace harbek::fetcher
