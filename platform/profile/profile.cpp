#include "platform/profile/profile.h"

#include "platform/text/text.h"

namespace harbek::profile {
namespace {

constexpr size_t npos = std::string_view::npos;

// A CR left before the end of the text counts as blank, so a file whose last
// line ends in a lone CR reads like one ending in CR LF.
std::string_view trim(std::string_view s) {
  constexpr std::string_view kBlanks = " \t\r";
  size_t b = s.find_first_not_of(kBlanks);
  if (b == npos) return {};
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

struct Line {
  size_t begin = 0;  // its first byte
  size_t end = 0;    // just before its line end
  size_t next = 0;   // the first byte of the next line
};

// Lines end at LF, with a CR before it belonging to the line end; the last
// line may have no line end.
class LineReader {
 public:
  explicit LineReader(std::string_view s) : s_(s) {}

  bool next(Line& line) {
    if (pos_ >= s_.size()) return false;
    size_t lf = s_.find('\n', pos_);
    line.begin = pos_;
    if (lf == npos) {
      line.end = line.next = s_.size();
    } else {
      line.end = (lf > pos_ && s_[lf - 1] == '\r') ? lf - 1 : lf;
      line.next = lf + 1;
    }
    pos_ = line.next;
    return true;
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

// A name in the form names are compared in: decoded from the code page and
// lower-cased, so letters of every script match regardless of case and the
// trail byte of a double-byte character is never taken for a letter.
class FoldedName {
 public:
  explicit FoldedName(std::string_view name) : folded_(fold(trim(name))) {}
  bool matches(std::string_view other) const { return fold(other) == folded_; }

 private:
  static std::u16string fold(std::string_view s) { return text::toLower(text::fromCodePage(s)); }
  std::u16string folded_;
};

// Where a key stands in an ini text, or where it would go.
struct Location {
  bool sectionFound = false;
  size_t insertAt = 0;              // after the section's last non-blank line
  bool insertNeedsLineEnd = false;  // that line ends the text without a line end
  std::optional<Line> keyLine;
  std::string_view keyName;  // as the file spells it
  std::string_view value;
};

Location locate(std::string_view content, std::string_view section, std::string_view key) {
  const FoldedName wantedSection(section);
  const FoldedName wantedKey(key);
  Location loc;
  LineReader lines(content);
  Line line;
  bool inSection = false;
  auto markInsertAfter = [&](const Line& l) {
    loc.insertAt = l.next;
    loc.insertNeedsLineEnd = content[l.next - 1] != '\n';
  };
  while (lines.next(line)) {
    std::string_view t = trim(content.substr(line.begin, line.end - line.begin));
    if (t.starts_with('[')) {
      if (inSection) break;  // the first section of that name has ended
      size_t close = t.find(']');
      inSection = wantedSection.matches(trim(t.substr(1, close == npos ? npos : close - 1)));
      if (inSection) {
        loc.sectionFound = true;
        markInsertAfter(line);
      }
      continue;
    }
    if (!inSection || t.empty()) continue;
    markInsertAfter(line);
    size_t eq = t.find('=');
    if (eq == npos) continue;
    std::string_view name = trim(t.substr(0, eq));
    if (wantedKey.matches(name)) {
      loc.keyLine = line;
      loc.keyName = name;
      loc.value = trim(t.substr(eq + 1));
      break;
    }
  }
  return loc;
}

// New lines take the line end the text already uses; a new file gets CR LF,
// as the platform writes its ini files.
std::string_view lineEndOf(std::string_view content) {
  size_t lf = content.find('\n');
  if (lf == npos) return "\r\n";
  return (lf > 0 && content[lf - 1] == '\r') ? "\r\n" : "\n";
}

bool holdsAny(std::string_view s, std::string_view bytes) { return s.find_first_of(bytes) != npos; }

}  // namespace

const char* errorName(ProfileError e) {
  switch (e) {
    case ProfileError::kNone: return "no error";
    case ProfileError::kBadName: return "name or value cannot be stored in an ini file";
    case ProfileError::kReadOnly: return "file is read-only";
    case ProfileError::kCannotRead: return "file cannot be read";
    case ProfileError::kCannotWrite: return "file cannot be written";
  }
  return "unknown error";
}

std::optional<std::string_view> findValue(std::string_view content, std::string_view section,
                                          std::string_view key) {
  Location loc = locate(content, section, key);
  if (!loc.keyLine) return std::nullopt;
  return loc.value;
}

ProfileError setValue(std::string_view content, std::string_view section, std::string_view key,
                      std::string_view value, Bytes& out) {
  section = trim(section);
  key = trim(key);
  // Each of these would read back as something else, or split the line.
  if (holdsAny(section, "\r\n]") || holdsAny(key, "\r\n=") || key.starts_with('[') || holdsAny(value, "\r\n"))
    return ProfileError::kBadName;

  const Location loc = locate(content, section, key);
  const std::string_view eol = lineEndOf(content);
  Bytes result;
  result.reserve(content.size() + section.size() + key.size() + value.size() + 8);
  if (loc.keyLine) {
    result.append(content.substr(0, loc.keyLine->begin));
    result.append(loc.keyName).append("=").append(value);
    result.append(content.substr(loc.keyLine->end));
  } else if (loc.sectionFound) {
    result.append(content.substr(0, loc.insertAt));
    if (loc.insertNeedsLineEnd) result.append(eol);
    result.append(key).append("=").append(value).append(eol);
    result.append(content.substr(loc.insertAt));
  } else {
    result.append(content);
    if (!content.empty() && content.back() != '\n') result.append(eol);
    result.append("[").append(section).append("]").append(eol);
    result.append(key).append("=").append(value).append(eol);
  }
  out = std::move(result);
  return ProfileError::kNone;
}

}  // namespace harbek::profile
