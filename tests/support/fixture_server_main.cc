// fixture_pop3: serves message files over POP3 on 127.0.0.1, for the demo
// and for trying the program by hand without a mail server.
//
// Usage: fixture_pop3 PORT FILE...
// Every user name and password logs in and sees the files as messages 1..n,
// in argument order (line ends become CR LF). PORT 0 picks a free port.
// Prints "port N" once it listens and serves until SIGTERM or SIGINT;
// deletions last as long as the process.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/dovecot_server.h"
#include "support/pop3_fixture.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

std::string withCrLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fixture_pop3 PORT FILE...\n");
    return 2;
  }
  std::vector<pop3_support::FixtureMessage> messages;
  for (int i = 2; i < argc; ++i) {
    std::string name = argv[i];
    std::string uidl = "fixture-" + std::to_string(i - 1) + "-" +
                       std::to_string(std::hash<std::string>()(name) % 1000000);
    messages.push_back({uidl, withCrLf(pop3_support::readFile(name))});
  }
  pop3_support::Pop3Fixture server;
  server.password.clear();
  server.setMessages(messages);
  if (!server.start(std::atoi(argv[1]))) {
    std::fprintf(stderr, "fixture_pop3: cannot listen on port %s\n", argv[1]);
    return 1;
  }
  signal(SIGTERM, requestStop);
  signal(SIGINT, requestStop);
  std::printf("port %d\n", server.port());
  std::fflush(stdout);
  while (!stopRequested) pause();
  server.stop();
  return 0;
}
