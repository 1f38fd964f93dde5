// A System that stands in for the POP3 tool in the mailbox tests: it records
// every command line and writes the scripted text into the file the line
// redirects to ("" for a tool that could not reach the server: the shell's
// redirection still leaves an empty file behind).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "console/memory_console.h"
#include "console/system.h"
#include "mailbox/program.h"
#include "support/temp_dir.h"

namespace mailbox_test {

class FakeTool : public console::System {
 public:
  void runCommand(const std::string& line) override {
    lines.push_back(line);
    size_t arrow = line.rfind('>');
    if (arrow == std::string::npos) return;
    std::string target = line.substr(arrow + 1);
    if (target.find('/') != std::string::npos) return;  // ">/dev/null": nothing to keep
    auto output = outputs.find(target);
    testing_support::writeFile(target, output == outputs.end() ? "" : output->second);
  }

  std::vector<std::string> lines;
  /// What the tool writes, by result file name.
  std::map<std::string, std::string> outputs;
};

/// A program over a MemoryConsole sized like a 45-row terminal and a FakeTool.
struct TestProgram {
  mailbox::State state;
  console::MemoryConsole console;
  FakeTool tool;
  mailbox::Program program{state, console, tool};

  explicit TestProgram(int windowRows = 42) {
    state.windowRows = windowRows;
    console.setSize(127, windowRows + 3);
    state.accountCount = 1;
    state.serverName[1] = "pop.example.com";
    state.userName[1] = "jan";
    state.password[1] = "geheim";
    state.accountLabel[1] = "Jan";
  }
};

}  // namespace mailbox_test
