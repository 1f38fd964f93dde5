// The scrambled password line of Mailvak.ini, as a user or another program may
// have left it: unscrambling never reads outside the line, and a password
// whose scrambled form fits one line reads back whole.
#include <cstdint>

#include "config/password.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string plain = config::unscramblePassword(bytes);
  fuzz_support::require(plain.size() <= bytes.size(), "password longer than its line");
  std::string starred = config::convertStarredPassword(bytes);
  if (!bytes.empty() && bytes.substr(1).find_first_of("\r\n") == std::string_view::npos &&
      config::scrambledFormFits(bytes.substr(1))) {
    fuzz_support::require(config::unscramblePassword(starred) == bytes.substr(1),
                          "starred password does not read back");
  }
  if (config::scrambledFormFits(bytes)) {
    std::string line = config::scramblePassword(bytes);
    fuzz_support::require(line.find_first_of("\r\n") == std::string::npos,
                          "scrambled line holds a line break");
    fuzz_support::require(config::unscramblePassword(line) == bytes,
                          "password does not read back");
  }
  return 0;
}
