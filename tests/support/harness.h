// What the program's unit tests share: a System that records and fakes what the
// program asks of the operating system, and a Program on an in-memory console.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "config/password.h"
#include "config/settings_editor.h"
#include "console/memory_console.h"
#include "core/program.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace testing_support {

class FakeSystem : public platform::System {
 public:
  /// Records the run's line; when it ends Done, writes outputs[file] ("" unless
  /// given) into its result file and puts outputs[side file] in place of each
  /// side file, as the real system does.
  platform::ToolOutcome runTool(const platform::ToolRun& run) override {
    commands.push_back(run.line);
    play(run);
    if (onCommand) onCommand(run.line);
    return outcome;
  }
  /// A started run is recorded as runTool records it and runs until a wait
  /// (not one of 0 ms) ends it, oldest first; the most runs at once are kept.
  int startTool(const platform::ToolRun& run, platform::ToolOutcome*) override {
    running.push_back({++lastRun, run});
    mostRunning = std::max(mostRunning, running.size());
    auto sameServer = [&run](auto& r) { return r.second.arguments[0] == run.arguments[0]; };
    auto onServer = std::count_if(running.begin(), running.end(), sameServer);
    mostOnOneServer = std::max(mostOnOneServer, static_cast<size_t>(onServer));
    commands.push_back(run.line);
    if (onCommand) onCommand(run.line);
    return lastRun;
  }
  int waitForTools(int milliseconds, platform::ToolOutcome* ended) override {
    if (running.empty() || milliseconds == 0) return 0;
    if (onWait) onWait();
    if (holdRuns) return 0;
    auto [number, run] = running.front();
    running.pop_front();
    play(run);
    *ended = outcome;
    return number;
  }
  void stopTools() override {
    stopped += running.size();
    running.clear();
  }
  void startDetached(const std::string& file) override { started.push_back(file); }
  bool renameFile(const std::string& from, const std::string& to) override {
    if (++renames == dieAtRename) std::_Exit(0);
    return !(refuseRenames && from.starts_with(refuseRenamesOf)) && System::renameFile(from, to);
  }
  std::string environmentVariable(const std::string& name) override {
    auto it = environment.find(name);
    return it == environment.end() ? "" : it->second;
  }
  std::string versionText() override { return version; }
  void checkpoint(const char* step) override {
    if (dieAt == step) std::_Exit(0);
  }

  std::vector<std::string> commands, started;
  std::map<std::string, std::string> outputs;  // what the tool writes, by result file
  std::map<std::string, std::string> environment;
  std::string version = "Linux 6.12.0";
  std::function<void(const std::string&)> onCommand;
  std::function<void()> onWait;  // at every wait for runs that may end one
  bool holdRuns = false;         // no wait ends a run
  size_t stopped = 0;            // runs that stopTools ended
  std::deque<std::pair<int, platform::ToolRun>> running;
  int lastRun = 0;
  size_t mostRunning = 0, mostOnOneServer = 0;
  bool playTool = true;
  platform::ToolOutcome outcome = platform::ToolOutcome::Done;
  bool refuseRenames = false;
  std::string refuseRenamesOf;       // with refuseRenames: only names that start so
  std::string dieAt;                 // the step of a file replacement at which the process ends
  int renames = 0, dieAtRename = 0;  // the rename at which the process ends, counted from 1

 private:
  void play(const platform::ToolRun& run) {
    if (!playTool || outcome != platform::ToolOutcome::Done) return;
    if (!run.outputFile.empty()) writeFile(run.outputFile, outputs[run.outputFile]);
    for (const std::string& side : run.sideFiles) {
      deleteFile(side);
      if (outputs.count(side)) writeFile(side, outputs[side]);
    }
  }
};

/// A program on a console of the main screen's size, with three accounts
/// "pop<a>.example.org", "user<a>", "secret<a>", "Account <a>" unless told otherwise.
struct TestProgram {
  explicit TestProgram(int accounts = 3, int windowRows = 42) {
    state.windowRows = windowRows;
    console.setSize(127, windowRows + 3);
    for (int a = 1; a <= accounts; ++a) {
      std::string n = std::to_string(a);
      setAccount(a, "pop" + n + ".example.org", "user" + n, "secret" + n, "Account " + n);
    }
    state.accountCount = accounts;
  }
  void setAccount(int a, std::string server, std::string user, std::string password,
                  std::string label) {
    state.account(a).serverName = std::move(server);
    state.account(a).userName = std::move(user);
    state.account(a).password = std::move(password);
    state.account(a).accountLabel = std::move(label);
  }
  void keys(std::initializer_list<std::string> list) {
    for (const std::string& key : list) console.pushKey(key);
  }
  void type(const std::string& text) {
    for (char c : text) console.pushKey(std::string(1, c));
  }
  std::string row(int r) const { return console.screen().rowText(r); }
  /// Rows first..last of the screen (or of one kept) as the user reads them:
  /// blanks at row ends dropped, one line each.
  std::string rows(int first, int last, const console::Screen* kept = nullptr) const {
    std::string text;
    for (int r = first; r <= last; ++r) {
      std::string line = (kept ? *kept : console.screen()).rowText(r);
      line.erase(line.find_last_not_of(' ') + 1);
      text += line + "\n";
    }
    return text;
  }
  int fg(int r, int c) const { return console.screen().at(r, c).foreground; }
  int bg(int r, int c) const { return console.screen().at(r, c).background; }
  /// Account a's record as Mailvak.ini holds it.
  std::string record(int a) {
    const core::Account& s = state.account(a);
    return s.serverName + "\r\n" + s.userName + "\r\n" + config::scramblePassword(s.password) +
           "\r\n" + s.accountLabel + "\r\n\r\n";
  }
  /// Reads Mailvak.ini into a fresh table, as the next start does.
  bool nextStart(core::State& next) {
    console::MemoryConsole screen;
    core::Program again{next, screen, system};
    return config::readConfiguration(again);
  }

  ScopedTempDir dir;
  core::State state;
  console::MemoryConsole console;
  FakeSystem system;
  core::Program program{state, console, system};
};

}  // namespace testing_support
