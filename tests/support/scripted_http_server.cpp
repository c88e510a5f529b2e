// The scripted server's threads.
//
// A listening thread accepts connections and starts one thread per
// connection. Every blocking wait (accept, reading the request, sleeping,
// writing to a slow reader, staying silent) is a poll that also watches a
// stop pipe, which the destructor writes to; so every thread ends promptly
// and the destructor joins them all.
#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace harbek::testing {

using Clock = std::chrono::steady_clock;

Script& Script::awaitRequest() {
  steps_.push_back({Kind::kAwaitRequest, {}, {}});
  return *this;
}
Script& Script::write(std::string bytes) {
  steps_.push_back({Kind::kWrite, std::move(bytes), {}});
  return *this;
}
Script& Script::sleep(milliseconds delay) {
  steps_.push_back({Kind::kSleep, {}, delay});
  return *this;
}
Script& Script::drip(std::string bytes, milliseconds delay) {
  steps_.push_back({Kind::kDrip, std::move(bytes), delay});
  return *this;
}
Script& Script::close() {
  steps_.push_back({Kind::kClose, {}, {}});
  return *this;
}
Script& Script::reset() {
  steps_.push_back({Kind::kReset, {}, {}});
  return *this;
}
Script& Script::silence() {
  steps_.push_back({Kind::kSilence, {}, {}});
  return *this;
}

std::string httpHeader(int status, size_t contentLength, const std::vector<std::string>& headers) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Status") + "\r\n";
  if (contentLength != std::string::npos) text += "Content-Length: " + std::to_string(contentLength) + "\r\n";
  for (const std::string& line : headers) text += line + "\r\n";
  return text + "\r\n";
}

std::string httpResponse(int status, const std::string& body, const std::vector<std::string>& headers,
                         bool contentLength) {
  return httpHeader(status, contentLength ? body.size() : std::string::npos, headers) + body;
}

namespace patterns {

Script oneWrite(const std::string& body, const std::vector<std::string>& headers) {
  return Script().awaitRequest().write(httpResponse(200, body, headers));
}

Script headerThenBody(const std::string& body, milliseconds gap, const std::vector<std::string>& headers) {
  return Script().awaitRequest().write(httpHeader(200, body.size(), headers)).sleep(gap).write(body);
}

Script smallWrites(const std::string& body, size_t pieceSize, milliseconds gap,
                   const std::vector<std::string>& headers) {
  Script script;
  script.awaitRequest().write(httpHeader(200, body.size(), headers));
  for (size_t at = 0; at < body.size(); at += pieceSize) script.sleep(gap).write(body.substr(at, pieceSize));
  return script;
}

Script noContentLength(const std::string& body, const std::vector<std::string>& headers) {
  return Script().awaitRequest().write(httpResponse(200, body, headers, false)).close();
}

Script chunked(const std::vector<std::string>& pieces, const std::vector<std::string>& headers) {
  std::vector<std::string> all = headers;
  all.push_back("Transfer-Encoding: chunked");
  Script script;
  script.awaitRequest().write(httpHeader(200, std::string::npos, all));
  for (const std::string& piece : pieces) {
    char size[32];
    snprintf(size, sizeof size, "%zx\r\n", piece.size());
    script.write(size + piece + "\r\n").sleep(milliseconds(10));
  }
  return script.write("0\r\n\r\n");
}

Script earlyClose(const std::string& body, size_t sentBytes) {
  return Script()
      .awaitRequest()
      .write(httpHeader(200, body.size(), {"Content-Type: text/html"}) + body.substr(0, sentBytes))
      .sleep(milliseconds(20))
      .close();
}

Script resetAfter(const std::string& bytes) {
  Script script;
  script.awaitRequest();
  if (!bytes.empty()) script.write(bytes);
  return script.sleep(milliseconds(50)).reset();
}

Script silence() { return Script().awaitRequest().silence(); }

Script slowDrip(const std::string& response, milliseconds delay) {
  return Script().awaitRequest().drip(response, delay).close();
}

Script endlessHeader(size_t size) {
  std::string text = "HTTP/1.1 200 OK\r\n";
  const std::string line = "X-Filler: " + std::string(100, 'f') + "\r\n";
  while (text.size() < size) text += line;
  return Script().awaitRequest().write(text).close();
}

Script garbage(const std::string& bytes) { return Script().awaitRequest().write(bytes).close(); }

}  // namespace patterns

struct ScriptedHttpServer::State {
  std::vector<Script> scripts;
  int listenFd = -1;
  int stopPipe[2] = {-1, -1};
  uint16_t port = 0;
  std::thread acceptor;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<std::thread> workers;
  std::vector<std::string> requests;
  size_t finished = 0;

  ~State() {
    for (int fd : {listenFd, stopPipe[0], stopPipe[1]})
      if (fd >= 0) ::close(fd);
  }

