// Reading an HTTP response from its arrivals.
//
// The reader knows nothing of sockets: it is fed the bytes of each arrival as
// the TCP client hands them over, so a test or a fuzzer can drive it with any
// sequence of chunks. The first arrival of a response carries the header: it
// ends at the first blank line, and the rest of that arrival is body. An
// arrival without a blank line is all header. Later arrivals are all body; a
// chunked body is stripped of its framing here, so the owner of the fetch only
// ever sees the body's own bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text.h"

namespace harbek::fetcher {

using text::Bytes;

// A header that has not ended after this many bytes is cut here; the rest of
// its arrival is dropped with it.
inline constexpr size_t kHeaderLimit = 64 * 1024;

// The text between the key str1 (found anywhere, ignoring letter case) and
// the first str2 at or after the key's first character (exact case); "" when
// either is missing or the end mark lies inside the key.
std::u16string strGet(std::u16string_view s, std::u16string_view str1, std::u16string_view str2);

// How a first arrival divides into header and body.
struct HeaderSplit {
  size_t headerLen;  // bytes of the header, blank line included
  size_t bodyStart;  // where the body starts (the arrival's size when it has none)
  bool ended;        // a blank line ended the header
};
HeaderSplit splitHeader(std::string_view arrival);

// The fields taken from a response header.
struct ResponseHead {
  std::u16string reHeader;  // the header decoded from the system code page, lower-cased
  std::u16string Status;
  std::u16string contentType;
  std::optional<std::u16string> CharSet;  // only when the Content-Type names one
  std::u16string Location;
  int32_t htmlLen = 0;  // 0 when absent or not a number that fits
  bool chunked = false;
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
  // The framing broke its rules; nothing more is decoded.
  bool failed() const { return phase_ == Phase::kFailed; }

 private:
  enum class Phase { kSizeLine, kData, kDataEnd, kTrailer, kDone, kFailed };
  // Collects one line; true once it has ended (its CR LF or LF dropped).
  bool takeLine(std::string_view data, size_t& at);
  void endSizeLine();

  Phase phase_ = Phase::kSizeLine;
  uint64_t remaining_ = 0;
  std::string line_;
};

// One response, arrival by arrival.
class ResponseReader {
 public:
  struct FirstArrival {
    ResponseHead head;
    bool headerEnded = false;  // the header ended with its blank line
    bool hasBody = false;      // bytes followed the header in this arrival
    Bytes body;            // their body content (chunk framing removed)
  };

  // Starts a new response with its first arrival.
  FirstArrival readFirst(std::string_view arrival);
  // The body content of a later arrival.
  Bytes readMore(std::string_view arrival);

  bool chunked() const { return chunked_; }
  // A chunked body has reached its end, or its framing is broken.
  bool chunkedEnded() const { return chunked_ && (chunks_.finished() || chunks_.failed()); }
  bool chunkedComplete() const { return chunked_ && chunks_.finished(); }

 private:
  Bytes body(std::string_view bytes);

  bool chunked_ = false;
  ChunkDecoder chunks_;
};

}  // namespace harbek::fetcher
