#include "tools/link_target.h"

#include <algorithm>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/local_name.h"

namespace harbek::tools {
namespace {

constexpr size_t npos = std::u16string_view::npos;

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Browsers ignore leading and trailing controls and spaces, and every tab
// and line break inside a URL.
std::u16string cleaned(std::u16string_view link) {
  size_t begin = 0, end = link.size();
  while (begin < end && link[begin] <= u' ') ++begin;
  while (end > begin && link[end - 1] <= u' ') --end;
  std::u16string out;
  for (char16_t c : link.substr(begin, end - begin)) {
    if (c != u'\t' && c != u'\n' && c != u'\r') out += c;
  }
  // In http URLs a backslash is a path separator, up to the query.
  for (char16_t& c : out) {
    if (c == u'?' || c == u'#') break;
    if (c == u'\\') c = u'/';
  }
  return out;
}

// The lower-cased scheme of a URL that starts with one ("HTTP:", "mailto:").
std::optional<std::u16string> schemeOf(std::u16string_view s) {
  if (s.empty() || !isAsciiLetter(s[0])) return std::nullopt;
  for (size_t i = 1; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u':') return text::toLower(s.substr(0, i));
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'+' && c != u'-' && c != u'.') return std::nullopt;
  }
  return std::nullopt;
}

// Cuts what follows the path (from "?" or "#") into query and fragment.
void splitTail(std::u16string_view s, LinkUrl& url, std::u16string& path) {
  const size_t hash = s.find(u'#');
  const std::u16string_view beforeHash = s.substr(0, hash);
  const size_t question = beforeHash.find(u'?');
  path = beforeHash.substr(0, question);
  url.query = question == npos ? u"" : std::u16string(beforeHash.substr(question));
  url.fragment = hash == npos ? u"" : std::u16string(s.substr(hash));
}

// "." and ".." segments of an absolute path, as browsers remove them; ".."
// never climbs above the root.
std::u16string removeDotSegments(std::u16string_view path) {
  std::vector<std::u16string_view> kept;
  for (size_t start = path.empty() || path[0] != u'/' ? 0 : 1;;) {
    const size_t slash = path.find(u'/', start);
    const std::u16string_view seg = path.substr(start, slash == npos ? npos : slash - start);
    const bool last = slash == npos;
    if (seg == u"..") {
      if (!kept.empty()) kept.pop_back();
      if (last) kept.push_back(u"");
    } else if (seg == u".") {
      if (last) kept.push_back(u"");
    } else {
      kept.push_back(seg);
    }
    if (last) break;
    start = slash + 1;
  }
  std::u16string out;
  for (std::u16string_view seg : kept) out.append(u"/").append(seg);
  return out.empty() ? u"/" : out;
}

// host[:port] of an authority, lower-cased, without user information or the
// scheme's own port. Empty when there is no host.
std::u16string hostOf(std::u16string_view authority, std::u16string_view scheme) {
  if (size_t at = authority.rfind(u'@'); at != npos) authority.remove_prefix(at + 1);
  std::u16string host = text::toLower(authority);
  const std::u16string_view defaultPort = scheme == u"https" ? u":443" : u":80";
  if (host.ends_with(defaultPort)) host.resize(host.size() - defaultPort.size());
  if (host.ends_with(u':')) host.pop_back();
  return host;
}

// The path a file:// address names: percent escapes are bytes of UTF-8.
std::u16string percentDecoded(std::u16string_view path) {
  const std::string utf8 = text::toUtf8(path);
  std::string bytes;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '%' && i + 2 < utf8.size()) {
      const int hi = text::hexDigit(utf8[i + 1]), lo = text::hexDigit(utf8[i + 2]);
      if (hi >= 0 && lo >= 0) {
        bytes += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    bytes += utf8[i];
  }
  return text::fromUtf8(bytes);
}

std::vector<std::string_view> segments(std::string_view rel) {
  std::vector<std::string_view> out;
  for (size_t start = 0;;) {
    const size_t slash = rel.find('/', start);
    out.push_back(rel.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return out;
    start = slash + 1;
  }
}

// One name of a path, percent-encoded but for the characters that mean the
// same in every place a link is written.
void appendEncoded(std::string& out, std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("-._~!$+=@").find(ch) != std::string_view::npos;
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
}

}  // namespace

