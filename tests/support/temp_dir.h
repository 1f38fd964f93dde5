// A fresh temporary directory for one test, made the current directory while
// the object lives; the previous directory is restored and the tree removed.
#pragma once

#include <string>

namespace testing_support {

class ScopedTempDir {
 public:
  /// Makes a new directory under $TMPDIR (or /tmp); enters it when enter is true.
  explicit ScopedTempDir(bool enter = true);
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  /// path() + "/" + name.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string previous_;
  bool entered_;
};

/// Writes bytes to a file (mode 0600), replacing it.
void writeFile(const std::string& path, const std::string& bytes);
/// The whole file, or "" when missing.
std::string readFile(const std::string& path);

}  // namespace testing_support
