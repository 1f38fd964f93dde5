// The POP3 tool's result files, as the account check and the list drawing read
// them. Input: one byte of flags (wrapping, full headers, columns, scroll),
// then the list file's bytes, a NUL, and the header file's bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"
#include "mailbox/result_files.h"

namespace {

void writeText(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << text;
}

char scratch[] = "/tmp/mailvak-fuzz-XXXXXX";

void removeScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
}

// Every input works in one private directory, made on the first call and
// removed when the process ends.
void enterScratchDirectory() {
  static bool entered = false;
  if (entered) return;
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) std::abort();
  std::atexit(removeScratchDirectory);
  entered = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  enterScratchDirectory();
  const int flags = size > 0 ? data[0] : 0;
  std::string rest(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0),
                   size > 0 ? size - 1 : 0);
  size_t nul = rest.find('\0');
  writeText(mailbox::listFileName(1), rest.substr(0, nul));
  writeText(mailbox::headerFileName(1), nul == std::string::npos ? "" : rest.substr(nul + 1));

  mailbox::State state;
  console::MemoryConsole console;
  console::System system;
  mailbox::Program program{state, console, system};
  state.windowRows = 42;
  console.setSize(127, 45);
  state.accountCount = 1;
  state.currentAccount = 1;
  state.subjectColumn = (flags & 4) ? 75 : 37;
  state.dateColumn = (flags & 8) ? 35 : 96;
  state.textOffset = (flags & 16) ? 5 : 1;
  state.scrollTop = (flags & 32) ? 3 : 0;
  int cell = mailbox::Expanded | ((flags & 1) ? mailbox::NoWrap : 0) |
             ((flags & 2) ? mailbox::FullHeaders : 0);
  for (int m = 1; m <= mailbox::MaxMessages; ++m) state.cell(1, m) = cell;

  mailbox::checkAccount(program);
  mailbox::summariseAccount(program);
  state.lineCounter = 1;
  console.placeCursor(3, 1);
  mailbox::drawAccountList(program);
  return 0;
}
