// The tool's OAuth2 against the local authorization server
// (tests/support/oauth2_server.py): both sign-in flows with the test as the
// user and the browser, the token file, the refresh with rotation, and every
// way a server can fail it ending in time with one -ERR line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "mboxtool/oauth2.h"
#include "mboxtool/signin.h"
#include "platform/oauth2_providers.h"
#include "support/pop3_servers.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::ScopedTempDir;
using Clock = std::chrono::steady_clock;

// What curl prints for args.
std::string curl(const std::string& args) {
  std::string out;
  FILE* pipe = popen(("curl -s " + args).c_str(), "r");
  char chunk[4096];
  while (pipe && fgets(chunk, sizeof chunk, pipe)) out += chunk;
  if (pipe) pclose(pipe);
  return out;
}

// The authorization server, and a providers file with one section per mode:
// server <mode>.device signs in with the device flow, <mode>.web in the browser.
struct AuthServer : pop3_support::OAuth2Server {
  explicit AuthServer(const std::string& dir) : base(url("")) {
    std::string text;
    for (std::string mode : {"ok", "slow", "malformed", "huge", "stall", "wrongstate"}) {
      std::string at = base + "/" + mode;
      text += "[" + mode + "d]\nservers = " + mode +
              ".device\nflow = device\ndevice_endpoint = " + at +
              "/devicecode\ntoken_endpoint = " + at + "/token\nclient_id = c\nscope = mail\n";
      text += "[" + mode + "w]\nservers = " + mode + ".web\nflow = browser\nclient_id = c\n" +
              "authorization_endpoint = " + at + "/authorize\ntoken_endpoint = " + at +
              "/token\nscope = mail\nmechanism = OAUTHBEARER\n";
    }
    text += "[nothing]\nservers = none.device\n";  // no client id
    testing_support::writeFile(dir + "/providers", text);
    setenv("MAILVAK_OAUTH2_PROVIDERS", (dir + "/providers").c_str(), 1);
  }
  ~AuthServer() { unsetenv("MAILVAK_OAUTH2_PROVIDERS"); }
  const std::string base;
};

mboxtool::Options quick(long long totalMs = 20000) { return {{2000, 300, totalMs}}; }

struct Ran {
  std::string out;
  double seconds;
};

// Signs jan in at server while `user` plays the user once BOXFILE shows up.
template <typename User>
Ran signIn(const ScopedTempDir& dir, const std::string& server, User user,
           mboxtool::Options options = quick()) {
  mboxtool::StringSink sink;
  auto start = Clock::now();
  std::atomic<bool> ended = false;
  std::thread run([&] {
    mboxtool::signIn({server, "jan", dir.file("token"), dir.file("box")}, options, sink);
    ended = true;
  });
  std::string box;
  for (int i = 0; i < 300 && box.empty() && !ended; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    box = readFile(dir.file("box"));
  }
  if (!box.empty()) user(box.substr(box.find('\n') + 1));
  run.join();
  return {sink.text, std::chrono::duration<double>(Clock::now() - start).count()};
}

// The browser: follows the authorization address to the listener, the
// second time too when told; true when the tool answered it.
bool browse(const std::string& box, int times = 1) {
  std::string page, address = box.substr(0, box.find('\n'));
  for (int i = 0; i < times; ++i) page += curl("-L --max-time 5 '" + address + "'");
  return page.find("Aanmelden") != std::string::npos;
}

