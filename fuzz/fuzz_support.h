// Shared by the fuzz targets: a loud check, files, input taken in pieces, and the entry point,
// which hands each input to the target's fuzz() in a fresh directory, removed at the end.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

inline void require(bool holds, const char* what) {
  if (!holds) std::fprintf(stderr, "invariant broken: %s\n", what), std::abort();
}

inline void writeFile(const std::string& name, std::string_view bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

struct Input {  // taken from the front: single bytes (0 once used up) and pieces
  std::string_view rest;
  unsigned byte() { return rest.empty() ? 0 : static_cast<unsigned char>(take(1)[0]); }
  std::string_view take(std::size_t n) {
    std::string_view part = rest.substr(0, n);
    return rest.remove_prefix(part.size()), part;
  }
};

void fuzz(Input input);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::string dir = access("/dev/shm", W_OK) ? "/tmp/fuzz.XXXXXX" : "/dev/shm/fuzz.XXXXXX";
  static bool entered = mkdtemp(dir.data()) && chdir(dir.c_str()) == 0 &&
                        !std::atexit([] { std::filesystem::remove_all(dir); });
  require(entered, "no working directory");
  fuzz(Input{{reinterpret_cast<const char*>(data), size}});
  return 0;
}
