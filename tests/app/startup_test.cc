#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "app/frame.h"
#include "console/geometry.h"
#include "console/memory_console.h"
#include "console/text.h"
#include "support/temp_dir.h"

using console::MemoryConsole;
using testing_support::ScopedTempDir;

namespace {

// A system with its own environment and version text; files are real.
class FakeSystem : public console::System {
 public:
  std::map<std::string, std::string> environment;
  std::string version = "Linux 6.12.0";
  std::string environmentVariable(const std::string& name) override {
    auto it = environment.find(name);
    return it == environment.end() ? "" : it->second;
  }
  std::string versionText() override { return version; }
};

bool prepare(MemoryConsole& console, FakeSystem& system, mailbox::State& state) {
  mailbox::Program program{state, console, system};
  return app::prepareConsole(program);
}

}  // namespace

TEST(Startup, HeightTableAndVersionRule) {
  struct Case {
    int height;
    const char* version;
    int windowRows;
    int helpTopRow;
  } cases[] = {
      {600, "", 42, 1},        {719, "", 42, 1},         {720, "", 52, 5},
      {768, "", 56, 7},        {768, "6.1.7601", 55, 7}, {800, "x 6.1.7", 58, 8},
      {864, "6.1.8", 64, 11},  {960, "", 72, 15},        {1199, "", 77, 16},
      {1200, "", 92, 24},      {5000, "", 92, 24},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    FakeSystem system;
    system.environment["APPDATA"] = dir.path();
    system.version = c.version;
    MemoryConsole console({1024, c.height});
    mailbox::State state;
    EXPECT_TRUE(prepare(console, system, state));
    EXPECT_EQ(c.windowRows, state.windowRows) << c.height << " " << c.version;
    EXPECT_EQ(c.helpTopRow, state.helpTopRow) << c.height;
    EXPECT_EQ(c.windowRows + 3, console.screen().rows());
  }
}

TEST(Startup, DrawsTitleLineAndKeyBar) {
  ScopedTempDir dir;
  FakeSystem system;
  system.environment["APPDATA"] = dir.path();
  MemoryConsole console({1024, 768});
  mailbox::State state;
  ASSERT_TRUE(prepare(console, system, state));
  const console::Screen& s = console.screen();
  ASSERT_EQ(59, s.rows());
  EXPECT_EQ(127u, app::titleText().size());
  EXPECT_EQ(127u, app::keyBarText().size());
  EXPECT_EQ(" * * *  Mailvak  v10.2t    POP3-emailchecker    80 accounts    800 emails per account    ",
            s.rowText(1).substr(0, 89));
  EXPECT_EQ("  * * * ", s.rowText(1).substr(119));
  EXPECT_EQ(console::White, s.at(1, 1).foreground);
  EXPECT_EQ(console::Magenta, s.at(1, 127).background);
  EXPECT_EQ(std::string(127, ' '), s.rowText(2));
  EXPECT_EQ(console::Black, s.at(2, 1).background);
  EXPECT_EQ(std::string(127, ' '), s.rowText(58));
  EXPECT_EQ(app::keyBarText(), s.rowText(59));
  for (int column = 1; column <= 127; ++column) {
    bool separator = column == 21 || column == 33 || column == 59 || column == 73 ||
                     column == 92 || column == 109;
    EXPECT_EQ(separator, s.at(59, column).byte == 179) << column;
    EXPECT_EQ(separator ? console::Black : console::Magenta, s.at(59, column).foreground) << column;
    EXPECT_EQ(console::LightGrey, s.at(59, column).background);
  }
  EXPECT_FALSE(s.cursorVisible());
  EXPECT_EQ(console::LightGrey, s.colour().foreground);
  EXPECT_EQ(console::Black, s.colour().background);
  // Nothing scrolled while the last cell was written.
  EXPECT_EQ(app::titleText(), s.rowText(1));
}

