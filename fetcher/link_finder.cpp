#include "fetcher/link_finder.h"

#include <algorithm>
#include <cstdint>
#include <string>


namespace harbek::fetcher {
namespace {

constexpr size_t npos = std::u16string_view::npos;
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

// What an attribute of an element is to the page.
enum class Use { kNone, kPage, kRequisite, kBase, kSrcset, kStyle, kRefresh };

Use roleOf(std::u16string_view tag, std::u16string_view attribute) {
  static constexpr struct {
    std::u16string_view tag, attribute;
    Use use;
  } kUses[] = {
      {u"a", u"href", Use::kPage},          {u"area", u"href", Use::kPage},
      {u"frame", u"src", Use::kPage},       {u"iframe", u"src", Use::kPage},
      {u"meta", u"content", Use::kRefresh}, {u"base", u"href", Use::kBase},
      {u"link", u"href", Use::kRequisite},  {u"img", u"src", Use::kRequisite},
      {u"img", u"srcset", Use::kSrcset},    {u"script", u"src", Use::kRequisite},
      {u"source", u"src", Use::kRequisite}, {u"source", u"srcset", Use::kSrcset},
      {u"video", u"src", Use::kRequisite},  {u"video", u"poster", Use::kRequisite},
      {u"audio", u"src", Use::kRequisite},  {u"track", u"src", Use::kRequisite},
      {u"embed", u"src", Use::kRequisite},  {u"input", u"src", Use::kRequisite},
      {u"object", u"data", Use::kRequisite}, {u"body", u"background", Use::kRequisite},
      {u"table", u"background", Use::kRequisite}, {u"td", u"background", Use::kRequisite},
      {u"th", u"background", Use::kRequisite}, {u"image", u"href", Use::kRequisite},
      {u"image", u"xlink:href", Use::kRequisite}, {u"use", u"href", Use::kRequisite},
      {u"use", u"xlink:href", Use::kRequisite},
  };
  if (attribute == u"style") return Use::kStyle;
  for (const auto& u : kUses) {
    if (u.tag == tag && u.attribute == attribute) return u.use;
  }
  return Use::kNone;
}

class Finder {
 public:
  Finder(std::u16string_view view, std::vector<FoundLink>& links) : view_(view), links_(links) {}

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
  void refresh(size_t begin, size_t end);
  void add(size_t begin, size_t end, bool inAttribute, LinkRole role = LinkRole::kRequisite, bool classic = false) {
    if (end > begin) links_.push_back({begin, end, inAttribute, role, classic});
  }
  // The href of a and link and the src of img, script and iframe (the only
  // attribute of each that names a resource, bar style and srcset).
  static bool classic(std::u16string_view tag) {
    return tag == u"a" || tag == u"link" || tag == u"img" || tag == u"script" || tag == u"iframe";
  }
  // A CSS value with a backslash holds escapes, which would have to be read
  // first; a data: URL names nothing to fetch.
  void addCss(size_t begin, size_t end, bool inAttribute) {
    const std::u16string_view value = view_.substr(begin, end - begin);
    if (value.find(u'\\') == npos && !startsAtNoCase(value, 0, u"data:")) add(begin, end, inAttribute);
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
  std::vector<FoundLink>& links_;
  std::vector<Attribute> attributes_;
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

  std::vector<Attribute>& attributes = attributes_;  // kept between elements: no allocation each
  attributes.clear();
  while (true) {
    while (i < n && (isSpace(view_[i]) || view_[i] == u'/')) ++i;
    if (i >= n) return n;
    if (view_[i] == u'>') {
      ++i;
      break;
    }
    attributes.emplace_back();
    Attribute& a = attributes.back();
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
  }

  auto value = [&](std::u16string_view name) {
    for (const Attribute& a : attributes) {
      if (a.name == name) return view_.substr(a.begin, a.end - a.begin);
    }
    return std::u16string_view();
  };
  for (const Attribute& a : attributes) {
    switch (roleOf(tag, a.name)) {
      case Use::kPage:
        add(a.begin, a.end, true, LinkRole::kPage, classic(tag));
        break;
      case Use::kRequisite:
        if (tag != u"input" || startsAtNoCase(value(u"type"), 0, u"image")) {
          add(a.begin, a.end, true, LinkRole::kRequisite, classic(tag));
        }
        break;
      case Use::kBase:
        add(a.begin, a.end, true, LinkRole::kBase);
        break;
      case Use::kSrcset:
        srcset(a.begin, a.end);
        break;
      case Use::kStyle:
        css(a.begin, a.end, true);
        break;
      case Use::kRefresh:
        if (startsAtNoCase(value(u"http-equiv"), 0, u"refresh")) refresh(a.begin, a.end);
        break;
      case Use::kNone:
        break;
    }
  }
  if (tag != u"script" && tag != u"style") return i;
  const size_t close = findNoCase(view_, u"</" + tag, i);
  if (tag == u"style") css(i, close == npos ? n : close, false);
  return close == npos ? n : close;
}

// "5; url=page.html": the URL after "url=", quotes around it dropped.
void Finder::refresh(size_t begin, size_t end) {
  for (size_t i = begin; i + 4 <= end; ++i) {
    if (!startsAtNoCase(view_, i, u"url")) continue;
    size_t v = i + 3;
    while (v < end && isSpace(view_[v])) ++v;
    if (v >= end || view_[v] != u'=') continue;
    ++v;
    while (v < end && (isSpace(view_[v]) || view_[v] == u'\'' || view_[v] == u'"')) ++v;
    size_t stop = end;
    while (stop > v && (isSpace(view_[stop - 1]) || view_[stop - 1] == u'\'' || view_[stop - 1] == u'"')) --stop;
    add(v, stop, true, LinkRole::kPage);
    return;
  }
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

std::vector<FoundLink> findHtmlLinks(std::u16string_view page) {
  std::vector<FoundLink> links;
  Finder finder(page, links);
  // Each element is read from its "<" on; what it returns is where the next
  // may start (past a comment, a script, or a ">" in a quoted value).
  for (size_t at = page.find(u'<'); at != npos; at = page.find(u'<', at)) at = std::max(finder.element(at), at + 1);
  return links;
}

std::u16string linkValue(std::u16string_view text, const FoundLink& link) {
  const std::u16string_view raw = text.substr(link.begin, link.end - link.begin);
  if (!link.inAttribute || raw.find(u'&') == npos) return std::u16string(raw);
  static constexpr struct {
    std::u16string_view name;
    char16_t c;
  } kNamed[] = {{u"amp;", u'&'}, {u"quot;", u'"'}, {u"apos;", u'\''}, {u"lt;", u'<'}, {u"gt;", u'>'}};
  std::u16string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != u'&') {
      out += raw[i];
      continue;
    }
    const std::u16string_view rest = raw.substr(i + 1);
    bool read = false;
    for (const auto& n : kNamed) {
      if (rest.starts_with(n.name)) {
        out += n.c;
        i += n.name.size();
        read = true;
        break;
      }
    }
    if (!read && rest.starts_with(u"#")) {
      const bool hex = rest.size() > 1 && (rest[1] == u'x' || rest[1] == u'X');
      const size_t semicolon = rest.find(u';');
      uint32_t code = 0;
      size_t k = hex ? 2 : 1;
      for (; k < semicolon && k < rest.size(); ++k) {
        const char16_t c = rest[k];
        const int d = c >= u'0' && c <= u'9' ? c - u'0' : hex && c >= u'a' && c <= u'f' ? c - u'a' + 10 : hex && c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
        if (d < 0 || (code = code * (hex ? 16 : 10) + static_cast<uint32_t>(d)) > 0xFFFF) break;
      }
      if (semicolon != npos && k == semicolon && k > (hex ? 2u : 1u) && code > 0) {
        out += static_cast<char16_t>(code);
        i += semicolon + 1;
        read = true;
      }
    }
    if (!read) out += u'&';
  }
  return out;
}

std::vector<FoundLink> findCssLinks(std::u16string_view css) {
  std::vector<FoundLink> links;
  Finder(css, links).css(0, css.size(), false);
  return links;
}

}  // namespace harbek::fetcher
