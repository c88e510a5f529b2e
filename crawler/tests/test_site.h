// A generated site for crawl tests, served by nginx from a folder: the
// files a crawl must save, byte for byte, and the comparison of a saved tree
// with them. Shared by the terminal-mode and the window-mode end-to-end tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace harbek::crawler::testing {

// What a crawl of the site must save: relative path under the save folder
// -> bytes.
using Tree = std::map<std::string, std::string>;

class SiteWriter {
 public:
  SiteWriter(std::filesystem::path root, std::string host) : root_(std::move(root)), host_(std::move(host)) {}

  // path is the server path without its leading "/"; reachable files are
  // expected under their lower-case path ("index.html" for folders).
  void put(const std::string& path, const std::string& bytes, bool reachable = true);
  const Tree& expected() const { return expected_; }
  const std::map<std::string, size_t>& sizes() const { return sizes_; }

 private:
  std::filesystem::path root_;
  std::string host_;
  Tree expected_;
  std::map<std::string, size_t> sizes_;
};

std::string lower(std::string s);
std::string randomBytes(std::mt19937& rng, size_t n);
std::string pageName(int i);

// A site of `pages` pages in seven folders, with style sheets, scripts,
// images and frames, linked through all five element kinds, relative,
// absolute and full links, mixed-case names, with fragments and queries,
// mail and script links, and links to another host. A few files are served
// but reachable only through links that must not be followed. The full links
// carry the scheme given (the one the site is served with).
Tree writeSite(SiteWriter& site, uint16_t port, int pages, const std::string& scheme = "http");

// Every file under the save folder but the spill files; spill files must be
// numbered ".dat" files in tmp/ (anything else there goes to strays).
Tree savedTree(const std::filesystem::path& save, std::vector<std::string>* strays);

// The request paths of an nginx access log, in order.
std::vector<std::string> requestPaths(const std::filesystem::path& accessLog);

// Compares the trees by name and bytes, naming the first few differences.
void expectSameTree(const Tree& expected, const Tree& actual);

}  // namespace harbek::crawler::testing
