// The operating system as the program sees it: text files read line by line
// and tool runs without a shell, which never outlive Mailvak.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>

#include "platform/files.h"
#include "platform/oauth2_providers.h"
#include "platform/system.h"
#include "platform/terminal_device.h"
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
TEST(OAuth2Providers, TheFileAddsAndOverridesAndABadFileCountsForNothing) {
  testing_support::ScopedTempDir dir;
  testing_support::writeFile("p.ini", "; tests\n[google]\nservers = POP.Gmail.com mail.test\n"
                                      "token_endpoint = http://localhost:8/t ; loopback only\n"
                                      "[Lokaal]\nservers = 127.0.0.1\nflow = browser\n"
                                      "authorization_endpoint = https://a.test/x;y\n"
                                      "token_endpoint = https://a.test/t\nclient_id = c\n"
                                      "mechanism = oauthbearer\n");
  std::string err;
  auto providers = oauth2Providers("p.ini", &err);
  EXPECT_EQ(err, "");
  const OAuth2Provider* google = providerForServer(providers, "pop3s://MAIL.test.:995");
  ASSERT_TRUE(google && google->name == "Google");
  EXPECT_EQ(google->tokenEndpoint, "http://localhost:8/t");
  EXPECT_EQ(google->scope, "https://mail.google.com/");
  const OAuth2Provider* local = providerForServer(providers, "127.0.0.1:110");
  ASSERT_TRUE(local && local->configured());
  EXPECT_EQ(local->authorizationEndpoint, "https://a.test/x;y");
  EXPECT_EQ(local->mechanism, SaslMechanism::OAuthBearer);
  EXPECT_EQ(providerForServer(providers, "outlook.office365.com")->flow, OAuth2Flow::Device);
  EXPECT_EQ(providerForServer(providers, "pop.example.org"), nullptr);
  EXPECT_EQ(serverHost("[::1]:110"), "[::1]");

  for (const char* bad : {"servers = x\n", "[x]\nservers = y\nflow = sideways\n", "[x]\nscope = s\n",
                          "[x]\nservers = y\ntoken_endpoint = http://mail.test/t\n"}) {
    testing_support::writeFile("p.ini", bad);
    providers = oauth2Providers("p.ini", &err);
    EXPECT_NE(err, "") << bad;
    EXPECT_EQ(providers.size(), 2u) << bad;
  }
  oauth2Providers("missing.ini", &err);
  EXPECT_NE(err, "");
  for (const char* url : {"https://login.test/t", "http://127.0.0.1:9/t", "HTTP://LOCALHOST/t"}) {
    EXPECT_TRUE(acceptableEndpoint(url)) << url;
  }
  for (const char* url : {"http://mail.test/t", "http://localhost@evil.test/", "ftp://x/", "https://",
                          "http://localhost.evil.test/"}) {
    EXPECT_FALSE(acceptableEndpoint(url)) << url;
  }
}

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
  ToolRun run{{"host", "110", "jan piet", "-", "list"}, "ge heim'$x", "Get41.txt", "", {}};
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

using testing_support::readFile, testing_support::writeFile;

// The names in the current directory, in order, each followed by a blank.
std::string namesHere() {
  std::set<std::string> sorted;
  for (const auto& entry : std::filesystem::directory_iterator("."))
    sorted.insert(entry.path().filename());
  std::string names;
  for (const std::string& name : sorted) names += name + " ";
  return names;
}

void writeTool(const std::string& script) {
  writeFile("mboxtool", "#!/bin/sh\n" + script);
  chmod("mboxtool", 0700);
}

// A System that notes the removals and renames that put a run's files in
// place, and refuses renames to one name.
struct NotingSystem : System {
  bool deleteFile(const std::string& name) override {
    if (name[0] != '.') steps += "-" + name + " ";
    return System::deleteFile(name);
  }
  bool renameFile(const std::string& from, const std::string& to) override {
    steps += ">" + to + " ";
    return to != refused && System::renameFile(from, to);
  }
  std::string steps, refused;
};

