// harbek: the web-site copier.
//
//   harbek [--headless] [--convert-links] [--update] [--ini FILE] [--save-dir DIR] [--interval MS] [URL ...]
//          [--user-agent TEXT] [--no-check-certificate] [--ca-certificate FILE] [--query-pages] [--page-requisites]
//          [--depth N] [--include PATTERN] [--exclude PATTERN] [--max-size BYTES] [--max-files N] [--robots]
//          [--keep-alive] [--connections N]
//   harbek --replace RULES DIR
//   harbek --convert-links DIR
//   harbek --failed DIR
//
// Without --headless the program opens its main window; the URLs given are
// queued and the crawl starts with "运行". SIGINT and SIGTERM close the
// window as its close button does. Without a display it says so and exits 2.
//
// Terminal mode starts as the main window would (settings loaded, spider not
// started) and at once as if "运行" were pressed. Every log line goes to
// standard output; when standard error is a terminal, one status line there
// shows the progress. SIGINT and SIGTERM run the close sequence (the queue is
// spilled, the settings saved). Every run ends with a summary line on
// standard error and an exit status that says what went wrong (--help lists
// them). With --convert-links, a crawl that ends by itself then converts the
// links of the pages it saved, so the copy browses offline.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "crawler/crawl_controller.h"
#include "crawler/terminal_view.h"
#include "crawler/windows/window_main.h"
#include "libs/url/web_url.h"
#include "platform/event/event_loop.h"
#include "platform/fs/fs.h"
#include "platform/fs/program_module.h"
#include "platform/text/text.h"
#include "store/state_store.h"
#include "tools/convert_command.h"
#include "tools/replace_command.h"

