#include "fetcher/response_reader.h"

#include <algorithm>
#include <limits>

namespace harbek::fetcher {
namespace {

constexpr size_t npos = std::u16string_view::npos;
// A chunk-size or trailer line longer than this is not HTTP.
constexpr size_t kLineLimit = 4096;

std::u16string_view mid(std::u16string_view s, size_t start, size_t length) {
  return start < s.size() ? s.substr(start, length) : std::u16string_view();
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::u16string strGet(std::u16string_view s, std::u16string_view str1, std::u16string_view str2) {
  const size_t p1 = text::toLower(s).find(text::toLower(str1));
  if (p1 == npos) return {};
  const size_t p2 = s.find(str2, p1);
  const size_t from = p1 + str1.size();
  if (p2 == npos || p2 < from) return {};
  return std::u16string(s.substr(from, p2 - from));
}

HeaderSplit splitHeader(std::string_view arrival) {
  const std::string_view window = arrival.substr(0, kHeaderLimit);
  // The blank line counts only from the sixth byte on, as the header's first
  // byte can never be part of it.
  if (size_t at = window.find("\r\n\r\n", 2); at != std::string_view::npos) {
    return {at + 4, at + 4, true};
  }
  return {window.size(), arrival.size(), false};
}

int32_t leadingLength(std::u16string_view value) {
  size_t at = 0;
  while (at < value.size() && (value[at] == u' ' || value[at] == u'\t')) ++at;
  int64_t n = 0;
  for (; at < value.size() && value[at] >= u'0' && value[at] <= u'9'; ++at) {
    n = n * 10 + (value[at] - u'0');
    if (n > std::numeric_limits<int32_t>::max()) return 0;
  }
  return static_cast<int32_t>(n);
}

ResponseHead parseHead(std::u16string_view reHeader) {
  ResponseHead head;
  head.reHeader = std::u16string(reHeader);
  // The status code of a status line such as "http/1.1 200 ok".
  head.Status = std::u16string(mid(reHeader, 9, 3));

  const std::u16string ct = strGet(reHeader, u"content-type:", u"\r\n");
  constexpr std::u16string_view kCharsetMark = u"; charset=";
  const size_t first = ct.find(kCharsetMark);
  head.contentType = ct.substr(0, first);
  if (first != npos) {
    const size_t from = first + kCharsetMark.size();
    const size_t second = ct.find(kCharsetMark, from);
    head.CharSet = ct.substr(from, second == npos ? npos : second - from);
  }

  head.Location = strGet(reHeader, u"location:", u"\r\n");
  head.htmlLen = leadingLength(strGet(reHeader, u"content-length:", u"\r\n"));
  head.chunked = strGet(reHeader, u"transfer-encoding:", u"\r\n").find(u"chunked") != npos;
  return head;
}

bool ChunkDecoder::takeLine(std::string_view data, size_t& at) {
  const size_t lf = data.find('\n', at);
  const size_t end = lf == std::string_view::npos ? data.size() : lf;
  line_.append(data.substr(at, end - at));
  at = lf == std::string_view::npos ? data.size() : lf + 1;
  if (line_.size() > kLineLimit) {
    phase_ = Phase::kFailed;
    return false;
  }
  if (lf == std::string_view::npos) return false;
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  return true;
}

void ChunkDecoder::endSizeLine() {
  // The size in hexadecimal, then perhaps spaces and ";" extensions.
  uint64_t size = 0;
  size_t digits = 0;
  for (; digits < line_.size() && hexValue(line_[digits]) >= 0; ++digits) {
    if (digits == 15) {
      phase_ = Phase::kFailed;
      return;
    }
    size = size * 16 + static_cast<uint64_t>(hexValue(line_[digits]));
  }
  const char next = digits < line_.size() ? line_[digits] : ';';
  if (digits == 0 || (next != ';' && next != ' ' && next != '\t')) {
    phase_ = Phase::kFailed;
    return;
  }
  remaining_ = size;
  phase_ = size == 0 ? Phase::kTrailer : Phase::kData;
}

void ChunkDecoder::feed(std::string_view data, Bytes& out) {
  size_t at = 0;
  while (at < data.size() && phase_ != Phase::kDone && phase_ != Phase::kFailed) {
    if (phase_ == Phase::kData) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, data.size() - at));
      out.append(data.substr(at, n));
      at += n;
      remaining_ -= n;
      if (remaining_ == 0) phase_ = Phase::kDataEnd;
      continue;
    }
    if (!takeLine(data, at)) continue;
    switch (phase_) {
      case Phase::kSizeLine:
        endSizeLine();
        break;
      case Phase::kDataEnd:
        // Each chunk's data is followed by a line end and nothing else.
        phase_ = line_.empty() ? Phase::kSizeLine : Phase::kFailed;
        break;
      case Phase::kTrailer:
        if (line_.empty()) phase_ = Phase::kDone;
        break;
      default:
        break;
    }
    line_.clear();
  }
}

ResponseReader::FirstArrival ResponseReader::readFirst(std::string_view arrival) {
  const HeaderSplit split = splitHeader(arrival);
  FirstArrival first;
  first.head = parseHead(text::toLower(text::fromCodePage(arrival.substr(0, split.headerLen))));
  chunked_ = first.head.chunked;
  chunks_ = ChunkDecoder();
  first.headerEnded = split.ended;
  first.hasBody = split.bodyStart < arrival.size();
  if (first.hasBody) first.body = body(arrival.substr(split.bodyStart));
  return first;
}

Bytes ResponseReader::readMore(std::string_view arrival) { return body(arrival); }

Bytes ResponseReader::body(std::string_view bytes) {
  if (!chunked_) return Bytes(bytes);
  Bytes out;
  chunks_.feed(bytes, out);
  return out;
}

}  // namespace harbek::fetcher
