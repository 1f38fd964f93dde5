#include "mailbox/sign_in.h"

#include <algorithm>
#include <vector>

#include "console/text.h"
#include "core/file_names.h"
#include "core/tool_commands.h"
#include "mailbox/check_account.h"
#include "platform/files.h"

namespace mailbox {

namespace {

// The box: from row 8, columns 15 to 113, white on blue; each text row has
// two blanks either side.
constexpr int BoxRow = 8, BoxColumn = 15, TextWidth = 95;
// How long one wait for the run's end may last before the keys are looked at.
constexpr int KeyWatchMilliseconds = 30;

// An address too long for one row goes on over as many rows as it needs.
void addWrapped(std::vector<std::string>& rows, std::string_view text) {
  do {
    rows.emplace_back(text.substr(0, TextWidth));
    text.remove_prefix(std::min<size_t>(TextWidth, text.size()));
  } while (!text.empty());
}

bool isWebAddress(std::string_view address) {
  return address.starts_with("https://") || address.starts_with("http://");
}

// Shows what the box file asks, once it is there; returns whether it was.
bool showBox(core::Program& program, int a, const platform::OAuth2Provider& provider) {
  platform::TextFile file(core::SignInBoxFileName, platform::TextFile::Mode::Input);
  if (!file.isOpen()) return false;
  const std::string kind = file.readLine(), address = file.readLine(), code = file.readLine();
  std::vector<std::string> rows = {
      "", "Aanmelden bij " + provider.name + " voor " + program.state.account(a).accountLabel, ""};
  if (kind == "device" && !code.empty()) {
    rows.push_back("Ga naar");
    addWrapped(rows, address);
    rows.push_back("en voer deze code in:");
    addWrapped(rows, code);
  } else if (kind == "browser" && !address.empty()) {
    rows.push_back("Je browser opent de aanmeldpagina. Opent hij niet (of werk je op afstand),");
    rows.push_back("ga dan in een browser naar:");
    addWrapped(rows, address);
    if (isWebAddress(address)) program.system.startDetached(address);
  } else {
    return false;  // not what the tool writes: no box
  }
  rows.insert(rows.end(), {"", "Esc breekt af.", ""});

  console::Console& c = program.console;
  const int lastRow = c.screen().rows() - 1;
  c.setColour(console::White, console::Blue);
  for (size_t i = 0; i < rows.size() && BoxRow + static_cast<int>(i) <= lastRow; ++i) {
    std::string row = "  " + console::left(rows[i], TextWidth);
    row.resize(TextWidth + 4, ' ');
    c.placeCursor(BoxRow + static_cast<int>(i), BoxColumn);
    c.print(row);
  }
  return true;
}

// The status line for the run's outcome line; "" for a sign-in that worked.
std::string outcomeLine(platform::ToolOutcome outcome, const platform::OAuth2Provider& provider) {
  if (outcome == platform::ToolOutcome::NotStarted) return toolMissingLine();
  if (outcome == platform::ToolOutcome::NotWritten) return notWrittenLine();
  platform::TextFile file(core::SignInResultFileName, platform::TextFile::Mode::Input);
  const std::string first = file.readLine();
  if (outcome == platform::ToolOutcome::Done && first.starts_with("+OK")) return "";
  if (first.find("[OAUTH2/UNCONFIGURED]") != std::string::npos) {
    return signInNotConfiguredLine(provider.name);
  }
  // The tool's codes say what went wrong; anything else is a failed sign-in.
  std::string line = refusalLine(first);
  return line == noAccessLine() ? refusalLine("-ERR [OAUTH2/FAILED]") : line;
}

}  // namespace

bool needsSignIn(core::Program& program, int a) {
  return core::signInProvider(program.state, a) &&
         !program.system.fileExists(core::tokenFileName(a));
}

std::string signIn(core::Program& program, int a) {
  const platform::OAuth2Provider* provider = core::signInProvider(program.state, a);
  if (!provider) return "";
  if (!provider->configured()) return signInNotConfiguredLine(provider->name);
  platform::System& system = program.system;
  console::Console& c = program.console;
  // What an earlier sign-in left is no part of this one.
  system.deleteFile(core::SignInBoxFileName);
  system.deleteFile(core::SignInResultFileName);

  c.flush();
  platform::ToolOutcome outcome = platform::ToolOutcome::Done;
  const int run = system.startTool(core::signInRun(program.state, a), &outcome);
  if (run == 0) return outcomeLine(outcome, *provider);
  const console::Screen under = c.screen();
  bool shown = false, cancelled = false;
  for (;;) {
    c.flush();  // also repaints a terminal that changed size
    // Only Esc means something while the box stands; other keys are dropped.
    for (std::string key = c.readKey(); !key.empty(); key = c.readKey()) {
      cancelled = cancelled || key == "\x1b";
    }
    if (cancelled) break;
    if (!shown) shown = showBox(program, a, *provider);
    if (system.waitForTools(KeyWatchMilliseconds, &outcome) == run) break;
  }
  if (cancelled) system.stopTools();
  c.screen().restore(under);
  system.deleteFile(core::SignInBoxFileName);
  std::string line = cancelled ? signInCancelledLine() : outcomeLine(outcome, *provider);
  system.deleteFile(core::SignInResultFileName);
  return line;
}

}  // namespace mailbox
