// A program on an in-memory console of the main screen's size, for the tests
// of the drawing pass, the key dispatcher and the help page.
#pragma once

#include <string>
#include <vector>

#include "console/memory_console.h"
#include "console/system.h"
#include "console/text.h"
#include "mailbox/program.h"
#include "support/temp_dir.h"

namespace app_testing {

/// Records command lines instead of running them: no POP3 tool runs here.
struct RecordingSystem : console::System {
  void runCommand(const std::string& line) override { commands.push_back(line); }
  void startDetached(const std::string& file) override { commands.push_back("open " + file); }
  std::vector<std::string> commands;
};

struct ScreenFixture {
  explicit ScreenFixture(int windowRows = 42, int helpTopRow = 1) {
    state.windowRows = windowRows;
    state.helpTopRow = helpTopRow;
    console.setSize(console::ScreenColumns, windowRows + 3);
    console.placeCursor(0, 0, 0);
  }

  void addAccount(const std::string& label, const std::string& summary) {
    int a = ++state.accountCount;
    state.serverName[a] = "pop.example.org";
    state.userName[a] = "user" + console::toText(a);
    state.password[a] = "secret";
    state.accountLabel[a] = label;
    state.summaryText[a] = summary;
  }

  std::string row(int r) const { return console.screen().rowText(r); }
  int fg(int r, int c) const { return console.screen().at(r, c).foreground; }
  int bg(int r, int c) const { return console.screen().at(r, c).background; }
  /// Whether every cell of row r has background colour.
  bool rowBackground(int r, int colour) const {
    for (int c = 1; c <= console::ScreenColumns; ++c) {
      if (bg(r, c) != colour) return false;
    }
    return true;
  }

  testing_support::ScopedTempDir directory;  // result files, if any, land here
  mailbox::State state;
  console::MemoryConsole console;
  RecordingSystem system;
  mailbox::Program program{state, console, system};
};

}  // namespace app_testing
