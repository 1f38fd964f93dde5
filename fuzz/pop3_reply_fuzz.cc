// The tool's POP3 reply reader: a server on 127.0.0.1 sends the input as its
// whole side of the dialogue (greeting, capabilities, login answers, listings,
// messages), then closes. Every command of the tool runs against it: the run
// ends, and in the top file no server line can pass for the start of a record.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "fuzz_support.h"
#include "mboxtool/tool.h"

namespace {

// Serves one connection at a time: sends the script, closes its sending side,
// and reads what the tool sends until the tool closes.
class ScriptServer {
 public:
  ScriptServer() {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    fuzz_support::require(
        listenFd_ >= 0 &&
            bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(listenFd_, 8) == 0 &&
            getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) == 0,
        "cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    std::thread([this] { serve(); }).detach();
  }
  int port() const { return port_; }
  void setScript(std::string_view script) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.assign(script);
  }

 private:
  void serve() {
    for (;;) {
      int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string script;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        script = script_;
      }
      size_t sent = 0;
      while (sent < script.size()) {
        ssize_t n = send(fd, script.data() + sent, script.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(fd, SHUT_WR);
      char sink[4096];
      while (recv(fd, sink, sizeof sink, 0) > 0) {
      }
      close(fd);
    }
  }
  int listenFd_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::string script_;
};

int run(ScriptServer& server, const std::string& command,
        const std::vector<std::string>& args, size_t replyCap, std::string* out) {
  mboxtool::Request request;
  request.server = "127.0.0.1";
  request.port = std::to_string(server.port());
  request.user = "jan";
  request.password = "geheim";
  request.command = command;
  request.args = args;
  mboxtool::Options options;
  options.timeouts.connectMs = 2000;
  options.timeouts.readMs = 2000;
  options.timeouts.totalMs = 4000;
  options.replyCap = replyCap;
  options.workDir = fuzz_support::enterWorkDirectory();
  mboxtool::StringSink sink;
  int status = mboxtool::runTool(request, options, sink);
  *out = sink.text;
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ScriptServer server;
  fuzz_support::Input input(data, size);
  unsigned command = input.byte() % 5;
  long first = input.byte() % 24;
  long second = static_cast<long>(input.byte() % 12) - 1;
  size_t replyCap = input.byte() < 128 ? (64u << 20) : 64 + input.byte() * 16u;
  server.setScript(input.rest());

  std::string out;
  const std::string firstArg = std::to_string(first), secondArg = std::to_string(second);
  switch (command) {
    case 0:
      run(server, "list", {}, replyCap, &out);
      break;
    case 1: {
      run(server, "top", {firstArg, secondArg}, replyCap, &out);
      // After the login line a "+OK" line is only ever a record's status line.
      long records = 0;
      bool firstLine = true;
      size_t at = 0;
      while (at < out.size()) {
        size_t end = out.find_first_of("\r\n", at);
        if (end == std::string::npos) end = out.size();
        if (!firstLine && out.compare(at, 3, "+OK") == 0) ++records;
        firstLine = false;
        at = end + (out.compare(end, 2, "\r\n") == 0 ? 2 : 1);
      }
      fuzz_support::require(records <= first, "more records than messages asked for");
      break;
    }
    case 2:
      run(server, "stop", {std::to_string(first + 1), secondArg}, replyCap, &out);
      break;
    case 3:
    case 4:
      // Deleting needs the list the user saw: the same server gives it first.
      run(server, "list", {}, replyCap, &out);
      if (command == 4) fuzz_support::writeFile("deles.dat", "3\r\n2\r\n1\r\n");
      run(server, command == 3 ? "dele" : "deles",
          command == 3 ? std::vector<std::string>{std::to_string(first + 1)}
                       : std::vector<std::string>{},
          replyCap, &out);
      break;
  }
  fuzz_support::require(out.find("geheim") == std::string::npos ||
                            std::string_view(input.rest()).find("geheim") != std::string_view::npos,
                        "the password reached the output");
  return 0;
}
