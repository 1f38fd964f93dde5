// The tool's HTTPS requests to an authorization server: one form POST, its
// answer read whole. One implementation per system, chosen by the build:
// platform/posix/https.cc (libcurl) and platform/windows/https.cc (WinHTTP).
// Linked into the tool only; Mailvak itself never talks to the network.
//
// The same contract on both: only an address acceptableEndpoint() takes
// (https, or plain http to this machine), the server's certificate verified,
// no redirect followed, an answer larger than maxAnswerBytes refused rather
// than cut, and every wait bounded by the caller's limits.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

struct HttpsLimits {
  int connectMs = 15000;                 // name lookup and connection (and the TLS handshake)
  int readMs = 30000;                    // the answer, once connected
  long long totalMs = 30LL * 60 * 1000;  // the whole request, whatever the two above
  size_t maxAnswerBytes = 1u << 20;
};

struct HttpsAnswer {
  int status = 0;  // the HTTP status code
  std::string body;
};

/// POSTs body as application/x-www-form-urlencoded to url and reads the
/// answer, whatever its status. False with *err when url is not acceptable
/// (nothing is sent then), the server cannot be reached or is not trusted,
/// a limit runs out, or the answer is too large. *err never holds the body
/// sent or received.
bool postForm(const std::string& url, const std::string& body, const HttpsLimits& limits,
              HttpsAnswer* answer, std::string* err);

}  // namespace platform
