// The TCP client over an event loop (the poll loop, or the window mode's Qt
// adapter): a non-blocking socket driven by the loop's descriptor watches.
//
// One socket, one loop watch. Every notification is raised from a loop
// handler (a watch, or a task posted for results known at once), and after
// each one the client checks that it still exists and was not closed (the
// handler may have done either) before it goes on. Read bytes are kept until
// taken; reading pauses only when an enormous amount is pending, so nothing
// is ever dropped and memory stays bounded.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/net/resolver.h"
#include "platform/net/socket_errors.h"
#include "platform/net/tcp_client.h"

namespace harbek::net {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// One arrival reads at most this much, so a fast peer cannot hold the loop
// and a large page does not pass through memory in large pieces.
constexpr size_t kMaxArrival = 256 * 1024;
// Reading stops while this much is pending, and resumes once bytes are taken.
constexpr size_t kMaxPending = 16 * 1024 * 1024;

// Errors about local resources are reported by connect() at once; everything
// else about the peer arrives as a notification.
bool isLocalShortage(int32_t number) { return number == kWsaNoBufferSpace || number == kWsaTooManySockets; }

class EventLoopTcpClient final : public TcpClient {
 public:
  EventLoopTcpClient(event::EventLoop& loop, const TcpClientOptions& options)
      : loop_(loop), resolver_(loop, options.nameServers), noDelay_(options.noDelay) {}

  ~EventLoopTcpClient() override {
    *alive_ = false;
    close();
  }

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  SocketState state() const override { return state_; }

  int32_t connect(const std::string& host, uint16_t port) override {
    if (state_ != SocketState::kClosed) close();
    port_ = port;
    sockaddr_in address{};
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return startConnect(address);
    state_ = SocketState::kResolving;
    uint64_t session = session_;
    resolver_.lookup(host, [this, session](int32_t error, const sockaddr_in& found) {
      if (session != session_) return;
      if (error) return fail(error);
      int32_t immediate = startConnect(found);
      if (immediate) fail(immediate);
    });
    return 0;
  }

  void close() override {
    ++session_;  // anything posted for the old socket is now stale
    resolver_.cancel();
    if (watch_) loop_.removeWatch(watch_);
    watch_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
    taken_ = 0;
    outbox_.clear();
    remoteIp_.clear();
    state_ = SocketState::kClosed;
  }

  int32_t send(const std::string& bytes) override {
    if (state_ != SocketState::kConnected && state_ != SocketState::kClosing) return kWsaNotConnected;
    outbox_ += bytes;
    flush();
    return 0;
  }

  int takeByte() override {
    if (taken_ >= pending_.size()) return -1;
    int byte = static_cast<unsigned char>(pending_[taken_++]);
    afterTake();
    return byte;
  }

  std::string takeAll() override {
    // Bytes taken whole leave without a copy.
    std::string bytes = taken_ == 0 ? std::move(pending_) : pending_.substr(taken_);
    pending_.clear();
    taken_ = 0;
    afterTake();
    return bytes;
  }

  int32_t pendingBytes() const override { return static_cast<int32_t>(pending_.size() - taken_); }

  std::string remoteIp() const override {
    if (state_ != SocketState::kConnected && state_ != SocketState::kClosing) return "";
    return remoteIp_;
  }

 private:
  int32_t startConnect(sockaddr_in address) {
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return immediateOrLater(wsaFromErrno(errno));
    if (noDelay_) {
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
      int32_t number = wsaFromErrno(errno);
      ::close(fd);
      return immediateOrLater(number);
    }
    fd_ = fd;
    state_ = SocketState::kConnecting;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    remoteIp_ = text;
    watch_ = loop_.watchFd(fd_, event::kWritable, [this](unsigned ready) { onReady(ready); });
    return 0;
  }

  int32_t immediateOrLater(int32_t number) {
    if (isLocalShortage(number)) {
      state_ = SocketState::kClosed;
      return number;
    }
    state_ = SocketState::kConnecting;
    uint64_t session = session_;
    loop_.post([this, alive = alive_, session, number] {
      if (*alive && session == session_) fail(number);
    });
    return 0;
  }

  void onReady(unsigned ready) {
    if (state_ == SocketState::kConnecting) return finishConnect();
    if (ready & event::kWritable) {
      flush();
      if (fd_ < 0 || state_ == SocketState::kError) return;
    }
    // After the end of the stream only sending is left to do.
    if ((ready & (event::kReadable | event::kError)) && state_ == SocketState::kConnected) readArrival();
  }

