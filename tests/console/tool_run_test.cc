// Tool runs start ./mboxtool without a shell: the password travels on a pipe,
// never on a command line, and the result file is Mailvak's own, never a
// link or a special file that stood under its name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "console/system.h"
#include "support/temp_dir.h"

namespace {

using console::ToolOutcome;
using testing_support::readFile;
using testing_support::writeFile;

TEST(ToolRun, PasswordOnAPipeAndAResultFileOfItsOwn) {
  testing_support::ScopedTempDir dir;
  // A tool that notes every command line on the system while it runs.
  writeFile("mboxtool", "#!/bin/sh\nps -eo args >seen\nread pw\necho \"$pw|$*\"\n");
  chmod("mboxtool", 0700);
  writeFile("victim", "blijft");
  ASSERT_EQ(symlink("victim", "Get41.txt"), 0);
  ASSERT_EQ(mkfifo("Get21.txt", 0600), 0);  // would block a shell's redirection for good
  console::System system;
  console::ToolRun run{{"host", "110", "jan piet", "-", "list"}, "ge heim'$x", "Get41.txt", ""};
  EXPECT_EQ(system.runTool(run), ToolOutcome::Done);
  EXPECT_EQ(readFile("Get41.txt"), "ge heim'$x|host 110 jan piet - list\n");
  EXPECT_EQ(readFile("seen").find("ge heim"), std::string::npos);
  EXPECT_EQ(readFile("victim"), "blijft");
  struct stat info;
  ASSERT_EQ(lstat("Get41.txt", &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode) && (info.st_mode & 0777) == 0600);
  run.outputFile = "Get21.txt";
  EXPECT_EQ(system.runTool(run), ToolOutcome::Done);
  EXPECT_EQ(readFile("Get21.txt"), "ge heim'$x|host 110 jan piet - list\n");
  unlink("mboxtool");
  EXPECT_EQ(system.runTool(run), ToolOutcome::NotStarted);
  EXPECT_EQ(readFile("Get21.txt"), "ge heim'$x|host 110 jan piet - list\n");
}

}  // namespace
