#include "support/pop3_fixture.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace pop3_support {

namespace {

// The session's side of the socket: counts bytes and can fall silent.
class Wire {
 public:
  Wire(int fd, long long budget, std::atomic<bool>* stopping)
      : fd_(fd), budget_(budget), stopping_(stopping) {}

  bool send(const std::string& data) {
    if (silent_) return false;
    std::string_view out = data;
    if (budget_ >= 0 && static_cast<long long>(out.size()) > budget_) {
      out = out.substr(0, static_cast<size_t>(budget_));
      silent_ = true;
    }
    if (budget_ >= 0) budget_ -= static_cast<long long>(out.size());
    while (!out.empty()) {
      ssize_t n = ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      out.remove_prefix(static_cast<size_t>(n));
    }
    return !silent_;
  }
  void fallSilent() { silent_ = true; }

  // Sends unit again and again, pausing everyMs between sends, until the
  // client hangs up or the server stops.
  void repeatForEver(const std::string& unit, int everyMs) {
    char chunk[4096];
    while (!stopping_->load()) {
      pollfd p = {fd_, POLLOUT, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      ssize_t n = ::send(fd_, unit.data(), unit.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
      if (everyMs > 0) {
        pollfd in = {fd_, POLLIN, 0};
        if (::poll(&in, 1, everyMs) > 0 && ::recv(fd_, chunk, sizeof chunk, 0) <= 0) return;
      }
    }
  }
  bool silent() const { return silent_; }

  // One line without CR LF; false at the end of the connection or on stop.
  bool readLine(std::string* line, bool* backlog) {
    for (;;) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        *line = buffer_.substr(0, nl);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        buffer_.erase(0, nl + 1);
        *backlog = buffer_.find('\n') != std::string::npos;
        return true;
      }
      if (!waitReadable()) return false;
      char chunk[4096];
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Silence: drain the client's bytes until it hangs up or the server stops.
  void waitForHangUp() {
    char chunk[4096];
    while (waitReadable() && ::recv(fd_, chunk, sizeof chunk, 0) > 0) {
    }
  }

 private:
  bool waitReadable() {
    while (!stopping_->load()) {
      pollfd p = {fd_, POLLIN, 0};
      int n = ::poll(&p, 1, 50);
      if (n > 0) return true;
      if (n < 0 && errno != EINTR) return false;
    }
    return false;
  }

  int fd_;
  long long budget_;
  std::atomic<bool>* stopping_;
  bool silent_ = false;
  std::string buffer_;
};

std::string stuffed(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line[0] == '.') out += '.';
    out += line + "\r\n";
    start = end + 2;
  }
  return out;
}

// Headers, empty line and the first n body lines of a message.
std::string topOf(const std::string& text, long n) {
  size_t split = text.find("\r\n\r\n");
  if (split == std::string::npos) return text;
  std::string out = text.substr(0, split + 4);
  size_t pos = split + 4;
  for (long i = 0; i < n && pos < text.size(); ++i) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size() - 2;
    out += text.substr(pos, end + 2 - pos);
    pos = end + 2;
  }
  return out;
}

}  // namespace

Pop3Fixture::~Pop3Fixture() { stop(); }

bool Pop3Fixture::start(int port) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof a;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listenFd_, 16) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { serve(); });
  return true;
}

void Pop3Fixture::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
}

void Pop3Fixture::setScript(const FixtureScript& script) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_ = script;
}

void Pop3Fixture::setMessages(const std::vector<FixtureMessage>& messages) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_ = messages;
}

std::vector<FixtureMessage> Pop3Fixture::messages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<std::string> Pop3Fixture::commands() {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

bool Pop3Fixture::sawPipelining() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sawPipelining_;
}

int Pop3Fixture::sessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

