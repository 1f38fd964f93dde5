#include "actions/tool_commands.h"

namespace actions {

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
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

std::string toolPrefix(const mailbox::State& state, int account) {
  return "./mboxtool " + shellWord(state.serverName[account]) + " 110 " +
         shellWord(state.userName[account]) + " " + shellWord(state.password[account]) + " ";
}

void runTool(mailbox::Program& program, const std::string& line) {
  program.console.flush();
  program.system.runCommand(line);
}

}  // namespace actions
