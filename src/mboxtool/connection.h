// One TCP connection to a POP3 server, plain or TLS, with bounded waits.
//
// Every wait (connect, read, write, TLS handshake) ends at the earlier of its
// own timeout and the run's total deadline, so a silent or stalled server
// can never hold the tool for good. Reads are buffered; lines end in LF with
// an optional CR before it. A line longer than the caller keeps is cut: its
// first bytes are kept and the rest is dropped as it streams in, so the
// buffer never holds much more than the kept part and one read.
//
// The line reading lives in connection.cc; the socket and TLS work (connect,
// handshake, send, receive) in one file per system, chosen by the build:
// connection_posix.cc (BSD sockets, OpenSSL) and connection_windows.cc
// (Winsock, Schannel).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace mboxtool {

/// How long the tool waits, in milliseconds.
struct Timeouts {
  int connectMs = 15000;
  int readMs = 30000;
  long long totalMs = 30LL * 60 * 1000;
};

enum class ReadStatus { Line, Closed, Timeout, TooLong, Error };

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// Starts the run's clock: the total deadline counts from here.
  void start(const Timeouts& timeouts);

  /// Opens a TCP connection to host:port; false with *err when no address
  /// of the host accepts within the connect timeout.
  bool connectTo(const std::string& host, int port, std::string* err);

  /// Runs the TLS handshake, verifying the server's certificate against the
  /// system store (on POSIX SSL_CERT_FILE honoured) and against host; false
  /// with *err. No byte of the session goes out before the check passed.
  bool startTls(const std::string& host, std::string* err);

  /// Sends all of data; false with *err on failure or timeout.
  bool sendAll(std::string_view data, std::string* err);

  /// Reads one line into *line without its LF and the CR before it, cut to
  /// its first `keep` bytes. A line that takes more than maxBytes bytes before
  /// its end gives TooLong; *err says why for the failures.
  ReadStatus readLine(std::string* line, size_t keep, size_t maxBytes, std::string* err);

  /// Bytes the last line took on the wire, its line end and any cut part included.
  size_t lastLineBytes() const { return lastLineBytes_; }

  /// Bytes received but not yet read as lines.
  size_t bufferedBytes() const { return buffer_.size() - readPos_; }

  bool isTls() const;
  /// Closes the connection and drops what was received but not read; a
  /// new connectTo() may follow.
  void close();

 private:
  struct Transport;  // the socket and TLS state, defined by the system's file

  /// The wait allowed now: timeoutMs, or less when the run's deadline is nearer.
  int waitBudgetMs(int timeoutMs) const;
  /// Receives at least one byte into `into` (room bytes), setting *got;
  /// Closed, Timeout or Error with *err when none came.
  ReadStatus receive(char* into, size_t room, size_t* got, std::string* err);
  ReadStatus fill(std::string* err);

  std::unique_ptr<Transport> transport_;
  Timeouts timeouts_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  std::string buffer_;
  size_t readPos_ = 0;
  size_t scanPos_ = 0;  // bytes before this hold no LF
  size_t lastLineBytes_ = 0;
};

}  // namespace mboxtool
