// The configuration file: what the reader accepts reads back unchanged after a write. As a
// password line: unscrambling stays within it, one whose scrambled form fits reads back whole.
#include "config/config_file.h"
#include "config/password.h"
#include "config/settings_editor.h"
#include "console/memory_console.h"
#include "fuzz_support.h"

void fuzz(Input input) {
  std::string_view bytes = input.rest, rest = bytes.substr(!bytes.empty());
  require(config::unscramblePassword(bytes).size() <= bytes.size(), "password longer than line");
  if (!bytes.empty() && rest.find_first_of("\r\n") == rest.npos && config::scrambledFormFits(rest))
    require(config::unscramblePassword(config::convertStarredPassword(bytes)) == rest,
            "starred password does not read back");
  std::string line = config::scramblePassword(bytes);
  require(!config::scrambledFormFits(bytes) || (line.find_first_of("\r\n") == line.npos &&
                                                config::unscramblePassword(line) == bytes),
          "password does not read back from one line");
  std::remove(config::TemporaryFileName);
  writeFile(config::ConfigurationFileName, bytes);
  platform::System system;
  console::MemoryConsole screen;
  core::State one, two;
  core::Program program{one, screen, system}, again{two, screen, system};
  if (!config::readConfiguration(program)) return;
  require(config::writeConfiguration(program) && config::readConfiguration(again), "no read back");
  bool same = one.accountCount == two.accountCount;
  for (int k = 1; same && k <= one.accountCount; ++k)
    same = one.account(k).settings() == two.account(k).settings();
  require(same, "the accounts changed through a write");
}
