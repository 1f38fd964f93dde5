// The key a: every account's check run side by side, within the limits of
// runs at once and of runs against one server.
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "mailbox/check_account.h"
#include "support/harness.h"

namespace app {
namespace {

TEST(CheckAll, EveryAccountSideBySideWithinTheLimits) {
  testing_support::TestProgram f(20, 60);  // 20 accounts, 4 on each of 5 servers
  auto list = [](int a) { return "+OK " + std::to_string(a) + " " + std::to_string(a * 100); };
  for (int a = 1; a <= 20; ++a) {
    f.state.account(a).serverName = "pop" + std::to_string(a % 5) + ".example.org";
    f.system.outputs["Get2" + std::to_string(a) + ".txt"] = list(a) + "\r\n1 100\r\n.\r\n";
  }
  std::string firstRows;  // the screen when the first run starts
  f.system.onCommand = [&](const std::string&) {
    if (firstRows.empty()) firstRows = f.rows(3, 22);
  };
  f.keys({"a"});
  mainLoop(f.program);
  for (int a = 1; a <= 20; ++a) {
    std::string n = std::to_string(a), check = "./mboxtool pop" + std::to_string(a % 5) +
                                               ".example.org 110 user" + n +
                                               " - check 40 --headers Get4" + n +
                                               ".txt --seen Get2" + n + ".uid >Get2" + n + ".txt";
    EXPECT_NE(firstRows.find("Account " + n + " [bezig]"), std::string::npos) << firstRows;
    EXPECT_EQ(std::count(f.system.commands.begin(), f.system.commands.end(), check), 1) << a;
    EXPECT_EQ(f.state.account(a).summaryText, mailbox::summaryOf(list(a)));
    // The busy mark goes, and a closed folder stays closed.
    EXPECT_TRUE(f.state.account(a).busyMark.empty() && f.state.cell(0, a) == 0) << a;
  }
  EXPECT_EQ(f.system.commands.size(), 20u);  // one login per account
  EXPECT_EQ(f.system.mostRunning, 8u);
  EXPECT_EQ(f.system.mostOnOneServer, 2u);
}

TEST(CheckAll, AccountsSignInOneAfterAnotherFirstAndEscStopsOnlyOne) {
  testing_support::TestProgram f(3);
  platform::OAuth2Provider provider;
  provider.servers = {"pop1.example.org", "pop3.example.org"};
  provider.clientId = provider.deviceEndpoint = provider.tokenEndpoint = "https://t";
  f.state.oauth2Providers = {provider};
  f.state.account(1).password = f.state.account(3).password = "";
  f.state.cell(0, 1) = core::Expanded;
  f.system.holdRuns = true;  // the first sign-in waits for the user, who presses Esc
  f.system.onWait = [&] {
    if (f.system.stopped == 0) f.console.pushKey("\x1b");
    f.system.holdRuns = f.system.stopped == 0;
  };
  f.system.outputs["signin.out"] = "+OK signed in";
  f.keys({"a"});
  mainLoop(f.program);
  std::vector<std::string> runs;
  for (const std::string& line : f.system.commands) runs.push_back(line.substr(0, 32));
  EXPECT_EQ(runs, (std::vector<std::string>{
                      "./mboxtool --signin pop1.example", "./mboxtool --signin pop3.example",
                      "./mboxtool pop2.example.org 110 ", "./mboxtool --oauth2 Token3.json "}));
  EXPECT_EQ(f.system.stopped, 1u);
  EXPECT_EQ(f.row(4).substr(0, 26), "    Aanmelden afgebroken. ");
}

}  // namespace
}  // namespace app
