// Accounts that sign in with a provider: their runs, the sign-in box and what
// the status line says when the sign-in does not end signed in.
#include <gtest/gtest.h>

#include "mailbox/check_account.h"
#include "mailbox/sign_in.h"
#include "support/harness.h"

namespace mailbox {
namespace {

using platform::OAuth2Flow;
using testing_support::writeFile;

// Accounts 1 and 3 are on the servers of a provider; 1 has no password.
struct SignIn : testing_support::TestProgram {
  explicit SignIn(OAuth2Flow flow = OAuth2Flow::Device, std::string clientId = "id") {
    state.oauth2Providers = {{.name = "Test",
                              .servers = {"pop1.example.org", "pop3.example.org"},
                              .flow = flow,
                              .deviceEndpoint = "https://t/device",
                              .authorizationEndpoint = "https://t/authorize",
                              .tokenEndpoint = "https://t/token",
                              .clientId = std::move(clientId),
                              .clientSecret = "",
                              .scope = "",
                              .mechanism = platform::SaslMechanism::XOAuth2}};
    state.account(1).password.clear();
    state.account(1).resultFilesCurrent = false;
    state.account(1).busyMark = " [bezig]";
    system.outputs["Get21.txt"] = "+OK 0 0\r\n";
  }
  // Checks account 1 while the tool writes boxFile and ends with outcome;
  // `box` is the screen while the run goes on. Returns the status line.
  std::string check(const std::string& boxFile, const std::string& outcome) {
    system.outputs["signin.out"] = outcome;
    system.onCommand = [&](const std::string& line) {
      if (line.find("--signin") != std::string::npos) writeFile("signin.txt", boxFile);
    };
    system.onWait = [this] { box = console.screen(); };
    checkAccount(program, 1);
    EXPECT_FALSE(system.fileExists("signin.txt") || system.fileExists("signin.out"));
    const std::string& line = state.account(1).statusText;
    return line.substr(0, line.find("  ", 4));
  }
  console::Screen box;
};

const std::string SignInLine =
    "./mboxtool --signin pop1.example.org user1 Token1.json signin.txt >signin.out";

TEST(SignIn, TheBoxShowsTheCodeOrTheAddressThenRunsLogInWithTheTokenFileAndNoPassword) {
  SignIn t;
  t.state.account(2).password.clear();  // not a provider's server
  for (int a : {2, 3}) {                // a typed password logs in with it
    EXPECT_TRUE(checkRun(t.state, a).line.starts_with("./mboxtool pop")) << a;
    EXPECT_EQ(checkRun(t.state, a).password, a == 3 ? "secret3" : "");
  }
  const std::string before = t.rows(1, 45), m(16, ' ');
  EXPECT_EQ(t.check("device\nhttp://127.0.0.1:9/device\nAB <C>\n", "+OK signed in"),
            "    Geen berichten op de server.");
  EXPECT_EQ(t.rows(9, 16, &t.box), m + "Aanmelden bij Test voor Account 1\n\n" + m + "Ga naar\n" +
                                       m + "http://127.0.0.1:9/device\n" + m +
                                       "en voer deze code in:\n" + m + "AB <C>\n\n" + m +
                                       "Esc breekt af.\n");
  EXPECT_EQ(t.box.at(12, 20).background, console::Blue);
  EXPECT_EQ(t.rows(1, 45), before);
  EXPECT_EQ(t.system.commands.at(0), SignInLine);
  EXPECT_EQ(t.system.commands.at(1),
            "./mboxtool --oauth2 Token1.json pop1.example.org 110 user1 - check 40 --headers "
            "Get41.txt --seen Get21.uid >Get21.txt");
  EXPECT_EQ(checkRun(t.state, 1).password, "");

  SignIn browser(OAuth2Flow::Browser);  // the address opens once and wraps in the box
  const std::string address = "https://t/authorize?" + std::string(100, 'x');
  browser.check("browser\n" + address + "\n", "+OK");
  EXPECT_EQ(browser.system.started, std::vector<std::string>{address});
  EXPECT_EQ(browser.box.rowText(13).substr(16, 95) + browser.box.rowText(14).substr(16, 26),
            address + " ");
}

TEST(SignIn, WhatTheStatusLineSaysWhenItDoesNotSignIn) {
  const std::pair<std::string, std::string> cases[] = {
      {"-ERR [OAUTH2/DENIED] no", "    Aanmelden geweigerd."},
      {"-ERR timeout", "    Aanmelden mislukt."},
      {"", "    Aanmelden mislukt."}};
  for (const auto& [outcome, line] : cases) {
    SignIn t;
    EXPECT_EQ(t.check("", outcome), line);
    EXPECT_EQ(t.system.commands, std::vector<std::string>{SignInLine});
    EXPECT_EQ(t.state.account(1).busyMark, "");
  }
  SignIn unconfigured(OAuth2Flow::Device, "");
  EXPECT_EQ(unconfigured.check("", ""), "    Aanmelden bij Test is niet ingesteld in deze versie.");
  EXPECT_TRUE(unconfigured.system.commands.empty());
  SignIn signedIn;  // with a token file it checks at once
  writeFile("Token1.json", "{}");
  signedIn.check("", "");
  EXPECT_EQ(signedIn.system.commands.size(), 1u);
}

}  // namespace
}  // namespace mailbox
