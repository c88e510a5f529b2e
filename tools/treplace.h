// Batch find-and-replace over the files of a saved site.
//
// A rule is a pair of texts: every occurrence of the first is replaced by the
// second. Treplace applies the rules, in order, to one file; runRules takes
// the files of a list from its end, one by one, as the find-and-replace
// window does and as `harbek --replace` does.
//
// No file is ever lost or damaged. Images are not touched; a file is read as
// UTF-8 when it says or shows that it is UTF-8, and in the system code page
// otherwise; a file whose bytes would not come back unchanged from that
// reading (a binary file, whatever its name) is skipped; a file no rule
// changes is not rewritten; a changed file is written to a temporary file
// that then replaces it, so the path always holds the whole old or the whole
// new content. A file that cannot be read or written stops the run and keeps
// its place in the list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace harbek::tools {

struct Rule {
  std::u16string find;
  std::u16string replacement;
};

// Each rule in order, on the result of the one before: every occurrence,
// left to right, case-sensitive. A rule with an empty find text does nothing.
std::u16string applyRules(std::u16string text, const std::vector<Rule>& rules);

// How a file's bytes are read as text and written back.
enum class Encoding { kCodePage, kUtf8 };

// Bytes read as text and text written as bytes in an encoding.
std::u16string decode(std::string_view bytes, Encoding enc);
std::string encode(std::u16string_view text, Encoding enc);

// UTF-8 when the bytes are valid UTF-8 and not all ASCII, or when a <meta>
// element declares a UTF-8 charset; the system code page otherwise.
Encoding encodingOf(std::string_view bytes);

enum class Outcome {
  kChanged,    // rewritten with the rules' result
  kUnchanged,  // no rule changed anything: the file was left as it was
  kSkipped,    // not something the rules may rewrite (reason says why)
  kFailed,     // could not be read or written (reason says why); unchanged
};

struct ReplaceResult {
  Outcome outcome = Outcome::kUnchanged;
  std::string reason;  // for kSkipped and kFailed
};

// Applies the rules to the file at path (bytes, "/" separators).
ReplaceResult Treplace(const std::string& path, const std::vector<Rule>& rules);

// What a run works on: the window's list and rule boxes, or the terminal
// command's.
class ReplaceRunHost {
 public:
  virtual ~ReplaceRunHost() = default;
  virtual bool hasFiles() const = 0;
  virtual std::string lastFile() const = 0;
  virtual void removeLastFile() = 0;
  // Read before each file, so rules edited during a run apply from the next.
  virtual std::vector<Rule> rules() const = 0;
  // Handles pending user-interface events; called once before each file.
  virtual void pumpEvents() = 0;
  virtual void handled(const std::string& path, const ReplaceResult& result) = 0;
};

// Processes the files from the end of the list until it is empty, removing
// each one handled. Stops at the first file that fails, leaving it last in
// the list; returns false then.
bool runRules(ReplaceRunHost& host);

}  // namespace harbek::tools
