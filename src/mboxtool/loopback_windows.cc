#include "mboxtool/loopback.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>

namespace mboxtool {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until s can be read (or written) or budgetMs passes; true when it can.
bool ready(SOCKET s, bool forWrite, long long budgetMs) {
  budgetMs = std::clamp(budgetMs, 0LL, 1LL << 30);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {static_cast<long>(budgetMs / 1000), static_cast<long>(budgetMs % 1000) * 1000};
  return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) > 0;
}

}  // namespace

bool secureRandom(size_t count, std::string* bytes) {
  bytes->assign(count, '\0');
  return BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes->data()),
                         static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

struct LoopbackListener::Sockets {
  SOCKET listener = INVALID_SOCKET;
  SOCKET peer = INVALID_SOCKET;
};

LoopbackListener::LoopbackListener() : sockets_(std::make_unique<Sockets>()) {}

LoopbackListener::~LoopbackListener() { close(); }

void LoopbackListener::close() {
  for (SOCKET* s : {&sockets_->peer, &sockets_->listener}) {
    if (*s != INVALID_SOCKET) closesocket(*s);
    *s = INVALID_SOCKET;
  }
}

bool LoopbackListener::open(std::string* err) {
  close();
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  SOCKET s = started ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  // Exclusive: no other program can take the port over while the browser comes back.
  BOOL exclusive = TRUE;
  if (s == INVALID_SOCKET ||
      setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive) != 0 ||
      bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *err = "cannot listen on 127.0.0.1 (" + std::to_string(WSAGetLastError()) + ")";
    if (s != INVALID_SOCKET) closesocket(s);
    return false;
  }
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  sockets_->listener = s;
  port_ = ntohs(address.sin_port);
  return true;
}

bool LoopbackListener::takeRequest(Clock::time_point deadline, int readMs, size_t maxBytes,
                                   std::string* head, std::string* err) {
  for (;;) {
    if (!ready(sockets_->listener, false, msUntil(deadline))) {
      *err = "no answer from the browser in time";
      return false;
    }
    SOCKET peer = accept(sockets_->listener, nullptr, nullptr);
    if (peer == INVALID_SOCKET) {
      int code = WSAGetLastError();
      if (code == WSAEWOULDBLOCK || code == WSAECONNRESET) continue;
      *err = "cannot take the browser's request (" + std::to_string(code) + ")";
      return false;
    }
    u_long blocking = 0;  // an accepted socket inherits the listener's mode
    ioctlsocket(peer, FIONBIO, &blocking);
    head->clear();
    char chunk[4096];
    while (head->find("\r\n\r\n") == std::string::npos && head->size() < maxBytes &&
           ready(peer, false, std::min<long long>(readMs, msUntil(deadline)))) {
      int n =
          recv(peer, chunk, static_cast<int>(std::min(sizeof chunk, maxBytes - head->size())), 0);
      if (n <= 0) break;
      head->append(chunk, static_cast<size_t>(n));
    }
    if (!head->empty()) {
      sockets_->peer = peer;
      return true;
    }
    closesocket(peer);  // a connection that sent nothing, such as a browser's spare one
  }
}

void LoopbackListener::answer(std::string_view bytes, int readMs) {
  SOCKET peer = sockets_->peer;
  while (peer != INVALID_SOCKET && !bytes.empty() && ready(peer, true, readMs)) {
    int n = send(peer, bytes.data(), static_cast<int>(bytes.size()), 0);
    if (n <= 0) break;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  if (peer != INVALID_SOCKET) shutdown(peer, SD_SEND);
  close();
}

}  // namespace mboxtool
