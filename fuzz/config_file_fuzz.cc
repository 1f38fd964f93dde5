// The configuration reader on any bytes: no crash, no hang, and whatever it
// accepts comes back unchanged through a write and a second read.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "config/config_file.h"
#include "config/password.h"
#include "console/memory_console.h"
#include "console/system.h"
#include "console/text_file.h"

namespace {

char scratch[] = "/tmp/mailvak-config-fuzz-XXXXXX";

void removeScratchDirectory() {
  std::remove(config::ConfigurationFileName);
  std::remove(config::TemporaryFileName);
  rmdir(scratch);
}

void enterScratchDirectory() {
  static bool entered = false;
  if (entered) return;
  if (!mkdtemp(scratch) || chdir(scratch) != 0) abort();
  atexit(removeScratchDirectory);
  entered = true;
}

bool sameTable(const mailbox::State& a, const mailbox::State& b) {
  if (a.accountCount != b.accountCount) return false;
  for (int k = 1; k <= a.accountCount; ++k) {
    if (a.serverName[k] != b.serverName[k] || a.userName[k] != b.userName[k] ||
        a.password[k] != b.password[k] || a.accountLabel[k] != b.accountLabel[k]) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  enterScratchDirectory();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::remove(config::TemporaryFileName);
  {
    console::TextFile file(config::ConfigurationFileName, console::TextFile::Mode::Output);
    file.write(bytes);
  }
  // Passwords: every line reads back without a crash; plain texts round-trip.
  config::unscramblePassword(bytes);
  if (config::scrambledFormFits(bytes) &&
      config::unscramblePassword(config::scramblePassword(bytes)) != bytes) {
    abort();
  }

  console::System system;
  console::MemoryConsole screen;
  screen.setSize(127, 59);
  mailbox::State first;
  mailbox::Program program{first, screen, system};
  if (!config::readConfiguration(program)) return 0;
  if (!config::writeConfiguration(program)) abort();

  mailbox::State second;
  mailbox::Program again{second, screen, system};
  if (!config::readConfiguration(again) || !sameTable(first, second)) abort();
  return 0;
}
