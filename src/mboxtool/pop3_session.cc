#include "mboxtool/pop3_session.h"

#include <algorithm>
#include <cstring>

#include "mboxtool/digest.h"

namespace mboxtool {

namespace {

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// A SASL step from the server: "+", a blank and Base64 text (perhaps none).
bool isStep(const std::string& line) { return line == "+" || startsWith(line, "+ "); }

// Keeps "-ERR" and a response code ("[IN-USE]"), which Mailvak reads, and
// hides the password should a server echo it back.
std::string withoutPassword(std::string line, const std::string& password) {
  if (password.empty()) return line;
  size_t at = std::min<size_t>(line.size(), 4);
  if (startsWith(line, "-ERR [") && line.find(']') != std::string::npos) at = line.find(']') + 1;
  while ((at = line.find(password, at)) != std::string::npos) {
    line.replace(at, password.size(), "***");
    at += 3;
  }
  return line;
}

// Handler that collects the lines of one CAPA reply.
class CapaHandler : public ReplyHandler {
 public:
  explicit CapaHandler(Capabilities* caps) : caps_(caps) {}
  bool status(size_t, const std::string&, bool ok) override {
    *caps_ = Capabilities();
    caps_->known = ok;
    return true;
  }
  bool line(size_t, const std::string& text) override {
    std::string word = upper(text.substr(0, text.find(' ')));
    if (word == "TOP") caps_->top = true;
    if (word == "UIDL") caps_->uidl = true;
    if (word == "PIPELINING") caps_->pipelining = true;
    if (word == "STLS") caps_->stls = true;
    if (word == "USER") caps_->user = true;
    if (word == "SASL") {
      std::string rest = upper(text);
      for (size_t at = 4, end; at < rest.size(); at = end) {
        at = rest.find_first_not_of(' ', at);
        end = std::min(rest.find(' ', at), rest.size());
        if (at < end) caps_->sasl.push_back(rest.substr(at, end - at));
      }
    }
    return true;
  }
  bool end(size_t) override { return true; }

