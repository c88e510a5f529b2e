#include "platform/net/socket_errors.h"

#include <ares.h>

#include <array>
#include <cerrno>

namespace harbek::net {
namespace {

// One row per Windows Sockets number: the system errors and lookup statuses
// that become it. 0 ends a list (neither errno nor c-ares uses 0 for an error).
struct Row {
  int32_t number;
  const char* description;
  std::array<int, 3> errnos;
  std::array<int, 10> aresStatuses;
};

// Every failed lookup reads as "host not found", as the Windows resolver
// reports a name it cannot resolve whatever the reason (no such name, no
// answer, a bad name); only a memory shortage keeps its own number.
constexpr Row kRows[] = {
    {kWsaAccessDenied, "permission denied", {EACCES, EPERM}, {}},
    {kWsaInvalidArgument, "invalid argument", {EINVAL}, {}},
    {kWsaTooManySockets, "too many open sockets", {EMFILE, ENFILE}, {}},
    {kWsaAddressInUse, "the address is already in use", {EADDRINUSE}, {}},
    {kWsaNetworkDown, "the network is down", {ENETDOWN}, {}},
    {kWsaNetworkUnreachable, "the network is unreachable", {ENETUNREACH}, {}},
    {kWsaConnectionAborted, "the connection was aborted", {ECONNABORTED}, {}},
    {kWsaConnectionReset, "the connection was reset by the remote side", {ECONNRESET, EPIPE}, {}},
    {kWsaNoBufferSpace, "no buffer space is available", {ENOBUFS, ENOMEM, EADDRNOTAVAIL}, {ARES_ENOMEM}},
    {kWsaNotConnected, "the socket is not connected", {ENOTCONN}, {}},
    {kWsaTimedOut, "the connection timed out", {ETIMEDOUT}, {}},
    {kWsaConnectionRefused, "the connection was refused", {ECONNREFUSED}, {}},
    {kWsaHostUnreachable, "no route to the host", {EHOSTUNREACH}, {}},
    {kWsaSystemCallFailure, "a system call failed", {}, {}},
    {kWsaHostNotFound,
     "the host was not found",
     {},
     {ARES_ENOTFOUND, ARES_ENODATA, ARES_ENONAME, ARES_EBADNAME, ARES_ESERVFAIL, ARES_EREFUSED, ARES_ECONNREFUSED,
      ARES_ETIMEOUT, ARES_EFORMERR, ARES_EBADRESP}},
    {kTlsCertificateRejected, "the server's certificate was rejected", {}, {}},
    {kTlsChannelFailed, "the secure channel failed", {}, {}},
};

template <size_t N>
bool contains(const std::array<int, N>& list, int value) {
  for (int v : list) {
    if (v == 0) return false;
    if (v == value) return true;
  }
  return false;
}

}  // namespace

int32_t wsaFromErrno(int err) {
  for (const Row& row : kRows)
    if (contains(row.errnos, err)) return row.number;
  return kWsaSystemCallFailure;
}

int32_t wsaFromAres(int status) {
  for (const Row& row : kRows)
    if (contains(row.aresStatuses, status)) return row.number;
  return kWsaHostNotFound;
}

std::string wsaDescription(int32_t number) {
  for (const Row& row : kRows)
    if (row.number == number) return row.description;
  return "socket error " + std::to_string(number);
}

}  // namespace harbek::net
