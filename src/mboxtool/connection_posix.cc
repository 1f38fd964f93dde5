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

enum class Wait { Ready, Timeout, Error };

// Waits up to budgetMs for events on fd.
Wait waitFor(int fd, short events, int budgetMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now())
                    .count();
    if (left < 0) left = 0;
    struct pollfd p = {fd, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(left));
    if (n > 0) return Wait::Ready;
    if (n == 0) return Wait::Timeout;
    if (errno != EINTR) return Wait::Error;
  }
}

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

struct Connection::Transport {
  int fd = -1;
  SSL_CTX* ctx = nullptr;
  SSL* ssl = nullptr;
};

Connection::Connection() : transport_(std::make_unique<Transport>()) {}

Connection::~Connection() { close(); }

bool Connection::isTls() const { return transport_->ssl != nullptr; }

void Connection::close() {
  Transport& t = *transport_;
  buffer_.clear();
  readPos_ = scanPos_ = 0;
  if (t.ssl) {
    SSL_free(t.ssl);
    t.ssl = nullptr;
  }
  if (t.ctx) {
    SSL_CTX_free(t.ctx);
    t.ctx = nullptr;
  }
  if (t.fd >= 0) {
    ::close(t.fd);
    t.fd = -1;
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
    transport_->fd = fd;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool ok = false;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      Wait w = waitFor(fd, POLLOUT, waitBudgetMs(timeouts_.connectMs));
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
    transport_->fd = -1;
  }
  freeaddrinfo(list);
  return false;
}

bool Connection::startTls(const std::string& host, std::string* err) {
  Transport& t = *transport_;
  t.ctx = SSL_CTX_new(TLS_client_method());
  if (!t.ctx) {
    *err = openSslError("TLS setup failed");
    return false;
  }
  SSL_CTX_set_min_proto_version(t.ctx, TLS1_2_VERSION);
  // Honours SSL_CERT_FILE and SSL_CERT_DIR, else the system store.
  SSL_CTX_set_default_verify_paths(t.ctx);
  SSL_CTX_set_verify(t.ctx, SSL_VERIFY_PEER, nullptr);
  t.ssl = SSL_new(t.ctx);
  if (!t.ssl) {
    *err = openSslError("TLS setup failed");
    return false;
  }
  if (isIpLiteral(host)) {
    X509_VERIFY_PARAM* param = SSL_get0_param(t.ssl);
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    SSL_set_tlsext_host_name(t.ssl, host.c_str());
    SSL_set_hostflags(t.ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(t.ssl, host.c_str());
  }
  SSL_set_fd(t.ssl, t.fd);
  for (;;) {
    int rc = SSL_connect(t.ssl);
    if (rc == 1) break;
    int e = SSL_get_error(t.ssl, rc);
    Wait w;
    if (e == SSL_ERROR_WANT_READ) {
      w = waitFor(t.fd, POLLIN, waitBudgetMs(timeouts_.readMs));
    } else if (e == SSL_ERROR_WANT_WRITE) {
      w = waitFor(t.fd, POLLOUT, waitBudgetMs(timeouts_.readMs));
    } else {
      long verify = SSL_get_verify_result(t.ssl);
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
  if (SSL_get_verify_result(t.ssl) != X509_V_OK) {
    *err = "TLS certificate not accepted";
    return false;
  }
  return true;
}

bool Connection::sendAll(std::string_view data, std::string* err) {
  Transport& t = *transport_;
  while (!data.empty()) {
    ssize_t n;
    bool wantRead = false;
    if (t.ssl) {
      n = SSL_write(t.ssl, data.data(), static_cast<int>(data.size()));
      if (n <= 0) {
        int e = SSL_get_error(t.ssl, static_cast<int>(n));
        if (e == SSL_ERROR_WANT_READ) {
          wantRead = true;
        } else if (e != SSL_ERROR_WANT_WRITE) {
          *err = openSslError("TLS write failed");
          return false;
        }
        n = 0;
      }
    } else {
      n = ::send(t.fd, data.data(), data.size(), MSG_NOSIGNAL);
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
    if (waitFor(t.fd, wantRead ? POLLIN : POLLOUT, waitBudgetMs(timeouts_.readMs)) != Wait::Ready) {
      *err = "write timed out";
      return false;
    }
  }
  return true;
}

ReadStatus Connection::receive(char* into, size_t room, size_t* got, std::string* err) {
  Transport& t = *transport_;
  if (t.fd < 0) {
    *err = "not connected";
    return ReadStatus::Error;
  }
  for (;;) {
    ssize_t n;
    bool wantWrite = false;
    if (t.ssl) {
      n = SSL_read(t.ssl, into, static_cast<int>(room));
      if (n <= 0) {
        int e = SSL_get_error(t.ssl, static_cast<int>(n));
        if (e == SSL_ERROR_ZERO_RETURN) return ReadStatus::Closed;
        if (e == SSL_ERROR_WANT_WRITE) {
          wantWrite = true;
        } else if (e != SSL_ERROR_WANT_READ) {
          if (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
            return ReadStatus::Closed;  // the peer dropped the connection
          }
          *err = openSslError("TLS read failed");
          return ReadStatus::Error;
        }
        n = -1;
      }
    } else {
      n = ::recv(t.fd, into, room, 0);
      if (n == 0) return ReadStatus::Closed;
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
          if (errno == ECONNRESET) return ReadStatus::Closed;
          *err = std::string("read failed: ") + std::strerror(errno);
          return ReadStatus::Error;
        }
      }
    }
    if (n > 0) {
      *got = static_cast<size_t>(n);
      return ReadStatus::Line;
    }
    Wait w = waitFor(t.fd, wantWrite ? POLLOUT : POLLIN, waitBudgetMs(timeouts_.readMs));
    if (w == Wait::Timeout) {
      *err = "server did not answer in time";
      return ReadStatus::Timeout;
    }
    if (w == Wait::Error) {
      *err = "wait failed";
      return ReadStatus::Error;
    }
  }
}

}  // namespace mboxtool
