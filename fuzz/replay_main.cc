// Runs a fuzz target once over every file below the directories (or files)
// named on the command line: the seed corpus and the inputs that once crashed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int inputs = 0;
  auto run = [&](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++inputs;
  };
  // Some targets work in a directory of their own: the names are made
  // absolute before the first run changes the working directory.
  std::vector<fs::path> paths;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    fs::path path = fs::absolute(argv[i], error);
    if (!error) paths.push_back(path);
  }
  LLVMFuzzerTestOneInput(nullptr, 0);
  for (const fs::path& path : paths) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
      run(path);
    } else if (fs::is_directory(path, error)) {
      for (const auto& entry : fs::recursive_directory_iterator(path, error))
        if (entry.is_regular_file()) run(entry.path());
    }
  }
  std::printf("%d inputs replayed\n", inputs);
  return 0;
}