// Only a run that ended well replaces its files: the old side file goes
// first, then the result file and the new side file take their places. On
// every other end both stay as they were, and no temporary file is left.
TEST(ToolRun, FilesTakeTheirPlacesOnlyWholeAndInOrder) {
  testing_support::ScopedTempDir dir;
  // The side file's name comes second; a refusal (status 1) makes none.
  writeTool(
      "read pw\necho \"$pw $1\"\n[ $1 = 1 ] || echo nieuw >\"$2\"\n: >\"$2.new\"\n"
      "[ $1 = kill ] && kill -9 $$\nexit $1\n");
  const std::string Kept = "oud|oud-seen";
  // clang-format off
  const struct { std::string status, refused; ToolOutcome outcome; std::string files, steps; } cases[] = {
    {"0", "", ToolOutcome::Done, "pw 0\n|nieuw\n", "-seen >Get41.txt >seen "},
    {"1", "", ToolOutcome::Done, "pw 1\n|", "-seen >Get41.txt "},
    {"2", "", ToolOutcome::BrokenOff, Kept, ""},
    {"3", "", ToolOutcome::NotWritten, Kept, ""},
    {"kill", "", ToolOutcome::BrokenOff, Kept, ""},
    {"0", "seen", ToolOutcome::NotWritten, "pw 0\n|", "-seen >Get41.txt >seen "},
    {"0", "Get41.txt", ToolOutcome::NotWritten, "oud|", "-seen >Get41.txt "},
  };
  // clang-format on
  for (const auto& c : cases) {
    writeFile("Get41.txt", "oud");
    writeFile("seen", "oud-seen");
    NotingSystem system;
    system.refused = c.refused;
    EXPECT_EQ(system.runTool({{c.status, "seen"}, "pw", "Get41.txt", "", {"seen"}}), c.outcome);
    EXPECT_EQ(readFile("Get41.txt") + "|" + readFile("seen") + "|" + system.steps,
              c.files + "|" + c.steps);
    EXPECT_EQ(namesHere(),
              c.files.ends_with("|") ? "Get41.txt mboxtool " : "Get41.txt mboxtool seen ");
  }
}

// Whether the process has ended (gone, or a zombie), waiting up to 5 s.
bool ends(const std::string& pid) {
  for (int wait = 0; wait < 500; usleep(10000), ++wait) {
    std::string stat = readFile("/proc/" + pid + "/stat");
    if (stat.rfind(") ") == std::string::npos || stat[stat.rfind(") ") + 2] == 'Z') return true;
  }
  return false;
}

// A Mailvak that ends on a signal takes its runs, and whatever they started,
// with it, and leaves none of their temporary files; one killed outright
// takes its runs too, and the next start removes the files they left.
TEST(ToolRun, RunsNeverOutliveMailvak) {
  testing_support::ScopedTempDir dir;
  writeTool(": >\"$1.new\"\nsleep 30 &\necho $$ $! >>pids\nwait\n");
  for (int signal : {SIGTERM, SIGKILL}) {
    unlink("pids");
    pid_t mailvak = fork();
    if (mailvak == 0) {
      int master = posix_openpt(O_RDWR | O_NOCTTY);
      grantpt(master);
      unlockpt(master);
      int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
      TerminalDevice terminal(slave, slave);
      System system;
      ToolOutcome outcome;
      bool started = terminal.open();
      for (const char* file : {"Get21.txt", "Get22.txt"})
        started = started && system.startTool({{"seen"}, "", file, "", {"seen"}}, &outcome) > 0;
      while (started) pause();
      _exit(1);
    }
    std::vector<std::string> pids;
    for (int wait = 0; wait < 500 && pids.size() < 4; usleep(10000), ++wait) {
      std::istringstream words(readFile("pids"));
      pids.assign(std::istream_iterator<std::string>(words), {});
    }
    kill(mailvak, signal);
    int status = 0;
    waitpid(mailvak, &status, 0);
    ASSERT_EQ(pids.size(), 4u);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
    EXPECT_TRUE(ends(pids[0]) && ends(pids[2]));  // the runs
    if (signal == SIGTERM) {
      EXPECT_TRUE(ends(pids[1]) && ends(pids[3]));  // what they started
      EXPECT_EQ(namesHere(), "mboxtool pids ");
      continue;
    }
    kill(std::stoi(pids[1]), SIGKILL);
    kill(std::stoi(pids[3]), SIGKILL);
    const std::string left = namesHere();
    EXPECT_EQ(std::count(left.begin(), left.end(), '.'), 16) << left;  // two runs' three files
    writeFile(".Get21.txt.9", "blijft");
    System().removeStaleRunFiles();
    EXPECT_EQ(namesHere(), ".Get21.txt.9 mboxtool pids ");
  }
}

// Runs go side by side, each watched through a pidfd or, without one, looked
// at in turn: the run that ends first is the first that a wait gives.
TEST(ToolRun, RunsSideBySideWithAndWithoutPidfd) {
  testing_support::ScopedTempDir dir;
  // "a" ends only a while after "b" has shown itself.
  writeTool(
      "[ $1 = b ] && : >b && exit 0\nfor i in $(seq 20); do\n"
      "  [ -e b ] && sleep 0.3 && echo zag && exit 0; sleep 0.1\ndone\n");
  for (bool pidfd : {true, false}) {
    if (!pidfd) setenv("MAILVAK_NO_PIDFD", "1", 1);
    unlink("b");
    System system;
    ToolOutcome outcome;
    int a = system.startTool({{"a"}, "", "Get41.txt", "", {}}, &outcome);
    int b = system.startTool({{"b"}, "", "", "", {}}, &outcome);
    EXPECT_EQ(system.waitForTools(5000, &outcome), b) << pidfd;
    EXPECT_EQ(system.waitForTools(10, &outcome), 0) << pidfd;
    EXPECT_EQ(system.waitForTools(5000, &outcome), a) << pidfd;
    EXPECT_EQ(readFile("Get41.txt"), "zag\n") << pidfd;
  }
  unsetenv("MAILVAK_NO_PIDFD");
}

}  // namespace
}  // namespace platform
