#include "tools/treplace.h"

#include <algorithm>
#include <array>

#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/site_data.h"

namespace harbek::tools {
namespace {

bool isImageExtension(const std::u16string& ext) {
  static constexpr std::array<std::u16string_view, 6> kImages = {u"jpg", u"gif", u"png", u"ico", u"bmp", u"jpeg"};
  return std::find(kImages.begin(), kImages.end(), ext) != kImages.end();
}

const char* encodingName(Encoding enc) { return enc == Encoding::kUtf8 ? "UTF-8" : "GBK"; }

// The decoders never fail: a byte sequence they cannot read turns into
// U+FFFD, and a character the encoder cannot hold into "?". Comparing the
// round trip with the original is therefore the one test of whether a
// rewrite can keep every byte the rules do not touch.
bool roundTrips(std::string_view bytes, Encoding enc) { return encode(decode(bytes, enc), enc) == bytes; }

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when some <meta> element names a UTF-8 charset, in either form:
// <meta charset="utf-8"> or <meta http-equiv="Content-Type"
// content="text/html; charset=utf-8">.
bool declaresUtf8(std::string_view bytes) {
  std::string lower(bytes);
  std::transform(lower.begin(), lower.end(), lower.begin(), asciiLower);
  for (size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 5)) {
    const size_t end = std::min(lower.find('>', at), lower.size());
    const std::string_view tag(lower.data() + at, end - at);
    for (size_t c = tag.find("charset"); c != std::string_view::npos; c = tag.find("charset", c + 7)) {
      size_t v = tag.find_first_not_of(" \t\r\n", c + 7);
      if (v == std::string_view::npos || tag[v] != '=') continue;
      v = tag.find_first_not_of(" \t\r\n\"'", v + 1);
      if (v == std::string_view::npos) continue;
      const std::string_view value = tag.substr(v);
      if (value.starts_with("utf-8") || value.starts_with("utf8")) return true;
    }
  }
  return false;
}

ReplaceResult skipped(std::string reason) { return {Outcome::kSkipped, std::move(reason)}; }
ReplaceResult failed(std::string what, fs::Error e) {
  return {Outcome::kFailed, what + ": " + std::string(fs::errorName(e))};
}

}  // namespace

std::u16string decode(std::string_view bytes, Encoding enc) {
  return enc == Encoding::kUtf8 ? text::fromUtf8(bytes) : text::fromCodePage(bytes);
}

std::string encode(std::u16string_view text, Encoding enc) {
  return enc == Encoding::kUtf8 ? text::toUtf8(text) : text::toCodePage(text);
}

std::u16string applyRules(std::u16string text, const std::vector<Rule>& rules) {
  for (const Rule& rule : rules) {
    if (rule.find.empty()) continue;
    std::u16string out;
    size_t from = 0;
    for (size_t hit = text.find(rule.find); hit != std::u16string::npos; hit = text.find(rule.find, from)) {
      out.append(text, from, hit - from);
      out += rule.replacement;
      from = hit + rule.find.size();
    }
    if (from == 0) continue;  // no occurrence
    out.append(text, from, std::u16string::npos);
    text = std::move(out);
  }
  return text;
}

Encoding encodingOf(std::string_view bytes) {
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii && roundTrips(bytes, Encoding::kUtf8)) return Encoding::kUtf8;
  return declaresUtf8(bytes) ? Encoding::kUtf8 : Encoding::kCodePage;
}

ReplaceResult Treplace(const std::string& path, const std::vector<Rule>& rules) {
  if (isImageExtension(text::toLower(store::SiteData::GetExtName(text::fromUtf8(path))))) return skipped("image");
  // Replacing a link would turn it into a plain file, and following it could
  // write outside the chosen folder.
  if (fs::isLink(path)) return skipped("symbolic link");

  std::string bytes;
  if (fs::Error e = fs::readFile(path, bytes); e != fs::Error::kOk) return failed("cannot read", e);
  if (bytes.empty()) return skipped("empty file");

  const Encoding enc = encodingOf(bytes);
  if (!roundTrips(bytes, enc)) return skipped(std::string("not ") + encodingName(enc) + " text");
  const std::u16string before = decode(bytes, enc);
  const std::u16string after = applyRules(before, rules);
  if (after == before) return {Outcome::kUnchanged, {}};

  const std::string written = encode(after, enc);
  if (decode(written, enc) != after) {
    return {Outcome::kFailed, std::string("a replacement holds characters ") + encodingName(enc) + " cannot hold"};
  }
  if (fs::isReadOnly(path)) return {Outcome::kFailed, "read-only file"};
  if (fs::Error e = fs::replaceFile(path, written); e != fs::Error::kOk) return failed("cannot write", e);
  return {Outcome::kChanged, {}};
}

bool runRules(ReplaceRunHost& host) {
  while (host.hasFiles()) {
    host.pumpEvents();
    // The events may have emptied the list (the window closing, say).
    if (!host.hasFiles()) break;
    const std::string path = host.lastFile();
    const ReplaceResult result = Treplace(path, host.rules());
    host.handled(path, result);
    if (result.outcome == Outcome::kFailed) return false;
    host.removeLastFile();
  }
  return true;
}

}  // namespace harbek::tools
