#include "crawler/terminal_view.h"

#include <unistd.h>

#include <cstdio>

#include "platform/text/text.h"

namespace harbek::crawler {

TerminalView::TerminalView()
    : statusLine_(isatty(STDERR_FILENO) == 1), logToTerminal_(isatty(STDOUT_FILENO) == 1) {
  if (!logToTerminal_) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

TerminalView::~TerminalView() {
  if (statusLine_ && drawn_) std::fputs("\n", stderr);
}

void TerminalView::panelChanged(int panel, const std::u16string& text) {
  panels_[panel - 1] = text::toUtf8(text);
  redraw();
}

void TerminalView::logged(const std::u16string& line, const std::u16string&) {
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
  std::string line = "\r\x1b[K" + panels_[0] + " | queue " + panels_[1] + " | fetched " + panels_[2];
  if (!panels_[3].empty()) line += " | " + panels_[3];
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace harbek::crawler
