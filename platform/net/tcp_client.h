// The TCP client.
//
// An asynchronous client socket driven by the event loop: connect() starts a
// name lookup (never blocking the loop) and a non-blocking connect, and every
// outcome arrives later as a notification on the loop's thread. Errors carry
// Windows Sockets numbers (table in socket_errors.h) and plain descriptions,
// because the fetcher reports them as such.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event/event_loop.h"

namespace harbek::net {

// State numbers of the Windows Sockets control; the fetcher only tests kConnected.
enum class SocketState : int16_t {
  kClosed = 0,
  kResolving = 4,
  kConnecting = 6,
  kConnected = 7,
  kClosing = 8,
  kError = 9,
};

class TcpClient {
 public:
  struct Handlers {
    std::function<void()> connected;
    // Called once per arrival with the number of bytes now pending.
    std::function<void(int32_t bytesTotal)> dataArrival;
    // The peer closed the connection (never raised for a local close()).
    std::function<void()> closed;
    // number is a Windows Sockets error number, e.g. 10061.
    std::function<void(int32_t number, const std::string& description)> error;
  };

  virtual ~TcpClient() = default;

  virtual void setHandlers(Handlers handlers) = 0;
  virtual SocketState state() const = 0;

  // Starts an asynchronous connect to a host name or dotted address. Returns
  // 0, or a Windows Sockets error number when it fails at once.
  virtual int32_t connect(const std::string& host, uint16_t port) = 0;

  // Closes or resets the socket in any state; raises no notification.
  virtual void close() = 0;

  // Sends the bytes in one piece (queued until all are written). Returns 0 or
  // an error number.
  virtual int32_t send(const std::string& bytes) = 0;

  // Removes and returns the next pending byte; -1 when none is pending.
  virtual int takeByte() = 0;
  // Removes and returns all pending bytes.
  virtual std::string takeAll() = 0;
  virtual int32_t pendingBytes() const = 0;

  // The dotted address of the connected peer ("" when not connected).
  virtual std::string remoteIp() const = 0;
};

std::unique_ptr<TcpClient> makeTcpClient(event::EventLoop& loop);

}  // namespace harbek::net
