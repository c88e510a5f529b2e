#include "store/local_name.h"

#include "libs/url/fetch_url.h"
#include "libs/url/web_url.h"
#include "platform/fs/fs.h"
#include "platform/text/page_charset.h"
#include "platform/text/text.h"
#include "store/md5.h"
#include "store/site_data.h"

namespace harbek::store {
namespace {

constexpr size_t npos = std::u16string_view::npos;

bool endsWithNoCase(std::u16string_view s, std::u16string_view suffix) {
  return s.size() >= suffix.size() && text::toLower(s.substr(s.size() - suffix.size())) == suffix;
}

// The escape at s[i] ("%4A"), as a byte; -1 when there is none.
int escapeAt(std::string_view s, size_t i) {
  if (s[i] != '%' || i + 2 >= s.size()) return -1;
  const int hi = text::hexDigit(s[i + 1]), lo = text::hexDigit(s[i + 2]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// The text of s with the escapes that decode() accepts decoded; s itself
// when the bytes that come out are not UTF-8.
std::u16string decoded(std::u16string_view s, bool (*decode)(int byte)) {
  const std::string utf8 = text::toUtf8(s);
  std::string bytes;
  bool changed = false;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const int byte = escapeAt(utf8, i);
    if (byte >= 0 && decode(byte)) {
      bytes += static_cast<char>(byte);
      i += 2;
      changed = true;
    } else {
      bytes += utf8[i];
    }
  }
  if (!changed || !text::isValidUtf8(bytes)) return std::u16string(s);
  return text::fromUtf8(bytes);
}

// In a path, everything but what would change the name's meaning.
bool pathByte(int byte) { return byte >= 0x20 && byte != 0x7F && byte != '/' && byte != '?' && byte != '#'; }
// In a query, only the bytes of non-ASCII characters: the rest of its
// escapes tell its fields apart.
bool queryByte(int byte) { return byte >= 0x80; }

// A segment within kMaxSegmentBytes: a long one keeps its start, cut at a
// character's end, and ends in "~" and eight digits of its digest.
std::u16string shortened(std::u16string segment) {
  if (text::toUtf8(segment).size() <= kMaxSegmentBytes) return segment;
  const std::u16string digest = MD5()(segment).substr(0, 8);
  std::u16string cut;
  size_t bytes = 0;
  for (size_t i = 0; i < segment.size(); ++i) {
    const size_t width = text::toUtf8(std::u16string_view(segment).substr(i, 1)).size();
    if (bytes + width > kMaxSegmentBytes - 9) break;
    cut += segment[i];
    bytes += width;
  }
  // A surrogate pair is never split: its halves are cut together.
  if (!cut.empty() && cut.back() >= 0xD800 && cut.back() < 0xDC00) cut.pop_back();
  return cut + u"~" + digest;
}

// The segments of a path, decoded and shortened, joined again; empty
// segments fold away as the store folds doubled separators.
std::u16string pathName(std::u16string_view path) {
  std::u16string out;
  for (size_t start = 1; start <= path.size();) {
    const size_t slash = std::min(path.find(u'/', start), path.size());
    const std::u16string_view raw = path.substr(start, slash - start);
    std::u16string seg = decoded(raw, pathByte);
    if (seg == u"." || seg == u"..") seg = raw;
    if (!seg.empty()) out += u"/" + shortened(text::toLower(seg));
    if (slash == path.size() && path.back() == u'/') out += u"/";
    start = slash + 1;
  }
  return out.empty() ? u"/" : out;
}

}  // namespace

std::u16string codePageSafe(std::u16string_view url) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  for (size_t i = 0; i < url.size(); ++i) {
    const char16_t c = url[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < url.size();
    if (!pair && (c < 0x80 || text::fromCodePage(text::toCodePage(std::u16string_view(&c, 1))) == std::u16string_view(&c, 1))) {
      out += c;
      continue;
    }
    for (unsigned char b : text::toUtf8(url.substr(i, pair ? 2 : 1))) {
      out += u'%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
    if (pair) ++i;
  }
  return out;
}

std::u16string localName(std::u16string_view url) {
  const std::optional<url::FetchUrl> u = url::FetchUrl::parse(url);
  if (!u) return {};
  std::u16string name = u->authority() + pathName(u->path);
  if (name.ends_with(u'/')) name += u"index.html";
  if (!u->query.empty()) {
    std::u16string query = text::replaceAll(text::toLower(decoded(u->query, queryByte)), u"/", u"%2f");
    const size_t slash = name.rfind(u'/');
    name = name.substr(0, slash + 1) + shortened(name.substr(slash + 1) + query);
  }
  if (!SiteData().savable(name)) return {};
  return name;
}

std::u16string nameForContent(std::u16string name, std::u16string_view contentType) {
  const std::u16string type = text::toLower(contentType);
  if (text::contains(type, u"html") && !endsWithNoCase(name, u".html") && !endsWithNoCase(name, u".htm")) {
    name += u".html";
  } else if (text::contains(type, u"text/css") && !endsWithNoCase(name, u".css")) {
    name += u".css";
  }
  return name;
}

std::vector<std::u16string> localNameCandidates(std::u16string_view url) {
  const std::u16string name = localName(url);
  if (name.empty()) return {};
  std::vector<std::u16string> out{name};
  if (!name.ends_with(u".html") && !name.ends_with(u".htm")) out.push_back(name + u".html");
  if (!name.ends_with(u".css")) out.push_back(name + u".css");
  if (!name.ends_with(u"/index.html")) out.push_back(name + u"/index.html");
  // The name an earlier copy gave it: the path as written, in lower case.
  if (std::optional<url::FetchUrl> u = url::FetchUrl::parse(url); u && u->query.empty()) {
    std::u16string old = text::toLower(u->authority() + text::replaceAll(u->path, u"//", u"/"));
    if (old.ends_with(u'/')) old += u"index.html";
    if (old != name && SiteData().savable(old)) out.push_back(std::move(old));
  }
  return out;
}

std::optional<std::u16string> savedNameIn(const std::u16string& saveFolder, std::u16string_view url) {
  for (std::u16string& name : localNameCandidates(url)) {
    if (fs::isFile(text::toUtf8(saveFolder + u"/" + name))) return std::move(name);
  }
  return std::nullopt;
}

}  // namespace harbek::store
