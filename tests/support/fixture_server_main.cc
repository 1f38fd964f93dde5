// fixture_pop3 [OPTION...] PORT FILE...: serves the files over POP3 on 127.0.0.1
// (PORT 0: a free one) as messages 1..n, line ends made CR LF, to any user and
// password or access token, for the demo and for trying the program without a mail server.
// Prints "port N" once it listens; serves, deletions included, until SIGTERM or
// SIGINT. Options:
//   --silent          accepts connections and never says a word
//   --ahead MODE      announces no PIPELINING and does with commands sent
//                     ahead as MODE says: hangup, answer, drop or refuse
//   --refuse LINE     answers every login with LINE ("-ERR [IN-USE] ...")
#include <signal.h>

#include <cstdio>

#include "support/pop3_servers.h"

int main(int argc, char** argv) {
  using pop3_support::Ahead;
  pop3_support::Script script;
  for (std::string o; argc > 2 && (o = argv[1]).starts_with("--"); --argc, ++argv) {
    if (o == "--silent") {
      script.act = pop3_support::Act::Mute;
      continue;
    }
    std::string m = argv[2];  // the option's value
    --argc, ++argv;
    if (o == "--refuse") script.refusal = m;
    if (o == "--ahead") {
      script.pipelining = false;
      script.ahead = m == "answer"   ? Ahead::Answer
                     : m == "drop"   ? Ahead::Drop
                     : m == "refuse" ? Ahead::Refuse
                                     : Ahead::HangUp;
    }
  }
  if (argc < 2) return std::fprintf(stderr, "usage: fixture_pop3 [OPTION...] PORT FILE...\n"), 2;
  std::vector<pop3_support::Message> box;
  for (int i = 2; i < argc; ++i) {
    std::string raw = testing_support::readFile(argv[i]), text;
    for (size_t c = 0; c < raw.size(); ++c) {
      if (raw[c] == '\n' && c && raw[c - 1] == '\r') continue;
      text += raw[c] == '\r' || raw[c] == '\n' ? std::string("\r\n") : std::string(1, raw[c]);
    }
    if (!text.ends_with("\r\n")) text += "\r\n";
    box.push_back({"fixture-" + std::to_string(i - 1) + "-" +
                       std::to_string(std::hash<std::string>()(text) % 1000000),
                   text});
  }
  sigset_t stop;  // blocked before the server's thread starts, so only sigwait takes them
  sigemptyset(&stop), sigaddset(&stop, SIGTERM), sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  pop3_support::FaultServer server(std::atoi(argv[1]));
  if (!server.port()) return std::fprintf(stderr, "fixture_pop3: port %s is taken\n", argv[1]), 1;
  server.set(box, script);
  std::printf("port %d\n", server.port());
  std::fflush(stdout);
  int sig;
  sigwait(&stop, &sig);
}
