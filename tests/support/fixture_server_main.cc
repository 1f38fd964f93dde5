// fixture_pop3: serves message files over POP3 on 127.0.0.1, for the demo
// and for trying the program by hand without a mail server.
//
// Usage: fixture_pop3 PORT FILE...
// Every user name and password logs in and sees the files as messages 1..n,
// in argument order (line ends become CR LF). PORT 0 picks a free port.
// Prints "port N" once it listens and serves until SIGTERM or SIGINT;
// deletions last as long as the process.
#include <signal.h>

#include <cstdio>

#include "support/pop3_servers.h"

volatile sig_atomic_t stopRequested = 0;

int main(int argc, char** argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: fixture_pop3 PORT FILE...\n"), 2;
  std::vector<pop3_support::Message> box;
  for (int i = 2; i < argc; ++i) {
    std::string raw = testing_support::readFile(argv[i]), text;
    for (size_t c = 0; c < raw.size(); ++c) {
      if (raw[c] != '\r' && raw[c] != '\n') text += raw[c];
      if (raw[c] == '\n' || (raw[c] == '\r' && raw.compare(c, 2, "\r\n") != 0)) text += "\r\n";
    }
    if (!text.ends_with("\r\n")) text += "\r\n";
    std::string hash = std::to_string(std::hash<std::string>()(text) % 1000000);
    box.push_back({"fixture-" + std::to_string(i - 1) + "-" + hash, text});
  }
  pop3_support::FaultServer server(std::atoi(argv[1]));
  if (!server.port()) return std::fprintf(stderr, "fixture_pop3: port %s is taken\n", argv[1]), 1;
  server.password.clear();
  server.set(box);
  signal(SIGTERM, [](int) { stopRequested = 1; });
  signal(SIGINT, [](int) { stopRequested = 1; });
  std::printf("port %d\n", server.port());
  std::fflush(stdout);
  while (!stopRequested) pause();
  return 0;
}
