#include "tests/support/fake_name_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace harbek::testing {

FakeNameServer::FakeNameServer(std::map<std::string, std::string> names, bool silent)
    : names_(std::move(names)), silent_(silent) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &len) == 0)
    port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

FakeNameServer::~FakeNameServer() {
  stop_ = true;
  thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

std::string FakeNameServer::address() const { return "127.0.0.1:" + std::to_string(port_); }

void FakeNameServer::serve() {
  while (!stop_ && port_ != 0) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char query[512];
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(fd_, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 12) continue;  // shorter than a message header
    ++queries_;
    if (silent_) continue;
    std::string reply = answer(std::string(query, static_cast<size_t>(n)));
    ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
  }
}

// The reply repeats the query's id and question; a known name gets one A
// record pointing back at the question's name, any other a name error.
std::string FakeNameServer::answer(const std::string& query) const {
  std::string name;
  size_t at = 12;
  while (at < query.size() && query[at] != 0) {
    size_t len = static_cast<unsigned char>(query[at]);
    if (!name.empty()) name += '.';
    name += query.substr(at + 1, len);
    at += len + 1;
  }
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  size_t questionEnd = std::min(query.size(), at + 5);  // the root label, type and class
  auto known = names_.find(name);
  in_addr ip{};
  bool found = known != names_.end() && ::inet_pton(AF_INET, known->second.c_str(), &ip) == 1;
  std::string reply = query.substr(0, 2);
  reply += found ? "\x81\x80" : "\x81\x83";
  reply += std::string("\x00\x01\x00", 3) + (found ? '\x01' : '\x00') + std::string(4, '\0');
  reply += query.substr(12, questionEnd - 12);
  if (found) {
    reply += std::string("\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04", 12);
    reply.append(reinterpret_cast<const char*>(&ip), 4);
  }
  return reply;
}

}  // namespace harbek::testing
