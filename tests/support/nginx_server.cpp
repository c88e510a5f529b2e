#include "tests/support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace harbek::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kNginx = "/usr/sbin/nginx";

// A port that was free a moment ago. nginx binds it a little later; the
// start is retried on another port if something took it meanwhile.
uint16_t freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

bool accepts(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::string config(const std::filesystem::path& dir, const std::filesystem::path& root, uint16_t port,
                   const NginxOptions& options) {
  const std::string d = dir.string();
  const bool https = !options.certificate.empty();
  const std::string tls = https ? "    ssl_certificate " + options.certificate.string() + ";\n" +
                                      "    ssl_certificate_key " + options.key.string() + ";\n"
                                : std::string();
  return "daemon off;\n"
         "master_process off;\n"
         "worker_processes 1;\n"
         "pid " + d + "/nginx.pid;\n"
         "error_log " + d + "/error.log warn;\n"
         "events { worker_connections 64; }\n"
         "http {\n"
         "  log_format resumed '$remote_addr - - [$time_local] \"$request\" $status $body_bytes_sent "
         "\"$http_referer\" \"$http_user_agent\" $connection $ssl_session_reused';\n"
         "  access_log " + d + "/access.log" + (https ? " resumed" : "") + ";\n"
         "  client_body_temp_path " + d + "/client_body;\n"
         "  proxy_temp_path " + d + "/proxy;\n"
         "  fastcgi_temp_path " + d + "/fastcgi;\n"
         "  uwsgi_temp_path " + d + "/uwsgi;\n"
         "  scgi_temp_path " + d + "/scgi;\n"
         "  types { text/html html htm; text/css css; application/javascript js; image/gif gif;\n"
         "          image/png png; image/jpeg jpg jpeg; text/plain txt; }\n"
         "  default_type application/octet-stream;\n"
         "  server {\n"
         "    listen 127.0.0.1:" + std::to_string(port) + (https ? " ssl" : "") + ";\n" + tls +
         "    root " + root.string() + ";\n"
         "    location /slow/ { limit_rate 2m; }\n" + options.serverLines + "\n"
         "  }\n"
         "}\n";
}

}  // namespace

NginxServer::NginxServer(const std::filesystem::path& root, NginxOptions options) : options_(std::move(options)) {
  if (dir_.path().empty()) {
    error_ = "no temporary folder";
    return;
  }
  for (int attempt = 0; attempt < 3 && !start(root); ++attempt) {
  }
}

NginxServer::~NginxServer() { stop(); }

bool NginxServer::start(const std::filesystem::path& root) {
  port_ = freePort();
  std::filesystem::path conf = dir_.file("nginx.conf");
  {
    std::ofstream out(conf, std::ios::trunc);
    out << config(dir_.path(), std::filesystem::absolute(root), port_, options_);
  }
  std::string prefix = dir_.path().string() + "/";
  std::string errorLog = dir_.file("error.log").string();
  std::string confPath = conf.string();
  // -e: the log nginx writes to before it has read the configuration.
  const char* argv[] = {kNginx, "-p", prefix.c_str(), "-c", confPath.c_str(), "-e", errorLog.c_str(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, kNginx, nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
    error_ = std::string("cannot run ") + kNginx;
    port_ = 0;
    return false;
  }
  pid_ = pid;
  auto end = Clock::now() + 10s;
  while (Clock::now() < end) {
    if (accepts(port_)) {
      error_.clear();
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  error_ = "nginx did not start: " + readFile(dir_.file("error.log"));
  stop();
  return false;
}

void NginxServer::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    auto end = Clock::now() + 5s;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > end) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(5ms);
    }
  }
  pid_ = -1;
  port_ = 0;
}

std::string NginxServer::url(const std::string& path) const {
  return (https() ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

size_t NginxServer::requestCount() const {
  std::string log = readFile(accessLogPath());
  return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
}

}  // namespace harbek::testing