void Pop3Fixture::serve() {
  while (!stopping_) {
    pollfd p = {listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    session(fd);
    close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    ++sessions_;
  }
}

void Pop3Fixture::session(int fd) {
  FixtureScript script;
  std::vector<FixtureMessage> box;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    script = script_;
    box = messages_;
  }
  Wire wire(fd, script.stallAfterBytes, &stopping_);
  std::set<size_t> deleted;
  auto ok = [&](const std::string& text) { return wire.send(text + "\r\n"); };
  auto number = [&](const std::string& arg, size_t* index) {
    char* end = nullptr;
    long n = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end || n < 1 || static_cast<size_t>(n) > box.size() ||
        deleted.count(static_cast<size_t>(n - 1))) {
      return false;
    }
    *index = static_cast<size_t>(n - 1);
    return true;
  };

  if (!script.greet || !ok("+OK fixture ready.")) {
    wire.waitForHangUp();
    return;
  }
  std::string line;
  bool backlog = false;
  bool loggedIn = false;
  while (wire.readLine(&line, &backlog)) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      commands_.push_back(line);
    }
    std::string verb = line.substr(0, line.find(' '));
    std::string arg = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
    std::string arg2;
    if (arg.find(' ') != std::string::npos) {
      arg2 = arg.substr(arg.find(' ') + 1);
      arg = arg.substr(0, arg.find(' '));
    }
    size_t index = 0;
    bool sent = true;
    if (verb == "CAPA") {
      std::string caps = "+OK\r\nTOP\r\nUSER\r\n";
      if (script.uidl) caps += "UIDL\r\n";
      if (script.pipelining) caps += "PIPELINING\r\n";
      if (script.offerStls || script.stlsWithJunk) caps += "STLS\r\n";
      sent = wire.send(caps + ".\r\n");
    } else if (verb == "STLS") {
      sent = script.stlsWithJunk ? wire.send("+OK go ahead\r\n+OK stray\r\n")
                                 : ok("-ERR TLS is not available.");
    } else if (verb == "USER") {
      sent = ok("+OK");
    } else if (verb == "PASS") {
      loggedIn = !script.errOnPass && (password.empty() || arg == password);
      sent = ok(loggedIn ? "+OK Logged in." : "-ERR [AUTH] Authentication failed.");
    } else if (verb == "QUIT") {
      if (script.dropAtQuit) return;
      if (loggedIn && !deleted.empty()) {
        // Only the deletions are applied: the test may have changed the
        // mailbox since this session began.
        std::lock_guard<std::mutex> lock(mutex_);
        std::set<std::string> gone;
        for (size_t i : deleted) gone.insert(box[i].uidl);
        std::vector<FixtureMessage> kept;
        for (const FixtureMessage& m : messages_) {
          if (!gone.count(m.uidl)) kept.push_back(m);
        }
        messages_ = kept;
      }
      ok("+OK Logging out.");
      return;
    } else if (!loggedIn) {
      sent = ok("-ERR Unknown command.");
    } else if (verb == "STAT") {
      size_t count = 0, bytes = 0;
      for (size_t i = 0; i < box.size(); ++i) {
        if (!deleted.count(i)) ++count, bytes += box[i].text.size();
      }
      sent = ok("+OK " + std::to_string(count) + " " + std::to_string(bytes));
    } else if (verb == "LIST" || (verb == "UIDL" && script.uidl)) {
      std::string reply = "+OK\r\n";
      for (size_t i = 0; i < box.size(); ++i) {
        if (deleted.count(i)) continue;
        reply += std::to_string(i + 1) + " " +
                 (verb == "LIST" ? std::to_string(box[i].text.size()) : box[i].uidl) + "\r\n";
      }
      sent = wire.send(reply + ".\r\n");
    } else if (verb == "TOP" && number(arg, &index)) {
      long n = std::strtol(arg2.c_str(), nullptr, 10);
      long m = static_cast<long>(index + 1);
      std::string reply = "+OK\r\n" + stuffed(topOf(box[index].text, n)) + ".\r\n";
      if (m == script.errOnTop) {
        sent = ok("-ERR Cannot read message " + arg + ".");
      } else if (m == script.dropInTop) {
        wire.send(reply.substr(0, reply.size() / 2));
        return;
      } else if (m == script.stallInTop) {
        wire.send(reply.substr(0, reply.size() / 2));
        wire.fallSilent();
        sent = false;
      } else if (m == script.trickleTop) {
        wire.send(reply.substr(0, reply.size() / 2));
        wire.repeatForEver("x", script.trickleMs);
        return;
      } else if (m == script.endlessTop) {
        wire.send("+OK\r\n");
        wire.repeatForEver("X-Zonder-Einde: " + std::string(1000, 'z') + "\r\n", 0);
        return;
      } else if (m == script.noTerminatorTop) {
        wire.send(reply.substr(0, reply.size() - 3));
        wire.fallSilent();
        sent = false;
      } else {
        sent = wire.send(reply);
      }
    } else if (verb == "RETR" && number(arg, &index)) {
      sent = wire.send("+OK\r\n" + stuffed(box[index].text) + ".\r\n");
    } else if (verb == "DELE" && number(arg, &index)) {
      deleted.insert(index);
      sent = ok("+OK Marked to be deleted.");
    } else if (verb == "NOOP") {
      sent = ok("+OK");
    } else {
      sent = ok("-ERR There's no message " + arg + ".");
    }
    if (backlog) {
      std::lock_guard<std::mutex> lock(mutex_);
      sawPipelining_ = true;
    }
    if (!sent) {
      wire.waitForHangUp();
      return;
    }
  }
}

std::vector<FixtureMessage> sampleMessages(int n, int bodyLines) {
  std::vector<FixtureMessage> out;
  for (int i = 1; i <= n; ++i) {
    std::string text = "From: Afzender " + std::to_string(i) + " <a" + std::to_string(i) +
                       "@example.nl>\r\n"
                       "Subject: Bericht " +
                       std::to_string(i) +
                       "\r\n"
                       "Date: Mon, 3 Jun 2024 10:00:00 +0200\r\n\r\n";
    for (int b = 1; b <= bodyLines; ++b) {
      text += "Regel " + std::to_string(b) + " van bericht " + std::to_string(i) + "\r\n";
    }
    out.push_back({"uid-" + std::to_string(i), text});
  }
  return out;
}

}  // namespace pop3_support
