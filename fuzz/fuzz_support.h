// Helpers shared by the fuzz targets: a private working directory, files from
// bytes, and a check that stops the run loudly when an invariant breaks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace fuzz_support {

/// Makes a fresh directory under /dev/shm (or /tmp) and enters it, once per
/// process; the program's files are relative to the working directory.
inline const std::string& enterWorkDirectory() {
  static const std::string dir = [] {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/mailvak-fuzz.XXXXXX";
    if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) {
      std::perror("fuzz work directory");
      std::abort();
    }
    return pattern;
  }();
  return dir;
}

/// Writes bytes to a file, replacing it.
inline void writeFile(const std::string& name, std::string_view bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// Aborts with a message when an invariant does not hold: libFuzzer keeps the input.
inline void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

/// Takes bytes from the front of the input, for targets that need a few choices.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}
  /// One byte, 0 once the input is used up.
  unsigned byte() {
    if (rest_.empty()) return 0;
    unsigned b = static_cast<unsigned char>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  /// Up to n bytes.
  std::string_view take(std::size_t n) {
    std::string_view part = rest_.substr(0, n);
    rest_.remove_prefix(part.size());
    return part;
  }
  std::string_view rest() const { return rest_; }
  bool empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace fuzz_support
