// The operating system as the program sees it: text files read line by line
// and tool runs without a shell.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

TEST(TextFile, LineEndsFifosAndModes) {
  testing_support::ScopedTempDir dir;
  const std::string z(300000, 'z');
  // clang-format off
  const std::pair<std::string, std::vector<std::string>> cases[] = {
    {"a\r\nb\nc\r", {"a", "b", "c"}}, {"a\r\rb", {"a", "", "b"}}, {"a\n\r\nb\r\n", {"a", "", "b"}},
    {"", {}}, {{"x\0y", 3}, {{"x\0y", 3}}}, {z + "\nk", {z, "k"}}};
  // clang-format on
  for (const auto& [bytes, lines] : cases) {
    testing_support::writeFile("f.txt", bytes);
    TextFile file("f.txt", TextFile::Mode::Input);
    std::vector<std::string> read;
    while (!file.endOfFile()) read.push_back(file.readLine());
    EXPECT_EQ(read, lines) << testing::PrintToString(bytes.substr(0, 9));
  }
  EXPECT_TRUE(mkfifo("pipe", 0600) == 0 && TextFile("pipe", TextFile::Mode::Input).endOfFile());
  TextFile("o.txt", TextFile::Mode::Output).writeLine("one");
  TextFile("o.txt", TextFile::Mode::Append).write("two!");
  struct stat info;
  EXPECT_TRUE(stat("o.txt", &info) == 0 && (info.st_mode & 0777) == 0600);
  EXPECT_EQ(testing_support::readFile("o.txt"), "one\r\ntwo!");
}

// Tool runs start ./mboxtool without a shell: the password travels on a pipe,
// never on a command line, and the result file is Mailvak's own, never a
// link or a special file that stood under its name.
TEST(ToolRun, PasswordOnAPipeAndAResultFileOfItsOwn) {
  using testing_support::readFile, testing_support::writeFile;
  testing_support::ScopedTempDir dir;
  // A tool that notes every command line on the system while it runs.
  writeFile("mboxtool", "#!/bin/sh\nps -eo args >seen\nread pw\necho \"$pw|$*\"\n");
  chmod("mboxtool", 0700);
  writeFile("victim", "blijft");
  ASSERT_EQ(symlink("victim", "Get41.txt") | mkfifo("Get21.txt", 0600),
            0);  // a FIFO blocks a shell
  System system;
  ToolRun run{{"host", "110", "jan piet", "-", "list"}, "ge heim'$x", "Get41.txt", "", ""};
  const std::string output = "ge heim'$x|host 110 jan piet - list\n";
  EXPECT_EQ(system.runTool(run), ToolOutcome::Done);
  EXPECT_EQ(readFile("Get41.txt") + readFile("victim"), output + "blijft");
  EXPECT_EQ(readFile("seen").find("ge heim"), std::string::npos);
  EXPECT_EQ(std::filesystem::symlink_status("Get41.txt").permissions(),
            std::filesystem::perms(0600));
  run.outputFile = "Get21.txt";
  EXPECT_EQ(system.runTool(run), ToolOutcome::Done);
  unlink("mboxtool");
  EXPECT_EQ(system.runTool(run), ToolOutcome::NotStarted);
  EXPECT_EQ(readFile("Get21.txt"), output);  // kept when the tool did not start
}

}  // namespace
}  // namespace platform
