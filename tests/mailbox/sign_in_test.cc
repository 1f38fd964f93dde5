// Accounts that sign in with a provider: their runs, the sign-in box and what
// the status line says when the sign-in does not end signed in.
#include <gtest/gtest.h>

#include "mailbox/check_account.h"
#include "mailbox/sign_in.h"
#include "support/harness.h"

namespace mailbox {
namespace {

using platform::OAuth2Flow;
using testing_support::readFile;
using testing_support::writeFile;

// Accounts 1 and 3 are on the servers of a provider; 1 has no password.
struct SignIn : testing_support::TestProgram {
  SignIn(OAuth2Flow flow = OAuth2Flow::Device, std::string clientId = "id") {
    state.oauth2Providers = {{"Test",
                              {"pop1.example.org", "pop3.example.org"},
                              flow,
                              "https://t/device",
                              "https://t/authorize",
                              "https://t/token",
                              std::move(clientId),
                              "",
                              "",
                              {}}};
    state.account(1).password.clear();
    state.account(1).resultFilesCurrent = false;
  }
  // Checks account 1 with the box file the tool writes and its outcome line;
  // the screen while the box stands is kept in `box`.
  std::string check(const std::string& boxFile, const std::string& outcome) {
    system.outputs["signin.out"] = outcome;
    system.onCommand = [&](const std::string& line) {
      if (line.find("--signin") != std::string::npos) writeFile("signin.txt", boxFile);
    };
    system.onWait = [this] { box = console.screen(); };
    checkAccount(program, 1);
    EXPECT_FALSE(system.fileExists("signin.txt") || system.fileExists("signin.out"));
    return state.account(1).statusText;
  }
  console::Screen box;
};

const std::string SignInLine =
    "./mboxtool --signin pop1.example.org user1 Token1.json signin.txt >signin.out";

TEST(SignIn, ARunOfASignInAccountBeginsWithItsTokenFileAndSendsNoPassword) {
  SignIn t;
  t.state.account(2).password.clear();  // not a provider's server
  EXPECT_EQ(checkRun(t.state, 1).line,
            "./mboxtool --oauth2 Token1.json pop1.example.org 110 user1 - check 40 --headers "
            "Get41.txt --seen Get21.uid >Get21.txt");
  EXPECT_EQ(checkRun(t.state, 1).password, "");
  for (int a : {2, 3}) {  // a typed password logs in with it
    EXPECT_TRUE(checkRun(t.state, a).line.starts_with("./mboxtool pop")) << a;
    EXPECT_EQ(checkRun(t.state, a).password, a == 3 ? "secret3" : "");
  }
}

TEST(SignIn, TheBoxShowsTheCodeAndTheCheckFollows) {
  SignIn t;
  const std::string before = t.rows(1, 45), m(16, ' ');
  t.system.outputs["Get21.txt"] = "+OK 0 0\r\n";
  EXPECT_EQ(t.check("device\nhttp://127.0.0.1:9/device\nAB <C>\n", "+OK signed in\r\n"),
            noMessagesLine());
  EXPECT_EQ(t.rows(9, 16, &t.box), m + "Aanmelden bij Test voor Account 1\n\n" + m + "Ga naar\n" +
                                       m + "http://127.0.0.1:9/device\n" + m +
                                       "en voer deze code in:\n" + m + "AB <C>\n\n" + m +
                                       "Esc breekt af.\n");
  EXPECT_EQ(t.box.at(12, 20).background, console::Blue);
  EXPECT_EQ(t.rows(1, 45), before);  // the box is gone
  EXPECT_EQ(t.system.commands.at(0), SignInLine);
  EXPECT_TRUE(t.system.commands.at(1).starts_with("./mboxtool --oauth2 Token1.json pop1"));
}

TEST(SignIn, TheBrowserFlowOpensTheAddressOnceAndShowsItWrapped) {
  SignIn t(OAuth2Flow::Browser);
  const std::string address = "https://t/authorize?" + std::string(100, 'x');
  t.system.holdRuns = true;  // three looks at the keys, then Esc
  int waits = 0;
  t.system.onWait = [&] {
    t.box = t.console.screen();
    if (++waits == 3) t.console.pushKey("\x1b");
  };
  t.system.onCommand = [&](const std::string&) { writeFile("signin.txt", "browser\n" + address); };
  checkAccount(t.program, 1);
  EXPECT_EQ(t.system.started, std::vector<std::string>{address});
  EXPECT_EQ(t.box.rowText(13).substr(16, 95), address.substr(0, 95));
  EXPECT_EQ(t.box.rowText(14).substr(16, 26), address.substr(95) + std::string(1, ' '));
  // Esc stops the run: nothing is checked.
  EXPECT_EQ(t.system.stopped, 1u);
  EXPECT_EQ(t.state.account(1).statusText, signInCancelledLine());
  EXPECT_EQ(t.system.commands, std::vector<std::string>{SignInLine});
}

TEST(SignIn, WhatTheStatusLineSaysWhenItDoesNotSignIn) {
  const std::pair<std::string, std::string> cases[] = {
      {"-ERR [OAUTH2/DENIED] no", "    Aanmelden geweigerd."},
      {"-ERR [OAUTH2/EXPIRED] late", "    Aanmelden verlopen."},
      {"-ERR timeout", "    Aanmelden mislukt."},
      {"", "    Aanmelden mislukt."}};
  for (const auto& [outcome, line] : cases) {
    SignIn t;
    EXPECT_EQ(t.check("", outcome), line + std::string(127 - line.size(), ' '));
    EXPECT_EQ(t.system.commands, std::vector<std::string>{SignInLine});
    EXPECT_EQ(t.state.account(1).busyMark, "");
  }
  SignIn unconfigured(OAuth2Flow::Device, "");
  EXPECT_EQ(unconfigured.check("", "").substr(0, 60),
            "    Aanmelden bij Test is niet ingesteld in deze versie.    ");
  EXPECT_TRUE(unconfigured.system.commands.empty());
  SignIn signedIn;  // a token file: no sign-in
  writeFile("Token1.json", "{}");
  signedIn.check("", "");
  EXPECT_EQ(signedIn.system.commands.size(), 1u);
}

}  // namespace
}  // namespace mailbox
