#include "tools/link_finder.h"

#include <string>

#include "fetcher/tag_scanner.h"
#include "platform/text/text.h"

namespace harbek::tools {
namespace {

constexpr size_t npos = std::u16string_view::npos;
// What every byte of a non-ASCII character stands as in the syntax view: a
// letter of no syntax.
constexpr char16_t kLetter = u'\u4E00';

// One code unit per byte: ASCII as it is, every other byte (and a trail byte
// of a double-byte character, whatever its value) as kLetter.
std::u16string syntaxView(std::string_view bytes, Encoding encoding) {
  std::u16string view(bytes.size(), kLetter);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      view[i] = c;
    } else if (encoding == Encoding::kCodePage && text::isLeadByte(c) && i + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[i + 1]);
      if (trail >= 0x40 && trail != 0x7F && trail != 0xFF) ++i;
    }
  }
  return view;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }
// A character of a CSS name: "url(" after one is not a url().
bool isNameChar(char16_t c) {
  return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c >= 0x80;
}

// True when lowPattern (lower case) stands at `at`, in any letter case.
bool startsAtNoCase(std::u16string_view view, size_t at, std::u16string_view lowPattern) {
  if (at > view.size() || view.size() - at < lowPattern.size()) return false;
  for (size_t k = 0; k < lowPattern.size(); ++k) {
    if (asciiLower(view[at + k]) != lowPattern[k]) return false;
  }
  return true;
}

// Where lowPattern, which starts with "<", stands from `from` on, in any
// letter case.
size_t findNoCase(std::u16string_view view, std::u16string_view lowPattern, size_t from) {
  for (size_t at = view.find(u'<', from); at != npos; at = view.find(u'<', at + 1)) {
    if (startsAtNoCase(view, at, lowPattern)) return at;
  }
  return npos;
}

class Finder {
 public:
  Finder(std::u16string_view view, std::vector<LinkSpan>& links) : view_(view), links_(links) {}

  // The links of one element that starts at `at`; returns where the next
  // element may start.
  size_t element(size_t at);
  void css(size_t begin, size_t end, bool inAttribute);

 private:
  struct Attribute {
    std::u16string name;
    size_t begin = 0, end = 0;
  };
  void srcset(size_t begin, size_t end);
  void add(size_t begin, size_t end, bool inAttribute) {
    if (end > begin) links_.push_back({begin, end, inAttribute});
  }
  // A CSS value with a backslash holds escapes, which would have to be read
  // first.
  void addCss(size_t begin, size_t end, bool inAttribute) {
    if (view_.substr(begin, end - begin).find(u'\\') == npos) add(begin, end, inAttribute);
  }
  size_t stringEnd(size_t open, size_t end) const {
    for (size_t i = open + 1; i < end; ++i) {
      if (view_[i] == u'\\') {
        ++i;
      } else if (view_[i] == view_[open]) {
        return i;
      }
    }
    return npos;
  }

  std::u16string_view view_;
  std::vector<LinkSpan>& links_;
};

size_t Finder::element(size_t at) {
  const size_t n = view_.size();
  if (startsAtNoCase(view_, at, u"<!--")) {
    const size_t close = view_.find(u"-->", at + 4);
    return close == npos ? n : close + 3;
  }
  // End tags, declarations and a "<" in text hold no links.
  if (at + 1 >= n || !isAsciiLetter(view_[at + 1])) return at + 1;
  size_t i = at + 1;
  std::u16string tag;
  while (i < n && !isSpace(view_[i]) && view_[i] != u'/' && view_[i] != u'>') tag += asciiLower(view_[i++]);

  std::vector<Attribute> attributes;
  while (true) {
    while (i < n && (isSpace(view_[i]) || view_[i] == u'/')) ++i;
    if (i >= n) return n;
    if (view_[i] == u'>') {
      ++i;
      break;
    }
    Attribute a;
    do a.name += asciiLower(view_[i++]);
    while (i < n && !isSpace(view_[i]) && view_[i] != u'/' && view_[i] != u'>' && view_[i] != u'=');
    size_t j = i;
    while (j < n && isSpace(view_[j])) ++j;
    if (j < n && view_[j] == u'=') {
      i = j + 1;
      while (i < n && isSpace(view_[i])) ++i;
      if (i < n && (view_[i] == u'"' || view_[i] == u'\'')) {
        const size_t close = view_.find(view_[i], i + 1);
        if (close == npos) return n;  // the rest of the page is inside the value
        a.begin = i + 1;
        a.end = close;
        i = close + 1;
      } else {
        a.begin = i;
        while (i < n && !isSpace(view_[i]) && view_[i] != u'>') ++i;
        a.end = i;
      }
    }
    attributes.push_back(std::move(a));
  }

  const std::u16string_view link = tag == u"a" || tag == u"area" || tag == u"link" ? u"href"
                                   : tag == u"img" || tag == u"script" || tag == u"iframe" ? u"src"
                                                                                          : u"";
  for (const Attribute& a : attributes) {
    if (a.name == link) {
      add(a.begin, a.end, true);
    } else if (a.name == u"srcset" && tag == u"img") {
      srcset(a.begin, a.end);
    } else if (a.name == u"style") {
      css(a.begin, a.end, true);
    }
  }
  if (tag != u"script" && tag != u"style") return i;
  const size_t close = findNoCase(view_, u"</" + tag, i);
  if (tag == u"style") css(i, close == npos ? n : close, false);
  return close == npos ? n : close;
}