TEST(Startup, RefusesANarrowOrLowDesktop) {
  for (console::Resolution desktop : {console::Resolution{1023, 1200}, console::Resolution{1024, 599},
                                      console::Resolution{800, 600}}) {
    ScopedTempDir dir;
    FakeSystem system;
    system.environment["APPDATA"] = dir.path();
    MemoryConsole console(desktop);
    console.pushKey("x");
    mailbox::State state;
    EXPECT_FALSE(prepare(console, system, state));
    EXPECT_EQ("  Schermresolutie te laag.", console.screen().rowText(2).substr(0, 26));
    EXPECT_EQ(0u, console.pendingKeys());  // the key was waited for and read
    EXPECT_EQ("  Schermresolutie te laag.", state.exitMessage);
  }
}

TEST(Startup, TerminalSizeStandsForTheDesktop) {
  EXPECT_EQ(1024, console::resolutionForTerminal(127, 59).width);
  EXPECT_EQ(1023, console::resolutionForTerminal(126, 200).width);
  EXPECT_EQ(768, console::resolutionForTerminal(127, 59).height);
  EXPECT_EQ(768, console::resolutionForTerminal(200, 61).height);
  EXPECT_EQ(800, console::resolutionForTerminal(200, 62).height);
  EXPECT_EQ(600, console::resolutionForTerminal(127, 45).height);
  EXPECT_EQ(599, console::resolutionForTerminal(127, 44).height);
  EXPECT_EQ(1200, console::resolutionForTerminal(300, 95).height);
}

TEST(Startup, WorkingDirectoryIsNeverTheRoot) {
  FakeSystem system;
  system.environment["APPDATA"] = "/data/x";
  EXPECT_EQ("/data/x/Mailvak", app::workingDirectoryFor(system));
  system.environment["APPDATA"] = "";
  system.environment["XDG_DATA_HOME"] = "/xdg/";
  EXPECT_EQ("/xdg/Mailvak", app::workingDirectoryFor(system));
  system.environment.erase("XDG_DATA_HOME");
  system.environment["HOME"] = "/home/u";
  EXPECT_EQ("/home/u/.local/share/Mailvak", app::workingDirectoryFor(system));
  system.environment["HOME"] = "/";
  system.environment["APPDATA"] = "/";
  EXPECT_NE("/Mailvak", app::workingDirectoryFor(system));
  system.environment.clear();
  EXPECT_NE("/Mailvak", app::workingDirectoryFor(system));
}

TEST(Startup, PreparesTheWorkingDirectoryWithAFreshToolCopy) {
  ScopedTempDir dir;
  FakeSystem system;
  system.environment["APPDATA"] = dir.path() + "/appdata";
  testing_support::writeFile(dir.file("mboxtool"), "#!/bin/sh\necho new\n");
  chmod(dir.file("mboxtool").c_str(), 0755);
  mkdir((dir.path() + "/appdata").c_str(), 0700);
  mkdir((dir.path() + "/appdata/Mailvak").c_str(), 0700);
  testing_support::writeFile(dir.file("appdata/Mailvak/mboxtool"), "old");
  testing_support::writeFile(dir.file("appdata/Mailvak/Get21.txt"), "+OK 1 10\r\n");
  MemoryConsole console;
  mailbox::State state;
  mailbox::Program program{state, console, system};
  app::copyTool(system, dir.path(), dir.path() + "/appdata/Mailvak");
  ASSERT_TRUE(app::prepareConsole(program));
  EXPECT_EQ(dir.path() + "/appdata/Mailvak", system.currentDirectory());
  EXPECT_EQ("#!/bin/sh\necho new\n", testing_support::readFile("mboxtool"));
  struct stat info;
  ASSERT_EQ(0, stat("mboxtool", &info));
  EXPECT_TRUE(info.st_mode & S_IXUSR);
  EXPECT_EQ("+OK 1 10\r\n", testing_support::readFile("Get21.txt"));
  EXPECT_FALSE(system.fileExists("mailvak.str"));
  ASSERT_EQ(0, stat(".", &info));
  EXPECT_EQ(0700u, info.st_mode & 0777);
}
