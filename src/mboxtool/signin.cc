#include "mboxtool/signin.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "mboxtool/digest.h"
#include "mboxtool/loopback.h"
#include "mboxtool/oauth2.h"
#include "platform/oauth2_providers.h"
#include "platform/tool_os.h"

namespace mboxtool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char DeviceGrant[] = "urn:ietf:params:oauth:grant-type:device_code";

// The browser's request head: more is no redirect of an authorization server.
constexpr size_t MaxRequestHead = 16 * 1024;

// The longest polling interval a server may ask for.
constexpr long long MaxInterval = 300;

// How the run ends short of a token: the response code and why.
struct Ending {
  const char* code = "FAILED";
  std::string why;
};

// The HTTPS limits of one request, its whole ending by deadline at the latest.
platform::HttpsLimits limitsUntil(const Options& options, Clock::time_point deadline) {
  platform::HttpsLimits limits = httpsLimits(options);
  limits.totalMs = std::clamp(msUntil(deadline), 1LL, limits.totalMs);
  return limits;
}

// A token reply that ended a flow, as the run's ending.
Ending refusal(const TokenReply& reply) {
  if (reply.outcome != TokenReply::Refused) return {"FAILED", reply.error};
  if (reply.error == "access_denied") return {"DENIED", "the user declined"};
  if (reply.error == "expired_token") return {"EXPIRED", "the sign-in expired"};
  return {"FAILED", "token endpoint refused (" + reply.error + ")"};
}

class SignInRun {
 public:
  SignInRun(const SignInRequest& request, const Options& options,
            const platform::OAuth2Provider& provider)
      : request_(request),
        options_(options),
        provider_(provider),
        deadline_(Clock::now() + std::chrono::milliseconds(options.timeouts.totalMs)) {}

  // The device flow; true with *reply granted.
  bool device(TokenReply* reply, Ending* ending) {
    platform::HttpsAnswer answer;
    std::string err;
    Form form = {{"client_id", provider_.clientId}, {"scope", provider_.scope}};
    if (!platform::postForm(provider_.deviceEndpoint, formEncode(form), limits(), &answer, &err)) {
      ending->why = "device endpoint: " + err;
      return false;
    }
    DeviceCode code;
    if (!readDeviceCode(answer, &code)) {
      ending->why =
          "device endpoint gave an unusable answer (HTTP " + std::to_string(answer.status) + ")";
      return false;
    }
    if (!writeBox("device\n" + code.verificationUri + "\n" + code.userCode + "\n", ending)) {
      return false;
    }
    Clock::time_point expiry =
        std::min(deadline_, Clock::now() + std::chrono::seconds(code.expiresIn));
    long long interval = std::clamp(code.interval, 1LL, MaxInterval);
    form = {{"grant_type", DeviceGrant}, {"device_code", code.deviceCode}};
    addClient(&form);
    for (;;) {
      auto next = Clock::now() + std::chrono::seconds(interval);
      if (next >= expiry) {
        std::this_thread::sleep_until(expiry);
        *ending = {"EXPIRED", "the code expired before the user approved it"};
        return false;
      }
      std::this_thread::sleep_until(next);
      *reply = askTokenEndpoint(provider_.tokenEndpoint, form, limitsUntil(options_, expiry));
      if (reply->outcome == TokenReply::Granted) return true;
      if (reply->outcome == TokenReply::Refused && reply->error == "authorization_pending") {
        continue;
      }
      if (reply->outcome == TokenReply::Refused && reply->error == "slow_down") {
        interval = std::min(interval + 5, MaxInterval);
        continue;
      }
      *ending = refusal(*reply);
      return false;
    }
  }

