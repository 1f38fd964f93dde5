// Two POP3 servers on 127.0.0.1 for tests. FaultServer answers from a list of
// messages, one connection at a time on its own thread, and on demand spoils
// the answer to one command; any user and password or access token logs in,
// DELE marks and QUIT removes. DovecotServer is a real one, run by
// scripts/dovecot.sh: one instance without TLS, one that offers STLS on its
// plain port and TLS from the first byte on another. OAuth2Server is the
// local authorization server, whose /introspect Dovecot asks about tokens.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/tool_commands.h"
#include "mboxtool/oauth2.h"
#include "support/temp_dir.h"

namespace pop3_support {

struct Message {
  std::string uidl, text;  // text: CR LF lines, not dot-stuffed
};

// How the answer to one command goes wrong: not at all; no answer (the
// session waits for the client to hang up) or the connection closes, at once
// or after half the answer; "-ERR Cannot do that." or a line that is no POP3
// answer instead; a multi-line answer without its "." and then no more; half
// the answer and then a byte every 50 ms for ever; "+OK" and header lines for
// ever, as fast as the client reads; the answer with a stray line after it.
enum class Act { None, Mute, Drop, HalfMute, HalfDrop, Err, Junk, NoEnd, Trickle, Endless, Extra };

// What a server that does not announce PIPELINING does with a command sent
// before the last one was answered: hangs up; answers it in order all the
// same; throws it away (keeps only the first command line of every read);
// answers it with -ERR.
enum class Ahead { HangUp, Answer, Drop, Refuse };

struct Script {
  std::string at;  // the command (its first bytes) whose answer goes wrong; "" the greeting
  Act act = Act::None;
  bool pipelining = true, uidl = true, stls = false;  // offered in CAPA
  bool whole = false;  // TOP sends the whole message, as a server that ignores the line count
  Ahead ahead = Ahead::HangUp;
  std::string refusal = "";  // the answer to PASS instead of "+OK Logged in."; to a token
                             // after an error step
  std::string sasl = "XOAUTH2 OAUTHBEARER";  // its AUTH takes any token in two steps
};

/// Binds a TCP socket to port on 127.0.0.1 (0: a free one) and returns the
/// port, 0 on failure; with fd, the socket listens and goes to *fd, without,
/// it is closed again: a port that nobody listens on.
inline int listenOn(int port = 0, int* fd = nullptr) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof a;
  bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            (!fd || listen(s, 16) == 0) &&
            getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0;
  if (fd && ok) *fd = s;
  if (!fd || !ok) close(s);
  return ok ? ntohs(a.sin_port) : 0;
}

