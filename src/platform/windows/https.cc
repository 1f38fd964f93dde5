// HTTPS requests with WinHTTP: the certificate checked against the Windows
// store with the host name (WinHTTP's own check, never switched off), no
// redirect followed, plain http only where the address allows it.
#include "platform/https.h"

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/oauth2_providers.h"
#include "platform/windows/win32.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct HandleCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string failure(const char* what) {
  DWORD code = GetLastError();
  if (code == ERROR_WINHTTP_TIMEOUT) return "server did not answer in time";
  if (code == ERROR_WINHTTP_SECURE_FAILURE) return "TLS certificate not accepted";
  return std::string(what) + " failed (" + std::to_string(code) + ")";
}

int clampMs(long long ms) { return static_cast<int>(std::clamp(ms, 1LL, 1LL << 30)); }

}  // namespace

bool postForm(const std::string& url, const std::string& body, const HttpsLimits& limits,
              HttpsAnswer* answer, std::string* err) {
  *answer = HttpsAnswer();
  if (!acceptableEndpoint(url)) {
    *err = "address refused: https only, or http to this machine";
    return false;
  }
  std::wstring wide = widen(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
  if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) {
    *err = "address not understood";
    return false;
  }
  bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";
  auto deadline = Clock::now() + std::chrono::milliseconds(limits.totalMs);
  auto left = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  };
  Handle session(WinHttpOpen(L"mboxtool", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    *err = failure("HTTPS setup");
    return false;
  }
  int connectMs = clampMs(std::min<long long>(limits.connectMs, left()));
  int readMs = clampMs(std::min<long long>(limits.readMs, left()));
  WinHttpSetTimeouts(session.get(), connectMs, connectMs, readMs, readMs);
  Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  Handle request(connection ? WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                 secure ? WINHTTP_FLAG_SECURE : 0)
                            : nullptr);
  if (!request) {
    *err = failure("HTTPS setup");
    return false;
  }
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
  const wchar_t headers[] =
      L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
  if (!WinHttpSendRequest(request.get(), headers, DWORD(-1), const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    *err = failure("request");
    return false;
  }
  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    *err = failure("answer");
    return false;
  }
  char chunk[16 * 1024];
  for (;;) {
    if (left() <= 0) {
      *err = "server did not answer in time";
      answer->body.clear();
      return false;
    }
    DWORD got = 0;
    if (!WinHttpReadData(request.get(), chunk, sizeof chunk, &got)) {
      *err = failure("answer");
      answer->body.clear();
      return false;
    }
    if (got == 0) break;
    if (got > limits.maxAnswerBytes - answer->body.size()) {
      *err = "answer too large";
      answer->body.clear();
      return false;
    }
    answer->body.append(chunk, got);
  }
  answer->status = static_cast<int>(status);
  return true;
}

}  // namespace platform
