// What the browser sign-in needs from the system: a listener on 127.0.0.1
// that takes the one request the browser is sent back with, and random
// bytes for the sign-in's secrets. One implementation per system, chosen by
// the build: loopback_posix.cc (BSD sockets, OpenSSL's generator) and
// loopback_windows.cc (Winsock, BCryptGenRandom).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace mboxtool {

/// The milliseconds from now until deadline (negative once it has passed).
inline long long msUntil(std::chrono::steady_clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             deadline - std::chrono::steady_clock::now())
      .count();
}

/// Fills *bytes with count bytes from the system's cryptographic generator;
/// false when it has none to give.
bool secureRandom(size_t count, std::string* bytes);

class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  /// Listens on 127.0.0.1 at a port the system picks; false with *err.
  bool open(std::string* err);

  /// The port listened on.
  int port() const { return port_; }

  /// Takes connections until one sends a request head (up to its empty
  /// line, at most maxBytes, each wait at most readMs) and puts it into
  /// *head; a connection that closes or stalls without one is dropped. False
  /// with *err when the deadline passes first or the listener fails.
  bool takeRequest(std::chrono::steady_clock::time_point deadline, int readMs, size_t maxBytes,
                   std::string* head, std::string* err);

  /// Sends bytes on the connection of the request taken (within readMs),
  /// then closes it and the listener: no second request reaches the tool.
  void answer(std::string_view bytes, int readMs);

  /// Closes the connection and the listener.
  void close();

 private:
  struct Sockets;  // the system's sockets, defined by its file
  std::unique_ptr<Sockets> sockets_;
  int port_ = 0;
};

}  // namespace mboxtool
