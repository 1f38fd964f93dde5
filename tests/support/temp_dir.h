// A fresh temporary directory for one test, the current directory while it
// lives (unless told otherwise), and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace testing_support {

class ScopedTempDir {
 public:
  explicit ScopedTempDir(bool enter = true) : previous_(std::filesystem::current_path()) {
    // A name nobody has: create_directory says whether it made the directory.
    std::random_device random;
    std::error_code error;
    for (int attempt = 0; path_.empty() && attempt < 100; ++attempt) {
      auto path = std::filesystem::temp_directory_path(error) /
                  ("mailvak-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path, error)) path_ = path.string();
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, error);
    entered_ = enter && !path_.empty();
    if (entered_) {
      std::filesystem::current_path(path_, error);
      entered_ = !error;
    }
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    if (entered_) std::filesystem::current_path(previous_, ignored);
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::filesystem::path previous_;
  std::string path_;
  bool entered_;
};

/// Writes bytes to a file with mode 0600, replacing it.
inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}
/// The whole file, or "" when it is missing.
inline std::string readFile(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

}  // namespace testing_support
