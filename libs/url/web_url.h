// WebUrl: the text operations on URLs that the crawler meets.
//
// Every operation is a pure function of its arguments (GotoURL aside, which
// asks the desktop to open the URL). The results follow the crawler's own
// rules rather than any URL standard: a URL is normalised to lower case with
// every "http://" removed and its slashes collapsed, and a link resolves
// against its page by plain text operations on "/" and "../". Two dialects
// exist: vornet's rightUrl drops a "#" fragment, corvin's keeps it.
//
// rightUrlKeepCase and nohttpKeepCase do the same work without lower-casing
// anything after the host, for callers that must send a URL's path to a
// server as written (paths are case-sensitive there).
#pragma once

#include <string>
#include <string_view>

#include "platform/component/errors.h"
#include "platform/component/variant.h"
#include "platform/text/page_charset.h"

namespace harbek::url {

enum class Dialect { kVornet, kCorvin };

// The link linkUrl, found on the page pageUrl, as an absolute URL beginning
// with "http://", or empty text for a "mailto:" or "javascript:" link.
std::u16string rightUrl(std::u16string_view pageUrl, std::u16string_view linkUrl, Dialect dialect = Dialect::kVornet);

// True when address contains "mms", "rspt", "http" or "ftp" anywhere (letter
// case counts: "HTTP://x" is not full, "/cgi/http.asp" is).
bool fullUrl(std::u16string_view address);

// The host of a URL, with its port suffix when it has one ("site:81").
std::u16string gethost(std::u16string_view address);

// Asks the desktop to open the URL; always 0.
int32_t GotoURL(std::u16string_view address);

// "http://" followed by str, always.
std::u16string setHttp(std::u16string_view str);

// The URL in lower case, every "http://" removed and its slashes collapsed.
std::u16string nohttp(std::u16string_view address);

// The text before the first "#".
std::u16string noJin(std::u16string_view url);

// The number 80 (16-bit) when the URL has no ":", else the text between
// the first ":" and the next "/". kInvalidArgument when no "/" follows the
// ":" (port is then left empty).
com::HResult getPort(std::u16string_view url, com::Variant& port);

// rightUrl (vornet) with the letter case of everything after the host kept:
// toLower(rightUrlKeepCase(a, b)) == rightUrl(a, b) for every a and b.
std::u16string rightUrlKeepCase(std::u16string_view pageUrl, std::u16string_view linkUrl);

// nohttp without any lower-casing: "http://" is still found in any letter
// case and removed, and the slashes are collapsed in the same way.
std::u16string nohttpKeepCase(std::u16string_view address);

// The scheme a link starts with (after leading white space), lower-cased:
// a letter, then letters, digits, "+", "-" or ".", then ":" before any "/",
// "?" or "#". Empty when the link has none.
std::u16string uriScheme(std::u16string_view link);

// A link of a page resolved by its scheme rather than by the rules' test for
// scheme names anywhere in the text: without a scheme it is relative, even
// "docs/ftp-guide.html"; with "http:" (or "mailto:", "javascript:") it goes
// through rightUrlKeepCase; with any other scheme ("file:", "tel:" ...) it is
// passed on as written, so that no request is made of the page's host for it.
// https is resolved as browsers do (FetchUrl): an "https:" link is taken as
// written with its scheme and host lower-cased, a relative link on an https
// page follows RFC 3986. A protocol-relative link ("//host/path") takes the
// page's scheme and names that host.
std::u16string resolveLinkKeepCase(std::u16string_view page, std::u16string_view link);

// A link of a page as the crawl follows it: resolved as browsers resolve it (RFC 3986, dot segments
// removed) rather than by the rules' text operations: scheme and host
// lower-cased, the path's letter case kept, the fragment dropped, and the
// result in the form the crawl keeps and requests (FetchUrl::wireText: non-
// ASCII characters of the path percent-encoded as UTF-8, those of the query
// in the page's charset). "mailto:" and "javascript:" links come out empty;
// a link with any other scheme ("file:", "tel:" ...) is passed on as
// written, so that no request is made of the page's host for it.
std::u16string crawlLink(std::u16string_view page, std::u16string_view link,
                         text::Charset queryCharset = text::Charset::kCodePage);

// An absolute http or https address (one the user typed, say) in the same
// form; empty when it is neither.
std::u16string crawlForm(std::u16string_view address, text::Charset queryCharset = text::Charset::kUtf8);

// The site a URL belongs to, for the same-host test: its host with the port
// when that is not the scheme's default, whatever the scheme ("http://Site/"
// and "https://site/" are one site; "site:8080" another).
std::u16string siteOf(std::u16string_view address);

// The http form of an https URL (same host, port, path and query), which
// names the same saved file; any other URL is returned as it is.
std::u16string storageForm(std::u16string_view address);

}  // namespace harbek::url
