#include "tools/replace_command.h"

#include <ostream>

#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "tools/file_search.h"

namespace harbek::tools {
namespace {

// The search's and the run's reports, written as lines; the list of files
// found is the run's list.
class TerminalRun : public SearchView, public ReplaceRunHost {
 public:
  TerminalRun(std::vector<Rule> rules, std::ostream& out, std::ostream& err)
      : rules_(std::move(rules)), out_(out), err_(err) {}

  // SearchView
  void pumpEvents() override {}
  void fileFound(const std::string& path) override { files_.push_back(path); }
  void enteringFolder(const std::string&) override {}
  void folderUnreadable(const std::string& path, fs::Error error) override {
    err_ << "failed " << path << ": cannot list: " << fs::errorName(error) << '\n';
  }

  // ReplaceRunHost
  bool hasFiles() const override { return !files_.empty(); }
  std::string lastFile() const override { return files_.back(); }
  void removeLastFile() override { files_.pop_back(); }
  std::vector<Rule> rules() const override { return rules_; }
  void handled(const std::string& path, const ReplaceResult& result) override {
    switch (result.outcome) {
      case Outcome::kChanged: ++changed_, out_ << "changed " << path << '\n'; break;
      case Outcome::kUnchanged: ++unchanged_; break;
      case Outcome::kSkipped: ++skipped_, out_ << "skipped " << path << ": " << result.reason << '\n'; break;
      case Outcome::kFailed: err_ << "failed " << path << ": " << result.reason << '\n'; break;
    }
  }

  void summary(bool listed, bool ran) const {
    out_ << changed_ << " changed, " << unchanged_ << " unchanged, " << skipped_ << " skipped";
    if (!ran) out_ << ", 1 failed, " << files_.size() - 1 << " not processed";
    if (!listed) out_ << "; some folders could not be listed";
    out_ << '\n';
  }

 private:
  std::vector<Rule> rules_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> files_;
  size_t changed_ = 0, unchanged_ = 0, skipped_ = 0;
};

}  // namespace

bool parseRules(std::string_view utf8, std::vector<Rule>& rules, std::string& error) {
  rules.clear();
  if (text::toUtf8(text::fromUtf8(utf8)) != utf8) {
    error = "the rules file is not valid UTF-8";
    return false;
  }
  // A CR would stay at the end of every text, and no rule would ever match.
  if (utf8.find('\r') != std::string_view::npos) {
    error = "the rules file holds CR characters; lines must end with LF alone";
    return false;
  }
  // The LF that ends the last line does not start another one.
  if (utf8.ends_with('\n')) utf8.remove_suffix(1);
  std::vector<std::u16string> lines;
  if (!utf8.empty()) {
    size_t from = 0;
    for (size_t lf; (lf = utf8.find('\n', from)) != std::string_view::npos; from = lf + 1) {
      lines.push_back(text::fromUtf8(utf8.substr(from, lf - from)));
    }
    lines.push_back(text::fromUtf8(utf8.substr(from)));
  }
  if (lines.empty()) {
    error = "the rules file holds no rule";
    return false;
  }
  if (lines.size() % 2 != 0) {
    error = "line " + std::to_string(lines.size()) + " of the rules file is a find text without a replacement line";
    return false;
  }
  for (size_t i = 0; i < lines.size(); i += 2) rules.push_back({lines[i], lines[i + 1]});
  return true;
}

int runReplaceCommand(const std::string& rulesFile, const std::string& dir, std::ostream& out, std::ostream& err) {
  std::string bytes;
  if (fs::Error e = fs::readFile(rulesFile, bytes); e != fs::Error::kOk) {
    err << "harbek: cannot read " << rulesFile << ": " << fs::errorName(e) << '\n';
    return 2;
  }
  std::vector<Rule> rules;
  std::string error;
  if (!parseRules(bytes, rules, error)) {
    err << "harbek: " << rulesFile << ": " << error << '\n';
    return 2;
  }
  if (!fs::isFolder(dir)) {
    err << "harbek: " << dir << " is not a folder\n";
    return 2;
  }
  TerminalRun run(std::move(rules), out, err);
  const bool listed = search(dir, u"", run);
  const bool ran = runRules(run);
  run.summary(listed, ran);
  return listed && ran ? 0 : 1;
}

}  // namespace harbek::tools
