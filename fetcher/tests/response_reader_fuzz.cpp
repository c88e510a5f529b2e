// Fuzz target of the response reader: the first byte sets an arrival size
// (1 to 64 bytes), the rest is what the server sent. Read in arrivals of that
// size, the response must come out exactly as when it arrives in one piece:
// the same header state, header bytes, body bytes and chunked ending. The
// split is the TCP stack's choice, never the server's, so nothing may hang
// on it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fetcher/response_reader.h"

namespace {

using harbek::fetcher::ResponseReader;

struct Outcome {
  ResponseReader::HeaderState state = ResponseReader::HeaderState::kPending;
  std::string header;
  std::string body;
  bool chunkedEnded = false;
  bool chunkedComplete = false;

  bool operator==(const Outcome&) const = default;
};

// Feeds the response as html does: to the header until it has ended, to the
// body after that.
Outcome read(std::string_view response, size_t arrivalSize) {
  ResponseReader reader;
  reader.start();
  Outcome out;
  for (size_t at = 0; at < response.size() && out.state != ResponseReader::HeaderState::kTooLong; at += arrivalSize) {
    const std::string_view arrival = response.substr(at, arrivalSize);
    if (out.state == ResponseReader::HeaderState::kEnded) {
      out.body += reader.readMore(arrival);
      continue;
    }
    std::string body;
    bool bodyFollowed = false;
    out.state = reader.feedHeader(arrival, body, bodyFollowed);
    if (bodyFollowed != !body.empty() && !reader.chunked()) std::abort();
    out.body += body;
  }
  if (out.state == ResponseReader::HeaderState::kEnded) {
    const harbek::fetcher::ResponseHead head = reader.head();
    if (head.htmlLen < 0 || head.chunked != reader.chunked()) std::abort();
  }
  out.header = reader.rawHeader();
  out.chunkedEnded = reader.chunkedEnded();
  out.chunkedComplete = reader.chunkedComplete();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t arrivalSize = data[0] % 64 + 1;
  const std::string_view response(reinterpret_cast<const char*>(data + 1), size - 1);
  const Outcome whole = read(response, response.size() + 1);
  if (read(response, arrivalSize) != whole) std::abort();
  if (whole.header.size() > harbek::fetcher::kHeaderLimit) std::abort();
  if (whole.state == ResponseReader::HeaderState::kEnded && !whole.header.ends_with("\r\n\r\n")) std::abort();
  return 0;
}
