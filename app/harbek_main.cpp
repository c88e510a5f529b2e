// harbek: the web-site copier.
//
//   harbek --headless [--convert-links] [--ini FILE] [--save-dir DIR] [--interval MS] [URL ...]
//   harbek --replace RULES DIR
//   harbek --convert-links DIR
//
// Terminal mode starts as the main window would (settings loaded, spider not
// started) and at once as if "运行" were pressed. Every log line goes to
// standard output; when standard error is a terminal, one status line there
// shows the four status panels. SIGINT and SIGTERM run the close sequence
// (the queue is spilled, the settings saved) and the program exits 0; so does
// a crawl that ends by itself. With --convert-links, a crawl that ends by
// itself then converts the links of the pages it saved, so the copy browses
// offline; the exit status is 1 when a page could not be converted.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "crawler/sys_main.h"
#include "platform/event/event_loop.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "tools/convert_command.h"
#include "tools/replace_command.h"

namespace {

using namespace harbek;

constexpr const char* kUsage =
    "usage: harbek --headless [--convert-links] [--ini FILE] [--save-dir DIR] [--interval MS] [URL ...]\n"
    "       harbek --replace RULES DIR\n"
    "       harbek --convert-links DIR\n";

class TerminalView : public crawler::CrawlView {
 public:
  TerminalView() : statusLine_(isatty(STDERR_FILENO) == 1) {}
  ~TerminalView() override {
    if (statusLine_ && drawn_) std::fputs("\n", stderr);
  }

  void panelChanged(int panel, const std::u16string& text) override {
    panels_[panel - 1] = text::toUtf8(text);
    redraw();
  }
  void progressChanged(int32_t, int32_t) override {}
  void trayChanged(crawler::TrayIcon, const std::u16string&) override {}
  void logged(const std::u16string& line, const std::u16string&) override {
    std::string utf8 = text::toUtf8(line);
    utf8.push_back('\n');
    if (statusLine_ && drawn_) std::fputs("\r\x1b[K", stderr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
    redraw();
  }
  void timerEnabledChanged(bool) override {}

 private:
  void redraw() {
    if (!statusLine_) return;
    std::string line = "\r\x1b[K" + panels_[0] + " | queue " + panels_[1] + " | fetched " + panels_[2];
    if (!panels_[3].empty()) line += " | " + panels_[3];
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }

  bool statusLine_;
  bool drawn_ = false;
  std::string panels_[4];
};

struct Arguments {
  std::string ini;
  std::string saveDir;
  int interval = 100;
  bool convertLinks = false;
  std::vector<std::string> urls;
};

bool parseArguments(int argc, char** argv, Arguments& out) {
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (a == "--headless") {
      headless = true;
    } else if (a == "--convert-links") {
      out.convertLinks = true;
    } else if (a == "--ini") {
      if (!value(out.ini)) return false;
    } else if (a == "--save-dir") {
      if (!value(out.saveDir) || out.saveDir.empty()) return false;
    } else if (a == "--interval") {
      std::string ms;
      if (!value(ms) || ms.empty() || ms.size() > 9 || ms.find_first_not_of("0123456789") != std::string::npos)
        return false;
      out.interval = std::stoi(ms);
    } else if (a.starts_with("-")) {
      return false;
    } else {
      out.urls.push_back(a);
    }
  }
  return headless;
}

int runHeadless(const Arguments& args) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  // Output piped into a program that stops reading must not end the crawl
  // before the queue is spilled.
  signal(SIGPIPE, SIG_IGN);
  int signalFd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);

  auto loop = event::makePollLoop();
  TerminalView view;
  crawler::sysMain::Options options;
  options.iniPath = text::fromUtf8(args.ini.empty() ? fs::programFolder() + "/sys.ini" : args.ini);
  options.intervalMs = args.interval;
  crawler::sysMain sys(*loop, view, options);

  auto quit = [&] { loop->quit(); };
  event::WatchId signalWatch = 0;
  if (signalFd >= 0) {
    signalWatch = loop->watchFd(signalFd, event::kReadable, [&](unsigned) {
      signalfd_siginfo info;
      while (read(signalFd, &info, sizeof info) == sizeof info) {
      }
      sys.requestClose(quit);  // ignored while a close is already running
    });
  }

  sys.startUp();
  if (!args.saveDir.empty()) {
    std::error_code ec;
    std::string folder = std::filesystem::absolute(args.saveDir, ec).lexically_normal().string();
    sys.saveSettingsWindow(text::fromUtf8(ec ? args.saveDir : folder), sys.settings().SiteListUrl);
  }
  for (const auto& u : args.urls) {
    // A bare host name is taken as an http address.
    sys.List1().append(text::fromUtf8(u.find("://") == std::string::npos ? "http://" + u : u));
  }
  bool finished = false;
  sys.setFinishedHandler([&] {
    // A crawl stopped by a failing disk keeps its queue: it is not done.
    finished = sys.List1().empty();
    sys.requestClose(quit);
  });

  int status = 0;
  if (sys.run()) {
    loop->run();
  } else {
    status = 1;
  }
  if (signalWatch) loop->removeWatch(signalWatch);
  if (signalFd >= 0) close(signalFd);
  // An interrupted crawl is not converted: it is resumed later, and its
  // pages must stay as served until the copy is whole.
  if (finished && args.convertLinks) {
    std::vector<std::string> saved;
    for (const std::u16string& rel : sys.savedThisRun()) saved.push_back(text::toUtf8(rel));
    const tools::ConvertSummary summary = tools::convertPages(text::toUtf8(sys.settings().dbpath), saved,
                                                              tools::printingObserver(std::cout, std::cerr));
    tools::printSummary(summary, std::cout);
    if (!summary.ok()) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--replace") == 0) {
    if (argc != 4) {
      std::fputs("usage: harbek --replace RULES DIR\n", stderr);
      return 2;
    }
    // A reader that goes away must not end the run between two files.
    signal(SIGPIPE, SIG_IGN);
    return harbek::tools::runReplaceCommand(argv[2], argv[3], std::cout, std::cerr);
  }
  if (argc == 3 && std::strcmp(argv[1], "--convert-links") == 0) {
    signal(SIGPIPE, SIG_IGN);
    return harbek::tools::runConvertCommand(argv[2], std::cout, std::cerr);
  }
  Arguments args;
  if (!parseArguments(argc, argv, args)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return runHeadless(args);
}
