// HTTPS requests with libcurl: peer and host verified against the system
// store (SSL_CERT_FILE honoured, as the tool's POP3 connection does), no
// redirect followed, no protocol but https (and http where the address is
// plain http to this machine).
#include "platform/https.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/oauth2_providers.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct Transfer {
  CURL* curl;
  std::string* body;
  size_t cap;
  int readMs;
  bool tooLarge = false;
  Clock::time_point lastByte = Clock::now();
  curl_off_t seen = 0;  // bytes moved either way, as libcurl last counted them
  bool stalled = false;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  size_t n = size * count;
  if (n > t->cap - t->body->size()) {
    t->tooLarge = true;
    return 0;  // libcurl ends the transfer
  }
  t->body->append(data, n);
  return n;
}

// Ends a transfer in which no byte has moved for the read timeout since the
// connection stood (the connect timeout covers the time before); libcurl
// calls it at least once a second while nothing happens.
int watch(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  Transfer* t = static_cast<Transfer*>(user);
  auto now = Clock::now();
  curl_off_t connected = 0;
  curl_easy_getinfo(t->curl, CURLINFO_CONNECT_TIME_T, &connected);
  if (connected == 0 || down + up != t->seen) {
    t->seen = down + up;
    t->lastByte = now;
  }
  t->stalled = now - t->lastByte >= std::chrono::milliseconds(t->readMs);
  return t->stalled ? 1 : 0;
}

bool plainHttp(const std::string& url) {
  return url.size() >= 7 && (url[0] | 0x20) == 'h' && (url[1] | 0x20) == 't' &&
         (url[2] | 0x20) == 't' && (url[3] | 0x20) == 'p' && url.compare(4, 3, "://") == 0;
}

}  // namespace

bool postForm(const std::string& url, const std::string& body, const HttpsLimits& limits,
              HttpsAnswer* answer, std::string* err) {
  *answer = HttpsAnswer();
  if (!acceptableEndpoint(url)) {
    *err = "address refused: https only, or http to this machine";
    return false;
  }
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  std::unique_ptr<CURL, void (*)(CURL*)> curl(ready ? curl_easy_init() : nullptr,
                                              curl_easy_cleanup);
  if (!curl) {
    *err = "HTTPS setup failed";
    return false;
  }
  CURL* c = curl.get();
  Transfer transfer{c, &answer->body, limits.maxAnswerBytes, limits.readMs};
  struct curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);
  char reason[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, plainHttp(url) ? "http" : "https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* ca = std::getenv("SSL_CERT_FILE"); ca && *ca) {
    curl_easy_setopt(c, CURLOPT_CAINFO, ca);
  }
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectMs));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalMs));
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, watch);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxAnswerBytes));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, reason);
  CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    answer->body.clear();
    if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
      *err = "answer too large";
    } else if (transfer.stalled) {
      *err = "server did not answer in time";
    } else {
      *err = *reason ? reason : curl_easy_strerror(rc);
    }
    return false;
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  answer->status = static_cast<int>(status);
  return true;
}

}  // namespace platform
