// The connection's transport on Windows: Winsock, and Schannel for TLS.
//
// Schannel is told to leave the certificate alone (manual validation); the
// handshake is followed by our own check of the chain against the Windows
// store and of the host name, before a byte of the session goes out.
// TLS 1.3 comes with the credentials form of Windows 10 1809 and later;
// older systems (and wine) get TLS 1.2 from the form before it.
#include "mboxtool/connection.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>
#define SCHANNEL_USE_BLACKLISTS  // declares SCH_CREDENTIALS, which needs UNICODE_STRING
#include <subauth.h>
#include <schannel.h>
// clang-format on

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/windows/win32.h"

namespace mboxtool {

namespace {

constexpr size_t RawChunk = 64 * 1024;

enum class Wait { Ready, Timeout, Error };

// Waits up to budgetMs until s can be read (or written); a failed connect
// shows in the exception set, which also counts as ready.
Wait waitFor(SOCKET s, bool forWrite, int budgetMs) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval tv = {budgetMs / 1000, (budgetMs % 1000) * 1000};
  int n = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
  if (n > 0) return Wait::Ready;
  return n == 0 ? Wait::Timeout : Wait::Error;
}

// The system's text for an error code, with the code.
std::string errorText(unsigned long code) {
  char text[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && std::strchr("\r\n .", text[n - 1])) --n;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lx", code);
  return n ? std::string(text, n) + " (" + hex + ")" : std::string(hex);
}

// mingw-w64 (10 and later) declares SCH_CREDENTIALS and TLS_PARAMETERS as the
// Windows SDK's schannel.h does; Schannel reads them by this layout.
static_assert(SCH_CREDENTIALS_VERSION == 5);
static_assert(offsetof(SCH_CREDENTIALS, dwFlags) == 52 &&
              offsetof(SCH_CREDENTIALS, pTlsParameters) == 64 && sizeof(SCH_CREDENTIALS) == 72);
static_assert(offsetof(TLS_PARAMETERS, grbitDisabledProtocols) == 16 &&
              sizeof(TLS_PARAMETERS) == 40);

// Outbound credentials for TLS 1.2 and 1.3 with the certificate left to
// checkCertificate. SCH_CREDENTIALS names the protocols left out; where the
// system refuses that form (before Windows 10 1809), SCHANNEL_CRED asks for
// TLS 1.2 alone, which such systems top out at.
SECURITY_STATUS acquireCredentials(CredHandle* credentials) {
  const DWORD flags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  auto acquire = [&](void* settings) {
    return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                     SECPKG_CRED_OUTBOUND, nullptr, settings, nullptr, nullptr,
                                     credentials, nullptr);
  };
  TLS_PARAMETERS protocols = {};
  protocols.grbitDisabledProtocols = ~DWORD{SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT};
  SCH_CREDENTIALS settings = {};
  settings.dwVersion = SCH_CREDENTIALS_VERSION;
  settings.dwFlags = flags;
  settings.cTlsParameters = 1;
  settings.pTlsParameters = &protocols;
  if (acquire(&settings) == SEC_E_OK) return SEC_E_OK;
  SCHANNEL_CRED older = {};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = flags;
  return acquire(&older);
}

bool startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// Checks the server's certificate: a chain for server use up to a root the
// Windows store trusts, and the host name; "" when it passes, else why not.
std::string checkCertificate(CtxtHandle* context, std::wstring& host) {
  PCCERT_CONTEXT cert = nullptr;
  if (QueryContextAttributesW(context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK) {
    return "the server sent no certificate";
  }
  LPSTR serverUse[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA chainPara = {};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverUse;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  std::string why;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &chainPara, 0, nullptr,
                               &chain)) {
    why = errorText(GetLastError());
  } else {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = host.data();
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      why = errorText(GetLastError());
    } else if (status.dwError != 0) {
      why = errorText(status.dwError);
    }
    CertFreeCertificateChain(chain);
  }
  CertFreeCertificateContext(cert);
  return why;
}

}  // namespace