 private:
  Capabilities* caps_;
};

}  // namespace

bool Session::send(const std::string& text, std::string* err) { return conn_.sendAll(text, err); }

bool Session::readStatus(std::string* line, std::string* err) {
  ReadStatus s = conn_.readLine(line, lineCap_, replyCap_, err);
  if (s != ReadStatus::Line) return false;
  if (!startsWith(*line, "+OK") && !startsWith(*line, "-ERR")) {
    *err = "not a POP3 answer";
    return false;
  }
  return true;
}

bool Session::simple(const std::string& command, std::string* line, std::string* err) {
  return send(command + "\r\n", err) && readStatus(line, err);
}

bool Session::askCapabilities(std::string* err, bool sent) {
  Capabilities caps;
  CapaHandler handler(&caps);
  bool ahead = pipelining_;
  pipelining_ = false;  // CAPA itself is never pipelined
  bool ok = run({{"CAPA", true}}, handler, err, sent);
  pipelining_ = ahead;
  if (!ok) return false;
  if (caps.known) caps_ = caps;
  return true;
}

// Two commands in one write, the early one (or NOOP) and NOOP. A server that
// answers both takes commands sent ahead; one that refuses the second does
// not, and the session is still in step. False when it is out of step: a
// reply went missing or came late, the connection closed, or the first
// command was refused, which it may have been only for the one behind it.
bool Session::probeAhead(const std::string& early, std::string* err) {
  probed_ = Ahead::Fails;
  std::string first, second;
  if (!send((early.empty() ? "NOOP" : early) + "\r\nNOOP\r\n", err) || !readStatus(&first, err) ||
      !startsWith(first, "+OK") || !readStatus(&second, err)) {
    return false;
  }
  if (!early.empty()) {
    earlyReply_ = first;
    hasEarly_ = true;
  }
  if (startsWith(second, "+OK")) probed_ = Ahead::Works;
  pipelining_ = probed_ == Ahead::Works;
  return true;
}

OpenResult Session::open(const ServerAddress& address, const std::string& user,
                         const std::string& password, std::string* line, std::string* err,
                         const std::string& early, Login login) {
  conn_.start(timeouts_);
  OpenResult result = openOnce(address, user, password, line, err, early, login);
  if (result != OpenResult::NoAnswer || probed_ != Ahead::Fails) return result;
  // The probe left the session out of step: a new one, one command at a time.
  conn_.close();
  caps_ = Capabilities();
  ahead_ = Ahead::Fails;
  hasEarly_ = false;
  return openOnce(address, user, password, line, err, early, login);
}

// The two steps of a token login; *reply gets the server's final +OK or -ERR
// line, or the tool's own -ERR line when the server does not offer the
// mechanism (the token is not sent then). False when the dialogue broke off.
bool Session::authenticate(Login login, const ServerAddress& address, const std::string& user,
                           const std::string& token, std::string* reply, std::string* err) {
  const std::string mechanism = login == Login::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
  if (!caps_.sasl.empty() && !caps_.offersSasl(mechanism)) {
    *reply = "-ERR server does not offer " + mechanism + "; the token was not sent";
    return true;
  }
  const std::string sep(1, '\x01');  // between the fields; two end them
  std::string secret;
  if (login == Login::XOAuth2) {
    secret = "user=" + user + sep + "auth=Bearer " + token + sep + sep;
  } else {
    // The user name as a SASL name: its commas and equals signs escaped.
    std::string name;
    for (char c : user) name += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    secret = "n,a=" + name + "," + sep + "host=" + address.host + sep +
             "port=" + std::to_string(address.port) + sep + "auth=Bearer " + token + sep + sep;
  }
  std::string answer = base64(secret) + "\r\n";
  std::fill(secret.begin(), secret.end(), '\0');
  // Every line the server sends here is a "+" step or the final answer.
  auto step = [&](const std::string& text) {
    if (!send(text, err) || conn_.readLine(reply, lineCap_, replyCap_, err) != ReadStatus::Line) {
      return false;
    }
    if (isStep(*reply) || startsWith(*reply, "+OK") || startsWith(*reply, "-ERR")) return true;
    *err = "not a POP3 answer";
    return false;
  };
  bool ok = step("AUTH " + mechanism + "\r\n");
  if (ok && isStep(*reply)) ok = step(answer);
  std::fill(answer.begin(), answer.end(), '\0');
  // A refused token: the error step is answered, and the -ERR follows.
  if (ok && isStep(*reply)) ok = step(login == Login::XOAuth2 ? "\r\n" : "AQ==\r\n");
  if (ok && isStep(*reply)) {
    *err = "server asks more than the token";
    return false;
  }
  return ok;
}

OpenResult Session::openOnce(const ServerAddress& address, const std::string& user,
                             const std::string& password, std::string* line, std::string* err,
                             const std::string& early, Login login) {
  if (!conn_.connectTo(address.host, address.port, err)) {
    return OpenResult::NoAnswer;
  }
  if (address.implicitTls && !conn_.startTls(address.host, err)) {
    *line = "-ERR " + *err;
    return OpenResult::Refused;
  }
  // A server known to take commands sent ahead gets CAPA before its greeting
  // has arrived: it waits in the server's input, and the answer comes a
  // round trip sooner. A server that loses it costs this run one timeout
  // and is not sent anything ahead again for a long while.
  const bool capaAhead = ahead_ == Ahead::Works;
  if (capaAhead && !send("CAPA\r\n", err)) return OpenResult::NoAnswer;
  std::string greeting;
  if (!readStatus(&greeting, err)) return OpenResult::NoAnswer;
  if (!startsWith(greeting, "+OK")) {
    *line = greeting;
    return OpenResult::Refused;
  }
  if (!askCapabilities(err, capaAhead)) {
    if (capaAhead) probed_ = Ahead::Fails;
    return OpenResult::NoAnswer;
  }
  if (!conn_.isTls() && !caps_.stls && stlsRequired_) {
    *err = "server no longer offers STLS";
    *line = "-ERR " + *err + "; the password was not sent";
    return OpenResult::Refused;
  }
  if (!conn_.isTls() && caps_.stls) {
    // Once STLS is offered there is no way back to plain text.
    stlsOffered_ = true;
    std::string reply;
    if (!simple("STLS", &reply, err)) {
      *line = "-ERR STLS failed: " + *err;
      return OpenResult::Refused;
    }
    if (!startsWith(reply, "+OK")) {
      *err = "server refused STLS";
      *line = "-ERR STLS refused: " + reply;
      return OpenResult::Refused;
    }
    if (conn_.bufferedBytes() != 0) {
      *err = "server sent bytes before the TLS handshake";
      *line = "-ERR " + *err;
      return OpenResult::Refused;
    }
    if (!conn_.startTls(address.host, err)) {
      *line = "-ERR " + *err;
      return OpenResult::Refused;
    }
    caps_ = Capabilities();
    if (!askCapabilities(err)) {
      *line = "-ERR no answer after STLS";
      return OpenResult::Refused;
    }
  }

  std::string reply;
  if (login != Login::Password) {
    if (!authenticate(login, address, user, password, &reply, err)) return OpenResult::NoAnswer;
  } else if (caps_.known && !caps_.user && caps_.offersSasl("PLAIN")) {
    std::string secret = std::string(1, '\0') + user + '\0' + password;
    bool sent = simple("AUTH PLAIN " + base64(secret), &reply, err);
    std::fill(secret.begin(), secret.end(), '\0');
    if (!sent) return OpenResult::NoAnswer;
  } else {
    std::string userReply;
    if (caps_.pipelining || ahead_ == Ahead::Works) {
      std::string both = "USER " + user + "\r\nPASS " + password + "\r\n";
      if (!early.empty()) both += early + "\r\n";
      bool sent = send(both, err);
      std::fill(both.begin(), both.end(), '\0');
      if (!sent || !readStatus(&userReply, err) || !readStatus(&reply, err)) {
        return OpenResult::NoAnswer;
      }
      if (!early.empty() && startsWith(reply, "+OK")) {
        if (!readStatus(&earlyReply_, err)) return OpenResult::NoAnswer;
        hasEarly_ = true;
      }
    } else {
      if (!simple("USER " + user, &userReply, err)) return OpenResult::NoAnswer;
      if (startsWith(userReply, "+OK")) {
        std::string pass = "PASS " + password + "\r\n";
        bool sent = send(pass, err) && readStatus(&reply, err);
        std::fill(pass.begin(), pass.end(), '\0');
        if (!sent) return OpenResult::NoAnswer;
      }
    }
    if (!startsWith(userReply, "+OK")) reply = userReply;
  }
  if (!startsWith(reply, "+OK")) {
    *line = withoutPassword(reply, password);
    *err = "login refused";
    return OpenResult::Refused;
  }
  *line = reply;
  // Some servers announce TOP, UIDL or PIPELINING only after login.
  if (!caps_.top || !caps_.uidl || !(caps_.pipelining || ahead_ == Ahead::Works)) {
    if (!askCapabilities(err)) return OpenResult::NoAnswer;
  }
  pipelining_ = caps_.pipelining || ahead_ == Ahead::Works;
  // A server that announces PIPELINING is remembered as taking commands ahead.
  if (caps_.pipelining && ahead_ == Ahead::Unknown) probed_ = Ahead::Works;
  if (!pipelining_ && ahead_ == Ahead::Unknown && !hasEarly_ && !probeAhead(early, err)) {
    return OpenResult::NoAnswer;
  }
  return OpenResult::LoggedIn;
}

bool Session::run(const std::vector<Command>& commands, ReplyHandler& handler, std::string* err,
                  bool firstSent) {
  const size_t window = pipelining_ ? PipelineWindow : 1;
  const size_t windowBytes = PipelineWindowBytes;
  // A server that answered the probe but then fails commands sent ahead is
  // trusted no longer: a refusal or a lost answer marks it.
  const bool onTrust = pipelining_ && !caps_.pipelining && commands.size() > 1;
  size_t sent = firstSent && !commands.empty() ? 1 : 0;
  size_t bytesInFlight = sent ? commands[0].text.size() + 2 : 0;
  std::string line;
  for (size_t done = 0; done < commands.size(); ++done) {
    bool low = sent - done <= window / 5 && bytesInFlight <= windowBytes / 5;
    if (sent < commands.size() && (sent == done || low)) {
      std::string batch;
      while (sent < commands.size() &&
             (sent == done || (sent - done < window &&
                               bytesInFlight + commands[sent].text.size() + 2 <= windowBytes))) {
        batch += commands[sent].text;
        batch += "\r\n";
        bytesInFlight += commands[sent].text.size() + 2;
        ++sent;
      }
      if (!send(batch, err)) return false;
    }
    if (!readStatus(&line, err)) {
      aheadFailed_ = aheadFailed_ || onTrust;
      return false;
    }
    bool ok = startsWith(line, "+OK");
    aheadFailed_ = aheadFailed_ || (onTrust && !ok);
    if (!handler.status(done, line, ok)) {
      *err = "output failed";
      return false;
    }
    if (ok && commands[done].multiLine) {
      size_t total = line.size() + 2;
      for (;;) {
        ReadStatus s = conn_.readLine(&line, lineCap_, replyCap_ - std::min(total, replyCap_), err);
        if (s == ReadStatus::Line) total += conn_.lastLineBytes();
        if (s == ReadStatus::TooLong || total > replyCap_) {
          *err = "reply larger than the tool accepts";
          return false;
        }
        if (s != ReadStatus::Line) {
          aheadFailed_ = aheadFailed_ || onTrust;
          return false;
        }
        if (line == ".") break;
        if (!handler.line(done, line)) {
          *err = "output failed";
          return false;
        }
      }
    }
    bytesInFlight -= commands[done].text.size() + 2;
    if (!handler.end(done)) {
      *err = "output failed";
      return false;
    }
  }
  return true;
}

}  // namespace mboxtool
