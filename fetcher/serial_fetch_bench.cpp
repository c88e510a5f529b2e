// The fastest any copier can go that asks for one file at a time, each on a
// connection of its own ("Connection: close"): fetches every path of a list
// from a server on 127.0.0.1 with blocking sockets, reads each answer to its
// end, saves and scans nothing, and prints the time. Run by bench.sh.
//   serial_fetch_bench PORT PATH_LIST [RUNS]
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

double cpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// One request on a new connection, read to the end; false when it failed.
bool fetch(const sockaddr_in& server, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  static char buffer[64 * 1024];
  ssize_t n = 0;
  while (ok && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
  }
  ::close(fd);
  return ok && n == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: serial_fetch_bench PORT PATH_LIST [RUNS]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  std::vector<std::string> requests;
  std::ifstream list(argv[2]);
  for (std::string path; std::getline(list, path);) {
    if (path.empty()) continue;
    requests.push_back("GET " + path + " HTTP/1.1\r\nUser-Agent: serial_fetch_bench\r\nHost: 127.0.0.1:" +
                       std::to_string(port) + "\r\nAccept: */*\r\nConnection: close\r\n\r\n");
  }
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(port));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  double bestWall = 0, bestCpu = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    size_t failed = 0;
    for (const std::string& request : requests) failed += fetch(server, request) ? 0 : 1;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    if (failed > 0) {
      std::fprintf(stderr, "%zu of %zu requests failed\n", failed, requests.size());
      return 1;
    }
    if (run == 0 || wall < bestWall) {
      bestWall = wall;
      bestCpu = cpu;
    }
  }
  std::printf("one request at a time, a connection each, nothing saved: %zu files, best of %d %.3f s wall, "
              "%.3f s cpu, %.1f files/s\n",
              requests.size(), runs, bestWall, bestCpu, requests.size() / bestWall);
  return 0;
}