namespace {

using namespace harbek;

constexpr const char* kUsage =
    "usage: harbek [--headless] [OPTION ...] [URL ...]   (harbek --help explains)\n";

constexpr const char* kHelp =
    "harbek " HARBEK_VERSION " - copies web sites into a local folder\n"
    "\n"
    "usage: harbek [--headless] [OPTION ...] [URL ...]\n"
    "       harbek --replace RULES DIR\n"
    "       harbek --convert-links DIR\n"
    "       harbek --failed DIR\n"
    "\n"
    "Copies every page and file of each start URL's site into FOLDER/host/path\n"
    "(lower case, index.html for folders). Without --headless the main window\n"
    "opens and the copy starts with its \"运行\" button. A copy stopped by Ctrl-C,\n"
    "SIGTERM or a crash resumes where it stopped at the next start: the queue\n"
    "waits in FOLDER/tmp/, a folder harbek marks as its own and removes when the\n"
    "copy is done. A tmp/ folder there that harbek did not make and that holds\n"
    "anything else is left alone, and the copy does not start (exit status 1):\n"
    "choose another save folder.\n"
    "\n"
    "  --headless         copy in the terminal and end when the site is done\n"
    "  --save-dir FOLDER  where the copy goes (default: the folder in the\n"
    "                     settings file, else the current folder)\n"
    "  --ini FILE         the settings file (default: ~/.config/harbek/sys.ini,\n"
    "                     that is $XDG_CONFIG_HOME/harbek; sys.ini beside the\n"
    "                     program when it runs from a writable build tree)\n"
    "  --interval MS      milliseconds between two fetches (default 100; 0: none)\n"
    "  --quiet            print no log lines (warnings and the summary still go\n"
    "                     to standard error)\n"
    "  --convert-links    once the copy is done, make its links work offline\n"
    "  --update           bring an existing copy up to date: every saved page\n"
    "                     reached from the start addresses is asked for again\n"
    "                     with its ETag and Last-Modified; an unchanged one\n"
    "                     (304) is only read for its links, a changed one\n"
    "                     saved anew, one the server no longer has (404, 410)\n"
    "                     kept; new links are followed as in a first run, and\n"
    "                     a summary counts changed, new, unchanged, gone and\n"
    "                     failed\n"
    "  --user-agent TEXT  the User-Agent line's value (default: the settings file's,\n"
    "                     else the program's own)\n"
    "  --query-pages      also copy the site's pages whose links have a query\n"
    "                     (list.php?page=2); each is saved under its name and\n"
    "                     query, as list.php?page=2.html\n"
    "  --keep-alive       keep each connection open for the next request to the\n"
    "                     same host (default: one connection per file, closed)\n"
    "  --connections N    up to N requests at once (1 to 16; default: the settings\n"
    "                     file's Connections, else 1): the next queued URLs are\n"
    "                     fetched ahead on kept connections, the pages still\n"
    "                     saved and scanned one by one in queue order; --interval\n"
    "                     is then the least time between two requests to a host\n"
    "  --page-requisites  also fetch the images, style sheets, scripts, fonts and\n"
    "                     media of the site's pages from other sites (each\n"
    "                     saved under its own site's folder; their links are\n"
    "                     not followed)\n"
    "  --no-check-certificate  accept any https certificate\n"
    "  --ca-certificate FILE   trust the certificates in FILE (PEM) instead of\n"
    "                          the system's\n"
    "\n"
    "Scope (each off unless given; the settings file's Depth, Include, Exclude,\n"
    "MaxSize, MaxFiles and Robots keys set them for every run):\n"
    "  --depth N          follow links at most N steps from a start address (a\n"
    "                     page's images, style sheets and scripts come with it)\n"
    "  --include PATTERN  copy only paths matching the glob PATTERN (/docs/*);\n"
    "                     may be given again: a path matching any one is copied\n"
    "  --exclude PATTERN  never copy paths matching PATTERN (*.zip); may be given\n"
    "                     again; an exclude wins over an include\n"
    "  --max-size BYTES   do not save files larger than BYTES (by Content-Length,\n"
    "                     else the file is cut off and removed)\n"
    "  --max-files N      stop once N files are saved; the rest of the queue\n"
    "                     waits for the next run\n"
    "  --robots           fetch each host's /robots.txt once and keep to its\n"
    "                     rules for \"harbek\" (else for \"*\"); its Crawl-delay\n"
    "                     raises --interval\n"
    "  Every URL a rule leaves out is logged once, with the rule.\n"
    "\n"
    "  --replace RULES DIR  run find-and-replace rules over the files under DIR\n"
    "  --convert-links DIR  make the links of an existing copy work offline\n"
    "  --failed DIR       list the URLs of the copy in DIR that were given up\n"
    "                     after their tries, with the reason; the next run of\n"
    "                     the copy asks for them first\n"
    "  --help             this text\n"
    "  --version          the version\n"
    "\n"
    "A URL without a scheme is taken as http://. http:// and https:// are fetched;\n"
    "a redirect of the start address to another host moves the copy there.\n"
    "\n"
    "Exit status (the lowest number other than 0 among what happened wins):\n"
    "  0  every URL of the run was fetched and saved\n"
    "  1  a generic failure: the copy could not start, nothing to copy\n"
    "  2  wrong usage\n"
    "  3  a file could not be written\n"
    "  4  a network failure: no such host, refused, timed out, reset, a\n"
    "     certificate that did not verify\n"
    "  8  the server answered an error status (4xx, 5xx) for some URL\n"
    "  130, 143  stopped by Ctrl-C or SIGTERM (the queue was saved)\n"
    "\n"
    "Example:\n"
    "  harbek --headless --save-dir ~/copies http://www.example.org/\n";

constexpr const char* kNoDisplay =
    "harbek: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
    "use --headless to copy a site in the terminal\n";

struct Arguments {
  bool headless = false;
  bool quiet = false;
  std::string ini;
  std::string saveDir;
  int interval = 100;
  bool convertLinks = false;
  bool update = false;
  std::vector<std::string> urls;
  crawler::CrawlController::RequestOptions request;
};

enum class Parsed { kRun, kHelp, kVersion, kUsageError };

Parsed parseArguments(int argc, char** argv, Arguments& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "harbek: %s needs a value\n", a.c_str());
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") return Parsed::kHelp;
    if (a == "--version") return Parsed::kVersion;
    if (a == "--no-check-certificate") {
      out.request.noCheckCertificate = true;
    } else if (a == "--query-pages") {
      out.request.queryPages = true;
    } else if (a == "--page-requisites") {
      out.request.pageRequisites = true;
    } else if (a == "--update") {
      out.update = true;
    } else if (a == "--robots") {
      out.request.scope.robots = true;
    } else if (a == "--include" || a == "--exclude") {
      std::string v;
      if (!value(v)) return Parsed::kUsageError;
      if (v.empty() || v.find(' ') != std::string::npos) {
        std::fprintf(stderr, "harbek: %s takes one pattern without spaces (%%20 for a space)\n", a.c_str());
        return Parsed::kUsageError;
      }
      (a == "--include" ? out.request.scope.include : out.request.scope.exclude).push_back(text::fromUtf8(v));
    } else if (a == "--depth" || a == "--max-size" || a == "--max-files") {
      std::string v;
      if (!value(v)) return Parsed::kUsageError;
      const bool depth = a == "--depth";
      if (v.empty() || v.size() > 15 || v.find_first_not_of("0123456789") != std::string::npos ||
          (!depth && std::stoll(v) == 0) || (depth && std::stoll(v) > INT32_MAX)) {
        std::fprintf(stderr, "harbek: %s takes a %s number, not '%s'\n", a.c_str(), depth ? "whole" : "positive",
                     v.c_str());
        return Parsed::kUsageError;
      }
      if (depth) {
        out.request.scope.depth = static_cast<int32_t>(std::stoll(v));
      } else {
        (a == "--max-size" ? out.request.scope.maxSize : out.request.scope.maxFiles) = std::stoll(v);
      }
    } else if (a == "--keep-alive") {
      out.request.keepAlive = true;
    } else if (a == "--connections") {
      std::string v;
      if (!value(v)) return Parsed::kUsageError;
      if (v.empty() || v.size() > 2 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) < 1 ||
          std::stoi(v) > crawler::kMaxConnections) {
        std::fprintf(stderr, "harbek: --connections takes a number from 1 to %d, not '%s'\n", crawler::kMaxConnections,
                     v.c_str());
        return Parsed::kUsageError;
      }
      out.request.connections = std::stoi(v);
    } else if (a == "--user-agent" || a == "--ca-certificate") {
      std::string v;
      if (!value(v)) return Parsed::kUsageError;
      if (v.empty()) {
        std::fprintf(stderr, "harbek: %s needs a value\n", a.c_str());
        return Parsed::kUsageError;
      }
      (a == "--user-agent" ? out.request.userAgent : out.request.caCertificate) = text::fromUtf8(v);
    } else if (a == "--headless") {
      out.headless = true;
    } else if (a == "--quiet" || a == "-q") {
      out.quiet = true;
    } else if (a == "--convert-links") {
      out.convertLinks = true;
    } else if (a == "--ini") {
      if (!value(out.ini)) return Parsed::kUsageError;
    } else if (a == "--save-dir") {
      if (!value(out.saveDir)) return Parsed::kUsageError;
      if (out.saveDir.empty()) {
        std::fputs("harbek: --save-dir needs a folder\n", stderr);
        return Parsed::kUsageError;
      }
    } else if (a == "--interval") {
      std::string ms;
      if (!value(ms)) return Parsed::kUsageError;
      if (ms.empty() || ms.size() > 9 || ms.find_first_not_of("0123456789") != std::string::npos) {
        std::fprintf(stderr, "harbek: --interval takes milliseconds, not '%s'\n", ms.c_str());
        return Parsed::kUsageError;
      }
      out.interval = std::stoi(ms);
    } else if (a.starts_with("-")) {
      std::fprintf(stderr, "harbek: unknown option '%s'\n", a.c_str());
      return Parsed::kUsageError;
    } else {
      out.urls.push_back(a);
    }
  }
  return Parsed::kRun;
}

