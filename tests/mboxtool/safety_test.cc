// The tool against a server that never ends its LIST reply, sends far more
// than the program can show, or stops offering STLS after it once did.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "mboxtool/tool.h"
#include "mboxtool/uidl_guard.h"
#include "support/pop3_servers.h"

namespace {

using pop3_support::Act, pop3_support::Message, pop3_support::Script;

// The output of one run, which must end in time.
std::string run(const std::string& server, int port, const std::string& work,
                const std::vector<std::string>& words) {
  mboxtool::Request r{server, std::to_string(port), "jan", "geheim", words[0], {}};
  r.args.assign(words.begin() + 1, words.end());
  mboxtool::StringSink sink;
  auto start = std::chrono::steady_clock::now();
  mboxtool::runTool(r, {{2000, 300, 1500}, 64u << 20, work}, sink);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  return sink.text;
}

TEST(ToolSafety, FilesHoldNoMoreThanTheProgramCanShow) {
  std::vector<Message> many(2000, {"u", "Subject: x\r\n\r\n"}), big(1);
  std::string a(4 << 20, 'a'), body;
  big[0].text = "Subject: Bericht 1\r\nX-Lang: " + a + "\r\n";
  for (int i = 1; i <= 900; ++i) big[0].text += "X-Kop: " + std::to_string(i) + "\r\n";
  for (int i = 1; i <= 300; ++i) body += "Regel " + std::to_string(i) + "\r\n";
  big[0].text += "From: Laat <l@x.nl>\r\n\r\n" + body;
  std::string cut = "X-Lang: " + a.substr(0, (16 << 10) - 8) + "\r\nX-Kop: 1\r\n";
  struct Row {
    Script script;
    std::vector<std::string> words;
    const std::vector<Message>& box;
    size_t lines, bytes;  // at most
    std::vector<std::string> holds;
  } const rows[] = {
      // clang-format off
      // Endless LIST and header lines; a 4 MiB line, 900 header and 300 body lines.
      {{"LIST", Act::NoEnd}, {"list"}, many, 802, 20000, {"\r\n800 "}},
      {{"TOP 1", Act::Endless}, {"top", "2", "3"}, many, 900, 150 << 10, {"\r\n.\r\n"}},
      {{}, {"top", "1", "160"}, big, 966, 64 << 10,
       {cut, "X-Kop: 799\r\nFrom: Laat <l@x.nl>\r\n\r\nRegel 1\r\n", "Regel 160\r\n.\r\n"}},
      {{}, {"stop", "1", "10"}, big, 1300, (1 << 20) + (20 << 10),
       {"X-Lang: " + a.substr(0, (1 << 20) - 8) + "\r\nX-Kop: 1\r\n", "Regel 10\r\n"}},
      // clang-format on
  };
  pop3_support::FaultServer server;
  testing_support::ScopedTempDir work(false);
  for (const Row& c : rows) {
    SCOPED_TRACE(c.words[0] + " " + c.script.at);
    server.set(c.box, c.script);
    std::string out = run("127.0.0.1", server.port(), work.path(), c.words);
    EXPECT_LE(size_t(std::count(out.begin(), out.end(), '\n')), c.lines);
    EXPECT_LE(out.size(), c.bytes);
    for (const std::string& h : c.holds) EXPECT_NE(std::string::npos, out.find(h)) << h.size();
  }
}

// A server seen with STLS once gets neither user name nor password in plain
// text (the fault server goes mute at either); pop3:// allows plain text.
TEST(ToolSafety, AServerThatOfferedStlsNeverGetsThePasswordInPlainText) {
  pop3_support::FaultServer server;
  std::vector<Message> box(3, {"u", "Subject: x\r\n\r\n"});
  std::string host = "127.0.0.1", port = ":" + std::to_string(server.port());
  const std::tuple<Script, std::string, std::string> rows[] = {
      {{"STLS", Act::Err, true, true, true}, host, "-ERR STLS refused"},
      {{"USER", Act::Mute, true, true, false}, host + port, "-ERR server no longer offers STLS"},
      {{"PASS", Act::Mute, false, true, false}, host, "-ERR server no longer offers STLS"},
      {{"", Act::None, true, true, false}, "pop3://127.0.0.1", "+OK 3 "},
  };
  testing_support::ScopedTempDir work(false), other(false);  // other: a link under the mark's name
  for (const auto& [script, name, starts] : rows) {
    SCOPED_TRACE(script.at + " " + name);
    server.set(box, script);
    EXPECT_EQ(0u, run(name, server.port(), work.path(), {"list"}).rfind(starts, 0));
  }
  std::string mark = mboxtool::stlsMarkName(host, server.port());
  EXPECT_EQ(std::filesystem::perms(0600),
            std::filesystem::symlink_status(work.file(mark)).permissions());
  ASSERT_EQ(0, symlink(other.file("doel").c_str(), other.file(mark).c_str()));
  server.set(box, std::get<0>(rows[0]));
  EXPECT_EQ(0u, run(host, server.port(), other.path(), {"list"}).rfind("-ERR STLS refused", 0));
  EXPECT_NE(0, access(other.file("doel").c_str(), F_OK));
}

}  // namespace
