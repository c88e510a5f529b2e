// The monitor log: every status line the crawl logs, kept in memory only.
// Each line is appended with CR LF; once the text holds more than 500
// characters it is emptied, so the log shows only the latest few lines.
#pragma once

#include <string>

namespace harbek::crawler {

class MonitorLog {
 public:
  static constexpr size_t kClearAbove = 500;

  void log(const std::u16string& msg) {
    text_ += msg;
    text_ += u"\r\n";
    if (text_.size() > kClearAbove) text_.clear();
  }
  const std::u16string& text() const { return text_; }

 private:
  std::u16string text_;
};

}  // namespace harbek::crawler
