#include "crawler/tests/test_site.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "platform/text/text.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler::testing {

namespace fsys = std::filesystem;
using harbek::testing::readFile;

std::string randomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void SiteWriter::put(const std::string& path, const std::string& bytes, bool reachable) {
  fsys::path file = root_ / path;
  fsys::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
  if (reachable) expected_[host_ + "/" + lower(path)] = bytes;
  sizes_["/" + path] = bytes.size();
}

namespace {


}  // namespace

std::string pageName(int i) { return "Sec" + std::to_string(i % 7) + "/Item_" + std::to_string(i) + ".Html"; }

Tree writeSite(SiteWriter& site, uint16_t port, int pages, const std::string& scheme) {
  std::mt19937 rng(1234);
  const std::string p = std::to_string(port);
  const std::string gbk = text::toCodePage(u"中文页面，链接与图片。");
  site.put("index.html",
           "<html><head><title>" + gbk + "</title><link rel=\"stylesheet\" href=\"Css/Style0.CSS\"></head><body>\n"
           "<a href=\"" + pageName(0) + "\">start</a>\n<img src=\"/Images/Big.PNG\">\n"
           "<a href=\"Sub/\">sub</a> <a href=\"/\">home</a> <a href=\"index.html#top\">top</a>\n"
           "<a href=\"http://localhost:" + p + "/Other/Only_Other.html\">elsewhere</a>\n"
           "<a href=\"Only_Query.html?from=index\">query</a>\n</body></html>\n");
  site.put("Images/Big.PNG", randomBytes(rng, 300 * 1024));
  site.put("Sub/index.html", "<p>sub <a href=\"../Sub/Deeper/Leaf.HTM\">leaf</a></p>");
  site.put("Sub/Deeper/Leaf.HTM", "<p>" + gbk + "<a href=\"../../index.html\">up</a></p>");
  for (int j = 0; j < 5; ++j) site.put("Css/Style" + std::to_string(j) + ".CSS", "body { color: #" + std::to_string(j) + "00; }\n");
  for (int j = 0; j < 7; ++j) site.put("Js/App" + std::to_string(j) + ".js", "var app = " + std::to_string(j) + ";\n");
  for (int j = 0; j < 20; ++j) site.put("Images/Pic" + std::to_string(j) + ".GIF", randomBytes(rng, 500 + j * 1500));
  for (int j = 0; j < 10; ++j) {
    const std::string n = std::to_string(j);
    site.put("Frames/Frame" + n + ".html", "<html><body><a href=\"Inner" + n + ".htm\">inner</a></body></html>");
    site.put("Frames/Inner" + n + ".htm", "<p>inner " + n + " " + gbk + "</p><img src=\"../Images/Pic" + n + ".GIF\">");
  }
  for (int i = 0; i < pages; ++i) {
    std::ostringstream h;
    const std::string is = std::to_string(i);
    h << "<html><head><title>" << gbk << is << "</title>\n"
      << "<link rel=\"stylesheet\" href=\"/Css/Style" << i % 5 << ".CSS\">\n"
      << "<script src=\"../Js/App" << i % 7 << ".js\"></script>\n</head><body>\n<h1>" << gbk << "</h1>\n";
    if (i + 1 < pages) h << "<a href=\"../" << pageName(i + 1) << "\">next</a>\n";
    for (int child : {2 * i + 1, 2 * i + 2}) {
      if (child < pages) h << "<a href=\"/" << pageName(child) << "#part\">child</a>\n";
    }
    h << "<a href=\"" << scheme << "://127.0.0.1:" << p << "/" << pageName((i * 7) % pages) << "\">full</a>\n"
      << "<img src=\"/Images/Pic" << i % 20 << ".GIF\" alt=\"" << gbk << "\">\n"
      << "<iframe src=\"/Frames/Frame" << i % 10 << ".html\"></iframe>\n"
      << "<a href=\"/Only_Query.html?id=" << i << "\">q</a> <a href=\"Item_" << i << ".Html?print=1\">print</a>\n"
      << "<a href=\"mailto:web@example.com\">mail</a> <a href=\"javascript:void(0)\">js</a>"
      << " <a href=\"JavaScript:history.back()\">back</a>\n"
      << "<a href=\"http://localhost:" << p << "/Other/Only_Other.html\">other host</a>\n"
      << "<p>" << std::string(200 + (i * 37) % 3000, 'x') << "</p>\n</body></html>\n";
    site.put(pageName(i), h.str());
  }
  site.put("Only_Query.html", "<p>only through a query</p>", false);
  site.put("Other/Only_Other.html", "<p>only through another host</p>", false);
  site.put("Orphan.html", "<p>linked from nowhere</p>", false);
  return site.expected();
}

Tree savedTree(const fsys::path& save, std::vector<std::string>* strays) {
  Tree out;
  std::error_code ec;
  for (auto it = fsys::recursive_directory_iterator(save, ec); !ec && it != fsys::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const std::string rel = fsys::relative(it->path(), save).string();
    if (rel.starts_with(".harbek/")) continue;  // the copy's state, the program's own
    if (rel.starts_with("tmp/")) {
      const std::string name = it->path().filename().string();
      if (!name.ends_with(".dat") && name != ".harbek-spill" && strays) strays->push_back(rel);
      continue;
    }
    out[rel] = readFile(it->path());
  }
  return out;
}

void expectSameTree(const Tree& expected, const Tree& actual) {
  std::vector<std::string> missing, extra, differ;
  for (const auto& [name, bytes] : expected) {
    auto it = actual.find(name);
    if (it == actual.end()) {
      missing.push_back(name);
    } else if (it->second != bytes) {
      differ.push_back(name);
    }
  }
  for (const auto& [name, bytes] : actual) {
    if (!expected.count(name)) extra.push_back(name);
  }
  auto some = [](const std::vector<std::string>& v) {
    std::string s = std::to_string(v.size()) + ":";
    for (size_t i = 0; i < v.size() && i < 5; ++i) s += " " + v[i];
    return s;
  };
  EXPECT_TRUE(missing.empty()) << "missing " << some(missing);
  EXPECT_TRUE(extra.empty()) << "not expected " << some(extra);
  EXPECT_TRUE(differ.empty()) << "different bytes " << some(differ);
}

std::vector<std::string> requestPaths(const std::filesystem::path& accessLog) {
  std::vector<std::string> out;
  std::ifstream in(accessLog);
  for (std::string line; std::getline(in, line);) {
    const size_t q = line.find("\"GET ");
    if (q != std::string::npos) out.push_back(line.substr(q + 5, line.find(' ', q + 5) - q - 5));
  }
  return out;
}

}  // namespace harbek::crawler::testing