std::optional<LinkUrl> resolveLink(const LinkUrl& base, std::u16string_view link) {
  std::u16string s = cleaned(link);
  if (s.empty() || s[0] == u'#') return std::nullopt;
  LinkUrl url;
  url.scheme = base.scheme;
  if (const auto scheme = schemeOf(s)) {
    if (*scheme != u"http" && *scheme != u"https") return std::nullopt;
    s.erase(0, scheme->size() + 1);
    url.scheme = *scheme;
    // "http:page.html" is relative when the page is http itself.
    if (!s.starts_with(u"//") && *scheme != base.scheme) return std::nullopt;
  }
  std::u16string path;
  if (s.starts_with(u"//")) {
    const size_t end = std::min(s.find_first_of(u"/?#", 2), s.size());
    url.host = hostOf(std::u16string_view(s).substr(2, end - 2), url.scheme);
    if (url.host.empty()) return std::nullopt;
    splitTail(std::u16string_view(s).substr(end), url, path);
    if (path.empty()) path = u"/";
  } else {
    url.host = base.host;
    splitTail(s, url, path);
    if (path.empty()) {
      // "?q" keeps the page's path; a bare fragment was handled above.
      path = base.path;
    } else if (path[0] != u'/') {
      path = base.path.substr(0, base.path.rfind(u'/') + 1) + path;
    }
  }
  url.path = removeDotSegments(path);
  return url;
}

std::optional<LinkUrl> resolveAcrossHosts(const LinkUrl& base, std::u16string_view link) {
  const std::u16string s = cleaned(link);
  if (s.empty() || schemeOf(s) || s[0] == u'/' || s[0] == u'?' || s[0] == u'#') return std::nullopt;
  LinkUrl url;
  std::u16string path;
  splitTail(s, url, path);
  const std::u16string dir = base.path.substr(0, base.path.rfind(u'/') + 1);
  const std::u16string inCopy = removeDotSegments(u"/" + base.host + dir + path);
  if (inCopy == u"/" + base.host + removeDotSegments(dir + path)) return std::nullopt;
  const size_t slash = inCopy.find(u'/', 1);
  if (slash == npos) return std::nullopt;  // the save folder itself
  url.scheme = base.scheme;
  url.host = inCopy.substr(1, slash - 1);
  url.path = inCopy.substr(slash);
  return url;
}

LinkUrl pageUrl(std::string_view rel) {
  // A page with a query is saved as "name?query"; its links are the page's.
  const std::u16string r = text::fromUtf8(rel.substr(0, rel.find('?')));
  const size_t slash = r.find(u'/');
  LinkUrl url;
  url.scheme = u"http";
  url.host = r.substr(0, slash);
  url.path = slash == npos ? u"/" : r.substr(slash);
  return url;
}

std::optional<std::string> savedFileOf(const std::string& saveFolder, const LinkUrl& url) {
  if (url.host.empty()) return std::nullopt;
  const std::u16string folder = text::fromUtf8(saveFolder);
  const std::u16string site = url.scheme + u"://" + url.host;
  // As the page wrote it, then as a browser opening a file:// address reads
  // it (the form this converter writes, "?" of a query page's name included).
  for (const std::u16string& address : {site + url.path + url.query, site + percentDecoded(url.path) + url.query}) {
    if (std::optional<std::u16string> name = store::savedNameIn(folder, address)) return tidied(text::toUtf8(*name));
  }
  return std::nullopt;
}

std::string tidied(std::string_view rel) {
  std::string out;
  for (size_t start = 0; start <= rel.size();) {
    const size_t slash = std::min(rel.find('/', start), rel.size());
    const std::string_view seg = rel.substr(start, slash - start);
    if (!seg.empty() && seg != ".") out.append(out.empty() ? "" : "/").append(seg);
    start = slash + 1;
  }
  return out;
}

std::string relativeLink(std::string_view fromRel, std::string_view toRel) {
  const std::vector<std::string_view> from = segments(fromRel), to = segments(toRel);
  // The folders both paths share, from the top.
  size_t common = 0;
  while (common + 1 < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
  std::string out;
  for (size_t i = common; i + 1 < from.size(); ++i) out += "../";
  for (size_t i = common; i < to.size(); ++i) {
    if (i > common) out += '/';
    appendEncoded(out, to[i]);
  }
  return out;
}

}  // namespace harbek::tools
