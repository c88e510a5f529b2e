// The TCP client.
//
// An asynchronous client socket driven by the event loop: connect() starts a
// name lookup (never blocking the loop) and a non-blocking connect, and every
// outcome arrives later as a notification on the loop's thread. Errors carry
// Windows Sockets numbers (table in socket_errors.h) and plain descriptions,
// because the fetcher reports them as such.
//
// Notifications are never raised from inside a call on the client (connect,
// send, close, take...); they come from the loop's pumps. Any call, close()
// included, may be made from inside any notification, and the client may be
// destroyed from inside one as well.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event/event_loop.h"

namespace harbek::net {

// State numbers of the Windows Sockets control; the fetcher only tests kConnected.
//   kClosed      new, or after close()
//   kResolving   looking the host name up
//   kConnecting  the connect is under way
//   kConnected   connected: sends are possible and data arrives
//   kClosing     the peer closed; pending bytes can still be taken
//   kError       an error notification was raised; close() before reuse
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
    // Called once per arrival (one read of whatever the socket holds) with
    // the number of bytes now pending: this arrival's plus any not taken
    // before. Bytes stay pending until taken; none is ever dropped.
    std::function<void(int32_t bytesTotal)> dataArrival;
    // The peer closed the connection (never raised for a local close()).
    // Raised after the data arrivals of every byte the peer sent.
    std::function<void()> closed;
    // number is a Windows Sockets error number, e.g. 10061. Raised once;
    // the socket is then in kError. Bytes that arrived before the error are
    // announced by dataArrival first.
    std::function<void(int32_t number, const std::string& description)> error;
  };

  virtual ~TcpClient() = default;

  virtual void setHandlers(Handlers handlers) = 0;
  virtual SocketState state() const = 0;

  // Starts an asynchronous connect to a host name or dotted address (IPv4).
  // A dotted address skips the lookup. When the socket is not kClosed it is
  // closed first. Returns 0, or a Windows Sockets error number when a local
  // resource fails at once (10055 no buffer space or no local port left,
  // 10024 no socket left; then the state stays kClosed and no notification
  // follows; for a host name the connect comes after the lookup, so these
  // too arrive as an error notification). Whatever concerns the peer (unknown host 11001, refused 10061,
  // unreachable...) arrives later as an error notification, even when the
  // system knew it at once. The client applies no time limit of its own to
  // the lookup or to the connect: the caller does.
  virtual int32_t connect(const std::string& host, uint16_t port) = 0;

  // Closes or resets the socket in any state, cancels a lookup under way,
  // drops unsent and pending bytes; raises no notification. State: kClosed.
  virtual void close() = 0;

  // Sends the bytes in one piece (queued until all are written). Returns 0 or
  // an error number (10057 when not connected).
  virtual int32_t send(const std::string& bytes) = 0;

  // Removes and returns the next pending byte (0..255); -1 when none is pending.
  virtual int takeByte() = 0;
  // Removes and returns all pending bytes.
  virtual std::string takeAll() = 0;
  virtual int32_t pendingBytes() const = 0;

  // The dotted address of the connected peer ("" when not connected).
  virtual std::string remoteIp() const = 0;
};

struct TcpClientOptions {
  // Name servers for lookups, "ip[:port]" separated by commas, for instance
  // a loopback resolver in tests. Empty: the system's (/etc/resolv.conf);
  // names in /etc/hosts are found either way.
  std::string nameServers;
  // Small writes go out at once instead of waiting for the peer's ack of the
  // last one (TCP_NODELAY). TLS needs it: the request follows the handshake's
  // last flight as a second small write, which would otherwise wait for a
  // delayed ack (40 ms) on every connection.
  bool noDelay = false;
};

std::unique_ptr<TcpClient> makeTcpClient(event::EventLoop& loop);
std::unique_ptr<TcpClient> makeTcpClient(event::EventLoop& loop, const TcpClientOptions& options);

}  // namespace harbek::net