// The settings file: beside the program in a build tree (its modules beside
// it) whose folder is writable; for an installed program (modules in
// ../lib/harbek/), whoever runs it, root included, the user's configuration
// folder, which is made only when the file is first written.
std::string iniPath(const Arguments& args, bool& folderMadeOnWrite) {
  folderMadeOnWrite = false;
  if (!args.ini.empty()) return args.ini;
  const std::string program = fs::programFolder();
  if (!program.empty() && fs::modulesBesideProgram() && ::access(program.c_str(), W_OK) == 0) {
    return program + "/sys.ini";
  }
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::string folder = xdg && *xdg ? xdg : std::string(home ? home : "") + "/.config";
  folderMadeOnWrite = true;
  return folder + "/harbek/sys.ini";
}

// --save-dir as an absolute folder.
std::u16string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(folder, ec).lexically_normal().string();
  if (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();  // "." gives "/x/"
  return text::fromUtf8(ec ? folder : absolute);
}
std::u16string saveFolder(const Arguments& args) { return args.saveDir.empty() ? u"" : absoluteFolder(args.saveDir); }

// True when the host and port of an http address (what follows "://") can
// name a server: a host of letters, digits and "-._~%" (or any non-ASCII
// character, for a name still to be encoded), or an IPv6 address in
// brackets, then an optional port of digits. "::::" or "a b" are not.
bool namesAServer(std::string_view rest) {
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority, port;
  if (authority.starts_with("[")) {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos || close < 3) return false;
    host = authority.substr(1, close - 1);
    if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) return false;
    port = authority.substr(close + 1);
    if (!port.empty() && port.front() != ':') return false;
  } else {
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon);
    }
    if (host.empty()) return false;
    for (const char c : host) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x80 && !std::isalnum(b) && std::string_view("-._~%").find(c) == std::string_view::npos) return false;
    }
  }
  if (!port.empty()) port.remove_prefix(1);
  return port.size() <= 5 && port.find_first_not_of("0123456789") == std::string_view::npos;
}

