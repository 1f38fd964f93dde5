// Runs a fuzz target on an empty input, then on every file below the
// directories named: the seed corpus and the inputs that once crashed.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;  // absolute: a target may change directory
  for (std::error_code error; --argc > 0;)
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[argc], error))
      if (entry.is_regular_file()) files.push_back(std::filesystem::absolute(entry.path()));
  LLVMFuzzerTestOneInput(nullptr, 0);
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
}
