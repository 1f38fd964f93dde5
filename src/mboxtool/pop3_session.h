// The POP3 dialogue of one run: greeting, CAPA, STLS, login and commands,
// with replies read one by one or pipelined in windows.
//
// A login is USER and PASS (AUTH PLAIN where the server takes no USER), or
// SASL with an access token in two steps: `AUTH XOAUTH2` or `AUTH OAUTHBEARER`,
// the server's "+", then the Base64 line. A server that refuses the token
// answers with "+" and an error in Base64 JSON; the tool answers that (an
// empty line for XOAUTH2, \x01 in Base64 for OAUTHBEARER) and reads the
// final -ERR, which is the refusal.
//
// Which replies are multi-line is fixed by the command (CAPA, TOP, RETR,
// LIST and UIDL without argument), never guessed from the reply's text; a
// multi-line reply ends at a line that is exactly ".". Lines are handed on
// as the server sent them, dot-stuffing included.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "mboxtool/connection.h"
#include "mboxtool/server_address.h"

namespace mboxtool {

struct Capabilities {
  bool known = false;  // CAPA answered +OK
  bool top = false;
  bool uidl = false;
  bool pipelining = false;
  bool stls = false;
  bool user = false;
  std::vector<std::string> sasl;  // the mechanisms of the SASL line, upper case
  /// Whether the SASL line names mechanism (upper case).
  bool offersSasl(const std::string& mechanism) const {
    return std::find(sasl.begin(), sasl.end(), mechanism) != sasl.end();
  }
};

/// How the tool logs in: with a password, or with an OAuth2 access token in
/// the password's place over SASL XOAUTH2 or OAUTHBEARER.
enum class Login { Password, XOAuth2, OAuthBearer };

/// One command of a batch; its reply is multi-line when it answers +OK.
struct Command {
  std::string text;
  bool multiLine = false;
};

/// Receives the replies of a batch in order. A false return ends the batch.
class ReplyHandler {
 public:
  virtual ~ReplyHandler() = default;
  /// The status line of reply `index`; ok when it begins with "+OK".
  virtual bool status(size_t index, const std::string& line, bool ok) = 0;
  /// One line of a multi-line reply, as sent (dot-stuffed).
  virtual bool line(size_t index, const std::string& line) = 0;
  /// The end of reply `index` (after its "." when multi-line).
  virtual bool end(size_t index) = 0;
};

/// Whether a server that does not announce PIPELINING answers commands sent
/// ahead, in order: not known, yes, or no (it dropped them, refused them or
/// hung up).
enum class Ahead { Unknown, Works, Fails };

/// How the opening of a session ended.
enum class OpenResult {
  LoggedIn,
  NoAnswer,  // no connection or no greeting: nothing is written
  Refused,   // the server or the TLS check said no: *line holds an -ERR line
};

class Session {
 public:
  /// The largest reply the tool accepts, in bytes.
  static constexpr size_t DefaultReplyCap = 64u << 20;

  /// Lines of a reply are cut to their first lineCap bytes.
  Session(const Timeouts& timeouts, size_t replyCap, size_t lineCap)
      : timeouts_(timeouts), replyCap_(replyCap), lineCap_(lineCap) {}

  /// With required set, a plain connection to a server that does not offer
  /// STLS is refused before the user name and password go out.
  void requireStls(bool required) { stlsRequired_ = required; }
  /// Whether the server offered STLS on the plain connection of open().
  bool offeredStls() const { return stlsOffered_; }

  /// What the tool remembers of this server's commands sent ahead: with
  /// Works, CAPA goes out before the greeting arrives. With Unknown, open()
  /// finds out: from CAPA's PIPELINING, or by a probe when it is not announced.
  void recallAhead(Ahead known) { ahead_ = known; }
  /// What open() found out: Unknown when it did not try.
  Ahead probedAhead() const { return probed_; }
  /// Whether a server that does not announce PIPELINING, sent commands
  /// ahead on the strength of the probe, refused one or lost an answer.
  bool aheadFailed() const { return aheadFailed_; }

  /// Connects, reads the greeting, upgrades to TLS as the address and CAPA
  /// say, and logs in. *line receives the answer to the login (+OK or the
  /// server's -ERR line) or the tool's own -ERR line; *err says why it failed.
  /// A single-line `early` command goes out with the login when the server
  /// pipelines, saving a round trip; takeEarlyReply() gives its answer.
  /// With a login other than Password, `password` holds the access token.
  OpenResult open(const ServerAddress& address, const std::string& user,
                  const std::string& password, std::string* line, std::string* err,
                  const std::string& early = "", Login login = Login::Password);

  /// The answer to the early command of open(); false when it was not sent.
  bool takeEarlyReply(std::string* line) {
    if (!hasEarly_) return false;
    hasEarly_ = false;
    *line = earlyReply_;
    return true;
  }

  /// Sends one command and reads its single-line answer into *line.
  bool simple(const std::string& command, std::string* line, std::string* err);

  /// Sends one command without waiting for its answer.
  bool sendOnly(const std::string& command, std::string* err) {
    return send(command + "\r\n", err);
  }

  /// Sends the commands, pipelined in windows when the server announces
  /// PIPELINING or answers commands sent ahead, and hands every reply to handler. False with *err
  /// when the connection failed or the handler stopped the batch. With firstSent, the first
  /// command has gone out already.
  bool run(const std::vector<Command>& commands, ReplyHandler& handler, std::string* err,
           bool firstSent = false);

  const Capabilities& capabilities() const { return caps_; }

 private:
  OpenResult openOnce(const ServerAddress& address, const std::string& user,
                      const std::string& password, std::string* line, std::string* err,
                      const std::string& early, Login login);
  bool authenticate(Login login, const ServerAddress& address, const std::string& user,
                    const std::string& token, std::string* reply, std::string* err);
  bool probeAhead(const std::string& early, std::string* err);
  bool readStatus(std::string* line, std::string* err);
  // CAPA and its answer; with sent, only the answer (CAPA went ahead).
  bool askCapabilities(std::string* err, bool sent = false);
  bool send(const std::string& text, std::string* err);

  Connection conn_;
  Timeouts timeouts_;
  size_t replyCap_;
  size_t lineCap_;
  bool stlsRequired_ = false;
  bool stlsOffered_ = false;
  Capabilities caps_;
  Ahead ahead_ = Ahead::Unknown;
  Ahead probed_ = Ahead::Unknown;
  bool pipelining_ = false;  // commands go ahead: announced, or answered ahead
  bool aheadFailed_ = false;
  bool hasEarly_ = false;
  std::string earlyReply_;
};

/// At most this many commands, and this many bytes of commands, are in
/// flight; the window is refilled when a fifth of either is left. The byte
/// bound stays far below socket buffers, so a server that answers while the
/// tool still sends can never block both sides; the count is large enough
/// that a full header check (800 TOPs) goes out in one window.
constexpr size_t PipelineWindow = 1000;
constexpr size_t PipelineWindowBytes = 16 * 1024;

/// Reply lines are cut at 16 KiB for the files the program reads (more than a
/// body line wrapped into the 127 rows the list shows of a message) and at
/// 1 MiB for a message fetched whole into an .eml file.
constexpr size_t LineCap = 16 * 1024;
constexpr size_t MessageLineCap = 1u << 20;

}  // namespace mboxtool
