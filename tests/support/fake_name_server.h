// A name server on loopback for tests of name lookup.
//
// It answers A queries over UDP on 127.0.0.1 on a free port from a fixed table
// (name -> dotted IPv4 address) and says every other name does not exist; a
// silent one reads the queries and never answers, as a dead server does. Point
// the TCP client at it with TcpClientOptions::nameServers = address().
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

namespace harbek::testing {

class FakeNameServer {
 public:
  explicit FakeNameServer(std::map<std::string, std::string> names, bool silent = false);
  ~FakeNameServer();
  FakeNameServer(const FakeNameServer&) = delete;
  FakeNameServer& operator=(const FakeNameServer&) = delete;

  // "127.0.0.1:<port>".
  std::string address() const;
  // Queries received so far.
  int queries() const { return queries_; }

 private:
  void serve();
  std::string answer(const std::string& query) const;

  std::map<std::string, std::string> names_;
  bool silent_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> queries_{0};
  std::thread thread_;
};

}  // namespace harbek::testing
