#include "support/temp_dir.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

ScopedTempDir::ScopedTempDir(bool enter) : entered_(enter) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/mailvak-test-XXXXXX";
  char* made = mkdtemp(pattern.data());
  path_ = made ? made : "";
  char cwd[PATH_MAX];
  previous_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
  if (entered_ && !path_.empty() && chdir(path_.c_str()) != 0) entered_ = false;
}

ScopedTempDir::~ScopedTempDir() {
  if (entered_ && chdir(previous_.c_str()) != 0) {
    // Nothing sensible to do in a destructor; the next test enters its own.
  }
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace testing_support