// "url 1x, url 2x": each URL runs to a space; commas that end it belong to
// the list.
void Finder::srcset(size_t begin, size_t end) {
  size_t i = begin;
  while (i < end) {
    while (i < end && (isSpace(view_[i]) || view_[i] == u',')) ++i;
    const size_t start = i;
    while (i < end && !isSpace(view_[i])) ++i;
    size_t stop = i;
    while (stop > start && view_[stop - 1] == u',') --stop;
    add(start, stop, true);
    if (stop < i) continue;  // a candidate without descriptors
    while (i < end && view_[i] != u',') ++i;
  }
}

void Finder::css(size_t begin, size_t end, bool inAttribute) {
  bool importing = false;
  for (size_t i = begin; i < end;) {
    const char16_t c = view_[i];
    if (c == u'/' && i + 1 < end && view_[i + 1] == u'*') {
      const size_t close = view_.substr(0, end).find(u"*/", i + 2);
      i = close == npos ? end : close + 2;
    } else if (c == u'"' || c == u'\'') {
      const size_t close = stringEnd(i, end);
      if (close == npos) return;
      if (importing) addCss(i + 1, close, inAttribute);
      importing = false;
      i = close + 1;
    } else if (c == u'@' && startsAtNoCase(view_, i, u"@import") && (i == begin || !isNameChar(view_[i - 1]))) {
      importing = true;
      i += 7;
    } else if ((c == u'u' || c == u'U') && startsAtNoCase(view_, i, u"url(") &&
               (i == begin || !isNameChar(view_[i - 1]))) {
      importing = false;
      i += 4;
      while (i < end && isSpace(view_[i])) ++i;
      if (i < end && (view_[i] == u'"' || view_[i] == u'\'')) {
        const size_t close = stringEnd(i, end);
        if (close == npos) return;
        addCss(i + 1, close, inAttribute);
        i = close + 1;
      } else {
        const size_t start = i;
        while (i < end && view_[i] != u')' && !isSpace(view_[i])) ++i;
        addCss(start, i, inAttribute);
      }
    } else {
      if (c == u'\\') ++i;  // an escaped character is no syntax
      if (!isSpace(c)) importing = false;
      ++i;
    }
  }
}

}  // namespace

std::vector<LinkSpan> findHtmlLinks(std::string_view page, Encoding encoding) {
  const std::u16string view = syntaxView(page, encoding);
  std::vector<LinkSpan> links;
  Finder finder(view, links);
  size_t next = 0;
  fetcher::TagScanHooks hooks;
  hooks.progress = [](int32_t, int32_t) {};
  hooks.element = [&](std::u16string_view element, std::u16string_view) {
    const auto at = static_cast<size_t>(element.data() - view.data());
    // Inside a comment, a script, or an element already read past its
    // scanner end (a ">" in a quoted value).
    if (at < next) return;
    next = finder.element(at);
  };
  fetcher::scanTags(view, u"", false, hooks);
  return links;
}

std::vector<LinkSpan> findCssLinks(std::string_view css, Encoding encoding) {
  const std::u16string view = syntaxView(css, encoding);
  std::vector<LinkSpan> links;
  Finder(view, links).css(0, view.size(), false);
  return links;
}

}  // namespace harbek::tools
