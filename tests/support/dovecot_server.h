// A Dovecot POP3 server for tests, run by scripts/dovecot.sh from a
// temporary directory: one instance without TLS and one that offers STLS on
// its plain port and TLS from the first byte on a second port. Both share
// the users and their mail. Stopped (SIGTERM to the master and its children)
// and removed when the object goes.
#pragma once

#include <string>
#include <vector>

namespace pop3_support {

class DovecotServer {
 public:
  DovecotServer() = default;
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  /// True when the dovecot binary is installed.
  static bool available();

  /// Starts both instances; false with *err on failure.
  bool start(std::string* err);
  void stop();

  /// Adds a user with an empty mailbox.
  bool addUser(const std::string& user, const std::string& password);
  /// Adds messages (raw bytes, CR LF lines) to a user's mailbox, in order.
  bool addMessages(const std::string& user, const std::vector<std::string>& messages);
  /// The raw messages in the user's mailbox, in the server's order.
  std::vector<std::string> messagesOf(const std::string& user) const;

  int plainPort() const { return plainPort_; }  // no TLS
  int stlsPort() const { return stlsPort_; }    // offers STLS
  int tlsPort() const { return tlsPort_; }      // TLS from the first byte
  const std::string& base() const { return base_; }
  std::string caFile() const { return base_ + "/cert.pem"; }
  /// The log of the instance on port.
  std::string log(int port) const;

 private:
  std::string base_;
  int plainPort_ = 0, stlsPort_ = 0, tlsPort_ = 0;
  int added_ = 0;
};

/// Runs a shell command line; returns its exit status.
int runShell(const std::string& line);

/// A TCP port on 127.0.0.1 that nobody listens on now.
int freePort();

/// Reads a whole file; "" when it cannot.
std::string readFile(const std::string& path);

/// Makes a fresh temporary directory (mode 0755); "" on failure.
std::string makeTempDir(const char* prefix);

/// Removes a directory tree.
void removeTree(const std::string& path);

}  // namespace pop3_support
