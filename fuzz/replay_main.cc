// Runs a fuzz target on an empty input, then on every file below the directories named.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::string> inputs{""};  // all read first: a target may change directory
  for (std::error_code error; --argc > 0;)
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[argc], error))
      if (std::ifstream in(entry.path(), std::ios::binary); entry.is_regular_file())
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  for (const std::string& bytes : inputs)
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
