#include "mboxtool/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mboxtool {

namespace {

constexpr size_t ReadChunk = 64 * 1024;

std::string openSslError(const char* what) {
  std::string text = what;
  unsigned long code = ERR_get_error();
  if (code != 0) {
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    text += ": ";
    text += buf;
  }
  ERR_clear_error();
  return text;
}

bool isIpLiteral(const std::string& host) {
  unsigned char buf[sizeof(struct in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

Connection::~Connection() { close(); }

void Connection::close() {
  if (ssl_) {
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (ctx_) {
    SSL_CTX_free(ctx_);
    ctx_ = nullptr;
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void Connection::start(const Timeouts& timeouts) {
  timeouts_ = timeouts;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeouts.totalMs);
}

int Connection::waitBudgetMs(int timeoutMs) const {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline_ - std::chrono::steady_clock::now())
                  .count();
  if (left < 0) left = 0;
  return static_cast<int>(std::min<long long>(left, timeoutMs));
}

Connection::Wait Connection::waitFor(short events, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitBudgetMs(timeoutMs));
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now())
                    .count();
    if (left < 0) left = 0;
    struct pollfd p = {fd_, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(left));
    if (n > 0) return Wait::Ready;
    if (n == 0) return Wait::Timeout;
    if (errno != EINTR) return Wait::Error;
  }
}

bool Connection::connectTo(const std::string& host, int port, std::string* err) {
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    *err = std::string("cannot resolve host: ") + gai_strerror(rc);
    return false;
  }
  *err = "cannot connect";
  for (struct addrinfo* ai = list; ai; ai = ai->ai_next) {
    int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    fd_ = fd;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool ok = false;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      Wait w = waitFor(POLLOUT, timeouts_.connectMs);
      if (w == Wait::Ready) {
        int soErr = 0;
        socklen_t len = sizeof soErr;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len);
        ok = soErr == 0;
        if (!ok) *err = std::string("cannot connect: ") + std::strerror(soErr);
      } else if (w == Wait::Timeout) {
        *err = "connect timed out";
      }
    } else {
      *err = std::string("cannot connect: ") + std::strerror(errno);
    }
    if (ok) {
      freeaddrinfo(list);
      return true;
    }
    ::close(fd);
    fd_ = -1;
  }
  freeaddrinfo(list);
  return false;
}

bool Connection::startTls(const std::string& host, std::string* err) {
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (!ctx_) {
    *err = openSslError("TLS setup failed");
    return false;
  }
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  // Honours SSL_CERT_FILE and SSL_CERT_DIR, else the system store.
  SSL_CTX_set_default_verify_paths(ctx_);
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  ssl_ = SSL_new(ctx_);
  if (!ssl_) {
    *err = openSslError("TLS setup failed");
    return false;
  }
  if (isIpLiteral(host)) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, host.c_str());
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl_, host.c_str());
  }
  SSL_set_fd(ssl_, fd_);
  for (;;) {
    int rc = SSL_connect(ssl_);
    if (rc == 1) break;
    int e = SSL_get_error(ssl_, rc);
    Wait w;
    if (e == SSL_ERROR_WANT_READ) {
      w = waitFor(POLLIN, timeouts_.readMs);
    } else if (e == SSL_ERROR_WANT_WRITE) {
      w = waitFor(POLLOUT, timeouts_.readMs);
    } else {
      long verify = SSL_get_verify_result(ssl_);
      if (verify != X509_V_OK) {
        *err =
            std::string("TLS certificate not accepted: ") + X509_verify_cert_error_string(verify);
        ERR_clear_error();
      } else {
        *err = openSslError("TLS handshake failed");
      }
      return false;
    }
    if (w != Wait::Ready) {
      *err = "TLS handshake timed out";
      return false;
    }
  }
  if (SSL_get_verify_result(ssl_) != X509_V_OK) {
    *err = "TLS certificate not accepted";
    return false;
  }
  return true;
}

