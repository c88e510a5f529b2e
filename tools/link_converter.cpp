#include "tools/link_converter.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/site_data.h"
#include "tools/link_finder.h"
#include "tools/link_target.h"
#include "tools/treplace.h"

namespace harbek::tools {
namespace {

constexpr size_t npos = std::u16string_view::npos;

std::string asciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The character references a URL may hold: the five named ones and numbers.
// Any other "&" is an "&" as a browser reads it.
std::u16string readCharacterReferences(std::u16string_view s) {
  static constexpr std::array<std::pair<std::u16string_view, char16_t>, 5> kNamed = {
      {{u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}}};
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'&') {
      out += s[i];
      continue;
    }
    const std::u16string_view rest = s.substr(i);
    const auto named = std::find_if(kNamed.begin(), kNamed.end(), [&](const auto& n) { return rest.starts_with(n.first); });
    if (named != kNamed.end()) {
      out += named->second;
      i += named->first.size() - 1;
      continue;
    }
    const size_t semicolon = rest.find(u';');
    if (rest.starts_with(u"&#") && semicolon != npos && semicolon > 2 && semicolon < 10) {
      const bool hex = rest[2] == u'x' || rest[2] == u'X';
      const std::string digits = text::toUtf8(rest.substr(hex ? 3 : 2, semicolon - (hex ? 3 : 2)));
      if (!digits.empty() && digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos) {
        const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
        if (code > 0 && code < 0xD800) {
          out += static_cast<char16_t>(code);
          i += semicolon;
          continue;
        }
      }
    }
    out += u'&';
  }
  return out;
}

