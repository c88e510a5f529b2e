// The TLS client: TLS over the TCP client, on the same loop.
//
// TlsClient has the TCP client's interface and runs OpenSSL over another TCP
// client through memory buffers: the bytes the TCP client announces go into
// the TLS engine, the records it produces go out through the TCP client's
// send, so no thread and no blocking call is involved, and the loop's fd
// watches drive the handshake as they drive a plain connection. The
// connected notification comes once the handshake is over and the server's
// certificate is accepted; until then the state is kConnecting, so a caller's
// connect time limit covers a handshake that stalls. After that the client
// is read and written exactly as a plain one: dataArrival announces
// decrypted bytes.
//
// The certificate is checked against the system's trusted certificates (or
// a file of them) and against the name given to setServerName, which is also
// sent as SNI; a failed check, a broken handshake or a server that closes
// during it is an error notification whose description says why; so is a
// file of trusted certificates that cannot be read, at every connect. Sessions
// are kept per server name and port and offered again on the next
// connection, so the connections to one site after the first skip the full
// handshake.
#pragma once

#include <memory>
#include <string>

#include "platform/net/tcp_client.h"

namespace harbek::net {

struct TlsOptions {
  // False: any certificate is accepted (the host-name check included).
  bool verify = true;
  // A PEM file of trusted certificates used instead of the system's.
  std::string caFile;
};

class TlsClient : public TcpClient {
 public:
  // The name the certificate must carry and that goes out as SNI; set before
  // connect, which may then be given the host's address rather than its name.
  virtual void setServerName(const std::string& name) = 0;
};

std::unique_ptr<TlsClient> makeTlsClient(event::EventLoop& loop, std::unique_ptr<TcpClient> transport,
                                         const TlsOptions& options);

}  // namespace harbek::net