bool Connection::sendAll(std::string_view data, std::string* err) {
  while (!data.empty()) {
    ssize_t n;
    bool wantRead = false;
    if (ssl_) {
      n = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
      if (n <= 0) {
        int e = SSL_get_error(ssl_, static_cast<int>(n));
        if (e == SSL_ERROR_WANT_READ) {
          wantRead = true;
        } else if (e != SSL_ERROR_WANT_WRITE) {
          *err = openSslError("TLS write failed");
          return false;
        }
        n = 0;
      }
    } else {
      n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
          *err = std::string("write failed: ") + std::strerror(errno);
          return false;
        }
        n = 0;
      }
    }
    if (n > 0) {
      data.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (waitFor(wantRead ? POLLIN : POLLOUT, timeouts_.readMs) != Wait::Ready) {
      *err = "write timed out";
      return false;
    }
  }
  return true;
}

ReadStatus Connection::fill(std::string* err) {
  // Drop what was read before so the buffer does not grow with the reply.
  if (readPos_ > 0) {
    buffer_.erase(0, readPos_);
    scanPos_ -= std::min(scanPos_, readPos_);
    readPos_ = 0;
  }
  size_t old = buffer_.size();
  buffer_.resize(old + ReadChunk);
  for (;;) {
    ssize_t n;
    bool wantWrite = false;
    if (ssl_) {
      n = SSL_read(ssl_, buffer_.data() + old, static_cast<int>(ReadChunk));
      if (n <= 0) {
        int e = SSL_get_error(ssl_, static_cast<int>(n));
        if (e == SSL_ERROR_ZERO_RETURN) {
          buffer_.resize(old);
          return ReadStatus::Closed;
        }
        if (e == SSL_ERROR_WANT_WRITE) {
          wantWrite = true;
        } else if (e != SSL_ERROR_WANT_READ) {
          buffer_.resize(old);
          if (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
            return ReadStatus::Closed;  // the peer dropped the connection
          }
          *err = openSslError("TLS read failed");
          return ReadStatus::Error;
        }
        n = -1;
      }
    } else {
      n = ::recv(fd_, buffer_.data() + old, ReadChunk, 0);
      if (n == 0) {
        buffer_.resize(old);
        return ReadStatus::Closed;
      }
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
          buffer_.resize(old);
          if (errno == ECONNRESET) return ReadStatus::Closed;
          *err = std::string("read failed: ") + std::strerror(errno);
          return ReadStatus::Error;
        }
      }
    }
    if (n > 0) {
      buffer_.resize(old + static_cast<size_t>(n));
      return ReadStatus::Line;
    }
    Wait w = waitFor(wantWrite ? POLLOUT : POLLIN, timeouts_.readMs);
    if (w == Wait::Timeout) {
      buffer_.resize(old);
      *err = "server did not answer in time";
      return ReadStatus::Timeout;
    }
    if (w == Wait::Error) {
      buffer_.resize(old);
      *err = "wait failed";
      return ReadStatus::Error;
    }
  }
}

ReadStatus Connection::readLine(std::string* line, size_t keep, size_t maxBytes, std::string* err) {
  if (fd_ < 0) {
    *err = "not connected";
    return ReadStatus::Error;
  }
  bool cut = false;    // *line holds the kept part; the rest is being dropped
  size_t dropped = 0;  // bytes of this line already dropped from the buffer
  for (;;) {
    size_t from = std::max(scanPos_, readPos_);
    size_t nl = buffer_.find('\n', from);
    if (nl != std::string::npos) {
      if (!cut) {
        size_t end = nl;
        if (end > readPos_ && buffer_[end - 1] == '\r') --end;
        line->assign(buffer_, readPos_, std::min(end - readPos_, keep));
      }
      lastLineBytes_ = dropped + nl + 1 - readPos_;
      readPos_ = nl + 1;
      scanPos_ = readPos_;
      return ReadStatus::Line;
    }
    scanPos_ = buffer_.size();
    size_t pending = buffer_.size() - readPos_;
    if (dropped + pending > maxBytes) {
      *err = "reply line too long";
      return ReadStatus::TooLong;
    }
    if (!cut && pending > keep) {
      line->assign(buffer_, readPos_, keep);
      cut = true;
    }
    if (cut) {
      dropped += pending;
      readPos_ = scanPos_;
    }
    ReadStatus s = fill(err);
    if (s == ReadStatus::Closed) *err = "server closed the connection";
    if (s != ReadStatus::Line) return s;
  }
}

}  // namespace mboxtool
