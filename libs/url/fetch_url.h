// FetchUrl: a URL the crawler can fetch, of scheme http or https.
//
// The crawler's own URL rules (web_url.h) know only "http://" and work on
// text; an https page needs real reference resolution, since its links are
// written for browsers. FetchUrl splits an absolute URL into its parts
// (scheme and host lower-cased, the fragment dropped) and resolves a
// reference against it as RFC 3986 section 5.2 does, dot segments included.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/page_charset.h"

namespace harbek::url {

struct FetchUrl {
  std::u16string scheme;  // "http" or "https"
  std::u16string host;    // lower case, without the port
  uint16_t port = 0;      // as written; 0 when the URL has none
  std::u16string path;    // "/" at least; letter case as written
  std::u16string query;   // with its "?", or empty

  // An absolute http or https URL (spaces around it ignored); nothing when
  // it is neither, has no host or a port outside 1..65535.
  static std::optional<FetchUrl> parse(std::u16string_view text);

  uint16_t defaultPort() const { return scheme == u"https" ? 443 : 80; }
  // The port connected to.
  uint16_t effectivePort() const { return port ? port : defaultPort(); }
  // The host, with ":port" when the port is not the scheme's default: what a
  // Host line carries, and what names the site's folder and the site itself.
  std::u16string authority() const;
  // The whole URL, with the port only when it is not the default.
  std::u16string text() const;
  // text() as a browser sends it: every character of the path below "!" or
  // above "~" percent-encoded as UTF-8, those of the query in the charset
  // of the page the link was found on. Escapes already there stay, so the
  // result is plain ASCII (but for the host) and encoding it again changes
  // nothing.
  std::u16string wireText(text::Charset queryCharset = text::Charset::kUtf8) const;
};

// The reference ref (a link as written on the page base) as an absolute
// URL; nothing when the result would not be http or https.
std::optional<FetchUrl> resolveReference(const FetchUrl& base, std::u16string_view ref);

}  // namespace harbek::url