  bool stopping() const {
    pollfd p{stopPipe[0], POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

  // Waits for fd to be ready for events or for the stop; false on stop or
  // when the time is up. A negative timeout waits for ever.
  bool waitFor(int fd, short events, int timeoutMs) const {
    pollfd p[2] = {{stopPipe[0], POLLIN, 0}, {fd, events, 0}};
    int n = ::poll(p, fd >= 0 ? 2 : 1, timeoutMs);
    return n > 0 && p[0].revents == 0;
  }

  void record(size_t index, const char* bytes, size_t n) {
    std::lock_guard<std::mutex> lock(mutex);
    requests[index].append(bytes, n);
  }

  // Reads what has come; false when the client has closed or failed.
  bool readSome(int fd, size_t index) {
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) record(index, buf, static_cast<size_t>(n));
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
  }

  // Whether the connection has carried `count` requests (header ends).
  bool requestEnded(size_t index, size_t count) const {
    std::lock_guard<std::mutex> lock(mutex);
    size_t seen = 0;
    for (size_t at = requests[index].find("\r\n\r\n"); at != std::string::npos && seen < count;
         at = requests[index].find("\r\n\r\n", at + 4)) {
      ++seen;
    }
    return seen >= count;
  }

  // Waits for the connection's count-th request (a kept connection carries several).
  bool awaitRequest(int fd, size_t index, size_t count) {
    auto end = Clock::now() + std::chrono::seconds(5);
    while (!requestEnded(index, count)) {
      auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
      if (left <= 0) return true;
      if (!waitFor(fd, POLLIN, static_cast<int>(left))) return !stopping();
      if (!readSome(fd, index)) return true;  // the client closed: play on
    }
    return true;
  }

  // Sleeps, recording anything the client sends meanwhile. False on stop.
  bool pause(int fd, size_t index, milliseconds delay) {
    auto end = Clock::now() + delay;
    bool open = true;
    for (;;) {
      auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
      if (left <= 0) return true;
      if (!waitFor(open ? fd : -1, POLLIN, static_cast<int>(left))) {
        if (stopping()) return false;
        continue;
      }
      if (open) open = readSome(fd, index);
    }
  }

  bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (!waitFor(fd, POLLOUT, -1)) return false;
      } else {
        return false;  // the client went away
      }
    }
    return true;
  }

  void silence(int fd, size_t index) {
    while (waitFor(fd, POLLIN, -1) && readSome(fd, index)) {
    }
    if (!stopping()) waitFor(-1, 0, -1);  // the client closed; hold the socket until the stop
  }

  void play(int fd, size_t index) {
    const Script& script = scripts[std::min(index, scripts.size() - 1)];
    bool going = true;
    size_t awaited = 0;
    for (const Script::Step& step : script.steps()) {
      if (!going) break;
      switch (step.kind) {
        case Script::Kind::kAwaitRequest:
          going = awaitRequest(fd, index, ++awaited);
          break;
        case Script::Kind::kWrite:
          going = writeAll(fd, step.bytes);
          break;
        case Script::Kind::kSleep:
          going = pause(fd, index, step.delay);
          break;
        case Script::Kind::kDrip:
          for (char c : step.bytes) {
            if (!(going = pause(fd, index, step.delay) && writeAll(fd, std::string(1, c)))) break;
          }
          break;
        case Script::Kind::kClose:
          ::close(fd);
          return;
        case Script::Kind::kReset: {
          linger hard{1, 0};
          ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
          ::close(fd);
          return;
        }
        case Script::Kind::kSilence:
          silence(fd, index);
          going = false;
          break;
      }
    }
    ::close(fd);
  }

  void serve(int fd, size_t index) {
    play(fd, index);
    std::lock_guard<std::mutex> lock(mutex);
    ++finished;
    changed.notify_all();
  }

  void acceptLoop() {
    while (waitFor(listenFd, POLLIN, -1)) {
      int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(mutex);
      size_t index = requests.size();
      requests.emplace_back();
      workers.emplace_back([this, fd, index] { serve(fd, index); });
    }
  }
};

ScriptedHttpServer::ScriptedHttpServer(Script script) : ScriptedHttpServer(std::vector<Script>{std::move(script)}) {}

ScriptedHttpServer::ScriptedHttpServer(std::vector<Script> scripts) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.scripts = scripts.empty() ? std::vector<Script>{Script()} : std::move(scripts);
  if (::pipe2(s.stopPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  s.listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  if (s.listenFd < 0 || ::bind(s.listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.listenFd, 64) != 0 || ::getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&address), &len) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  s.port = ntohs(address.sin_port);
  s.acceptor = std::thread([&s] { s.acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  State& s = *state_;
  char stop = 1;
  (void)!::write(s.stopPipe[1], &stop, 1);
  s.acceptor.join();
  // No new worker can start now; the ones there all see the stop.
  for (std::thread& worker : s.workers) worker.join();
}

uint16_t ScriptedHttpServer::port() const { return state_->port; }

std::string ScriptedHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + path;
}

size_t ScriptedHttpServer::connectionCount() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests.size();
}

std::vector<std::string> ScriptedHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

bool ScriptedHttpServer::waitForFinished(size_t n, milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->finished >= n; });
}

}  // namespace harbek::testing
