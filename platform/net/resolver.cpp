#include "platform/net/resolver.h"

#include <ares.h>

#include <cstring>
#include <mutex>

#include "platform/net/socket_errors.h"

namespace harbek::net {
namespace {

// A lookup that hangs (no name server answers) ends after a few seconds
// rather than the minute c-ares would spend by default.
constexpr int kTimeoutMs = 2000;
constexpr int kTries = 2;

void initLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { ares_library_init(ARES_LIB_INIT_ALL); });
}

}  // namespace

struct Resolver::Request {
  Resolver* resolver;
  uint64_t generation;
};

Resolver::Resolver(event::EventLoop& loop, std::string nameServers)
    : loop_(loop), nameServers_(std::move(nameServers)) {
  initLibrary();
}

Resolver::~Resolver() {
  *alive_ = false;
  cancel();
}

void Resolver::lookup(const std::string& host, Done done) {
  cancel();
  ares_options options{};
  options.sock_state_cb = &Resolver::sockStateChanged;
  options.sock_state_cb_data = this;
  options.timeout = kTimeoutMs;
  options.tries = kTries;
  int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
  sockaddr_in none{};
  ares_channel channel = nullptr;
  int status = ares_init_options(&channel, &options, mask);
  if (status == ARES_SUCCESS && !nameServers_.empty())
    status = ares_set_servers_ports_csv(channel, nameServers_.c_str());
  done_ = std::move(done);
  if (status != ARES_SUCCESS) {
    if (channel) ares_destroy(channel);
    finish(wsaFromAres(status), none);
    return;
  }
  channel_ = channel;
  ares_addrinfo_hints hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ares_getaddrinfo(channel_, host.c_str(), nullptr, &hints, &Resolver::lookupDone,
                   new Request{this, ++generation_});
  scheduleTimeout();
}

void Resolver::cancel() {
  // Callbacks that ares_destroy() raises for the lookup under way belong to
  // an old generation and are ignored; so is a result already posted.
  ++generation_;
  destroyChannel();
  done_ = nullptr;
}

void Resolver::destroyChannel() {
  if (timer_) loop_.cancelTimer(timer_);
  timer_ = 0;
  if (channel_) {
    ares_channel channel = channel_;
    channel_ = nullptr;
    ares_destroy(channel);
  }
  for (const auto& [fd, watch] : watches_) loop_.removeWatch(watch);
  watches_.clear();
}

void Resolver::sockStateChanged(void* data, int fd, int readable, int writable) {
  auto* self = static_cast<Resolver*>(data);
  auto it = self->watches_.find(fd);
  if (!readable && !writable) {
    if (it != self->watches_.end()) {
      self->loop_.removeWatch(it->second);
      self->watches_.erase(it);
    }
    return;
  }
  unsigned events = (readable ? event::kReadable : 0u) | (writable ? event::kWritable : 0u);
  if (it != self->watches_.end()) {
    self->loop_.updateWatch(it->second, events);
    return;
  }
  self->watches_[fd] = self->loop_.watchFd(fd, events, [self, fd](unsigned ready) {
    // An error is read by c-ares as a failed read of that socket.
    int readFd = (ready & (event::kReadable | event::kError)) ? fd : ARES_SOCKET_BAD;
    int writeFd = (ready & event::kWritable) ? fd : ARES_SOCKET_BAD;
    self->process(readFd, writeFd);
  });
}

void Resolver::process(int readFd, int writeFd) {
  if (!channel_) return;
  ares_process_fd(channel_, readFd, writeFd);
  scheduleTimeout();
}

void Resolver::scheduleTimeout() {
  if (timer_) loop_.cancelTimer(timer_);
  timer_ = 0;
  if (!channel_) return;
  timeval tv{};
  if (!ares_timeout(channel_, nullptr, &tv)) return;
  auto wait = std::chrono::milliseconds(tv.tv_sec * 1000 + (tv.tv_usec + 999) / 1000);
  timer_ = loop_.addTimer(wait, false, [this] {
    timer_ = 0;
    process(ARES_SOCKET_BAD, ARES_SOCKET_BAD);
  });
}

void Resolver::lookupDone(void* arg, int status, int, ares_addrinfo* result) {
  std::unique_ptr<Request> request(static_cast<Request*>(arg));
  Resolver* self = request->resolver;
  sockaddr_in address{};
  int32_t error = 0;
  if (status != ARES_SUCCESS) {
    error = wsaFromAres(status);
  } else {
    error = kWsaHostNotFound;
    for (ares_addrinfo_node* node = result ? result->nodes : nullptr; node; node = node->ai_next) {
      if (node->ai_family == AF_INET && node->ai_addrlen >= sizeof address) {
        std::memcpy(&address, node->ai_addr, sizeof address);
        address.sin_port = 0;
        error = 0;
        break;
      }
    }
  }
  if (result) ares_freeaddrinfo(result);
  if (request->generation != self->generation_) return;
  self->finish(error, address);
}

void Resolver::finish(int32_t error, const sockaddr_in& address) {
  uint64_t generation = generation_;
  loop_.post([this, alive = alive_, generation, error, address] {
    if (!*alive || generation != generation_) return;
    destroyChannel();
    Done done = std::move(done_);
    done_ = nullptr;
    if (done) done(error, address);
  });
}

}  // namespace harbek::net
