// Shared by the fuzz targets: a working directory, files, a loud check, input in pieces.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

/// A fresh directory, entered once per process and removed at its end.
inline const std::string& enterWorkDirectory() {
  static std::string dir = access("/dev/shm", W_OK) ? "/tmp/fuzz.XXXXXX" : "/dev/shm/fuzz.XXXXXX";
  static bool entered = mkdtemp(dir.data()) && chdir(dir.c_str()) == 0 &&
                        !std::atexit([] { std::filesystem::remove_all(dir); });
  if (!entered) std::abort();
  return dir;
}

inline void writeFile(const std::string& name, std::string_view bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

inline void require(bool holds, const char* what) {
  if (!holds) std::fprintf(stderr, "invariant broken: %s\n", what), std::abort();
}

struct Input {  // taken from the front: single bytes (0 once used up) and pieces
  std::string_view rest;
  unsigned byte() { return rest.empty() ? 0 : static_cast<unsigned char>(take(1)[0]); }
  std::string_view take(std::size_t n) {
    std::string_view part = rest.substr(0, n);
    rest.remove_prefix(part.size());
    return part;
  }
};