struct Connection::Transport {
  SOCKET socket = INVALID_SOCKET;
  CredHandle credentials = {};
  CtxtHandle context = {};
  bool haveCredentials = false;
  bool haveContext = false;
  bool tls = false;
  SecPkgContext_StreamSizes sizes = {};
  std::string raw;    // TLS records received, not yet decrypted
  std::string plain;  // decrypted bytes not yet handed out
  size_t plainPos = 0;
  std::wstring host;  // the name the certificate must carry

  bool sendRaw(const Connection& c, std::string_view data, std::string* err) {
    while (!data.empty()) {
      int chunk = static_cast<int>(std::min<size_t>(data.size(), 1 << 20));
      int n = ::send(socket, data.data(), chunk, 0);
      if (n > 0) {
        data.remove_prefix(static_cast<size_t>(n));
        continue;
      }
      int e = WSAGetLastError();
      if (e != WSAEWOULDBLOCK) {
        *err = "write failed: " + errorText(e);
        return false;
      }
      if (waitFor(socket, true, c.waitBudgetMs(c.timeouts_.readMs)) != Wait::Ready) {
        *err = "write timed out";
        return false;
      }
    }
    return true;
  }

  ReadStatus receiveRaw(const Connection& c, char* into, size_t room, size_t* got,
                        std::string* err) {
    if (socket == INVALID_SOCKET) {
      *err = "not connected";
      return ReadStatus::Error;
    }
    for (;;) {
      int n = ::recv(socket, into, static_cast<int>(std::min<size_t>(room, RawChunk)), 0);
      if (n > 0) {
        *got = static_cast<size_t>(n);
        return ReadStatus::Line;
      }
      if (n == 0) return ReadStatus::Closed;
      int e = WSAGetLastError();
      if (e == WSAECONNRESET || e == WSAECONNABORTED) return ReadStatus::Closed;
      if (e != WSAEWOULDBLOCK) {
        *err = "read failed: " + errorText(e);
        return ReadStatus::Error;
      }
      Wait w = waitFor(socket, false, c.waitBudgetMs(c.timeouts_.readMs));
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

  // Appends received bytes to raw.
  ReadStatus receiveRecords(const Connection& c, std::string* err) {
    size_t old = raw.size(), got = 0;
    raw.resize(old + RawChunk);
    ReadStatus s = receiveRaw(c, raw.data() + old, RawChunk, &got, err);
    raw.resize(old + got);
    return s;
  }

  // Runs InitializeSecurityContext until Schannel is done: the handshake from
  // its first message, or a TLS 1.3 message after it (a session ticket, a key
  // update) whose bytes wait in raw. Bytes beyond it stay in raw.
  bool handshake(const Connection& c, std::string* err) {
    const ULONG wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                         ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                         ISC_REQ_MANUAL_CRED_VALIDATION;
    for (;;) {
      SecBuffer inBuffers[2] = {{static_cast<ULONG>(raw.size()), SECBUFFER_TOKEN, raw.data()},
                                {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, inBuffers};
      SecBuffer outBuffer = {0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &outBuffer};
      ULONG got = 0;
      bool first = !haveContext;
      SECURITY_STATUS ss = InitializeSecurityContextW(
          &credentials, first ? nullptr : &context, host.data(), wanted, 0, 0,
          first ? nullptr : &inDesc, 0, &context, &outDesc, &got, nullptr);
      if (first && !FAILED(ss)) haveContext = true;
      if (outBuffer.pvBuffer) {
        bool sent = sendRaw(
            c, std::string_view(static_cast<char*>(outBuffer.pvBuffer), outBuffer.cbBuffer), err);
        FreeContextBuffer(outBuffer.pvBuffer);
        if (!sent) return false;
      }
      if (ss == SEC_E_OK || ss == SEC_I_CONTINUE_NEEDED) {
        // Bytes beyond this handshake message stay for the next step, or the session.
        if (!first && inBuffers[1].BufferType == SECBUFFER_EXTRA) {
          raw.erase(0, raw.size() - inBuffers[1].cbBuffer);
        } else if (!first) {
          raw.clear();
        }
        if (ss == SEC_E_OK) return true;
        if (!raw.empty()) continue;
      } else if (ss != SEC_E_INCOMPLETE_MESSAGE) {
        *err = "TLS handshake failed: " + errorText(static_cast<unsigned long>(ss));
        return false;
      }
      std::string readErr;
      ReadStatus s = receiveRecords(c, &readErr);
      if (s != ReadStatus::Line) {
        *err = s == ReadStatus::Timeout
                   ? "TLS handshake timed out"
                   : "TLS handshake failed: " + (readErr.empty() ? std::string("closed") : readErr);
        return false;
      }
    }
  }

  // The protocol the handshake agreed on (SP_PROT_*_CLIENT), 0 when unknown.
  DWORD protocol() {
    SecPkgContext_ConnectionInfo info = {};
    return QueryContextAttributesW(&context, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK
               ? info.dwProtocol
               : 0;
  }
};

Connection::Connection() : transport_(std::make_unique<Transport>()) {}

Connection::~Connection() { close(); }

bool Connection::isTls() const { return transport_->tls; }

void Connection::close() {
  Transport& t = *transport_;
  buffer_.clear();
  readPos_ = scanPos_ = 0;
  if (t.haveContext) DeleteSecurityContext(&t.context);
  if (t.haveCredentials) FreeCredentialsHandle(&t.credentials);
  if (t.socket != INVALID_SOCKET) closesocket(t.socket);
  t = Transport();
}

bool Connection::connectTo(const std::string& host, int port, std::string* err) {
  if (!startWinsock()) {
    *err = "cannot start Winsock";
    return false;
  }
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) {
    *err = "cannot resolve host: " + errorText(rc);
    return false;
  }
  *err = "cannot connect";
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    SOCKET s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s == INVALID_SOCKET) continue;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    bool ok = false;
    if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) {
      ok = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
      Wait w = waitFor(s, true, waitBudgetMs(timeouts_.connectMs));
      if (w == Wait::Ready) {
        int soErr = 0;
        int len = sizeof soErr;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len);
        ok = soErr == 0;
        if (!ok) *err = "cannot connect: " + errorText(soErr);
      } else if (w == Wait::Timeout) {
        *err = "connect timed out";
      }
    } else {
      *err = "cannot connect: " + errorText(WSAGetLastError());
    }
    if (ok) {
      transport_->socket = s;
      freeaddrinfo(list);
      return true;
    }
    closesocket(s);
  }
  freeaddrinfo(list);
  return false;
}