class FaultServer {
 public:
  explicit FaultServer(int port = 0) : port_(listenOn(port, &listen_)) {
    if (port_) thread_ = std::thread([this] { serve(); });
  }
  ~FaultServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    close(listen_);
  }
  int port() const { return port_; }  // 0: could not listen
  void set(const std::vector<Message>& box, const Script& script = {}) {
    std::lock_guard<std::mutex> lock(mutex_);
    box_ = box, script_ = script, pipelined = false, logins = 0, sasl_.clear();
  }
  std::string uidls() {  // what the mailbox holds now
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    for (const Message& m : box_) out += (out.empty() ? "" : " ") + m.uidl;
    return out;
  }
  std::atomic<bool> pipelined{false};  // a command sent ahead was answered in order
  std::atomic<int> logins{0};          // PASS commands since set()
  std::string sasl() {                 // the lines AUTH got since set(), each after a blank
    std::lock_guard<std::mutex> lock(mutex_);
    return sasl_;
  }
  // "+OK", headers, empty line and n body lines (all for n < 0), dot-stuffed, ".";
  // not wire: the lines alone.
  static std::string topReply(const std::string& text, long n, bool wire = true) {
    std::string out = wire ? "+OK\r\n" : "";
    bool body = false;
    for (size_t at = 0, end; at < text.size() && !(body && n-- == 0); at = end + 2) {
      end = std::min(text.find("\r\n", at), text.size());
      std::string line = text.substr(at, end - at);
      out += (wire && line[0] == '.' ? "." : "") + line + "\r\n";
      body = body || line.empty();
    }
    return wire ? out + ".\r\n" : out;
  }

 private:
  static bool put(int fd, std::string_view data) {
    return ::send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
  }
  // Sends first, then unit again and again until the client hangs up or the server
  // stops; slow: one unit per read timeout (50 ms), else as fast as the client reads.
  void repeat(int fd, const std::string& first, const std::string& unit, bool slow) {
    char chunk[4096];
    put(fd, first);
    for (pollfd out = {fd, POLLOUT, 0}; !stopping_;) {
      if (poll(&out, 1, 50) <= 0) continue;
      ssize_t n = ::send(fd, unit.data(), unit.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN) return;
      n = slow ? recv(fd, chunk, sizeof chunk, 0) : 1;
      if (n == 0 || (n < 0 && errno != EAGAIN)) return;
    }
  }
  // Sends reply as the act spoils it; false when the session is over.
  bool answer(int fd, Act act, const std::string& reply) {
    std::string half = reply.substr(0, reply.size() / 2);
    if (act == Act::None || act == Act::Extra)
      return put(fd, reply + (act == Act::Extra ? "+OK stray\r\n" : ""));
    if (act == Act::Err) return put(fd, "-ERR Cannot do that.\r\n");
    if (act == Act::Junk) return put(fd, "HTTP/1.1 400 Bad Request\r\n");
    if (act == Act::HalfDrop) put(fd, half);
    if (act == Act::Endless) {
      repeat(fd, "+OK\r\n", "X-Zonder-Einde: " + std::string(999, 'z') + "\r\n", false);
    } else if (act != Act::Drop && act != Act::HalfDrop) {
      std::string first = act == Act::NoEnd ? reply.substr(0, reply.size() - 3) : half;
      repeat(fd, act == Act::Mute ? "" : first, act == Act::Trickle ? "x" : "", true);
    }
    return false;
  }
  void serve() {
    for (pollfd p = {listen_, POLLIN, 0}; !stopping_;) {
      if (poll(&p, 1, 50) <= 0) continue;
      int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      timeval wait = {0, 50000};  // reads end every 50 ms, to see the server stop
      if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0) session(fd);
      if (fd >= 0) close(fd);
    }
  }
  void session(int fd) {
    std::unique_lock<std::mutex> lock(mutex_);
    Script s = script_;
    std::vector<Message> box = box_;
    lock.unlock();
    std::set<size_t> marked;
    std::string in;
    int step = 0;  // 1: AUTH waits for the token, 2: for the answer to its error step
    if (!answer(fd, s.at.empty() ? s.act : Act::None, "+OK ready.\r\n")) return;
    for (size_t nl;;) {
      bool ahead = true;  // the command came before the last answer went out
      while ((nl = in.find('\n')) == std::string::npos) {
        ahead = false;
        char chunk[4096];
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EAGAIN && !stopping_) continue;
        if (n <= 0) return;
        in.append(chunk, static_cast<size_t>(n));
      }
      std::string line = in.substr(0, nl - (nl && in[nl - 1] == '\r'));
      in.erase(0, nl + 1);
      if (step) {  // a line of AUTH: the token, then the answer to the error step
        std::lock_guard<std::mutex> again(mutex_);
        sasl_ += " " + line;
        step = step == 1 && !s.refusal.empty() ? 2 : 0;
        std::string r = step                ? "+ eyJzdGF0dXMiOiI0MDEifQ=="
                        : s.refusal.empty() ? "+OK Logged in."
                                            : s.refusal;
        if (!put(fd, r + "\r\n")) return;
        continue;
      }
      if (!ahead && !s.pipelining && s.ahead == Ahead::Drop) in.clear();
      if (ahead && !s.pipelining && s.ahead == Ahead::HangUp) return;
      if (ahead && !s.pipelining && s.ahead == Ahead::Refuse) {
        if (!put(fd, "-ERR One command at a time.\r\n")) return;
        continue;
      }
      pipelined = pipelined || ahead;
      bool spoilt = !s.at.empty() && line.rfind(s.at, 0) == 0;
      std::string verb = line.substr(0, line.find(' '));
      std::string arg = line.substr(std::min(line.size(), verb.size() + 1));
      size_t i = std::strtoul(arg.c_str(), nullptr, 10) - 1;  // no number: huge
      bool exists = i < box.size() && !marked.count(i);
      std::string r = "+OK\r\n";
      if (verb == "CAPA") {
        r += std::string("TOP\r\nUSER\r\n") + (s.uidl ? "UIDL\r\n" : "") +
             (s.pipelining ? "PIPELINING\r\n" : "") + (s.stls ? "STLS\r\n" : "") + "SASL " +
             s.sasl + "\r\n.\r\n";
      } else if (verb == "AUTH") {
        step = 1, r = "+ \r\n";
      } else if (verb == "PASS") {
        ++logins;
        r = (s.refusal.empty() ? "+OK Logged in." : s.refusal) + "\r\n";
      } else if (verb == "STAT" || verb == "LIST" || (verb == "UIDL" && s.uidl)) {
        size_t bytes = 0;
        for (size_t m = 0; m < box.size(); ++m) {
          bytes += box[m].text.size();
          r += std::to_string(m + 1) + " " +
               (verb == "UIDL" ? box[m].uidl : std::to_string(box[m].text.size())) + "\r\n";
        }
        if (verb == "STAT") r = "+OK " + std::to_string(box.size()) + " " + std::to_string(bytes);
        r += verb == "STAT" ? "\r\n" : ".\r\n";
      } else if ((verb == "TOP" || verb == "RETR") && exists) {
        long lines = std::atol(arg.substr(arg.find(' ') + 1).c_str());
        r = topReply(box[i].text, verb == "TOP" && !s.whole ? lines : -1);
      } else if (verb == "DELE" && exists) {
        if (!spoilt) marked.insert(i);
      } else if (verb == "QUIT" && !spoilt) {
        std::set<std::string> gone;
        for (size_t m : marked) gone.insert(box[m].uidl);
        std::lock_guard<std::mutex> again(mutex_);  // the test may have changed the mailbox
        std::erase_if(box_, [&](const Message& m) { return gone.count(m.uidl) > 0; });
      } else if (verb != "USER" && verb != "STLS" && verb != "QUIT" && verb != "NOOP") {
        r = "-ERR There's no message " + std::to_string(i + 1) + ".\r\n";
      }
      if (!answer(fd, spoilt ? s.act : Act::None, r) || verb == "QUIT") return;
    }
  }

  int listen_ = -1, port_ = 0;  // in this order: the constructor sets both
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  Script script_;
  std::vector<Message> box_;
  std::string sasl_;
};