TEST(OAuth2SignIn, EachFlowEndsAsTheUserAndTheServerMakeIt) {
  ScopedTempDir dir(false);
  AuthServer server(dir.path());
  ASSERT_TRUE(server.up());
  auto approve = [&](const std::string& box) {
    server.post("/approve", {{"user_code", box.substr(box.find('\n') + 1, 8)}, {"user", "jan"}});
  };
  auto decline = [&](const std::string& box) {
    server.post("/decline", {{"user_code", box.substr(box.find('\n') + 1, 8)}});
  };
  auto nobody = [](const std::string&) {};
  auto once = [](const std::string& box) { EXPECT_TRUE(browse(box)); };
  auto twice = [](const std::string& box) { EXPECT_TRUE(browse(box, 2)); };
  struct Row {
    std::string server;
    std::function<void(const std::string&)> user;
    std::string out;  // the start of the output line
    double seconds = 4;
    mboxtool::Options options = quick();
    double atLeast = 0;
  } const rows[] = {
      {"ok.device", approve, "+OK signed in\r\n"},
      {"OK.DEVICE:995", decline, "-ERR [OAUTH2/DENIED] "},
      {"ok.device", nobody, "-ERR [OAUTH2/EXPIRED] ", 3, quick(1500)},
      {"slow.device", approve, "+OK signed in\r\n", 9, quick(), 6},  // polls 5 s later
      {"pop3s://ok.web", once, "+OK signed in\r\n"},
      {"ok.web", twice, "+OK signed in\r\n"},  // the second finds no listener
      {"wrongstate.web", once, "-ERR [OAUTH2/FAILED] "},
      {"malformed.device", nobody, "-ERR [OAUTH2/FAILED] "},
      {"huge.device", nobody, "-ERR [OAUTH2/FAILED] "},
      {"stall.device", nobody, "-ERR [OAUTH2/FAILED] ", 2.5},
      {"none.device", nobody, "-ERR [OAUTH2/UNCONFIGURED] "},
      {"pop.example.com", nobody, "-ERR [OAUTH2/UNCONFIGURED] "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.server);
    unlink(dir.file("token").c_str());
    Ran ran = signIn(dir, row.server, row.user, row.options);
    EXPECT_TRUE(ran.out.starts_with(row.out)) << ran.out;
    EXPECT_LT(ran.seconds, row.seconds);
    EXPECT_GE(ran.seconds, row.atLeast);
    EXPECT_FALSE(std::filesystem::exists(dir.file("box")));
    mboxtool::TokenFile file;
    std::string err;
    EXPECT_EQ(row.out[0] == '+', mboxtool::loadTokenFile(dir.file("token"), &file, &err)) << err;
    if (row.out[0] != '+') continue;
    struct stat info;
    ASSERT_EQ(0, stat(dir.file("token").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
    EXPECT_EQ(ran.out.find(file.accessToken), std::string::npos);
    EXPECT_EQ(platform::serverHost(row.server), file.server);  // what --oauth2 compares
    EXPECT_EQ(row.server.find("web") != std::string::npos ? mboxtool::Login::OAuthBearer
                                                          : mboxtool::Login::XOAuth2,
              file.mechanism);
  }
  // What the browser flow sent: the user as the hint, a verifier of 43 characters
  // (the server checked it against the S256 challenge), and no code of a
  // redirect with another state exchanged.
  std::string log = curl(server.base + "/log");
  EXPECT_NE(log.find("\"login_hint\": \"jan\""), std::string::npos);
  const size_t at = log.find("\"code_verifier\": \"") + 18;
  const std::string verifier = log.substr(at, log.find('"', at) - at);
  EXPECT_EQ(43u, verifier.size());
  EXPECT_TRUE(std::all_of(verifier.begin(), verifier.end(),
                          [](char c) { return std::isalnum(c) || c == '-' || c == '_'; }));
  EXPECT_EQ(log.find("/wrongstate/token"), std::string::npos);
}

// The --oauth2 road before the login. A token that lives on is used as it is;
// one that expires within a minute is refreshed, the rotated refresh token kept
// and the old one dead. A refused refresh, a file of another server or user or
// a damaged one asks for a new grant and removes the file; a server that fails
// the refresh, or may not be asked, leaves the file for the next try.
TEST(OAuth2Login, RefreshesRotatesAndAsksForANewGrant) {
  ScopedTempDir dir(false);
  AuthServer server(dir.path());
  ASSERT_TRUE(server.up());
  const std::string path = dir.file("token");
  auto minted = [&](const std::string& endpoint, long long lifetime, bool refreshable = true) {
    return [&, endpoint, lifetime, refreshable] {
      mboxtool::TokenReply pair = server.mint("jan");
      mboxtool::TokenFile file;
      file.server = "pop.example.com";
      file.user = "jan";
      file.tokenEndpoint = endpoint;
      file.clientId = "c";
      file.mechanism = mboxtool::Login::OAuthBearer;
      file.accessToken = pair.accessToken;
      file.expiresAt = time(nullptr) + lifetime;
      if (refreshable) file.refreshToken = pair.refreshToken;
      std::string err;
      ASSERT_TRUE(mboxtool::saveTokenFile(path, file, &err)) << err;
    };
  };
  const std::string ok = server.base + "/ok/token";
  struct Row {
    std::function<void()> before;
    std::string server, user;
    std::string out;  // the start of the output line; "" for a login
    bool refreshed = false;
    double seconds = 2;
  } const rows[] = {
      {minted(ok, 3600), "POP3S://Pop.Example.COM:995", "jan", "", false},
      {minted(ok, 30), "pop.example.com", "jan", "", true},
      {[&] {  // the refreshed pair revoked, and due for a refresh
         mboxtool::TokenFile file;
         std::string err;
         mboxtool::loadTokenFile(path, &file, &err);
         file.expiresAt = time(nullptr) + 30;
         mboxtool::saveTokenFile(path, file, &err);
         server.post("/revoke", {{"user", "jan"}});
       },
       "pop.example.com:110", "jan", "-ERR [OAUTH2/REGRANT] "},
      {minted(ok, 30), "pop.example.com", "piet", "-ERR [OAUTH2/REGRANT] "},
      {minted(ok, 3600), "pop.other.com", "jan", "-ERR [OAUTH2/REGRANT] "},
      {minted(ok, 30, false), "pop.example.com", "jan", "-ERR [OAUTH2/REGRANT] "},
      {[&] { testing_support::writeFile(path, "{\"format\": \"mboxtool oauth2 1\""); },
       "pop.example.com", "jan", "-ERR [OAUTH2/REGRANT] "},
      {minted(server.base + "/malformed/token", 30), "pop.example.com", "jan",
       "-ERR [OAUTH2/FAILED] "},
      {minted(server.base + "/huge/token", 30), "pop.example.com", "jan", "-ERR [OAUTH2/FAILED] "},
      {minted(server.base + "/stall/token", 30), "pop.example.com", "jan", "-ERR [OAUTH2/FAILED] "},
      {minted("http://192.0.2.1/token", 30), "pop.example.com", "jan", "-ERR [OAUTH2/FAILED] ",
       false, 0.5},  // plain http elsewhere: not even a connection
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.server + " " + row.user + " " + row.out);
    row.before();
    mboxtool::TokenFile before, after;
    std::string err;
    bool loaded = mboxtool::loadTokenFile(path, &before, &err);
    mboxtool::Request request;
    request.server = row.server, request.user = row.user, request.password = "-";
    mboxtool::StringSink sink;
    auto start = Clock::now();
    int status = mboxtool::prepareOAuth2Login(path, &request, quick(), sink);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), row.seconds);
    EXPECT_TRUE(sink.text.starts_with(row.out) && sink.text.find('\n') + 1 == sink.text.size())
        << sink.text;
    EXPECT_EQ(row.out.empty() ? 0 : 1, status);
    bool kept = mboxtool::loadTokenFile(path, &after, &err);
    EXPECT_EQ(row.out.find("REGRANT") == std::string::npos, kept);
    if (!loaded || !kept) continue;
    for (const std::string& token : {before.accessToken, before.refreshToken, after.accessToken})
      EXPECT_EQ(sink.text.find(token), std::string::npos);
    EXPECT_EQ(row.refreshed, after.accessToken != before.accessToken);
    EXPECT_EQ(row.refreshed, after.refreshToken != before.refreshToken);
    if (!row.out.empty()) continue;
    EXPECT_EQ(after.accessToken, request.password);
    EXPECT_EQ(mboxtool::Login::OAuthBearer, request.login);
    EXPECT_GT(after.expiresAt, time(nullptr) + 3000);
    std::string reuse = server.post(
        "/ok/token", {{"grant_type", "refresh_token"}, {"refresh_token", before.refreshToken}});
    EXPECT_EQ(row.refreshed, reuse.find("invalid_grant") != std::string::npos);  // rotated
  }
}