// Characters that would end or bend a value where it stands (quotes,
// spaces, parentheses of url(), angle brackets) are percent-encoded, and in a
// path so is every non-ASCII character, as a browser sends it.
std::u16string percentEncoded(std::u16string_view s, bool isPath) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  for (char16_t c : s) {
    const bool unsafe = c <= u' ' || c == 0x7F || std::u16string_view(u"\"'<>`()\\").find(c) != npos;
    if (!unsafe && (c < 0x80 || !isPath)) {
      out += c;
      continue;
    }
    for (char byte : text::toUtf8(std::u16string(1, c))) {
      const auto b = static_cast<unsigned char>(byte);
      out += u'%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::u16string absoluteUrl(const LinkUrl& url) {
  return url.scheme + u"://" + url.host + percentEncoded(url.path, true) + percentEncoded(url.query, false) +
         percentEncoded(url.fragment, false);
}

bool isAbsolute(std::u16string_view link) {
  const size_t start = std::min(link.find_first_not_of(u" \t\r\n\f"), link.size());
  const std::u16string lower = text::toLower(link.substr(start, 8));
  return lower.starts_with(u"http://") || lower.starts_with(u"https://");
}

struct PageContext {
  const std::string& saveFolder;
  const std::string& rel;
  LinkUrl url;
  Encoding encoding;
  LinkCounts& counts;
};

// The new bytes of one link's value; nothing when it stays as it is.
std::optional<std::string> convertedValue(std::string_view raw, bool inAttribute, const PageContext& page) {
  std::u16string link = decode(raw, page.encoding);
  // Bytes that are no text in the page's encoding cannot be read as a link,
  // nor written back unchanged.
  if (encode(link, page.encoding) != raw) return std::nullopt;
  if (inAttribute) link = readCharacterReferences(link);
  const auto url = resolveLink(page.url, link);
  if (!url) return std::nullopt;
  std::optional<std::string> file;
  if (const auto across = resolveAcrossHosts(page.url, link)) file = savedFileOf(page.saveFolder, *across);
  if (!file) file = savedFileOf(page.saveFolder, *url);
  std::u16string value;
  if (file) {
    value = text::fromUtf8(relativeLink(page.rel, *file)) + percentEncoded(url->fragment, false);
    ++page.counts.local;
  } else if (!isAbsolute(link)) {
    value = absoluteUrl(*url);
    ++page.counts.online;
  } else {
    return std::nullopt;
  }
  if (inAttribute) {
    for (size_t at = value.find(u'&'); at != npos; at = value.find(u'&', at + 5)) value.replace(at, 1, u"&amp;");
  }
  std::string bytes = encode(value, page.encoding);
  // A fragment or query the page's encoding cannot hold is left as written.
  if (decode(bytes, page.encoding) != value || bytes == raw) return std::nullopt;
  return bytes;
}

PageResult failed(std::string what, fs::Error e) {
  return {PageOutcome::kFailed, what + ": " + std::string(fs::errorName(e)), {}};
}

// The files under saveFolder/rel, depth first, as paths relative to
// saveFolder; symbolic links are not followed and the spill folder is left.
void listFiles(const std::string& saveFolder, const std::string& rel, std::vector<std::string>& files,
               ConvertSummary& summary, const PageObserver& observer) {
  std::vector<fs::Entry> entries;
  const std::string folder = rel.empty() ? saveFolder : saveFolder + "/" + rel;
  if (fs::Error e = fs::listFolder(folder, entries); e != fs::Error::kOk) {
    const PageResult result = failed("cannot list", e);
    summary.failures.emplace_back(rel.empty() ? "." : rel, result.reason);
    if (observer) observer(summary.failures.back().first, result);
    return;
  }
  for (const fs::Entry& e : entries) {
    if (rel.empty() && e.name == "tmp") continue;
    const std::string child = rel.empty() ? e.name : rel + "/" + e.name;
    if (fs::isLink(saveFolder + "/" + child)) continue;
    if (e.isFolder) {
      listFiles(saveFolder, child, files, summary, observer);
    } else {
      files.push_back(child);
    }
  }
}

// What a file's name tells of it; nothing for a name without an extension.
std::optional<PageKind> kindByName(std::string_view rel) {
  const std::string_view name = rel.substr(rel.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string ext = asciiLower(name.substr(dot + 1));
  if (ext == "css") return PageKind::kCss;
  static constexpr std::array<std::string_view, 8> kPages = {"html", "htm", "shtml", "xhtml",
                                                             "asp",  "aspx", "php", "jsp"};
  return std::find(kPages.begin(), kPages.end(), ext) != kPages.end() ? PageKind::kHtml : PageKind::kNone;
}

}  // namespace

PageKind pageKindOf(std::string_view rel, std::string_view bytes) {
  if (const auto kind = kindByName(rel)) return *kind;
  // A page saved under a folder-like name ("/about"): its start tells.
  std::string_view start = bytes.substr(0, 512);
  if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
  start.remove_prefix(std::min(start.find_first_not_of(" \t\r\n"), start.size()));
  const std::string lower = asciiLower(start);
  return lower.starts_with("<!doctype html") || lower.starts_with("<html") ? PageKind::kHtml : PageKind::kNone;
}

std::string convertLinks(std::string_view bytes, PageKind kind, const std::string& saveFolder,
                         const std::string& rel, LinkCounts& counts) {
  if (kind == PageKind::kNone) return std::string(bytes);
  PageContext page{saveFolder, rel, pageUrl(rel), encodingOf(bytes), counts};
  const std::vector<LinkSpan> links =
      kind == PageKind::kHtml ? findHtmlLinks(bytes, page.encoding) : findCssLinks(bytes, page.encoding);
  // The page's links were written against its <base>; converted, they lead
  // from the page's own file, so the base goes (an empty href is the page).
  const auto base = std::find_if(links.begin(), links.end(),
                                 [](const LinkSpan& l) { return l.role == fetcher::LinkRole::kBase; });
  if (base != links.end()) {
    const std::u16string href =
        readCharacterReferences(decode(bytes.substr(base->begin, base->end - base->begin), page.encoding));
    if (const auto url = resolveLink(page.url, href)) page.url = *url;
  }
  std::string out;
  size_t copied = 0;
  for (const LinkSpan& link : links) {
    if (link.role == fetcher::LinkRole::kBase) {
      out.append(bytes.substr(copied, link.begin - copied));
      copied = link.end;
      continue;
    }
    const auto value = convertedValue(bytes.substr(link.begin, link.end - link.begin), link.inAttribute, page);
    if (!value) continue;
    out.append(bytes.substr(copied, link.begin - copied)).append(*value);
    copied = link.end;
  }
  out.append(bytes.substr(copied));
  return out;
}

PageResult convertPage(const std::string& saveFolder, const std::string& given) {
  if (!store::staysInside(text::fromUtf8(given))) return {PageOutcome::kFailed, "outside the save folder", {}};
  const std::string rel = tidied(given);
  const std::string path = saveFolder + "/" + rel;
  // Replacing a link would turn it into a plain file, and following it could
  // write outside the copy.
  if (fs::isLink(path)) return {PageOutcome::kSkipped, "symbolic link", {}};
  if (kindByName(rel) == PageKind::kNone) return {PageOutcome::kSkipped, "not a page", {}};
  std::string bytes;
  if (fs::Error e = fs::readFile(path, bytes); e != fs::Error::kOk) return failed("cannot read", e);
  const PageKind kind = pageKindOf(rel, bytes);
  if (kind == PageKind::kNone) return {PageOutcome::kSkipped, "not a page", {}};
  PageResult result;
  const std::string converted = convertLinks(bytes, kind, saveFolder, rel, result.links);
  if (converted == bytes) return result;
  // A page whose only bytes of one encoding stood in rewritten paths would
  // be read in the other encoding next time, and its links read otherwise.
  if (encodingOf(converted) != encodingOf(bytes)) return {PageOutcome::kSkipped, "mixed encodings", {}};
  if (fs::isReadOnly(path)) return {PageOutcome::kFailed, "read-only file", result.links};
  if (fs::Error e = fs::replaceFile(path, converted); e != fs::Error::kOk) return failed("cannot write", e);
  result.outcome = PageOutcome::kConverted;
  return result;
}

ConvertSummary convertPages(const std::string& saveFolder, const std::vector<std::string>& rels,
                            const PageObserver& observer) {
  ConvertSummary summary;
  for (const std::string& given : rels) {
    const std::string rel = tidied(given);
    const PageResult result = convertPage(saveFolder, given);
    switch (result.outcome) {
      case PageOutcome::kConverted: ++summary.converted; break;
      case PageOutcome::kUnchanged: ++summary.unchanged; break;
      case PageOutcome::kSkipped: ++summary.skipped; break;
      case PageOutcome::kFailed: summary.failures.emplace_back(rel, result.reason); break;
    }
    summary.links.local += result.links.local;
    summary.links.online += result.links.online;
    if (observer) observer(rel, result);
  }
  return summary;
}

ConvertSummary convertCopy(const std::string& saveFolder, const PageObserver& observer) {
  ConvertSummary listing;
  if (!fs::isFolder(saveFolder)) {
    listing.failures.emplace_back(saveFolder, "not a folder");
    return listing;
  }
  std::vector<std::string> files;
  listFiles(saveFolder, "", files, listing, observer);
  ConvertSummary summary = convertPages(saveFolder, files, observer);
  summary.failures.insert(summary.failures.begin(), listing.failures.begin(), listing.failures.end());
  return summary;
}

}  // namespace harbek::tools