class OAuth2Server {
 public:
  OAuth2Server() {  // the shell's "PID" comes long before the server's "ready PORT"
    if (!out_ || std::fscanf(out_, "%d ready %d", &pid_, &port_) != 2) port_ = 0;
  }
  ~OAuth2Server() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    if (out_) pclose(out_);
  }
  bool up() const { return port_ > 0; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  /// The body of the server's answer to form, posted to path.
  std::string post(const std::string& path, const mboxtool::Form& form) const {
    platform::HttpsAnswer answer;
    std::string err;
    platform::postForm(url(path), mboxtool::formEncode(form), {}, &answer, &err);
    return answer.body;
  }
  /// A fresh token pair of user, without a flow.
  mboxtool::TokenReply mint(const std::string& user) const {
    return mboxtool::readTokenReply({200, post("/mint", {{"user", user}})});
  }

 private:
  FILE* out_ = popen(  // its stderr is of no interest: clients that hang up
      "python3 " MAILVAK_SOURCE_DIR "/tests/support/oauth2_server.py 2>/dev/null & echo $!", "r");
  pid_t pid_ = -1;
  int port_ = 0;
};

class DovecotServer {
 public:
  static bool available() { return access("/usr/sbin/dovecot", X_OK) == 0; }
  ~DovecotServer() { sh("stop"); }
  // Starts both instances with these users, all before the first login:
  // Dovecot may miss a change of its users file within the second it last read it.
  bool start(const std::vector<std::string>& users, const std::string& password) {
    bool ok =
        sh("start", std::to_string(plain = listenOn())) &&
        sh("start", std::to_string(stls = listenOn()) + " " + std::to_string(tls = listenOn()));
    for (const std::string& u : users)
      ok = ok && sh("adduser", u + " " + core::shellWord(password));
    return ok;
  }
  bool addMessages(const std::string& user, const std::vector<std::string>& messages) {
    std::string files;
    for (const std::string& m : messages) {
      files += " " + base_.file("msg-" + std::to_string(++added_));
      testing_support::writeFile(files.substr(files.rfind(' ') + 1), m);
    }
    return sh("addmail", user + files);
  }
  /// The user's messages one after another, in the server's order.
  std::string mailOf(const std::string& user) const {
    std::map<std::string, std::string> byName;  // a file's name begins with its time
    std::string dir = base_.file("mail/" + user + "/Maildir/");
    std::error_code e;
    for (const char* sub : {"cur", "new"}) {
      for (const auto& f : std::filesystem::directory_iterator(dir + sub, e)) {
        byName[f.path().filename()] = testing_support::readFile(f.path());
      }
    }
    std::string all;
    for (const auto& [name, text] : byName) all += text;
    return all;
  }
  std::string caFile() const { return base_.file("cert.pem"); }
  int plain = 0, stls = 0, tls = 0;  // ports: no TLS; STLS offered; TLS from the first byte

 private:
  bool sh(const std::string& verb, const std::string& args = "") const {
    return std::system((std::string(MAILVAK_SOURCE_DIR) + "/scripts/dovecot.sh " + verb + " " +
                        base_.path() + " " + args + " >/dev/null")
                           .c_str()) == 0;
  }
  testing_support::ScopedTempDir base_{false};
  int added_ = 0;
};

}  // namespace pop3_support
