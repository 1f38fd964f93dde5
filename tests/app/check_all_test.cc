// The key a: every account's list and header runs side by side, within the
// limits of runs at once and runs against one server.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "mailbox/check_account.h"
#include "support/harness.h"

namespace app {
namespace {

using testing_support::TestProgram;

// 20 accounts on 5 servers, 4 each; account a has a messages of 100 bytes.
struct Twenty : TestProgram {
  Twenty() : TestProgram(20, 60) {
    for (int a = 1; a <= 20; ++a) {
      state.serverName[a] = "pop" + std::to_string(a % 5) + ".example.org";
      std::string list = "+OK " + std::to_string(a) + " " + std::to_string(a * 100) + "\r\n";
      system.outputs["Get2" + std::to_string(a) + ".txt"] = list + "1 100\r\n.\r\n";
    }
  }
};

TEST(CheckAll, EveryAccountSideBySideWithinTheLimits) {
  Twenty f;
  std::vector<std::string> firstRows;
  f.system.onCommand = [&](const std::string&) {
    if (firstRows.empty()) firstRows = {f.row(3), f.row(22)};
  };
  f.keys({"a"});
  mainLoop(f.program);
  // Every folder line showed its busy mark before the first run started.
  EXPECT_TRUE(firstRows[0].starts_with("Account 1 [bezig]")) << firstRows[0];
  EXPECT_TRUE(firstRows[1].starts_with("Account 20 [bezig]")) << firstRows[1];
  EXPECT_EQ(f.system.mostRunning, 8u);
  EXPECT_EQ(f.system.mostOnOneServer, 2u);
  ASSERT_EQ(f.system.commands.size(), 40u);
  for (int a = 1; a <= 20; ++a) {
    std::string n = std::to_string(a), server = "./mboxtool pop" + std::to_string(a % 5);
    auto list = std::find(f.system.commands.begin(), f.system.commands.end(),
                          server + ".example.org 110 user" + n + " - list >Get2" + n + ".txt");
    auto top = std::find(list, f.system.commands.end(), server + ".example.org 110 user" + n +
                                                            " - top " + n + " 40>Get4" + n + ".txt");
    EXPECT_NE(top, f.system.commands.end()) << "account " << a;
    EXPECT_EQ(f.state.summaryText[a], mailbox::summaryOf("+OK " + n + " " + std::to_string(a * 100)));
    EXPECT_TRUE(f.state.busyMark[a].empty());
    EXPECT_EQ(f.state.cell(0, a), 0) << "a closed folder opened";
  }
}

TEST(CheckAll, QuitEndsEveryRunAtOnce) {
  Twenty f;
  f.system.onCommand = [&](const std::string&) {
    if (f.system.commands.size() == 12) f.console.pushKey("q");
  };
  f.keys({"a"});
  mainLoop(f.program);
  EXPECT_TRUE(f.state.quitRequested);
  EXPECT_TRUE(f.system.running.empty());
  EXPECT_LT(f.system.commands.size(), 14u);
}

}  // namespace
}  // namespace app
