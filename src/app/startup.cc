#include "app/startup.h"

#include "app/frame.h"
#include "app/main_loop.h"
#include "config/settings_editor.h"
#include "console/dialog_box.h"
#include "console/geometry.h"
#include "console/text.h"
#include "core/account_files.h"
#include "mailbox/check_account.h"
#include "platform/files.h"
#include "platform/oauth2_providers.h"

namespace app {

namespace {

// Makes every missing directory of an absolute path (mode 0700).
void makeDirectories(platform::System& system, const std::string& path) {
  for (size_t slash = path.find(platform::PathSeparator, 1); slash != std::string::npos;
       slash = path.find(platform::PathSeparator, slash + 1)) {
    system.makeDirectory(path.substr(0, slash));
  }
  system.makeDirectory(path);
}

// The version probe: an empty first line and the version text as the second,
// as the start-up reads it back. The file is deleted again.
std::string probeVersion(platform::System& system) {
  {
    platform::TextFile probe("mailvak.str", platform::TextFile::Mode::Output);
    probe.writeLine("");
    probe.writeLine(system.versionText());
  }
  platform::TextFile probe("mailvak.str", platform::TextFile::Mode::Input);
  std::string version = probe.readLine();
  version = probe.readLine();
  probe.close();
  system.deleteFile("mailvak.str");
  return version;
}

// Shows why the program cannot go on, waits for a key, and keeps the message
// for the terminal's own screen at exit.
bool refuse(core::Program& program, const std::string& message) {
  program.console.print("", true);
  program.console.print(message, true);
  program.console.flush();
  program.console.waitForKey(-1);
  program.console.readKey();
  program.state.exitMessage = message;
  return false;
}

// The providers, read once: which accounts sign in and where.
void readProviders(core::Program& program) {
  std::string err;
  program.state.oauth2Providers = platform::oauth2Providers(
      program.system.environmentVariable(platform::OAuth2ProvidersVariable), &err);
  // The built-in table serves; whoever set the file must know it is not used.
  if (!err.empty()) {
    console::askInRedBox(program.console, " Providersbestand onbruikbaar! ",
                         "       Druk op een toets       ");
    program.console.setColour(console::LightGrey, console::Black);
  }
}

}  // namespace

std::string workingDirectoryFor(platform::System& system) {
  const std::string separator(1, platform::PathSeparator);
  std::string home = system.homeDirectory();
  for (std::string base :
       {system.environmentVariable("APPDATA"), system.environmentVariable("XDG_DATA_HOME"),
        home.empty()
            ? home
            : (home == separator ? "" : home) + separator + ".local" + separator + "share"}) {
    while (base.size() > 1 && base.back() == platform::PathSeparator) base.pop_back();
    if (base.size() > 1 && platform::isAbsolutePath(base)) return base + separator + "Mailvak";
  }
  return "";
}

void copyTool(platform::System& system, const std::string& workingDirectory) {
  const std::string tool = platform::PathSeparator + std::string(platform::ToolFileName);
  std::string target = workingDirectory + tool;
  for (const std::string& directory :
       {system.executableDirectory(), std::string(MAILVAK_INSTALL_BINDIR)}) {
    if (directory.empty() || directory == workingDirectory) continue;
    std::string source = directory + tool;
    if (system.fileExists(source) && system.copyFile(source, target)) return;
  }
}

bool prepareConsole(core::Program& program) {
  core::State& state = program.state;
  console::Console& c = program.console;
  platform::System& system = program.system;

  std::string workingDirectory = workingDirectoryFor(system);
  if (workingDirectory.empty()) return refuse(program, "  Geen werkmap: zet HOME of APPDATA.");
  makeDirectories(system, workingDirectory);
  // Whoever can write in the working directory could replace the tool and
  // read every password: it must be the user's alone.
  if (!system.ownPrivateDirectory(workingDirectory) || !system.changeDirectory(workingDirectory)) {
    return refuse(program, "  Werkmap " + workingDirectory + " is niet van u alleen.");
  }
  if (!system.lockCurrentDirectory()) {
    return refuse(program, "  Mailvak draait al op werkmap " + workingDirectory + ".");
  }
  system.removeStaleRunFiles();
  core::removeHeldAccountFiles(system);
  copyTool(system, workingDirectory);

  console::Resolution desktop = c.desktopResolution();
  std::string version = probeVersion(system);

  for (const console::HeightRow& row : console::HeightTable) {
    if (desktop.height >= row.height) {
      state.windowRows = row.windowRows;
      state.helpTopRow = row.helpTopRow;
    }
  }
  // A desktop that is wide enough but lower than the table's first row leaves
  // no list window: it is refused like a narrow one.
  if (desktop.width < 1024 || state.windowRows == 0) {
    return refuse(program, "  Schermresolutie te laag.");
  }
  if (console::find(version, "6.1.7") > 0) state.windowRows -= 1;

  c.setSize(console::ScreenColumns, state.windowRows + 3);
  c.placeCursor(0, 0, 0);
  drawTitleLine(program);
  drawKeyBar(program);
  c.setColour(console::LightGrey, console::Black);
  return true;
}

void runMailvak(core::Program& program) {
  if (!prepareConsole(program)) return;
  readProviders(program);
  if (!config::readConfiguration(program)) return;
  mailbox::summariseAllAccounts(program.state);
  mainLoop(program);
}

}  // namespace app
