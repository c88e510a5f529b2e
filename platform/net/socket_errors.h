// Windows Sockets error numbers and their descriptions.
//
// The fetcher reports socket errors in the numbering of the Windows Sockets
// control it was written against (it retries on 10055, it shows the
// description). Every system and name-lookup error is translated here, in
// one table.
#pragma once

#include <cstdint>
#include <string>

namespace harbek::net {

enum WsaError : int32_t {
  kWsaAccessDenied = 10013,        // EACCES, EPERM
  kWsaInvalidArgument = 10022,     // EINVAL
  kWsaTooManySockets = 10024,      // EMFILE, ENFILE
  kWsaAddressInUse = 10048,        // EADDRINUSE
  kWsaNetworkDown = 10050,         // ENETDOWN
  kWsaNetworkUnreachable = 10051,  // ENETUNREACH
  kWsaConnectionAborted = 10053,   // ECONNABORTED
  kWsaConnectionReset = 10054,     // ECONNRESET, EPIPE
  kWsaNoBufferSpace = 10055,       // ENOBUFS, ENOMEM, EADDRNOTAVAIL (no local port left)
  kWsaNotConnected = 10057,        // ENOTCONN
  kWsaTimedOut = 10060,            // ETIMEDOUT
  kWsaConnectionRefused = 10061,   // ECONNREFUSED
  kWsaHostUnreachable = 10065,     // EHOSTUNREACH
  kWsaSystemCallFailure = 10107,   // any other system error
  kWsaHostNotFound = 11001,        // the name does not exist, or no server could tell
  // TLS failures, in the numbering of the Windows Internet functions.
  kTlsCertificateRejected = 12169,  // the server's certificate did not pass the checks
  kTlsChannelFailed = 12157,        // no secure channel: a broken handshake or record
};

// The Windows Sockets number of a system error (errno value).
int32_t wsaFromErrno(int err);
// The Windows Sockets number of a failed c-ares lookup status.
int32_t wsaFromAres(int status);
// A plain-word description of a Windows Sockets number.
std::string wsaDescription(int32_t number);

}  // namespace harbek::net