bool Connection::startTls(const std::string& host, std::string* err) {
  Transport& t = *transport_;
  SECURITY_STATUS ss = acquireCredentials(&t.credentials);
  if (ss != SEC_E_OK) {
    *err = "TLS setup failed: " + errorText(static_cast<unsigned long>(ss));
    return false;
  }
  t.haveCredentials = true;
  t.host = platform::widen(host);
  if (!t.handshake(*this, err)) return false;
  // Wine takes SCH_CREDENTIALS but not the protocols it leaves out.
  if (!(t.protocol() & (SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT))) {
    *err = "TLS version not accepted: the server speaks neither TLS 1.2 nor 1.3";
    return false;
  }
  std::string why = checkCertificate(&t.context, t.host);
  if (!why.empty()) {
    *err = "TLS certificate not accepted: " + why;
    return false;
  }
  ss = QueryContextAttributesW(&t.context, SECPKG_ATTR_STREAM_SIZES, &t.sizes);
  if (ss != SEC_E_OK) {
    *err = "TLS setup failed: " + errorText(static_cast<unsigned long>(ss));
    return false;
  }
  t.tls = true;
  return true;
}

bool Connection::sendAll(std::string_view data, std::string* err) {
  Transport& t = *transport_;
  if (!t.tls) return t.sendRaw(*this, data, err);
  const SecPkgContext_StreamSizes& z = t.sizes;
  while (!data.empty()) {
    size_t n = std::min<size_t>(data.size(), z.cbMaximumMessage);
    std::string record(z.cbHeader + n + z.cbTrailer, '\0');
    std::memcpy(record.data() + z.cbHeader, data.data(), n);
    SecBuffer parts[4] = {{z.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                          {static_cast<ULONG>(n), SECBUFFER_DATA, record.data() + z.cbHeader},
                          {z.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + z.cbHeader + n},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, parts};
    // Encrypted in place: no plain copy of the bytes (a password) is left.
    SECURITY_STATUS ss = EncryptMessage(&t.context, 0, &desc, 0);
    if (ss != SEC_E_OK) {
      *err = "TLS write failed: " + errorText(static_cast<unsigned long>(ss));
      return false;
    }
    size_t length = parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer;
    if (!t.sendRaw(*this, std::string_view(record.data(), length), err)) return false;
    data.remove_prefix(n);
  }
  return true;
}

ReadStatus Connection::receive(char* into, size_t room, size_t* got, std::string* err) {
  Transport& t = *transport_;
  if (!t.tls) return t.receiveRaw(*this, into, room, got, err);
  for (;;) {
    if (t.plainPos < t.plain.size()) {
      *got = std::min(room, t.plain.size() - t.plainPos);
      std::memcpy(into, t.plain.data() + t.plainPos, *got);
      t.plainPos += *got;
      return ReadStatus::Line;
    }
    if (!t.raw.empty()) {
      SecBuffer parts[4] = {{static_cast<ULONG>(t.raw.size()), SECBUFFER_DATA, t.raw.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, parts};
      SECURITY_STATUS ss = DecryptMessage(&t.context, &desc, 0, nullptr);
      if (ss == SEC_E_OK) {
        // Decrypted in place: take the plain part and what follows the record.
        std::string plain, rest;
        for (const SecBuffer& p : parts) {
          if (p.BufferType == SECBUFFER_DATA)
            plain.assign(static_cast<char*>(p.pvBuffer), p.cbBuffer);
          if (p.BufferType == SECBUFFER_EXTRA) rest.assign(t.raw.end() - p.cbBuffer, t.raw.end());
        }
        t.plain = std::move(plain);
        t.plainPos = 0;
        t.raw = std::move(rest);
        continue;
      }
      if (ss == SEC_I_CONTEXT_EXPIRED) return ReadStatus::Closed;  // the server ended TLS
      // TLS 1.3 speaks after the handshake too; a renegotiation of TLS 1.2
      // could bring another certificate and is refused.
      if (ss == SEC_I_RENEGOTIATE && (t.protocol() & SP_PROT_TLS1_3_CLIENT)) {
        // The message Schannel must take is the rest of the record stream.
        std::string rest;
        for (const SecBuffer& p : parts) {
          if (p.BufferType == SECBUFFER_EXTRA) rest.assign(t.raw.end() - p.cbBuffer, t.raw.end());
        }
        t.raw = std::move(rest);
        if (!t.handshake(*this, err)) return ReadStatus::Error;
        continue;
      }
      if (ss != SEC_E_INCOMPLETE_MESSAGE) {
        *err = ss == SEC_I_RENEGOTIATE
                   ? std::string("TLS renegotiation is not supported")
                   : "TLS read failed: " + errorText(static_cast<unsigned long>(ss));
        return ReadStatus::Error;
      }
    }
    ReadStatus s = t.receiveRecords(*this, err);
    if (s != ReadStatus::Line) return s;
  }
}

}  // namespace mboxtool
