// A scripted POP3 server on 127.0.0.1 for faults that a real server will not
// produce on demand: no greeting, a stall after some bytes, a drop or a stall
// in the middle of a TOP reply, -ERR on PASS or on one TOP, a reply without
// its terminator, a capability list without PIPELINING, UIDL or STLS (or
// STLS that fails), a reply that trickles or never ends, and a mailbox that
// changes between two runs.
//
// It serves one connection at a time on its own thread. DELE marks, QUIT
// removes the marked messages, so the next session sees them renumbered.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pop3_support {

struct FixtureMessage {
  std::string uidl;
  std::string text;  // CR LF lines, not dot-stuffed
};

struct FixtureScript {
  bool greet = true;
  bool pipelining = true;
  bool uidl = true;
  bool offerStls = false;     // offers STLS and answers it with -ERR
  bool stlsWithJunk = false;  // answers STLS +OK followed by stray bytes
  bool errOnPass = false;
  long errOnTop = 0;               // this message's TOP gets -ERR
  long dropInTop = 0;              // connection closed halfway through this TOP
  long stallInTop = 0;             // silence halfway through this TOP
  long noTerminatorTop = 0;        // this TOP reply lacks its "." and then silence
  long long stallAfterBytes = -1;  // silence after this many bytes in all
  bool dropAtQuit = false;         // QUIT closes the connection, deleting nothing
  long trickleTop = 0;             // this TOP: half the reply, then a byte every trickleMs, for ever
  int trickleMs = 50;
  long endlessTop = 0;             // this TOP: header lines without end, as fast as the client reads
};

class Pop3Fixture {
 public:
  Pop3Fixture() = default;
  ~Pop3Fixture();
  Pop3Fixture(const Pop3Fixture&) = delete;
  Pop3Fixture& operator=(const Pop3Fixture&) = delete;

  /// Listens on a free port (or the given one) and serves; false on failure.
  bool start(int port = 0);
  void stop();
  int port() const { return port_; }

  void setScript(const FixtureScript& script);
  void setMessages(const std::vector<FixtureMessage>& messages);
  std::vector<FixtureMessage> messages();
  /// Every command received, PASS included as sent.
  std::vector<std::string> commands();
  /// True once a command arrived before the answer to the previous one was sent.
  bool sawPipelining();
  /// Number of sessions that ended.
  int sessions();

  /// The password every user logs in with; empty: any password.
  std::string password = "geheim";

 private:
  void serve();
  void session(int fd);

  int listenFd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  FixtureScript script_;
  std::vector<FixtureMessage> messages_;
  std::vector<std::string> commands_;
  bool sawPipelining_ = false;
  int sessions_ = 0;
};

/// n small messages "Bericht i", UIDL "uid-i", with `bodyLines` body lines.
std::vector<FixtureMessage> sampleMessages(int n, int bodyLines = 3);

}  // namespace pop3_support
