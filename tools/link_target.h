// Where a link of a saved page leads: the URL a browser would load, and the
// file of the copy that holds it, if any.
//
// A converted copy is read by a browser, so links resolve by the browser's
// rules (scheme-relative "//host/x", "?query", "../", "\" as "/"), not by the
// crawler's own text rules. The file is then found by the saved layout's
// rules (store/local_name.h): every name the crawl may have given it, in
// this copy or in one made by an earlier version. A path is looked up as the
// page wrote it and then percent-decoded, as a browser opening a file://
// address decodes it; the second form is what this converter itself writes,
// so converting a converted page finds the same files again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harbek::tools {

// An absolute http or https URL, cut into its parts. host is lower-cased and
// keeps a port ("site:8080"); path starts with "/"; query and fragment keep
// their "?" and "#", and are empty when absent.
struct LinkUrl {
  std::u16string scheme;
  std::u16string host;
  std::u16string path;
  std::u16string query;
  std::u16string fragment;
};

// The URL that link (as written in a page, character references already
// read) names on the page at base. Nothing for links a browser does not load
// from the web or that stay on the page: empty, "#..." only, and other
// schemes (mailto:, javascript:, data:, ftp:, ...).
std::optional<LinkUrl> resolveLink(const LinkUrl& base, std::u16string_view link);

// What a relative link names when it climbs above its page's host, as the
// links from one host of a copy to another do ("../other/x.html" from
// host/a.html): from a file:// page it goes on into the save folder, whose
// folders are hosts. Nothing for a link that does not climb that far, which
// names the same URL either way.
std::optional<LinkUrl> resolveAcrossHosts(const LinkUrl& base, std::u16string_view link);

// The URL of the saved file at rel (host/path, "/" separators, UTF-8), as
// the crawler fetched it.
LinkUrl pageUrl(std::string_view rel);

// The file of the copy under saveFolder that holds url: its path relative to
// saveFolder (UTF-8). Nothing when the copy does not hold it.
std::optional<std::string> savedFileOf(const std::string& saveFolder, const LinkUrl& url);

// rel without empty and "." segments: "host//a/./b.html" is host/a/b.html.
// Relative links are counted from a page's place, so both ends of one are
// taken in this form.
std::string tidied(std::string_view rel);

// The path from the file at fromRel to the file at toRel (both relative to
// the same folder), written as a relative link: every byte a browser could
// read as something else than part of a name is percent-encoded, so the
// result is plain ASCII and safe inside any quotes, CSS url() and encoding.
std::string relativeLink(std::string_view fromRel, std::string_view toRel);

}  // namespace harbek::tools
