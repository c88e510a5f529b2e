// harbek: the web-site copier.
//
//   harbek [--headless] [--ini FILE] [--save-dir DIR] [--interval MS] [URL ...]
//          [--user-agent TEXT] [--no-check-certificate] [--ca-certificate FILE]
//   harbek --replace RULES DIR
//
// Without --headless the program opens its main window; the URLs given are
// queued and the crawl starts with "运行". SIGINT and SIGTERM close the
// window as its close button does. Without a display it says so and exits 2.
//
// Terminal mode starts as the main window would (settings loaded, spider not
// started) and at once as if "运行" were pressed. Every log line goes to
// standard output; when standard error is a terminal, one status line there
// shows the four status panels. SIGINT and SIGTERM run the close sequence
// (the queue is spilled, the settings saved) and the program exits 0; so does
// a crawl that ends by itself, unless a fetch got no response at all (no
// connection, a rejected certificate): then the status is 4, as wget's for a
// network failure.
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
#include "crawler/terminal_view.h"
#include "crawler/windows/window_main.h"
#include "platform/event/event_loop.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "tools/replace_command.h"
#include "tools/windows/replace_entry.h"

namespace {

using namespace harbek;

constexpr const char* kUsage =
    "usage: harbek [--headless] [--ini FILE] [--save-dir DIR] [--interval MS] [URL ...]\n"
    "              [--user-agent TEXT] [--no-check-certificate] [--ca-certificate FILE]\n";
constexpr int kNetworkFailureStatus = 4;
constexpr const char* kNoDisplay =
    "harbek: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
    "use --headless to copy a site in the terminal\n";

struct Arguments {
  bool headless = false;
  std::string ini;
  std::string saveDir;
  int interval = 100;
  std::vector<std::string> urls;
  crawler::sysMain::RequestOptions request;
};

// The request options; false when a is none of them. A missing value is an
// error (ok false).
bool parseRequestOption(const std::string& a, int argc, char** argv, int& i, bool& ok,
                        crawler::sysMain::RequestOptions& out) {
  if (a == "--no-check-certificate") {
    out.noCheckCertificate = true;
    return true;
  }
  std::u16string* into = a == "--user-agent" ? &out.userAgent : a == "--ca-certificate" ? &out.caCertificate : nullptr;
  if (!into) return false;
  ok = i + 1 < argc && argv[i + 1][0] != '\0';
  if (ok) *into = text::fromUtf8(argv[++i]);
  return true;
}

bool parseArguments(int argc, char** argv, Arguments& out) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (bool ok = true; parseRequestOption(a, argc, argv, i, ok, out.request)) {
      if (!ok) return false;
    } else if (a == "--headless") {
      out.headless = true;
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
  return true;
}

std::string iniPath(const Arguments& args) { return args.ini.empty() ? fs::programFolder() + "/sys.ini" : args.ini; }

// --save-dir as an absolute folder.
std::u16string saveFolder(const Arguments& args) {
  if (args.saveDir.empty()) return {};
  std::error_code ec;
  std::string folder = std::filesystem::absolute(args.saveDir, ec).lexically_normal().string();
  return text::fromUtf8(ec ? args.saveDir : folder);
}

// SIGINT and SIGTERM become readable events on the returned descriptor (-1
// when it cannot be made), so that they run the close sequence in the event
// loop instead of ending the program with the queue unsaved.
int closeSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  // Output piped into a program that stops reading must not end the crawl
  // before the queue is spilled.
  signal(SIGPIPE, SIG_IGN);
  return signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

int runWindows(const Arguments& args) {
  if (!windows::displayAvailable()) {
    std::fputs(kNoDisplay, stderr);
    return 2;
  }
  windows::WindowModeOptions options;
  options.iniPath = text::fromUtf8(iniPath(args));
  options.saveFolder = saveFolder(args);
  options.intervalMs = args.interval;
  for (const auto& u : args.urls) options.addresses.push_back(text::fromUtf8(u));
  options.makeReplaceWindow = tools::openReplaceWindow;
  options.closeSignalFd = closeSignals();
  options.request = args.request;
  int status = windows::runWindowMode(options);
  if (options.closeSignalFd >= 0) close(options.closeSignalFd);
  return status;
}

int runHeadless(const Arguments& args) {
  int signalFd = closeSignals();

  auto loop = event::makePollLoop();
  crawler::TerminalView view;
  crawler::sysMain::Options options;
  options.iniPath = text::fromUtf8(iniPath(args));
  options.intervalMs = args.interval;
  options.request = args.request;
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
  if (!args.saveDir.empty()) sys.setSaveFolder(saveFolder(args));
  for (const auto& u : args.urls) sys.addUrl(text::fromUtf8(u));
  sys.setFinishedHandler([&] { sys.requestClose(quit); });

  int status = 0;
  if (sys.run()) {
    loop->run();
    if (sys.networkFailures() > 0) status = kNetworkFailureStatus;
  } else {
    status = 1;
  }
  if (signalWatch) loop->removeWatch(signalWatch);
  if (signalFd >= 0) close(signalFd);
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
  Arguments args;
  if (!parseArguments(argc, argv, args)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return args.headless ? runHeadless(args) : runWindows(args);
}