  // The browser flow; true with *reply granted.
  bool browser(TokenReply* reply, Ending* ending) {
    std::string verifier, state;
    if (!secureRandom(32, &verifier) || !secureRandom(16, &state)) {
      ending->why = "no random bytes from the system";
      return false;
    }
    verifier = base64url(verifier);  // 43 characters
    state = base64url(state);
    std::array<unsigned char, 32> digest = sha256(verifier);
    std::string challenge =
        base64url(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    LoopbackListener listener;
    if (!listener.open(&ending->why)) return false;
    std::string redirect = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
    const std::string& endpoint = provider_.authorizationEndpoint;
    std::string address = endpoint + (endpoint.find('?') == std::string::npos ? "?" : "&") +
                          formEncode({{"response_type", "code"},
                                      {"client_id", provider_.clientId},
                                      {"redirect_uri", redirect},
                                      {"scope", provider_.scope},
                                      {"state", state},
                                      {"code_challenge", challenge},
                                      {"code_challenge_method", "S256"},
                                      {"login_hint", request_.user}});
    if (!writeBox("browser\n" + address + "\n", ending)) return false;
    std::string head;
    int readMs = options_.timeouts.readMs;
    if (!listener.takeRequest(deadline_, readMs, MaxRequestHead, &head, &ending->why)) {
      if (Clock::now() >= deadline_) ending->code = "EXPIRED";
      return false;
    }
    Form query = requestQuery(head);
    auto field = [&](const char* name) {
      auto it = std::find_if(query.begin(), query.end(), [&](auto& p) { return p.first == name; });
      return it == query.end() ? std::string() : it->second;
    };
    bool granted = false;
    if (field("state") != state) {
      ending->why = "the browser came back without the state the sign-in sent";
    } else if (field("error") == "access_denied") {
      *ending = {"DENIED", "the user declined"};
    } else if (field("code").empty()) {
      ending->why = "the browser came back without a code";
    } else {
      Form form = {{"grant_type", "authorization_code"},
                   {"code", field("code")},
                   {"redirect_uri", redirect},
                   {"code_verifier", verifier}};
      addClient(&form);
      *reply = askTokenEndpoint(provider_.tokenEndpoint, form, limits());
      granted = reply->outcome == TokenReply::Granted;
      if (!granted) *ending = refusal(*reply);
    }
    listener.answer(page(granted ? "Aanmelden gelukt. U kunt dit venster sluiten."
                         : std::string(ending->code) == "DENIED"
                             ? "Aanmelden geweigerd. U kunt dit venster sluiten."
                             : "Aanmelden mislukt. U kunt dit venster sluiten."),
                    readMs);
    return granted;
  }

  // Writes the token file of a granted reply.
  bool keep(const TokenReply& reply, Ending* ending) {
    TokenFile file;
    file.server = platform::serverHost(request_.server);
    file.user = request_.user;
    file.provider = provider_.name;
    file.tokenEndpoint = provider_.tokenEndpoint;
    file.clientId = provider_.clientId;
    file.clientSecret = provider_.clientSecret;
    file.mechanism = provider_.mechanism == platform::SaslMechanism::OAuthBearer
                         ? Login::OAuthBearer
                         : Login::XOAuth2;
    file.accessToken = reply.accessToken;
    file.expiresAt = static_cast<long long>(std::time(nullptr)) + reply.expiresIn;
    file.refreshToken = reply.refreshToken;
    return saveTokenFile(request_.tokenFile, file, &ending->why);
  }

 private:
  platform::HttpsLimits limits() const { return limitsUntil(options_, deadline_); }

  void addClient(Form* form) const {
    form->push_back({"client_id", provider_.clientId});
    if (!provider_.clientSecret.empty()) form->push_back({"client_secret", provider_.clientSecret});
  }

  bool writeBox(const std::string& text, Ending* ending) const {
    if (platform::replaceWithPrivateFile(request_.boxFile, text)) return true;
    ending->why = "cannot write " + request_.boxFile;
    return false;
  }

  // The query of the request line "GET /?a=b&c=d HTTP/1.1", decoded.
  static Form requestQuery(const std::string& head) {
    std::string line = head.substr(0, head.find("\r\n"));
    size_t start = line.find('?'), end = line.rfind(' ');
    Form form;
    if (!line.starts_with("GET ") || start == std::string::npos || end == std::string::npos ||
        end < start) {
      return form;
    }
    std::string query = line.substr(start + 1, end - start - 1);
    for (size_t at = 0; at <= query.size();) {
      size_t amp = std::min(query.find('&', at), query.size());
      std::string pair = query.substr(at, amp - at);
      size_t eq = pair.find('=');
      form.push_back({decode(pair.substr(0, eq)),
                      eq == std::string::npos ? std::string() : decode(pair.substr(eq + 1))});
      at = amp + 1;
    }
    return form;
  }

  // Percent-decodes a query's name or value; "+" is a blank.
  static std::string decode(const std::string& text) {
    auto digit = [](char c) {
      return c >= '0' && c <= '9'                     ? c - '0'
             : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i] == '+' ? ' ' : text[i];
      if (c == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 && digit(text[i + 2]) >= 0) {
        c = static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
        i += 2;
      }
      out += c;
    }
    return out;
  }

  static std::string page(const std::string& message) {
    std::string body =
        "<!DOCTYPE html><html lang=\"nl\"><head><meta charset=\"utf-8\"><title>Mailvak</title>"
        "</head><body><p>" +
        message + "</p></body></html>\n";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) +
           "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
  }

  const SignInRequest& request_;
  const Options& options_;
  const platform::OAuth2Provider& provider_;
  Clock::time_point deadline_;
};

}  // namespace

int signIn(const SignInRequest& request, const Options& options, Sink& out) {
  Ending ending;
  auto finish = [&](bool signedIn) {
    platform::removeFile(request.boxFile);
    writeLine(out, signedIn ? std::string("+OK signed in")
                            : std::string("-ERR [OAUTH2/") + ending.code + "] " + ending.why);
    out.flush();
    return signedIn ? ExitDone : ExitFailed;
  };
  const char* file = std::getenv(platform::OAuth2ProvidersVariable);
  std::vector<platform::OAuth2Provider> providers =
      platform::oauth2Providers(file ? file : "", &ending.why);
  if (!ending.why.empty()) return finish(false);
  const platform::OAuth2Provider* provider = platform::providerForServer(providers, request.server);
  if (!provider || !provider->configured()) {
    ending = {"UNCONFIGURED",
              provider ? "no client id for " + provider->name : "no sign-in known for this server"};
    return finish(false);
  }
  bool device = provider->flow == platform::OAuth2Flow::Device;
  for (const std::string* endpoint :
       {device ? &provider->deviceEndpoint : &provider->authorizationEndpoint,
        &provider->tokenEndpoint}) {
    if (!platform::acceptableEndpoint(*endpoint)) {
      ending.why = "endpoint refused: https only, or http to this machine";
      return finish(false);
    }
  }
  SignInRun run(request, options, *provider);
  TokenReply reply;
  bool granted = device ? run.device(&reply, &ending) : run.browser(&reply, &ending);
  return finish(granted && run.keep(reply, &ending));
}

}  // namespace mboxtool
