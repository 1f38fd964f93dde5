// The POP3 reply reader: a server sends the input (after four choice bytes), then closes. Each
// command ends, the password or token is output only if the server sent it, no line passes for a
// record.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include "fuzz_support.h"
#include "mboxtool/tool.h"

void fuzz(Input input) {
  static sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  static socklen_t length = sizeof address;
  static int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  static auto* at = reinterpret_cast<sockaddr*>(&address);
  static bool listening = bind(server, at, length) == 0 && listen(server, 8) == 0;
  require(listening && getsockname(server, at, &length) == 0, "cannot listen on 127.0.0.1");
  unsigned command = input.byte() % 5;
  unsigned choice = input.byte();  // the message number, and the login: password or token
  long first = choice % 24, second = static_cast<long>(input.byte() % 12) - 1;
  auto login = static_cast<mboxtool::Login>(choice / 24 % 3);
  mboxtool::Options options;
  options.timeouts = {2000, 2000, 4000};
  options.replyCap = input.byte() < 128 ? (64u << 20) : 64 + input.byte() * 16u;
  pid_t child = fork();
  while (child == 0) {  // each connection: the script, then read to the end
    int peer = accept(server, nullptr, nullptr);
    send(peer, input.rest.data(), input.rest.size(), MSG_NOSIGNAL);
    shutdown(peer, SHUT_WR);
    for (char sink[4096]; recv(peer, sink, sizeof sink, 0) > 0;) continue;
    close(peer);
  }
  mboxtool::StringSink sink;  // every run's output
  const std::string &out = sink.text, port = std::to_string(ntohs(address.sin_port));
  auto run = [&](const char* name, std::vector<std::string> args) {
    // pop3:// keeps plain text allowed after an input that offered STLS.
    mboxtool::runTool({"pop3://127.0.0.1", port, "jan", "geheim", login, name, args}, options,
                      sink);
  };
  std::string a = std::to_string(first), b = std::to_string(second), c = std::to_string(first + 1);
  if (command == 0 || command >= 3) run("list", {});  // deleting needs the list the user saw
  if (command == 1) run("top", {a, b});
  if (command == 2) run("stop", {c, b});
  if (command == 3) run("dele", {c});
  if (command == 4) writeFile("deles.dat", "3\r\n2\r\n1\r\n"), run("deles", {});
  kill(child, SIGKILL), waitpid(child, nullptr, 0);
  require(out.find("geheim") == out.npos || input.rest.find("geheim") != input.rest.npos,
          "the password reached the output");
  // After the login line a "+OK" line (whatever ends the line before) is only a record's start.
  long records = 0;
  for (size_t at = out.find_first_of("\r\n"); command == 1 && at < out.size();
       at = out.find_first_of("\r\n", at + 1))
    records += out.compare(at + 1, 3, "+OK") == 0;
  require(records <= first, "more records than messages asked for");
}