// What the tool takes from a token endpoint: tokens a login line can carry, of
// bounded size, in a JSON object whose every field has its type.
TEST(OAuth2Login, TakesOnlyWellFormedTokenAnswers) {
  const std::string big(20000, 'a');
  struct Row {
    int status;
    std::string body, want;
  } const rows[] = {
      {200,
       R"({"access_token":"a.b-c","expires_in":"60","refresh_token":"r","token_type":"Bearer"})",
       "granted a.b-c r 60"},
      {200, R"({"access_token":"a","expires_in":3599,"scope":["x"]})", "granted a  3599"},
      {400, R"({"error":"invalid_grant","error_description":"weg"})", "refused invalid_grant"},
      {401, R"({"error":"bad\r\n-ERR line"})", "refused bad?\?-ERR?line"},
      {200, R"({"access_token":"a b"})", "failed"},
      {200, R"({"access_token":7})", "failed"},
      {200, R"({"access_token":"a","expires_in":-5})", "failed"},
      {200, R"({"access_token":"a","expires_in":1.5})", "failed"},
      {200, R"({"access_token":"a","refresh_token":{}})", "failed"},
      {200, R"({"access_token":"a","token_type":"mac"})", "failed"},
      {200, R"(["access_token"])", "failed"},
      {200, R"({"access_token":"a"} trailing)", "failed"},
      {400, R"({"error":5})", "failed"},
      {200, std::string(200000, '[') + std::string(200000, ']'), "failed"},
      {200, "{\"access_token\":\"" + big + "\"}", "failed"},
  };
  for (const Row& row : rows) {
    mboxtool::TokenReply r = mboxtool::readTokenReply({row.status, row.body});
    std::string got = r.outcome == r.Granted ? "granted " + r.accessToken + " " + r.refreshToken +
                                                   " " + std::to_string(r.expiresIn)
                      : r.outcome == r.Refused ? "refused " + r.error
                                               : "failed";
    EXPECT_EQ(row.want, got) << row.body.substr(0, 80);
  }
}

}  // namespace
