#include "crawler/terminal_view.h"

#include <unistd.h>

#include <cstdio>

#include "platform/text/text.h"

namespace harbek::crawler {

TerminalView::TerminalView(bool quiet)
    : quiet_(quiet), statusLine_(isatty(STDERR_FILENO) == 1), logToTerminal_(isatty(STDOUT_FILENO) == 1) {
  if (!logToTerminal_) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

TerminalView::~TerminalView() { finish(); }

void TerminalView::finish() {
  std::fflush(stdout);
  if (statusLine_ && drawn_) std::fputs("\n", stderr);
  drawn_ = false;
}

void TerminalView::panelChanged(int panel, const std::u16string& text) {
  panels_[panel - 1] = text::toUtf8(text);
  redraw();
}

void TerminalView::logged(const std::u16string& line, const std::u16string&) {
  if (quiet_) return;
  std::string utf8 = text::toUtf8(line);
  utf8.push_back('\n');
  if (statusLine_ && drawn_) std::fputs("\r\x1b[K", stderr);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  if (logToTerminal_) std::fflush(stdout);
  redraw();
}

void TerminalView::warned(const std::u16string& message) {
  if (statusLine_ && drawn_) std::fputs("\r\x1b[K", stderr);
  std::fputs(("harbek: " + text::toUtf8(message) + "\n").c_str(), stderr);
  redraw();
}

void TerminalView::redraw() {
  if (!statusLine_) return;
  std::string line = "\r\x1b[K";
  if (counts_ && queue_) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    char figures[160];
    std::snprintf(figures, sizeof figures, "%lld files, %.1f MB | queue %zu | %.0f s, %.1f files/s | ",
                  static_cast<long long>(counts_->filesSaved), static_cast<double>(counts_->bytesSaved) / (1 << 20),
                  queue_->count(), seconds, seconds > 0 ? static_cast<double>(counts_->filesSaved) / seconds : 0.0);
    line += figures;
  }
  line += panels_[0];
  if (!panels_[3].empty()) line += " | " + panels_[3];
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace harbek::crawler
