#include "store/local_name.h"

#include <algorithm>

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
  if (s.find(u'%') == npos) return std::u16string(s);
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

// Whether a page or a style sheet saved under name gets suffix: not when
// its name ends in it already (".htm" too for a page), nor when the name's
// extension says it is something else (an image served as a page is an
// error page under the image's name). Every other name may: "guide",
// "index.php", "doku.php?id=start", "style.css?ver=6".
bool mayGainSuffix(std::u16string_view name, std::u16string_view suffix) {
  if (endsWithNoCase(name, suffix) || (suffix == u".html" && endsWithNoCase(name, u".htm"))) return false;
  const std::u16string_view last = name.substr(name.rfind(u'/') + 1);
  if (last.find(u'?') != npos) return true;
  const size_t dot = last.rfind(u'.');
  if (dot == npos) return true;
  static constexpr std::u16string_view kOtherKinds[] = {
      u"html", u"htm",  u"xhtml", u"shtml", u"png", u"jpg",  u"jpeg", u"gif", u"webp", u"svg",  u"ico",
      u"bmp",  u"avif", u"css",   u"js",    u"mjs", u"json", u"xml",  u"txt", u"pdf",  u"zip",  u"gz",
      u"tgz",  u"bz2",  u"xz",    u"woff",  u"woff2", u"ttf", u"otf", u"eot", u"mp3",  u"mp4",  u"webm",
      u"ogg",  u"wav",  u"vtt",   u"swf",   u"doc", u"docx", u"xls",  u"xlsx", u"ppt", u"pptx", u"exe",
      u"deb",  u"rpm",  u"tar",   u"7z",    u"rar", u"iso",  u"map",  u"wasm"};
  const std::u16string ext = text::toLower(last.substr(dot + 1));
  return std::find(std::begin(kOtherKinds), std::end(kOtherKinds), ext) == std::end(kOtherKinds);
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
  if (text::contains(type, u"html") && mayGainSuffix(name, u".html")) {
    name += u".html";
  } else if (text::contains(type, u"text/css") && mayGainSuffix(name, u".css")) {
    name += u".css";
  }
  return name;
}

std::vector<std::u16string> localNameCandidates(std::u16string_view url) {
  const std::u16string name = localName(url);
  if (name.empty()) return {};
  std::vector<std::u16string> out{name};
  if (mayGainSuffix(name, u".html")) out.push_back(name + u".html");
  if (mayGainSuffix(name, u".css")) out.push_back(name + u".css");
  // A file without an extension may have moved into its folder.
  const std::u16string_view last = std::u16string_view(name).substr(name.rfind(u'/') + 1);
  if (last.find(u'.') == npos && last.find(u'?') == npos) out.push_back(name + u"/index.html");
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
