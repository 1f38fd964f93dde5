#include "core/tool_commands.h"

#include <algorithm>

namespace core {

namespace {

bool isPlain(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
}

}  // namespace

std::string shellWord(std::string_view value) {
  bool plain = !value.empty();
  for (char c : value) plain = plain && isPlain(c);
  if (plain) return std::string(value);
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string toolPrefix(const core::State& state, int account) {
  return "./mboxtool " + shellWord(state.account(account).serverName) + " 110 " +
         shellWord(state.account(account).userName) + " - ";
}

std::string seenOption(const std::string& seenFile) { return " --seen " + seenFile; }

platform::ToolRun toolRun(const core::State& state, int account, std::string_view command,
                          const std::string& sideFile) {
  platform::ToolRun run;
  run.sideFile = sideFile;
  run.line = toolPrefix(state, account) + std::string(command);
  run.password = state.account(account).password;
  run.arguments = {state.account(account).serverName, "110", state.account(account).userName, "-"};
  size_t arrow = command.rfind('>');
  std::string_view words = command.substr(0, arrow);
  for (size_t start = 0; start < words.size();) {
    size_t end = std::min(words.find(' ', start), words.size());
    if (end > start) run.arguments.emplace_back(words.substr(start, end - start));
    start = end + 1;
  }
  if (arrow != std::string_view::npos) {
    std::string_view target = command.substr(arrow + 1);
    while (!target.empty() && target.front() == ' ') target.remove_prefix(1);
    if (target != "/dev/null") run.outputFile = target;
  }
  return run;
}

platform::ToolOutcome runTool(core::Program& program, const platform::ToolRun& run) {
  program.console.flush();
  return program.system.runTool(run);
}

}  // namespace core
