#include "core/tool_commands.h"

#include "core/file_names.h"

namespace core {

namespace {

bool isPlain(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
}

// The words before the command: how the tool logs in to account a's mailbox.
std::vector<std::string> loginArguments(const core::State& state, int account) {
  const core::AccountSettings& settings = state.account(account);
  std::vector<std::string> words;
  if (signInProvider(state, account)) words = {"--oauth2", tokenFileName(account)};
  words.insert(words.end(), {settings.serverName, "110", settings.userName, "-"});
  return words;
}

std::string commandLine(const std::vector<std::string>& words, const std::string& outputFile) {
  std::string line = "./mboxtool ";
  for (const std::string& word : words) line += shellWord(word) + " ";
  return line + ">" + (outputFile.empty() ? std::string("/dev/null") : outputFile);
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

const platform::OAuth2Provider* signInProvider(const core::State& state, int account) {
  const core::AccountSettings& settings = state.account(account);
  if (!settings.password.empty()) return nullptr;
  return platform::providerForServer(state.oauth2Providers, settings.serverName);
}

platform::ToolRun toolRun(const core::State& state, int account, std::vector<std::string> words,
                          const std::string& outputFile, std::vector<std::string> sideFiles) {
  platform::ToolRun run;
  run.arguments = loginArguments(state, account);
  run.arguments.insert(run.arguments.end(), words.begin(), words.end());
  run.line = commandLine(run.arguments, outputFile);
  if (!signInProvider(state, account)) run.password = state.account(account).password;
  run.outputFile = outputFile;
  run.sideFiles = std::move(sideFiles);
  return run;
}

platform::ToolRun signInRun(const core::State& state, int account) {
  const core::AccountSettings& settings = state.account(account);
  platform::ToolRun run;
  run.arguments = {"--signin", settings.serverName, settings.userName, tokenFileName(account),
                   SignInBoxFileName};
  run.outputFile = SignInResultFileName;
  run.line = commandLine(run.arguments, run.outputFile);
  return run;
}

platform::ToolOutcome runTool(core::Program& program, const platform::ToolRun& run) {
  program.console.flush();
  return program.system.runTool(run);
}

}  // namespace core
