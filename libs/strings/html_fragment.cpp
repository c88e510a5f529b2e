#include "libs/strings/html_fragment.h"

#include <gumbo.h>

#include <cstdlib>
#include <vector>

namespace harbek::strings {
namespace {

bool isVoid(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_AREA: case GUMBO_TAG_BASE: case GUMBO_TAG_BASEFONT: case GUMBO_TAG_BGSOUND:
    case GUMBO_TAG_BR: case GUMBO_TAG_COL: case GUMBO_TAG_EMBED: case GUMBO_TAG_FRAME:
    case GUMBO_TAG_HR: case GUMBO_TAG_IMG: case GUMBO_TAG_INPUT: case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_LINK: case GUMBO_TAG_META: case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK: case GUMBO_TAG_WBR:
      return true;
    default:
      return false;
  }
}

// Text inside these elements is written as it stands.
bool holdsRawText(const GumboNode* node) {
  if (node->type != GUMBO_NODE_ELEMENT || node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) return false;
  switch (node->v.element.tag) {
    case GUMBO_TAG_STYLE: case GUMBO_TAG_SCRIPT: case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_NOSCRIPT:
      return true;
    default:
      return false;
  }
}

std::string tagName(const GumboElement& e) {
  std::string name;
  if (e.tag == GUMBO_TAG_UNKNOWN) {
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    // The name as the tokenizer reads it: ASCII lower-cased, a code-0
    // character as U+FFFD.
    for (size_t i = 0; i < piece.length; ++i) {
      char c = piece.data[i];
      if (c == '\0') name += "\xEF\xBF\xBD";
      else name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    }
  } else {
    name = gumbo_normalized_tagname(e.tag);
  }
  if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
    GumboStringPiece piece{name.data(), name.size()};
    if (const char* camel = gumbo_normalize_svg_tagname(&piece)) name = camel;
  }
  return name;
}

void appendEscaped(std::string& out, const char* s, bool inAttribute) {
  for (; *s; ++s) {
    switch (*s) {
      case '&': out += "&amp;"; break;
      case '"': out += inAttribute ? "&quot;" : "\""; break;
      case '<': out += inAttribute ? "<" : "&lt;"; break;
      case '>': out += inAttribute ? ">" : "&gt;"; break;
      default:
        if (s[0] == '\xC2' && s[1] == '\xA0') {  // U+00A0
          out += "&nbsp;";
          ++s;
        } else {
          out.push_back(*s);
        }
    }
  }
}

void appendStartTag(std::string& out, const GumboElement& e) {
  out += '<';
  out += tagName(e);
  for (unsigned i = 0; i < e.attributes.length; ++i) {
    auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
    out += ' ';
    std::string name = a->name;
    switch (a->attr_namespace) {
      case GUMBO_ATTR_NAMESPACE_XLINK: out += "xlink:"; break;
      case GUMBO_ATTR_NAMESPACE_XML: out += "xml:"; break;
      case GUMBO_ATTR_NAMESPACE_XMLNS: if (name != "xmlns") out += "xmlns:"; break;
      case GUMBO_ATTR_NAMESPACE_NONE: break;
    }
    out += name;
    out += "=\"";
    appendEscaped(out, a->value, true);
    out += '"';
  }
  out += '>';
}

// The parser's memory. The parser's own release of a tree recurses once per
// level of nesting and overflows the stack on deeply nested markup, so every
// block is kept on a list instead and whatever the parser has not freed is
// freed with the list.
class ParserMemory {
 public:
  ParserMemory() = default;
  ParserMemory(const ParserMemory&) = delete;
  ParserMemory& operator=(const ParserMemory&) = delete;
  ~ParserMemory() {
    while (head_.next != &head_) release(head_.next);
  }

  void hook(GumboOptions& options) {
    options.userdata = this;
    options.allocator = [](void* self, size_t size) { return static_cast<ParserMemory*>(self)->allocate(size); };
    options.deallocator = [](void*, void* p) {
      if (p) release(static_cast<Block*>(p) - 1);
    };
  }

 private:
  struct alignas(16) Block {
    Block* prev;
    Block* next;
  };

  void* allocate(size_t size) {
    auto* b = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!b) std::abort();  // the parser has no way to report it
    b->prev = &head_;
    b->next = head_.next;
    head_.next->prev = b;
    head_.next = b;
    return b + 1;
  }
  static void release(Block* b) {
    b->prev->next = b->next;
    b->next->prev = b->prev;
    std::free(b);
  }

  Block head_{&head_, &head_};
};

}  // namespace

std::string serializeBodyFragment(std::string_view utf8Html) {
  GumboOptions options = kGumboDefaultOptions;
  options.fragment_context = GUMBO_TAG_BODY;
  options.fragment_namespace = GUMBO_NAMESPACE_HTML;
  // Parse errors are not used; recording them copies the stack of open
  // elements each time, which grows with the square of the nesting.
  options.max_errors = 0;
  ParserMemory memory;
  memory.hook(options);
  const GumboOutput* parsed = gumbo_parse_with_options(&options, utf8Html.data(), utf8Html.size());
  std::string out;
  if (!parsed || !parsed->root) return out;

  // Depth-first without recursion: deeply nested markup must not exhaust
  // the stack.
  struct Frame {
    const GumboNode* node;
    unsigned next;
  };
  const GumboNode* root = parsed->root;  // the <html> element that holds the fragment
  std::vector<Frame> stack{{root, 0}};
  while (!stack.empty()) {
    const GumboNode* parent = stack.back().node;
    const GumboVector& children = parent->v.element.children;
    if (stack.back().next == children.length) {
      if (parent != root) {
        out += "</";
        out += tagName(parent->v.element);
        out += '>';
      }
      stack.pop_back();
      continue;
    }
    auto* child = static_cast<const GumboNode*>(children.data[stack.back().next++]);
    switch (child->type) {
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE:
        appendStartTag(out, child->v.element);
        if (!isVoid(child->v.element.tag) || child->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
          stack.push_back({child, 0});
        break;
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_WHITESPACE:
        if (holdsRawText(parent)) out += child->v.text.text;
        else appendEscaped(out, child->v.text.text, false);
        break;
      case GUMBO_NODE_CDATA:
        out += "<![CDATA[";
        out += child->v.text.text;
        out += "]]>";
        break;
      case GUMBO_NODE_COMMENT:
        out += "<!--";
        out += child->v.text.text;
        out += "-->";
        break;
      case GUMBO_NODE_DOCUMENT:
        break;
    }
  }
  return out;
}

}  // namespace harbek::strings
