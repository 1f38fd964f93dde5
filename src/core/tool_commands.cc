#include "core/tool_commands.h"

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

platform::ToolRun toolRun(const core::State& state, int account, std::vector<std::string> words,
                          const std::string& outputFile, std::vector<std::string> sideFiles) {
  const core::AccountSettings& settings = state.account(account);
  platform::ToolRun run;
  run.line = toolPrefix(state, account);
  for (const std::string& word : words) run.line += shellWord(word) + " ";
  run.line += ">" + (outputFile.empty() ? std::string("/dev/null") : outputFile);
  run.arguments = {settings.serverName, "110", settings.userName, "-"};
  run.arguments.insert(run.arguments.end(), words.begin(), words.end());
  run.password = settings.password;
  run.outputFile = outputFile;
  run.sideFiles = std::move(sideFiles);
  return run;
}

platform::ToolOutcome runTool(core::Program& program, const platform::ToolRun& run) {
  program.console.flush();
  return program.system.runTool(run);
}

}  // namespace core
