// Reading an HTTP response from its arrivals.
//
// The reader knows nothing of sockets: it is fed the bytes of each arrival as
// the TCP client hands them over, so a test or a fuzzer can drive it with any
// sequence of chunks. The header is collected across arrivals until its first
// blank line (a status line may come alone, the rest of the header after a
// pause); what follows the blank line is body, and so is every later arrival.
// A chunked body is stripped of its framing here, so the owner of the fetch
// only ever sees the body's own bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text.h"

namespace harbek::fetcher {

using text::Bytes;

// A header that has not ended after this many bytes is not HTTP: the fetch
// fails.
inline constexpr size_t kHeaderLimit = 64 * 1024;

// The text between the key str1 (found anywhere, ignoring letter case) and
// the first str2 at or after the key's first character (exact case); "" when
// either is missing or the end mark lies inside the key.
std::u16string strGet(std::u16string_view s, std::u16string_view str1, std::u16string_view str2);

// The value of the header line named name (lower case, without the colon)
// in a header, the line's name matched in any letter case: what follows its
// colon up to CR LF, as written. The name must start a line, so
// "content-length" is not found in "x-content-length".
std::u16string headerField(std::u16string_view reHeader, std::u16string_view name);

// The fields taken from a response header.
struct ResponseHead {
  std::u16string reHeader;  // the header decoded from the system code page, lower-cased
  std::u16string Status;
  std::u16string contentType;
  std::optional<std::u16string> CharSet;  // only when the Content-Type names one
  std::u16string Location;
  int32_t htmlLen = 0;  // 0 when absent or not a number that fits
  bool chunked = false;
  // A Content-Length that is a number (htmlLen then holds it, 0 included).
  bool lengthStated = false;
  // The server lets the connection serve another request: an HTTP/1.1
  // response without "Connection: close", or an HTTP/1.0 one that asks for
  // keep-alive.
  bool keepAlive = false;
  // The status says there is no body whatever the header holds (1xx, 204, 304).
  bool noBody = false;
};
ResponseHead parseHead(std::u16string_view reHeader);

// The number that starts a header value: leading spaces and tabs skipped, then
// decimal digits. 0 when there are none or the number does not fit 32 bits.
int32_t leadingLength(std::u16string_view value);

// Strips chunk framing from a body fed in pieces of any size.
class ChunkDecoder {
 public:
  // Appends the body bytes held in data to out.
  void feed(std::string_view data, Bytes& out);
  // The last chunk and the trailer have been read.
  bool finished() const { return phase_ == Phase::kDone; }
  // Bytes came after the last chunk's trailer (they belong to no response).
  bool overran() const { return overran_; }
  // The framing broke its rules; nothing more is decoded.
  bool failed() const { return phase_ == Phase::kFailed; }

 private:
  enum class Phase { kSizeLine, kData, kDataEnd, kTrailer, kDone, kFailed };
  // Collects one line; true once it has ended (its CR LF or LF dropped).
  bool takeLine(std::string_view data, size_t& at);
  void endSizeLine();

  Phase phase_ = Phase::kSizeLine;
  bool overran_ = false;
  uint64_t remaining_ = 0;
  std::string line_;
};

// One response, arrival by arrival.
class ResponseReader {
 public:
  enum class HeaderState { kPending, kEnded, kTooLong };

  // Starts a new response.
  void start();
  // Feeds an arrival while the header is pending. Once the blank line has
  // come (kEnded), head() holds its fields, and the body bytes that followed
  // it in this arrival are in body (bodyFollowed tells whether there were
  // any, even when chunk framing decodes them to nothing).
  HeaderState feedHeader(std::string_view arrival, Bytes& body, bool& bodyFollowed);
  // The fields of the header collected so far (whole once kEnded).
  ResponseHead head() const;
  // The header bytes as they came.
  const std::string& rawHeader() const { return header_; }
  // The body content of a later arrival.
  Bytes readMore(std::string_view arrival);

  bool chunked() const { return chunked_; }
  // A chunked body has reached its end, or its framing is broken.
  bool chunkedEnded() const { return chunked_ && (chunks_.finished() || chunks_.failed()); }
  bool chunkedComplete() const { return chunked_ && chunks_.finished(); }
  bool chunkedOverran() const { return chunked_ && chunks_.overran(); }

 private:
  Bytes body(std::string_view bytes);

  std::string header_;
  bool chunked_ = false;
  ChunkDecoder chunks_;
};

}  // namespace harbek::fetcher