  void finishConnect() {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err) return fail(wsaFromErrno(err));
    state_ = SocketState::kConnected;
    updateInterest();
    notify([this] {
      if (handlers_.connected) handlers_.connected();
    });
  }

  // Reads what the socket holds (up to one arrival's worth), then announces
  // it, then the end of the stream or the error that followed it.
  void readArrival() {
    size_t got = 0;
    int err = 0;
    bool atEnd = false;
    while (got < kMaxArrival && pending_.size() < kMaxPending) {
      // Read into the scratch buffer, not the string: growing a string
      // by a chunk would first fill the chunk with zeros.
      ssize_t n = ::recv(fd_, readBuffer_.get(), kReadChunk, 0);
      if (n > 0) {
        pending_.append(readBuffer_.get(), static_cast<size_t>(n));
        got += static_cast<size_t>(n);
        continue;
      }
      if (n == 0) atEnd = true;
      else if (errno == EINTR) continue;
      else if (errno != EAGAIN && errno != EWOULDBLOCK) err = errno;
      break;
    }
    if (got > 0 && !notify([this] {
          if (handlers_.dataArrival) handlers_.dataArrival(pendingBytes());
        }))
      return;
    if (err) return fail(wsaFromErrno(err));
    if (atEnd) {
      state_ = SocketState::kClosing;
      updateInterest();
      notify([this] {
        if (handlers_.closed) handlers_.closed();
      });
      return;
    }
    updateInterest();
  }

  void flush() {
    while (!outbox_.empty() && fd_ >= 0) {
      ssize_t n = ::send(fd_, outbox_.data(), outbox_.size(), MSG_NOSIGNAL);
      if (n > 0) {
        outbox_.erase(0, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        // Reported from the loop, never from inside send().
        int32_t number = wsaFromErrno(errno);
        outbox_.clear();
        uint64_t session = session_;
        loop_.post([this, alive = alive_, session, number] {
          if (*alive && session == session_ && state_ != SocketState::kError) fail(number);
        });
      }
      break;
    }
    updateInterest();
  }

  void afterTake() {
    if (taken_ == pending_.size()) {
      pending_.clear();
      taken_ = 0;
    }
    updateInterest();
  }

  // What the watch asks for: the connect's end; else writable while bytes
  // wait to be sent, readable until the end of the stream unless too much is
  // pending.
  void updateInterest() {
    if (!watch_) return;
    unsigned events = 0;
    if (state_ == SocketState::kConnecting) {
      events = event::kWritable;
    } else {
      if (!outbox_.empty()) events |= event::kWritable;
      if (state_ == SocketState::kConnected && pendingBytes() < static_cast<int32_t>(kMaxPending))
        events |= event::kReadable;
    }
    loop_.updateWatch(watch_, events);
  }

  // The socket is useless after an error: it is released at once, the state
  // stays kError until close() or a new connect().
  void fail(int32_t number) {
    if (watch_) loop_.removeWatch(watch_);
    watch_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    outbox_.clear();
    remoteIp_.clear();
    state_ = SocketState::kError;
    notify([this, number] {
      if (handlers_.error) handlers_.error(number, wsaDescription(number));
    });
  }

  // Runs a handler; false when the client was destroyed or closed meanwhile.
  template <typename Fn>
  bool notify(Fn&& fn) {
    std::shared_ptr<bool> alive = alive_;
    uint64_t session = session_;
    fn();
    return *alive && session == session_;
  }

  event::EventLoop& loop_;
  Resolver resolver_;
  bool noDelay_;
  Handlers handlers_;
  SocketState state_ = SocketState::kClosed;
  uint16_t port_ = 0;
  int fd_ = -1;
  event::WatchId watch_ = 0;
  std::unique_ptr<char[]> readBuffer_{new char[kReadChunk]};
  std::string pending_;
  size_t taken_ = 0;  // pending_ before this offset is already taken
  std::string outbox_;
  std::string remoteIp_;
  uint64_t session_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

std::unique_ptr<TcpClient> makeTcpClient(event::EventLoop& loop) { return makeTcpClient(loop, {}); }

std::unique_ptr<TcpClient> makeTcpClient(event::EventLoop& loop, const TcpClientOptions& options) {
  return std::make_unique<EventLoopTcpClient>(loop, options);
}

}  // namespace harbek::net
