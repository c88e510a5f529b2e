#include "platform/component/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace harbek::com {
namespace {

std::vector<RegistryEntry> parse(std::istream& in) {
  std::vector<RegistryEntry> out;
  std::string line;
  while (std::getline(in, line)) {
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) continue;
    auto g = Guid::parse(line.substr(0, t1));
    if (!g) continue;
    out.push_back({*g, line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)});
  }
  return out;
}

// Module paths are kept relative to the registry's own folder, so that a
// build folder or an installed tree can move and its registry still holds.
std::string folderOf(const std::string& registryPath) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::absolute(registryPath, ec).parent_path();
  return ec ? std::string(".") : std::filesystem::weakly_canonical(folder, ec).string();
}

std::string storedPath(const std::string& registryPath, const std::string& modulePath) {
  std::error_code ec;
  const std::filesystem::path module = std::filesystem::weakly_canonical(modulePath, ec);
  if (ec) return modulePath;
  const std::filesystem::path rel = module.lexically_relative(folderOf(registryPath));
  return rel.empty() ? modulePath : rel.string();
}

std::string loadedPath(const std::string& registryPath, const std::string& stored) {
  if (stored.empty() || stored.front() == '/') return stored;
  return (std::filesystem::path(folderOf(registryPath)) / stored).lexically_normal().string();
}

std::string lower(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

// Runs edit on the entries under an exclusive lock and writes the result to a
// temporary file renamed over the registry.
template <class Edit>
HResult rewrite(const std::string& path, Edit edit) {
  std::string lockPath = path + ".lock";
  int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) return kPathNotFound;
  if (::flock(lockFd, LOCK_EX) != 0) {
    ::close(lockFd);
    return kFileIo;
  }
  std::string unreadable;
  std::vector<RegistryEntry> entries = readRegistry(path, &unreadable);
  if (!unreadable.empty()) {
    // Rewriting a registry that could not be read would drop its classes.
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return kPermissionDenied;
  }
  edit(entries);
  std::string tmp = path + ".tmp";
  HResult result = kOk;
  {
    std::ofstream out(tmp, std::ios::trunc);
    for (const auto& e : entries) {
      out << e.clsid.toString() << '\t' << e.progId << '\t' << storedPath(path, e.modulePath) << '\n';
    }
    out.flush();
    if (!out) result = kFileIo;
  }
  if (result == kOk && std::rename(tmp.c_str(), path.c_str()) != 0) result = kFileIo;
  if (result != kOk) std::remove(tmp.c_str());
  ::flock(lockFd, LOCK_UN);
  ::close(lockFd);
  return result;
}

}  // namespace

std::string defaultRegistryPath() {
  if (const char* env = std::getenv("HARBEK_REGISTRY"); env && *env) return env;
  // Beside the program in a build folder; in lib/harbek/ of an installed tree.
  // When the system cannot tell the program's folder, the working folder.
  const std::string program = fs::programFolder();
  const std::string folder = program.empty() ? std::string(".") : program;
  const std::string beside = folder + "/components.reg";
  const std::string installed = folder + "/../lib/harbek/components.reg";
  return ::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0 ? installed : beside;
}

std::vector<RegistryEntry> readRegistry(const std::string& path, std::string* why) {
  if (const fs::Error e = fs::readable(path); e != fs::Error::kOk && e != fs::Error::kNotFound) {
    if (why) *why = "cannot read " + path + ": " + std::string(fs::errorName(e));
    return {};
  }
  std::ifstream in(path);
  if (!in) return {};
  std::vector<RegistryEntry> entries = parse(in);
  for (RegistryEntry& e : entries) e.modulePath = loadedPath(path, e.modulePath);
  return entries;
}

HResult addRegistryEntries(const std::string& path, const std::vector<RegistryEntry>& added) {
  return rewrite(path, [&](std::vector<RegistryEntry>& entries) {
    std::erase_if(entries, [&](const RegistryEntry& e) {
      for (const auto& a : added)
        if (a.clsid == e.clsid || lower(a.progId) == lower(e.progId)) return true;
      return false;
    });
    entries.insert(entries.end(), added.begin(), added.end());
  });
}

HResult removeRegistryEntries(const std::string& path, const std::vector<Guid>& clsids) {
  return rewrite(path, [&](std::vector<RegistryEntry>& entries) {
    std::erase_if(entries, [&](const RegistryEntry& e) {
      for (const auto& g : clsids)
        if (g == e.clsid) return true;
      return false;
    });
  });
}

std::optional<RegistryEntry> findByClsid(const std::vector<RegistryEntry>& entries, const Guid& clsid) {
  for (const auto& e : entries)
    if (e.clsid == clsid) return e;
  return std::nullopt;
}

std::optional<RegistryEntry> findByProgId(const std::vector<RegistryEntry>& entries, const std::string& progId) {
  std::string wanted = lower(progId);
  for (const auto& e : entries)
    if (lower(e.progId) == wanted) return e;
  return std::nullopt;
}

}  // namespace harbek::com
