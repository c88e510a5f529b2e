#include "tests/support/chromium_probe.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/child_process.h"

namespace harbek::testing {
namespace {

using namespace std::chrono_literals;
namespace fsys = std::filesystem;

constexpr const char* kProbe = R"x(<!doctype html><html><body><pre id="out">pending</pre><script>
const out = document.getElementById('out');
const failures = [];
const start = decodeURIComponent(location.hash.slice(1));
const seen = new Set([start]);
const queue = [start];
const frame = document.createElement('iframe');
function exists(url) {
  try { const x = new XMLHttpRequest(); x.open('GET', url, false); x.send(); return true; } catch (e) { return false; }
}
function check(d) {
  for (const l of d.querySelectorAll('link[rel=stylesheet]')) if (!l.sheet) failures.push('style sheet ' + l.href);
  for (const i of d.images) if (!(i.complete && i.naturalWidth > 0)) failures.push('image ' + i.src);
  for (const e of d.querySelectorAll('a[href], link[href], img[src], script[src], iframe[src]')) {
    const url = (e.href || e.src).split('#')[0];
    if (!url.startsWith('file:')) continue;
    if (!exists(url)) failures.push('link ' + url);
    else if (e.matches('a, iframe') && /\.html$/.test(url) && !seen.has(url)) { seen.add(url); queue.push(url); }
  }
}
function next() {
  if (queue.length) { frame.src = queue.shift(); return; }
  out.textContent = 'visited ' + seen.size + '\n' + failures.join('\n');
}
frame.onload = () => { check(frame.contentDocument); next(); };
document.body.appendChild(frame);
next();
</script></body></html>
)x";

std::vector<std::string> chromiumFlags(const fsys::path& profile) {
  return {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
          "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile.string(),
          "--allow-file-access-from-files", "--virtual-time-budget=30000"};
}

}  // namespace

std::string findChromium() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (fsys::exists(dir + "/chromium")) return dir + "/chromium";
  }
  return {};
}

BrowseReport browseOffline(const std::string& chromium, const fsys::path& start, const fsys::path& work,
                           const fsys::path& screenshot) {
  static int runs = 0;
  const fsys::path probe = work / "probe.html";
  std::ofstream(probe) << kProbe;
  // The start page's file: address, with what a URL would read otherwise escaped.
  std::string address = "file://";
  for (char ch : start.string()) {
    if (ch == '?' || ch == '#' || ch == '%') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      address += {'%', kHex[ch >> 4], kHex[ch & 15]};
    } else {
      address += ch;
    }
  }
  std::string encoded;
  for (unsigned char ch : address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    encoded += std::isalnum(ch) ? std::string(1, static_cast<char>(ch)) : std::string{'%', kHex[ch >> 4], kHex[ch & 15]};
  }
  const fsys::path profile = work / ("profile-" + std::to_string(++runs));
  std::vector<std::string> flags = chromiumFlags(profile);
  flags.push_back("--dump-dom");
  flags.push_back("file://" + probe.string() + "#" + encoded);
  const ProgramRun browser = runProgram(chromium, flags, work, 120s);
  BrowseReport report;
  const size_t begin = browser.out.find("<pre id=\"out\">");
  if (browser.exitCode != 0 || begin == std::string::npos) {
    report.error = browser.err + browser.out;
    return report;
  }
  const std::string text = browser.out.substr(begin + 14, browser.out.find("</pre>", begin) - begin - 14);
  if (!text.starts_with("visited ")) {
    report.error = text;
    return report;
  }
  report.ran = true;
  report.visited = std::stoul(text.substr(8));
  report.failures = text.substr(std::min(text.find('\n') + 1, text.size()));
  if (!screenshot.empty()) {
    fsys::create_directories(screenshot.parent_path());
    std::vector<std::string> shot = chromiumFlags(work / ("profile-" + std::to_string(++runs)));
    shot.push_back("--window-size=1000,800");
    shot.push_back("--screenshot=" + screenshot.string());
    shot.push_back(address);
    runProgram(chromium, shot, work, 120s);
  }
  return report;
}

}  // namespace harbek::testing
