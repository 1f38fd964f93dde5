#include "mboxtool/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mboxtool {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until fd has events or budgetMs passes; true when it has.
bool ready(int fd, short events, long long budgetMs) {
  struct pollfd p = {fd, events, 0};
  int n;
  while ((n = ::poll(&p, 1, static_cast<int>(std::clamp(budgetMs, 0LL, 1LL << 30)))) < 0 &&
         errno == EINTR) {
  }
  return n > 0;
}

}  // namespace

bool secureRandom(size_t count, std::string* bytes) {
  bytes->assign(count, '\0');
  return RAND_bytes(reinterpret_cast<unsigned char*>(bytes->data()), static_cast<int>(count)) == 1;
}

struct LoopbackListener::Sockets {
  int listener = -1;
  int peer = -1;
};

LoopbackListener::LoopbackListener() : sockets_(std::make_unique<Sockets>()) {}

LoopbackListener::~LoopbackListener() { close(); }

void LoopbackListener::close() {
  for (int* fd : {&sockets_->peer, &sockets_->listener}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

bool LoopbackListener::open(std::string* err) {
  close();
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *err = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  sockets_->listener = fd;
  port_ = ntohs(address.sin_port);
  return true;
}

bool LoopbackListener::takeRequest(Clock::time_point deadline, int readMs, size_t maxBytes,
                                   std::string* head, std::string* err) {
  for (;;) {
    if (!ready(sockets_->listener, POLLIN, msUntil(deadline))) {
      *err = "no answer from the browser in time";
      return false;
    }
    int peer = ::accept4(sockets_->listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
      *err = std::string("cannot take the browser's request: ") + std::strerror(errno);
      return false;
    }
    head->clear();
    char chunk[4096];
    while (head->find("\r\n\r\n") == std::string::npos && head->size() < maxBytes &&
           ready(peer, POLLIN, std::min<long long>(readMs, msUntil(deadline)))) {
      ssize_t n = ::recv(peer, chunk, std::min(sizeof chunk, maxBytes - head->size()), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      head->append(chunk, static_cast<size_t>(n));
    }
    if (!head->empty()) {
      sockets_->peer = peer;
      return true;
    }
    ::close(peer);  // a connection that sent nothing, such as a browser's spare one
  }
}

void LoopbackListener::answer(std::string_view bytes, int readMs) {
  int peer = sockets_->peer;
  while (peer >= 0 && !bytes.empty() && ready(peer, POLLOUT, readMs)) {
    ssize_t n = ::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  if (peer >= 0) ::shutdown(peer, SHUT_WR);
  close();
}

}  // namespace mboxtool