// A start address as harbek fetches it: a bare host name is taken as
// http://. 0 when it can be copied; 1 for a scheme other than http and
// https; 2 (wrong usage) for text that names no server.
int startAddress(const std::string& u, std::u16string& out) {
  const std::u16string text = text::fromUtf8(u);
  const std::u16string scheme = url::uriScheme(text);
  const bool bare = scheme.empty() || u.find("://") == std::string::npos;
  if (!bare && scheme != u"http" && scheme != u"https") {
    std::fprintf(stderr, "harbek: cannot fetch %s: only http:// and https:// addresses are copied\n", u.c_str());
    return 1;
  }
  if (!namesAServer(bare ? std::string_view(u) : std::string_view(u).substr(u.find("://") + 3))) {
    std::fprintf(stderr, "harbek: '%s' is not a web address (http://HOST[:PORT]/PATH)\n", u.c_str());
    return 2;
  }
  out = bare ? u"http://" + text : text;
  return 0;
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
  // before the queue is spilled; nor must a file-size limit: a write beyond
  // it fails like a full disk and is handled as one.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  return signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

// The exit status of a run that started: the lowest code among what went
// wrong, as wget does.
int exitStatus(const crawler::CrawlCounts& c) {
  if (c.writeFailures) return 3;
  if (c.networkFailures) return 4;
  if (c.serverErrors) return 8;
  return 0;
}

void printSummary(const crawler::CrawlCounts& c, std::chrono::steady_clock::duration took) {
  const double seconds = std::chrono::duration<double>(took).count();
  // A copy that left much of a site behind says so, and how to take it.
  if (c.queryLinksSkipped) {
    std::fprintf(stderr, "harbek: %lld links with a query skipped (--query-pages follows them)\n",
                 static_cast<long long>(c.queryLinksSkipped));
  }
  if (c.outOfScope) {
    std::fprintf(stderr, "harbek: %lld links or files left out by the scope rules\n",
                 static_cast<long long>(c.outOfScope));
  }
  if (c.otherSiteLinksSkipped) {
    std::fprintf(stderr, "harbek: %lld links to other sites skipped\n", static_cast<long long>(c.otherSiteLinksSkipped));
  }
  std::fprintf(stderr,
               "harbek: %lld files saved (%.1f MB); failures: %lld network, %lld server, %lld write; "
               "%.1f s, %.1f files/s\n",
               static_cast<long long>(c.filesSaved), static_cast<double>(c.bytesSaved) / (1 << 20),
               static_cast<long long>(c.networkFailures), static_cast<long long>(c.serverErrors),
               static_cast<long long>(c.writeFailures), seconds,
               seconds > 0 ? static_cast<double>(c.filesSaved) / seconds : 0.0);
}

// Without its components the crawl could only claim every file saved.
bool componentsReady() {
  std::string why;
  if (crawler::CrawlController::componentsReady(why)) return true;
  std::fprintf(stderr, "harbek: %s\n", why.c_str());
  return false;
}

int runWindows(const Arguments& args) {
  if (!windows::displayAvailable()) {
    std::fputs(kNoDisplay, stderr);
    if (!windows::windowModuleFound()) std::fprintf(stderr, "harbek: no window module%s\n", windows::kGetTheWindows);
    return 2;
  }
  if (!componentsReady()) return 1;
  windows::WindowModeOptions options;
  options.iniPath = text::fromUtf8(iniPath(args, options.iniFolderMadeOnWrite));
  options.saveFolder = saveFolder(args);
  options.intervalMs = args.interval;
  for (const auto& u : args.urls) {
    if (int status = startAddress(u, options.addresses.emplace_back())) return status;
  }
  options.closeSignalFd = closeSignals();
  options.request = args.request;
  options.convertLinks = args.convertLinks;
  options.update = args.update;
  std::string why;
  int status = windows::launchWindowMode(options, why);
  if (!why.empty()) std::fprintf(stderr, "harbek: %s\n", why.c_str());
  if (options.closeSignalFd >= 0) close(options.closeSignalFd);
  return status;
}

int runHeadless(const Arguments& args) {
  if (!componentsReady()) return 1;
  std::vector<std::u16string> addresses;
  for (const auto& u : args.urls) {
    if (int status = startAddress(u, addresses.emplace_back())) return status;
  }
  int signalFd = closeSignals();
  const auto started = std::chrono::steady_clock::now();

  auto loop = event::makePollLoop();
  crawler::TerminalView view(args.quiet);
  crawler::CrawlController::Options options;
  options.iniPath = text::fromUtf8(iniPath(args, options.iniFolderMadeOnWrite));
  options.intervalMs = args.interval;
  options.request = args.request;
  options.convertLinks = args.convertLinks;
  options.update = args.update;
  crawler::CrawlController sys(*loop, view, options);
  view.showCounts(&sys.counts(), &sys.queue());

  auto quit = [&] { loop->quit(); };
  int stoppedBy = 0;
  event::WatchId signalWatch = 0;
  if (signalFd >= 0) {
    signalWatch = loop->watchFd(signalFd, event::kReadable, [&](unsigned) {
      signalfd_siginfo info;
      while (read(signalFd, &info, sizeof info) == sizeof info) {
        if (!stoppedBy) stoppedBy = static_cast<int>(info.ssi_signo);
      }
      sys.requestClose(quit);  // ignored while a close is already running
    });
  }

  sys.startUp();
  if (!args.saveDir.empty()) sys.setSaveFolder(saveFolder(args));
  sys.setDefaultSaveFolder(absoluteFolder("."));  // a terminal user expects the copy here
  for (const auto& u : addresses) sys.addUrl(u);
  sys.setFinishedHandler([&] { sys.requestClose(quit); });

  int status = 1;
  if (!sys.run()) {
    if (!sys.spillFolderRefused()) std::fputs("harbek: the save folder cannot be made; nothing was copied\n", stderr);
  } else if (!sys.hasWork()) {
    std::fputs("harbek: nothing to copy: give a start address (harbek --help)\n", stderr);
    sys.requestClose([] {});
  } else {
    loop->run();
    status = stoppedBy ? 128 + stoppedBy : exitStatus(sys.counts());
  }
  view.finish();
  if (sys.updating()) {
    const crawler::CrawlCounts& c = sys.counts();
    std::fprintf(stderr, "harbek: update: %lld changed, %lld new, %lld unchanged, %lld gone, %lld failed\n",
                 static_cast<long long>(c.updateChanged), static_cast<long long>(c.updateNew),
                 static_cast<long long>(c.updateUnchanged), static_cast<long long>(c.updateGone),
                 static_cast<long long>(c.updateFailed));
  }
  printSummary(sys.counts(), std::chrono::steady_clock::now() - started);
  if (signalWatch) loop->removeWatch(signalWatch);
  if (signalFd >= 0) close(signalFd);
  if (sys.convertLinksDue()) {
    std::vector<std::string> saved;
    for (const std::u16string& rel : sys.savedThisRun()) saved.push_back(text::toUtf8(rel));
    // --quiet keeps the failures and the summary, not the line per page.
    std::ostream discard(nullptr);
    const tools::ConvertSummary summary = tools::convertPages(
        text::toUtf8(sys.savePath()), saved, tools::printingObserver(args.quiet ? discard : std::cout, std::cerr));
    tools::printSummary(summary, std::cout);
    if (!summary.ok()) status = 1;
  }
  return status;
}

// harbek --failed DIR: the URLs of the copy in DIR that were given up, one
// a line with the reason, as the state store keeps them.
int listFailures(const std::string& folder) {
  if (!harbek::fs::isFile(harbek::store::StateStore::pathIn(folder))) {
    std::fprintf(stderr, "harbek: %s holds no copy's state (%s is missing)\n", folder.c_str(),
                 harbek::store::StateStore::pathIn(folder).c_str());
    return 1;
  }
  harbek::store::StateStore state;
  if (!state.open(folder, true)) {
    std::fprintf(stderr, "harbek: %s\n", state.error().c_str());
    return 1;
  }
  for (const auto& e : state.failures()) std::printf("%s\t%s\n", e.url.c_str(), e.failure.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--failed") == 0) {
    if (argc != 3) {
      std::fputs("usage: harbek --failed DIR\n", stderr);
      return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    return listFailures(argv[2]);
  }
  if (argc >= 2 && std::strcmp(argv[1], "--replace") == 0) {
    if (argc != 4) {
      std::fputs("usage: harbek --replace RULES DIR\n", stderr);
      return 2;
    }
    // A reader that goes away must not end the run between two files.
    signal(SIGPIPE, SIG_IGN);
    return harbek::tools::runReplaceCommand(argv[2], argv[3], std::cout, std::cerr);
  }
  // Only an existing folder after --convert-links is a copy to convert; a web
  // address there is a start address of a window-mode copy that converts
  // when it is done. Anything else is still taken as a folder, and refused.
  if (argc == 3 && std::strcmp(argv[1], "--convert-links") == 0 &&
      (harbek::fs::isFolder(argv[2]) || std::strstr(argv[2], "://") == nullptr)) {
    signal(SIGPIPE, SIG_IGN);
    return harbek::tools::runConvertCommand(argv[2], std::cout, std::cerr);
  }
  Arguments args;
  switch (parseArguments(argc, argv, args)) {
    case Parsed::kHelp:
      std::fputs(kHelp, stdout);
      return 0;
    case Parsed::kVersion:
      std::puts("harbek " HARBEK_VERSION);
      return 0;
    case Parsed::kUsageError:
      std::fputs(kUsage, stderr);
      return 2;
    case Parsed::kRun:
      break;
  }
  return args.headless ? runHeadless(args) : runWindows(args);
}
