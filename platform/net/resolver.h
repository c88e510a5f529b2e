// Asynchronous name lookup over the event loop, with c-ares.
//
// c-ares tells us through its socket-state callback which of its sockets to
// watch; those become fd watches of the loop, and its retransmission time-outs
// a loop timer. A lookup's result is always handed over from a posted task,
// never from inside c-ares: its callback can run inside ares_getaddrinfo()
// itself (names in /etc/hosts) or inside ares_process_fd(), and neither is a
// place to call back a caller who may close or destroy everything.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/event/event_loop.h"

struct ares_channeldata;
struct ares_addrinfo;

namespace harbek::net {

class Resolver {
 public:
  // error is 0 on success (then address holds the first IPv4 address and
  // port 0), else a Windows Sockets number.
  using Done = std::function<void(int32_t error, const sockaddr_in& address)>;

  Resolver(event::EventLoop& loop, std::string nameServers);
  ~Resolver();
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;

  // Starts looking host up, cancelling a lookup under way. done runs from a
  // later pump of the loop, unless cancel() (or the destructor) comes first.
  void lookup(const std::string& host, Done done);
  void cancel();
  bool busy() const { return channel_ != nullptr; }

 private:
  struct Request;
  static void sockStateChanged(void* data, int fd, int readable, int writable);
  static void lookupDone(void* arg, int status, int timeouts, ares_addrinfo* result);

  void process(int readFd, int writeFd);
  void scheduleTimeout();
  void destroyChannel();
  void finish(int32_t error, const sockaddr_in& address);

  event::EventLoop& loop_;
  std::string nameServers_;
  ares_channeldata* channel_ = nullptr;
  std::map<int, event::WatchId> watches_;
  event::TimerId timer_ = 0;
  uint64_t generation_ = 0;
  Done done_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace harbek::net
