#include "libs/url/web_url.h"

#include "libs/url/fetch_url.h"

#include "platform/shell/shell.h"
#include "platform/text/text.h"

namespace harbek::url {
namespace {

constexpr std::u16string_view kHttp = u"http://";

using text::contains;
using text::replaceAll;

// The text before the last "/"; a text without one (a bare host) stays.
std::u16string_view upDir(std::u16string_view s) {
  size_t slash = s.rfind(u'/');
  return slash == s.npos ? s : s.substr(0, slash);
}

// nohttp's steps. Lower-casing is a code unit for code unit mapping, so the
// positions of "http://" found in the lower-cased text are the positions in
// the original; the later steps touch only "/" and ".", which no lower-casing
// changes, so lower-casing once up front equals lower-casing before each step.
// Most URLs hold none of the texts a step replaces: such a step costs a
// search and no copy.
std::u16string normalise(std::u16string_view address, bool lowerCase) {
  std::u16string lowered = text::toLower(address);
  // 1. every "http://", in any letter case, anywhere
  std::u16string s =
      lowered.find(kHttp) == lowered.npos
          ? (lowerCase ? std::move(lowered) : std::u16string(address))
          : text::replaceAllFoundIn(lowered, lowerCase ? std::u16string_view(lowered) : address, kHttp, u"");
  auto step = [&s](std::u16string_view from, std::u16string_view to) {
    if (s.find(from) != s.npos) s = replaceAll(s, from, to);
  };
  step(u"//", u"/");    // 2.
  step(u"./", u"/");    // 3. "../" becomes "./", "/./" becomes "//"
  step(u"//", u"/./");  // 4. ... and "//" becomes "/./" again
  step(u"//", u"/");    // 5.
  step(u"//", u"/");    // 6.
  return s;
}

std::u16string hostOf(std::u16string_view s) { return std::u16string(s.substr(0, s.find(u'/'))); }

// rightUrl's steps; keepCase leaves everything after the host as written.
// relative skips the absolute-URL test of step 2: the caller knows the link
// has no scheme.
std::u16string resolve(std::u16string_view pageUrl, std::u16string_view linkUrl, bool keepCase, bool dropFragment,
                       bool relative = false) {
  const std::u16string page = normalise(pageUrl, !keepCase);  // 1.
  std::u16string r;
  if (!relative && fullUrl(linkUrl)) {  // 2.
    r = linkUrl;
  } else {
    const std::u16string link = text::toLower(linkUrl);
    if (contains(link, u"mailto:") || contains(link, u"javascript:")) return {};  // 3.
    const char16_t first = linkUrl.empty() ? u'\0' : linkUrl.front();             // 4.
    if (first == u'/') {
      r = gethost(page) + u"/" + std::u16string(linkUrl);
    } else if (first == u'.') {
      // One upDir for the page's own file name and one for each "../";
      // a bare host is where the climbing stops, and once it is reached
      // further calls change nothing.
      std::u16string_view base = upDir(page);
      for (size_t hit = link.find(u"../"); hit != link.npos; hit = link.find(u"../", hit + 3)) {
        std::u16string_view up = upDir(base);
        if (up.size() == base.size()) break;
        base = up;
      }
      r = std::u16string(base) + u"/" + replaceAll(linkUrl, u"../", u"");
    } else if (first == u'#') {
      r = page;
    } else {
      r = std::u16string(upDir(page)) + u"/" + std::u16string(linkUrl);
    }
  }
  r = normalise(r, !keepCase);  // 5.
  if (keepCase) {
    size_t hostEnd = std::min(r.find(u'/'), r.size());
    r.replace(0, hostEnd, text::toLower(std::u16string_view(r).substr(0, hostEnd)));
  }
  r = setHttp(r);                       // 6.
  return dropFragment ? noJin(r) : r;  // 7.
}

}  // namespace

std::u16string rightUrl(std::u16string_view pageUrl, std::u16string_view linkUrl, Dialect dialect) {
  return resolve(pageUrl, linkUrl, false, dialect == Dialect::kVornet);
}

bool fullUrl(std::u16string_view address) {
  // "https" is listed in the rules too, but "http" already covers it.
  for (std::u16string_view scheme : {u"mms", u"rspt", u"http", u"ftp"}) {
    if (contains(address, scheme)) return true;
  }
  return false;
}

std::u16string gethost(std::u16string_view address) { return hostOf(nohttp(address)); }

int32_t GotoURL(std::u16string_view address) {
  shell::openInBrowser(text::toUtf8(address));
  return 0;
}

std::u16string setHttp(std::u16string_view str) { return std::u16string(kHttp) + std::u16string(str); }

std::u16string nohttp(std::u16string_view address) { return normalise(address, true); }

std::u16string noJin(std::u16string_view url) { return std::u16string(url.substr(0, url.find(u'#'))); }

com::HResult getPort(std::u16string_view url, com::Variant& port) {
  const std::u16string s = replaceAll(text::toLower(url), kHttp, u"");
  const size_t colon = s.find(u':');
  if (colon == s.npos) {
    port = int16_t{80};
    return com::kOk;
  }
  const size_t slash = s.find(u'/', colon + 1);
  if (slash == s.npos) {
    // The port would be the text from the colon with a negative length.
    port = com::Variant();
    return com::kInvalidArgument;
  }
  port = s.substr(colon + 1, slash - colon - 1);
  return com::kOk;
}

std::u16string rightUrlKeepCase(std::u16string_view pageUrl, std::u16string_view linkUrl) {
  return resolve(pageUrl, linkUrl, true, true);
}

std::u16string nohttpKeepCase(std::u16string_view address) { return normalise(address, false); }

std::u16string uriScheme(std::u16string_view link) {
  const size_t start = link.find_first_not_of(u" \t\r\n");
  if (start == link.npos) return {};
  auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
  if (!letter(link[start])) return {};
  for (size_t i = start + 1; i < link.size(); ++i) {
    const char16_t c = link[i];
    if (c == u':') return text::toLower(link.substr(start, i - start));
    if (!letter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.') return {};
  }
  return {};
}

std::u16string resolveLinkKeepCase(std::u16string_view page, std::u16string_view link) {
  const std::u16string scheme = uriScheme(link);
  const std::u16string pageScheme = uriScheme(page);
  if (scheme.empty()) {
    const size_t start = link.find_first_not_of(u" \t\r\n");
    const bool protocolRelative = start != link.npos && link.substr(start).starts_with(u"//");
    if (pageScheme == u"https") {
      const std::optional<FetchUrl> base = FetchUrl::parse(page);
      const std::optional<FetchUrl> target = base ? resolveReference(*base, link) : std::nullopt;
      return target ? target->text() : std::u16string();
    }
    // Without this, "//host/path" would be a path of the page's own host.
    if (protocolRelative) return rightUrlKeepCase(page, u"http:" + std::u16string(link.substr(start)));
    return resolve(page, link, true, true, true);
  }
  if (scheme == u"https") {
    const std::optional<FetchUrl> target = FetchUrl::parse(link);
    return target ? target->text() : std::u16string(link);
  }
  // mailto: and javascript: links come out empty, as the rules make them.
  if (scheme == u"http" || scheme == u"mailto" || scheme == u"javascript") return rightUrlKeepCase(page, link);
  return std::u16string(link);
}

std::u16string crawlLink(std::u16string_view page, std::u16string_view link, text::Charset queryCharset) {
  std::u16string scheme = uriScheme(link);
  if (scheme == u"mailto" || scheme == u"javascript") return {};
  if (!scheme.empty() && scheme != u"http" && scheme != u"https") return std::u16string(link);
  std::optional<FetchUrl> base = FetchUrl::parse(page);
  if (!base) base = FetchUrl::parse(u"http://" + std::u16string(page));
  if (!base) return {};
  std::u16string_view ref = link;
  const size_t start = ref.find_first_not_of(u" \t\r\n");
  if (start != ref.npos) ref.remove_prefix(start);
  // "http:page.html" on an http page is relative, as browsers read it.
  if (scheme == base->scheme && !ref.substr(scheme.size() + 1).starts_with(u"//")) ref.remove_prefix(scheme.size() + 1);
  const std::optional<FetchUrl> target = resolveReference(*base, ref);
  if (!target) return scheme.empty() ? std::u16string() : std::u16string(link);  // an absolute link stays as written
  return target->wireText(queryCharset);
}

std::u16string crawlForm(std::u16string_view address, text::Charset queryCharset) {
  const std::optional<FetchUrl> u = FetchUrl::parse(address);
  return u ? u->wireText(queryCharset) : std::u16string();
}

}  // namespace harbek::url

namespace harbek::url {

std::u16string siteOf(std::u16string_view address) {
  if (uriScheme(address) != u"https") return gethost(address);
  const std::optional<FetchUrl> u = FetchUrl::parse(address);
  return u ? u->authority() : std::u16string();
}

std::u16string storageForm(std::u16string_view address) {
  if (uriScheme(address) != u"https") return std::u16string(address);
  const std::optional<FetchUrl> u = FetchUrl::parse(address);
  return u ? u"http://" + u->authority() + u->path + u->query : std::u16string(address);
}

}  // namespace harbek::url
