// A unique temporary folder, removed with everything in it on destruction.
#pragma once

#include <filesystem>
#include <string>

namespace harbek::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name.
  std::filesystem::path file(const std::string& name) const { return path_ / name; }
  // Writes bytes to path() / name (folders on the way are created); returns its path.
  std::filesystem::path write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a file; "" when it cannot be read.
std::string readFile(const std::filesystem::path& file);

}  // namespace harbek::testing
