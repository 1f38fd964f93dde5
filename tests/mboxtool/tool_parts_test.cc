// The tool's pure parts: server addresses, counts, the deletion guard and
// the file it keeps.
#include <gtest/gtest.h>

#include "mboxtool/server_address.h"
#include "mboxtool/tool.h"
#include "mboxtool/uidl_guard.h"
#include "support/dovecot_server.h"

namespace {

using mboxtool::MailboxIndex;

TEST(ServerAddress, ReadsHostPortAndTransport) {
  struct Case {
    const char* server;
    const char* port;
    bool ok;
    const char* host;
    int wantPort;
    bool tls;
  } cases[] = {
      {"pop.example.nl", "110", true, "pop.example.nl", 110, false},
      {"pop.example.nl:2110", "110", true, "pop.example.nl", 2110, false},
      {"pop.example.nl:995", "110", true, "pop.example.nl", 995, true},
      {"pop.example.nl", "995", true, "pop.example.nl", 995, true},
      {"pop3s://pop.example.nl", "110", true, "pop.example.nl", 995, true},
      {"POP3S://pop.example.nl:1995/", "110", true, "pop.example.nl", 1995, true},
      {"pop3://pop.example.nl", "110", true, "pop.example.nl", 110, false},
      {"pop3://pop.example.nl:995", "110", true, "pop.example.nl", 995, false},
      {"[::1]:2110", "110", true, "::1", 2110, false},
      {"::1", "110", true, "::1", 110, false},
      {"pop.example.nl:0", "110", false, "", 0, false},
      {"pop.example.nl:99999", "110", false, "", 0, false},
      {"pop.example.nl:", "110", false, "", 0, false},
      {"pop.example.nl", "x", false, "", 0, false},
      {"", "110", false, "", 0, false},
      {"pop3s://", "110", false, "", 0, false},
      {"pop example", "110", false, "", 0, false},
      {"[::1", "110", false, "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    mboxtool::ServerAddress a;
    std::string err;
    ASSERT_EQ(c.ok, mboxtool::parseServerAddress(c.server, c.port, &a, &err));
    if (!c.ok) continue;
    EXPECT_EQ(c.host, a.host);
    EXPECT_EQ(c.wantPort, a.port);
    EXPECT_EQ(c.tls, a.implicitTls);
  }
}

TEST(ToolArguments, CountsNeverGoNegativeOrOverflow) {
  struct Case {
    const char* text;
    bool ok;
    long value;
  } cases[] = {{"40", true, 40},
               {"0", true, 0},
               {"-27", true, 0},
               {"+5", true, 5},
               {"99999999999999999999", true, 1000000000},
               {"", false, 0},
               {"1.5", false, 0},
               {"12a", false, 0},
               {"-", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    long v = -1;
    EXPECT_EQ(c.ok, mboxtool::parseCount(c.text, &v));
    if (c.ok) {
      EXPECT_EQ(c.value, v);
    }
  }
}

TEST(ToolArguments, BadArgumentsGiveAnErrLineWithoutConnecting) {
  for (std::vector<std::string> words : std::vector<std::vector<std::string>>{
           {"top", "5"}, {"stop", "0", "10"}, {"dele", "-3"}, {"frobnicate"}, {"list", "extra"}}) {
    mboxtool::Request r{"127.0.0.1", "1",      "jan",
                        "geheim",    words[0], {words.begin() + 1, words.end()}};
    mboxtool::StringSink out;
    EXPECT_EQ(1, mboxtool::runTool(r, mboxtool::Options(), out));
    EXPECT_EQ(0u, out.text.rfind("-ERR ", 0)) << words[0];
  }
  mboxtool::Request r{"127.0.0.1", "1", "jan\r\nDELE 1", "geheim", "list", {}};
  mboxtool::StringSink out;
  mboxtool::runTool(r, mboxtool::Options(), out);
  EXPECT_EQ("-ERR user name or password holds a line break\r\n", out.text);
}

MailboxIndex index(const std::vector<std::pair<long long, std::string>>& messages,
                   bool uidls = true) {
  MailboxIndex x;
  x.haveUidls = uidls;
  long n = 0;
  for (const auto& [size, uidl] : messages) {
    mboxtool::addListLine(&x, std::to_string(++n) + " " + std::to_string(size));
    if (uidls) mboxtool::addUidlLine(&x, std::to_string(n) + " " + uidl);
  }
  return x;
}

TEST(DeletionGuard, DeletesOnlyWhatTheUserSaw) {
  MailboxIndex seen = index({{10, "a"}, {20, "b"}, {30, "c"}, {40, "d"}});
  struct Case {
    const char* name;
    MailboxIndex now;
    std::vector<long> requested;
    std::vector<long> targets;  // 0 = skipped
  } cases[] = {
      {"unchanged", seen, {3, 1}, {3, 1}},
      {"moved up", index({{10, "a"}, {30, "c"}, {40, "d"}}), {3, 4}, {2, 3}},
      {"gone", index({{10, "a"}, {30, "c"}}), {2, 4}, {0, 0}},
      {"moved down", index({{5, "new"}, {10, "a"}, {20, "b"}}), {1}, {2}},
      {"never listed", seen, {5, 0, -1}, {0}},
      {"asked twice", seen, {2, 2}, {2}},
      {"server stopped giving UIDLs", index({{10, ""}, {20, ""}}, false), {1}, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<long> targets;
    for (const auto& d : mboxtool::planDeletions(c.requested, seen, c.now)) {
      targets.push_back(d.target);
    }
    EXPECT_EQ(c.targets, targets);
  }
}

TEST(DeletionGuard, UnreliableUidlsAllowOnlyTheUnchangedNumber) {
  // Message 2 and 3 share a UIDL; message 4's holds a control character.
  MailboxIndex seen = index({{1, "a"}, {2, "dup"}, {3, "dup"}, {4, "x\x01y"}});
  MailboxIndex same = seen;
  MailboxIndex shifted = index({{2, "dup"}, {3, "dup"}, {4, "x\x01y"}});
  auto targets = [&](const MailboxIndex& now) {
    std::vector<long> out;
    for (const auto& d : mboxtool::planDeletions({2, 3, 4}, seen, now)) out.push_back(d.target);
    return out;
  };
  EXPECT_EQ((std::vector<long>{2, 3, 4}), targets(same));
  EXPECT_EQ((std::vector<long>{2, 0, 0}), targets(shifted));
}

TEST(DeletionGuard, WithoutUidlsNeedsSameCountAndSize) {
  MailboxIndex seen = index({{10, ""}, {20, ""}, {30, ""}}, false);
  auto target = [&](const MailboxIndex& now) {
    return mboxtool::planDeletions({2}, seen, now).at(0).target;
  };
  EXPECT_EQ(2, target(seen));
  EXPECT_EQ(0, target(index({{10, ""}, {25, ""}, {30, ""}}, false)));
  EXPECT_EQ(0, target(index({{10, ""}, {20, ""}}, false)));
}

TEST(DeletionGuard, KeptListSurvivesAnyUidlBytes) {
  std::string dir = pop3_support::makeTempDir("mboxtool-guard.");
  MailboxIndex x = index({{10, "plain"}, {20, std::string("c\x00\r\n y", 6)}, {30, "z"}});
  std::string path = dir + "/" + mboxtool::sidecarName("Pop.Example.nl", 110, "jan");
  EXPECT_EQ(path, dir + "/" + mboxtool::sidecarName("pop.example.nl", 110, "jan"));
  EXPECT_NE(path, dir + "/" + mboxtool::sidecarName("pop.example.nl", 110, "piet"));
  std::string err;
  ASSERT_TRUE(mboxtool::saveIndex(path, x, &err)) << err;
  MailboxIndex back;
  ASSERT_TRUE(mboxtool::loadIndex(path, &back, &err)) << err;
  EXPECT_EQ(x.count, back.count);
  EXPECT_TRUE(back.haveUidls);
  ASSERT_EQ(3u, back.entries.size());
  EXPECT_EQ(std::string("c\x00\r\n y", 6), back.entries[2].uidl);
  EXPECT_EQ(30, back.entries[3].size);

  pop3_support::runShell("echo garbage > " + path);
  EXPECT_FALSE(mboxtool::loadIndex(path, &back, &err));
  pop3_support::removeTree(dir);
}

TEST(DeletionGuard, ReadsTheDeletionList) {
  EXPECT_EQ((std::vector<long>{9, 5, 2}), mboxtool::parseDeletionList("9\r\n5\r\n2\r\n"));
  EXPECT_EQ((std::vector<long>{12, 3}), mboxtool::parseDeletionList(" 12 \n\nx\r-4\r\n0\r\n3"));
  EXPECT_TRUE(mboxtool::parseDeletionList("").empty());
}

}  // namespace
