// What the action tests share: a System that records the command lines and
// viewer starts instead of running them (and may play the tool by writing the
// files a run would leave), and a Program over a MemoryConsole in a fresh
// temporary working directory, with the screen sized as the program sizes it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/program.h"
#include "mailbox/state.h"
#include "support/temp_dir.h"

namespace actions_test {

class RecordingSystem : public console::System {
 public:
  void runCommand(const std::string& line) override {
    commands.push_back(line);
    if (onCommand) onCommand(line);
  }
  void startDetached(const std::string& file) override { started.push_back(file); }

  std::vector<std::string> commands;
  std::vector<std::string> started;
  /// Plays the tool: called with each line in the working directory.
  std::function<void(const std::string&)> onCommand;
};

class ActionFixture {
 public:
  ActionFixture() {
    console.setSize(127, 48);
    state.windowRows = 45;
    for (int a = 1; a <= 3; ++a) {
      state.serverName[a] = "pop" + std::to_string(a) + ".example.org";
      state.userName[a] = "user" + std::to_string(a);
      state.password[a] = "secret" + std::to_string(a);
      state.accountLabel[a] = "Account " + std::to_string(a);
    }
    state.accountCount = 3;
  }

  testing_support::ScopedTempDir dir;
  mailbox::State state;
  console::MemoryConsole console;
  RecordingSystem system;
  mailbox::Program program{state, console, system};
};

}  // namespace actions_test
