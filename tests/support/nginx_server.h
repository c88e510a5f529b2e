// A real web server for tests: nginx with its own configuration.
//
// The server runs /usr/sbin/nginx as a child process, in the foreground and
// as one process, with every file it writes (pid, logs, temporary folders)
// inside a temporary folder, listening on 127.0.0.1 on a free port and
// serving a given folder. The constructor returns once the server accepts
// connections; the destructor stops it and waits for it. Files under /slow/
// are sent at 2 MB/s, for tests that need a body still arriving.
//
// Given a certificate and its key the server speaks https; its access log
// lines then end with "r" for a resumed TLS session and "." for a full
// handshake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace harbek::testing {

struct NginxOptions {
  std::filesystem::path certificate;  // with key: https
  std::filesystem::path key;
  // More lines for the server block, e.g. "location = /old { return 301 /new; }".
  std::string serverLines;
};

class NginxServer {
 public:
  explicit NginxServer(const std::filesystem::path& root, NginxOptions options = {});
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // False when nginx could not be started (then port() is 0); error() says why.
  bool running() const { return pid_ > 0; }
  const std::string& error() const { return error_; }

  uint16_t port() const { return port_; }
  bool https() const { return !options_.certificate.empty(); }
  std::string url(const std::string& path = "/") const;

  // One line per request served (nginx writes it when the response is done).
  std::filesystem::path accessLogPath() const { return dir_.file("access.log"); }
  size_t requestCount() const;

 private:
  bool start(const std::filesystem::path& root);
  void stop();

  NginxOptions options_;
  TempDir dir_;
  int pid_ = -1;
  uint16_t port_ = 0;
  std::string error_;
};

}  // namespace harbek::testing
