// The tool's list, header and count files (input: a choice byte, a seed and the list's length in
// two bytes each, the list, the header file also read as count file an2): a check keeps counts in
// their limits, the drawing pass, messages expanded every way, stays below the title line.
#include <memory>

#include "actions/empty_mailbox.h"
#include "app/main_loop.h"
#include "console/memory_console.h"
#include "fuzz_support.h"
#include "mailbox/account_list.h"
#include "mailbox/check_account.h"

// The tool's runs: the scripted list or header file as their result file.
struct ScriptedTool : platform::System {
  std::string list, headers;
  platform::ToolOutcome runTool(const platform::ToolRun& run) override {
    const std::string& target = run.outputFile;
    if (!target.empty()) writeFile(target, target.rfind("Get2", 0) ? headers : list);
    return platform::ToolOutcome::Done;
  }
};

void fuzz(Input input) {
  int choice = input.byte();
  unsigned seed = input.byte() | input.byte() << 8;
  ScriptedTool tool;
  tool.list = input.take(input.byte() | input.byte() << 8);
  tool.headers = input.rest;
  writeFile("an2", tool.headers);
  long long count = actions::readServerCount("an2");
  require(count >= -1 && count <= 10'000'000, "count file: count out of range");
  auto state = std::make_unique<core::State>();
  core::State& s = *state;
  console::MemoryConsole console;
  core::Program program{s, console, tool};
  console.setSize(127, (s.windowRows = 42) + 3);
  s.accountCount = 1, s.account(1).resultFilesCurrent = false;
  s.account(1).serverName = "pop.example.nl", s.account(1).userName = "jan",
  s.account(1).accountLabel = "Jan";
  mailbox::checkAccount(program, 1);
  require(s.account(1).messageCount >= 0 && s.account(1).messageCount <= core::MaxMessages,
          "bad count");
  mailbox::summariseAccount(s, 1);
  // Messages expanded, with full headers, unwrapped, marked; the view and columns moved.
  s.cell(0, 1) |= core::Expanded;
  const int ways = core::Expanded | core::FullHeaders | core::NoWrap | core::Marked;
  for (int m = 1; m <= s.account(1).messageCount; ++m) s.cell(1, m) = (seed * m >> 7) & ways;
  s.textOffset = 1 + (choice & 3) * 40, s.scrollTop = (choice & 4) ? 30 : 0;
  s.subjectColumn = (choice & 8) ? 3 : 75, s.dateColumn = (choice & 16) ? 35 : 105;
  s.cursorLine = (choice >> 5) * 7 + 1, s.lineCounter = 1;  // drawn from the list's first line
  console.print(" * * *  Mailvak");
  console.placeCursor(3, 1);
  app::ServerRequests requests(program);
  mailbox::drawAccountList(program, 1, requests);
  require(console.screen().rowText(1).rfind(" * * *  Mailvak", 0) == 0, "title line changed");
  require(s.lineCounter >= 2 && console.cursorRow() <= 45, "drawn outside the folder");
}
