#include "libs/url/fetch_url.h"

#include "libs/url/web_url.h"
#include "platform/text/text.h"

namespace harbek::url {
namespace {

// A reference split as RFC 3986 appendix B does; an absent part is nullopt,
// which differs from an empty one ("?" alone is an empty query).
struct Parts {
  std::u16string scheme;
  std::optional<std::u16string_view> authority;
  std::u16string_view path;
  std::optional<std::u16string_view> query;
};

std::u16string_view trim(std::u16string_view s) {
  const size_t b = s.find_first_not_of(u" \t\r\n");
  if (b == s.npos) return {};
  return s.substr(b, s.find_last_not_of(u" \t\r\n") - b + 1);
}

Parts split(std::u16string_view ref) {
  Parts p;
  ref = ref.substr(0, ref.find(u'#'));
  p.scheme = uriScheme(ref);
  if (!p.scheme.empty()) ref.remove_prefix(p.scheme.size() + 1);
  if (ref.starts_with(u"//")) {
    ref.remove_prefix(2);
    const size_t end = std::min(ref.find_first_of(u"/?"), ref.size());
    p.authority = ref.substr(0, end);
    ref.remove_prefix(end);
  }
  const size_t q = ref.find(u'?');
  p.path = ref.substr(0, q);
  if (q != ref.npos) p.query = ref.substr(q + 1);
  return p;
}

// remove_dot_segments of RFC 3986 section 5.2.4.
std::u16string removeDots(std::u16string_view in) {
  std::u16string out;
  while (!in.empty()) {
    if (in.starts_with(u"../")) {
      in.remove_prefix(3);
    } else if (in.starts_with(u"./")) {
      in.remove_prefix(2);
    } else if (in.starts_with(u"/./")) {
      in.remove_prefix(2);
    } else if (in == u"/.") {
      in = u"/";
    } else if (in.starts_with(u"/../") || in == u"/..") {
      in = in.size() == 3 ? u"/" : in.substr(3);
      const size_t slash = out.rfind(u'/');
      out.resize(slash == out.npos ? 0 : slash);
    } else if (in == u"." || in == u"..") {
      in = {};
    } else {
      const size_t next = in.find(u'/', 1);
      out.append(in.substr(0, next));
      in = next == in.npos ? std::u16string_view() : in.substr(next);
    }
  }
  return out;
}

// Host and port from an authority; false when the port is not 1..65535 or
// the host is empty. User information before "@" is dropped.
bool setAuthority(std::u16string_view authority, FetchUrl& url) {
  if (const size_t at = authority.rfind(u'@'); at != authority.npos) authority.remove_prefix(at + 1);
  // The port's colon comes after an IPv6 address's closing bracket.
  const size_t colon = authority.rfind(u':');
  const size_t bracket = authority.rfind(u']');
  std::u16string_view host = authority;
  url.port = 0;
  if (colon != authority.npos && (bracket == authority.npos || colon > bracket)) {
    host = authority.substr(0, colon);
    const std::u16string_view digits = authority.substr(colon + 1);
    if (!digits.empty()) {
      uint32_t port = 0;
      for (char16_t c : digits) {
        if (c < u'0' || c > u'9' || (port = port * 10 + (c - u'0')) > 65535) return false;
      }
      if (port == 0) return false;
      url.port = static_cast<uint16_t>(port);
    }
  }
  if (host.empty()) return false;
  url.host = text::toLower(host);
  return true;
}

bool fetchable(std::u16string_view scheme) { return scheme == u"http" || scheme == u"https"; }

}  // namespace

std::optional<FetchUrl> FetchUrl::parse(std::u16string_view text) {
  const Parts p = split(trim(text));
  if (!fetchable(p.scheme) || !p.authority) return std::nullopt;
  FetchUrl url;
  url.scheme = p.scheme;
  if (!setAuthority(*p.authority, url)) return std::nullopt;
  url.path = p.path.empty() ? u"/" : removeDots(p.path);
  if (p.query) url.query = u"?" + std::u16string(*p.query);
  return url;
}

std::u16string FetchUrl::authority() const {
  if (port == 0 || port == defaultPort()) return host;
  return host + u":" + text::widen(std::to_string(port));
}

std::u16string FetchUrl::text() const { return scheme + u"://" + authority() + path + query; }

namespace {

bool plainUrlChar(char16_t c) { return c > u' ' && c < 0x7F; }

void appendEscaped(std::u16string& out, std::string_view bytes) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  for (char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    out += u'%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
}

// s with every run of characters that are not plain ASCII percent-encoded in
// charset.
std::u16string escaped(std::u16string_view s, text::Charset charset) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (plainUrlChar(s[i])) {
      out += s[i++];
      continue;
    }
    size_t end = i;
    while (end < s.size() && !plainUrlChar(s[end]) && (s[end] < 0x80) == (s[i] < 0x80)) ++end;
    const std::u16string_view run = s.substr(i, end - i);
    // Spaces and controls are single bytes in every charset.
    appendEscaped(out, run.front() < 0x80 ? text::toUtf8(run) : text::encodeAs(run, charset));
    i = end;
  }
  return out;
}

}  // namespace

std::u16string FetchUrl::wireText(text::Charset queryCharset) const {
  return scheme + u"://" + authority() + escaped(path, text::Charset::kUtf8) + escaped(query, queryCharset);
}

// RFC 3986 section 5.2.2, with the base's own parts already clean.
std::optional<FetchUrl> resolveReference(const FetchUrl& base, std::u16string_view ref) {
  const Parts r = split(trim(ref));
  if (!r.scheme.empty() || r.authority) {
    // An absolute or network-path reference: only the scheme may come from the base.
    std::u16string whole = (r.scheme.empty() ? base.scheme : r.scheme) + u"://" + std::u16string(r.authority.value_or(u""));
    whole += r.path;
    if (r.query) whole += u"?" + std::u16string(*r.query);
    if (!r.scheme.empty() && !r.authority) return std::nullopt;  // "https:page.html" names no host
    return FetchUrl::parse(whole);
  }
  FetchUrl t = base;
  if (r.path.empty()) {
    if (r.query) t.query = u"?" + std::u16string(*r.query);
    return t;
  }
  if (r.path.front() == u'/') {
    t.path = removeDots(r.path);
  } else {
    // Merge: the base's path up to its last "/", then the reference.
    const size_t slash = base.path.rfind(u'/');
    t.path = removeDots(base.path.substr(0, slash == base.path.npos ? 0 : slash + 1) + std::u16string(r.path));
  }
  if (t.path.empty()) t.path = u"/";
  t.query = r.query ? u"?" + std::u16string(*r.query) : std::u16string();
  return t;
}

}  // namespace harbek::url
