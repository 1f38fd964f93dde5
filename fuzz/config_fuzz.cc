// Mailvak.ini as any bytes: the reader fills the account table or ends with
// its message; a table it accepted, written back and read again, is the same
// table.
#include <cstdint>
#include <memory>

#include "config/config_file.h"
#include "console/memory_console.h"
#include "console/system.h"
#include "fuzz_support.h"
#include "mailbox/program.h"

namespace {

struct Table {
  int count = 0;
  std::vector<std::string> fields;
  bool operator==(const Table&) const = default;
};

Table tableOf(const mailbox::State& s) {
  Table t;
  t.count = s.accountCount;
  for (int a = 1; a <= s.accountCount; ++a) {
    t.fields.insert(t.fields.end(),
                    {s.serverName[a], s.userName[a], s.password[a], s.accountLabel[a]});
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::enterWorkDirectory();
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  unlink(config::TemporaryFileName);
  fuzz_support::writeFile(config::ConfigurationFileName, bytes);

  console::System system;
  auto first = std::make_unique<mailbox::State>();
  console::MemoryConsole console;
  mailbox::Program program{*first, console, system};
  if (!config::readConfiguration(program)) return 0;
  Table read = tableOf(*first);
  fuzz_support::require(read.count >= 1 && read.count <= mailbox::MaxAccounts,
                        "account count out of range");

  fuzz_support::require(config::writeConfiguration(program), "write failed");
  auto second = std::make_unique<mailbox::State>();
  console::MemoryConsole again;
  mailbox::Program reread{*second, again, system};
  fuzz_support::require(config::readConfiguration(reread), "written file not accepted");
  fuzz_support::require(tableOf(*second) == read, "written file gives another table");
  return 0;
}
