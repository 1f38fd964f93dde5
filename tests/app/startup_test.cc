// Start-up on POSIX: the working directory's place, mode and owner, the desktop
// and the version text, checked on the in-memory screen.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/frame.h"
#include "app/startup.h"
#include "support/harness.h"

namespace app {
namespace {

using namespace core;

// Start-up on desktops of every height and working directories of the user's or not.
TEST(Startup, DesktopVersionAndAWorkingDirectoryOfTheUsersOwn) {
  testing_support::ScopedTempDir start;  // the start directory, with a planted tool
  testing_support::writeFile("mboxtool", "#!/bin/sh\n");
  auto prepare = [&start](const std::string& appdata, console::Resolution desktop = {1024, 768},
                          const char* version = "", bool foreign = false) {
    std::string work = start.file(appdata + "/Mailvak");
    std::filesystem::create_directories(work);
    chmod(work.c_str(), 0777);
    if (foreign && chown(work.c_str(), 65534, 65534) != 0) return std::string("-");
    testing_support::FakeSystem system;
    system.environment["APPDATA"] = start.file(appdata);
    system.version = version;
    console::MemoryConsole console(desktop);
    State state;
    Program program{state, console, system};
    console.pushKey("x");
    bool started = prepareConsole(program);
    EXPECT_TRUE(chdir(start.path().c_str()) == 0 && !system.fileExists(work + "/mboxtool"));
    if (!started) return state.exitMessage;
    EXPECT_EQ(console.screen().rowText(1) + console.screen().rowText(state.windowRows + 3),
              titleText() + keyBarText());
    struct stat info;
    stat(work.c_str(), &info);
    return std::to_string(state.windowRows) + " " + std::to_string(state.helpTopRow) + " mode " +
           std::to_string(info.st_mode & 0777);
  };
  const std::string low = "  Schermresolutie te laag.";
  // clang-format off
  const std::tuple<int, int, const char*, std::string> desktops[] = {  // the rows and help row
      {1024, 719, "", "42 1 mode 448"}, {1024, 720, "", "52 5 mode 448"}, {1024, 768, "6.1.7601", "55 7 mode 448"},
      {1024, 864, "6.1.8", "64 11 mode 448"}, {1024, 5000, "", "92 24 mode 448"}, {1023, 1200, "", low}, {1024, 599, "", low}};
  // clang-format on
  int n = 0;
  for (const auto& [width, height, version, want] : desktops) {
    EXPECT_EQ(prepare("d" + std::to_string(++n), {width, height}, version), want);  // 448: 0700
  }
  EXPECT_EQ(prepare("d1"), "  Mailvak draait al op werkmap " + start.file("d1/Mailvak") + ".");
  if (geteuid() == 0) {
    EXPECT_EQ(prepare("b", {1024, 768}, "", true),
              "  Werkmap " + start.file("b/Mailvak") + " is niet van u alleen.");
  }
  testing_support::FakeSystem system;
  system.environment = {{"APPDATA", "/"}, {"XDG_DATA_HOME", "relatief"}, {"HOME", "/"}};
  EXPECT_EQ(workingDirectoryFor(system), "/.local/share/Mailvak");
}

}  // namespace
}  // namespace app
