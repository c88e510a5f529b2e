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

// Whether text lower-cased is lower (as long as it), without a copy.
bool lowerEquals(std::u16string_view text, std::u16string_view lower) {
  return std::equal(text.begin(), text.end(), lower.begin(), [](char16_t a, char16_t b) { return text::toLower(a) == b; });
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

std::u16string headerField(std::u16string_view reHeader, std::u16string_view name) {
  for (size_t line = reHeader.find(u"\r\n"); line != npos; line = reHeader.find(u"\r\n", line + 2)) {
    const std::u16string_view rest = reHeader.substr(line + 2);
    if (rest.size() > name.size() && rest[name.size()] == u':' && lowerEquals(rest.substr(0, name.size()), name)) {
      const std::u16string_view value = rest.substr(name.size() + 1);
      const size_t end = value.find(u"\r\n");
      return end == npos ? std::u16string() : std::u16string(value.substr(0, end));
    }
  }
  return {};
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

  const std::u16string ct = headerField(reHeader, u"content-type");
  constexpr std::u16string_view kCharsetMark = u"; charset=";
  const size_t first = ct.find(kCharsetMark);
  head.contentType = ct.substr(0, first);
  if (first != npos) {
    const size_t from = first + kCharsetMark.size();
    const size_t second = ct.find(kCharsetMark, from);
    head.CharSet = ct.substr(from, second == npos ? npos : second - from);
  }

  head.Location = headerField(reHeader, u"location");
  const std::u16string length = headerField(reHeader, u"content-length");
  head.htmlLen = leadingLength(length);
  // A stated 0 is a length; digits too many for 32 bits are none.
  const size_t digits = length.find_first_not_of(u" \t");
  size_t end = digits;
  while (end < length.size() && length[end] >= u'0' && length[end] <= u'9') ++end;
  head.lengthStated = digits != npos && end > digits &&
                      (head.htmlLen != 0 || length.find_first_not_of(u'0', digits) >= end);
  head.chunked = headerField(reHeader, u"transfer-encoding").find(u"chunked") != npos;
  const std::u16string connection = headerField(reHeader, u"connection");
  head.keepAlive = reHeader.starts_with(u"http/1.1") ? connection.find(u"close") == npos
                                                     : connection.find(u"keep-alive") != npos;
  head.noBody = head.Status.starts_with(u"1") || head.Status == u"204" || head.Status == u"304";
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
  for (; digits < line_.size() && text::hexDigit(line_[digits]) >= 0; ++digits) {
    if (digits == 15) {
      phase_ = Phase::kFailed;
      return;
    }
    size = size * 16 + static_cast<uint64_t>(text::hexDigit(line_[digits]));
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
  if (phase_ == Phase::kDone && !data.empty()) overran_ = true;
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
  if (phase_ == Phase::kDone && at < data.size()) overran_ = true;
}

void ResponseReader::start() {
  header_.clear();
  chunked_ = false;
  chunks_ = ChunkDecoder();
}

ResponseReader::HeaderState ResponseReader::feedHeader(std::string_view arrival, Bytes& body, bool& bodyFollowed) {
  bodyFollowed = false;
  const size_t before = header_.size();
  header_.append(arrival.substr(0, kHeaderLimit - before));
  // Only the new bytes (and the three before them) can complete the blank
  // line. It counts from the sixth byte on, as the header's first byte can
  // never be part of it.
  const size_t at = header_.find("\r\n\r\n", std::max<size_t>(before, 5) - 3);
  if (at == std::string::npos) {
    return header_.size() < kHeaderLimit ? HeaderState::kPending : HeaderState::kTooLong;
  }
  const size_t bodyStart = at + 4 - before;  // in this arrival
  header_.resize(at + 4);
  chunked_ = head().chunked;
  chunks_ = ChunkDecoder();
  bodyFollowed = bodyStart < arrival.size();
  if (bodyFollowed) body = this->body(arrival.substr(bodyStart));
  return HeaderState::kEnded;
}

ResponseHead ResponseReader::head() const { return parseHead(text::toLower(text::fromCodePage(header_))); }

Bytes ResponseReader::readMore(std::string_view arrival) { return body(arrival); }

Bytes ResponseReader::body(std::string_view bytes) {
  if (!chunked_) return Bytes(bytes);
  Bytes out;
  chunks_.feed(bytes, out);
  return out;
}

}  // namespace harbek::fetcher
