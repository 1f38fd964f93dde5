// The tool's list and header files as any bytes: an account check reads them
// (the tool's runs stand in as writes of the input) and the drawing pass shows
// the account with its folder open and its messages expanded in every way.
// The count stays within the list's limits, and the drawing stays inside the
// window: the title line above it is never scrolled away or written over.
#include <cstdint>
#include <memory>

#include "console/memory_console.h"
#include "console/system.h"
#include "fuzz_support.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"
#include "mailbox/program.h"

namespace {

// The tool: writes the scripted list or header file as its result file;
// nothing is started.
class ScriptedTool : public console::System {
 public:
  std::string listText, headerText;
  console::ToolOutcome runTool(const console::ToolRun& run) override {
    const std::string& target = run.outputFile;
    if (!target.empty()) {
      fuzz_support::writeFile(target, target.rfind("Get2", 0) == 0 ? listText : headerText);
    }
    return console::ToolOutcome::Done;
  }
  void startDetached(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::enterWorkDirectory();
  fuzz_support::Input input(data, size);
  unsigned choice = input.byte();
  unsigned seed = input.byte() | input.byte() << 8;
  size_t listLength = input.byte() | input.byte() << 8;
  ScriptedTool tool;
  tool.listText = input.take(listLength);
  tool.headerText = input.rest();

  auto state = std::make_unique<mailbox::State>();
  mailbox::State& s = *state;
  console::MemoryConsole console;
  mailbox::Program program{s, console, tool};
  s.windowRows = 42;
  console.setSize(127, s.windowRows + 3);
  s.accountCount = 1;
  s.serverName[1] = "pop.example.nl";
  s.userName[1] = "jan";
  s.password[1] = "geheim";
  s.accountLabel[1] = "Jan";
  s.currentAccount = 1;
  s.resultFilesCurrent[1] = 0;
  mailbox::checkAccount(program);
  fuzz_support::require(s.messageCount[1] >= 0 && s.messageCount[1] <= mailbox::MaxMessages,
                        "message count out of range");
  mailbox::summariseAccount(program);

  // Per message: expanded, with full headers, unwrapped, marked; the view
  // scrolled sideways and down, the columns moved within their key limits.
  s.cell(0, 1) |= mailbox::Expanded;
  for (int m = 1; m <= s.messageCount[1]; ++m) {
    seed = seed * 1103515245u + 12345u;
    s.cell(1, m) = static_cast<int>((seed >> 16) & (mailbox::Expanded | mailbox::FullHeaders |
                                                    mailbox::NoWrap | mailbox::Marked));
  }
  s.textOffset = 1 + static_cast<int>(choice & 3) * 40;
  s.scrollTop = (choice & 4) ? 30 : 0;
  s.subjectColumn = (choice & 8) ? 3 : 75;
  s.dateColumn = (choice & 16) ? 35 : 105;
  s.cursorLine = static_cast<int>(choice >> 5) * 7 + 1;

  const std::string title = " * * *  Mailvak";
  console.placeCursor(1, 1);
  console.print(title);
  console.placeCursor(3, 1);
  s.lineCounter = 1;
  mailbox::drawAccountList(program);
  fuzz_support::require(console.screen().rowText(1).rfind(title, 0) == 0, "title line changed");
  fuzz_support::require(s.lineCounter >= 2, "the folder drew no line");
  fuzz_support::require(console.cursorRow() <= s.windowRows + 3, "drawn below the window");
  return 0;
}
