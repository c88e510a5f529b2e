// A loopback HTTP server that answers with exact arrival patterns.
//
// The server runs on its own thread, listens on 127.0.0.1 on a free port and
// serves every connection on a thread of its own, so a silent connection
// never holds up the next one. Each connection plays a Script: a list of
// steps (wait for the request, write, sleep, drip, close, reset, stay
// silent). Every byte a client sends is recorded, per connection, in the
// order the connections were accepted. The destructor stops everything
// promptly, sleeping and silent steps included.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace harbek::testing {

using std::chrono::milliseconds;

class Script {
 public:
  enum class Kind { kAwaitRequest, kWrite, kSleep, kDrip, kClose, kReset, kSilence };
  struct Step {
    Kind kind;
    std::string bytes;
    milliseconds delay{0};
  };

  // Reads until the next request header has ended (a blank line; the n-th
  // awaitRequest of a script waits for the n-th request), the client
  // closes, or 5 s pass.
  Script& awaitRequest();
  // Writes the bytes in one write (the kernel may still split them).
  Script& write(std::string bytes);
  Script& sleep(milliseconds delay);
  // Writes the bytes one at a time, sleeping delay before each.
  Script& drip(std::string bytes, milliseconds delay);
  // A graceful close (FIN). A script that ends without close, reset or
  // silence closes like this after its last step.
  Script& close();
  // A reset (RST: SO_LINGER with a zero time, then close).
  Script& reset();
  // Writes nothing more and keeps the connection open until the client
  // closes it or the server stops.
  Script& silence();

  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

// A complete response: status line, Content-Length (unless contentLength is
// false), the extra header lines given (each without CR LF), blank line, body.
std::string httpResponse(int status, const std::string& body, const std::vector<std::string>& headers = {},
                         bool contentLength = true);
// Only the header part of httpResponse (ending with the blank line); a
// contentLength of std::string::npos leaves the Content-Length line out.
std::string httpHeader(int status, size_t contentLength, const std::vector<std::string>& headers = {});

// The arrival patterns the fetcher must survive. Each waits for the request first.
namespace patterns {
// Header and body in one write.
Script oneWrite(const std::string& body, const std::vector<std::string>& headers = {"Content-Type: text/html"});
// The header alone, a pause, then the body.
Script headerThenBody(const std::string& body, milliseconds gap = milliseconds(50),
                      const std::vector<std::string>& headers = {"Content-Type: text/html"});
// The header, then the body in pieces of pieceSize bytes with a gap between.
Script smallWrites(const std::string& body, size_t pieceSize, milliseconds gap = milliseconds(5),
                   const std::vector<std::string>& headers = {"Content-Type: text/html"});
// No Content-Length: the end of the body is the close.
Script noContentLength(const std::string& body, const std::vector<std::string>& headers = {"Content-Type: text/html"});
// "Transfer-Encoding: chunked", one chunk per piece, then the last chunk.
Script chunked(const std::vector<std::string>& pieces,
               const std::vector<std::string>& headers = {"Content-Type: text/html"});
// Announces body.size() bytes, sends the first sentBytes of them, closes.
Script earlyClose(const std::string& body, size_t sentBytes);
// Sends the bytes (maybe none), pauses briefly, then resets the connection.
Script resetAfter(const std::string& bytes);
// Reads the request and never answers.
Script silence();
// The whole response one byte at a time.
Script slowDrip(const std::string& response, milliseconds delay);
// "HTTP/1.1 200 OK" CR LF and then header lines totalling about `size`
// bytes that never reach a blank line; then closes.
Script endlessHeader(size_t size = 1 << 20);
// Bytes that are no HTTP at all; then closes.
Script garbage(const std::string& bytes);
}  // namespace patterns

class ScriptedHttpServer {
 public:
  // Every connection plays the same script.
  explicit ScriptedHttpServer(Script script);
  // Connection i plays scripts[i]; connections beyond the list play the last.
  explicit ScriptedHttpServer(std::vector<Script> scripts);
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  uint16_t port() const;
  // "http://127.0.0.1:<port>" followed by path.
  std::string url(const std::string& path = "/") const;

  size_t connectionCount() const;
  // The bytes received on each connection so far, in accept order.
  std::vector<std::string> requests() const;
  // Waits until n connections have finished their script (or the time is
  // up); true when they have.
  bool waitForFinished(size_t n, milliseconds timeout = milliseconds(5000)) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace harbek::testing
