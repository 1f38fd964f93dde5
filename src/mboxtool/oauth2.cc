#include "mboxtool/oauth2.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/oauth2_providers.h"
#include "platform/tool_os.h"

namespace mboxtool {

namespace {

using nlohmann::json;

constexpr char TokenFileFormat[] = "mboxtool oauth2 1";

// A token, an address or a name longer than this is no answer of a real server.
constexpr size_t MaxFieldBytes = 16 * 1024;

// An expiry beyond ten years is no real one.
constexpr long long MaxLifetimeSeconds = 10LL * 365 * 24 * 3600;

// The object of text, or a discarded value when text is no JSON object.
json parseObject(const std::string& text) {
  json value = json::parse(text, nullptr, false);
  return value.is_object() ? value : json(json::value_t::discarded);
}

// A string field of at most MaxFieldBytes; a missing one is "" when optional.
bool stringField(const json& object, const char* name, bool required, std::string* value) {
  auto it = object.find(name);
  if (it == object.end() || it->is_null()) {
    value->clear();
    return !required;
  }
  if (!it->is_string()) return false;
  const std::string& text = it->get_ref<const std::string&>();
  if (text.size() > MaxFieldBytes || (required && text.empty())) return false;
  *value = text;
  return true;
}

// A count of seconds: a whole number, or one written as digits in a string.
bool secondsField(const json& object, const char* name, long long* value) {
  auto it = object.find(name);
  if (it == object.end()) return false;
  long long n = -1;
  if (it->is_number_integer()) {
    n = it->is_number_unsigned() && it->get<unsigned long long>() > 1ULL << 62
            ? -1
            : it->get<long long>();
  } else if (it->is_string()) {
    const std::string& text = it->get_ref<const std::string&>();
    n = text.empty() || text.size() > 12 ? -1 : 0;
    for (char c : text) n = c >= '0' && c <= '9' && n >= 0 ? n * 10 + (c - '0') : -1;
  }
  if (n < 0) return false;
  *value = n;
  return true;
}

// A token goes into a login line as it is: visible ASCII only.
bool tokenText(const std::string& token) {
  for (unsigned char c : token) {
    if (c < 0x21 || c > 0x7e) return false;
  }
  return true;
}

// A text the user is shown on a line of its own: no control characters.
bool lineText(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// An error code as the tool may repeat it: the characters codes are made of.
std::string errorCode(const std::string& code) {
  std::string kept;
  for (char c : code.substr(0, 64)) {
    bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '_' || c == '-' || c == '.';
    kept += word ? c : '?';
  }
  return kept;
}

const char* mechanismName(Login login) {
  return login == Login::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

}  // namespace

bool loadTokenFile(const std::string& path, TokenFile* file, std::string* err) {
  *file = TokenFile();
  std::string text;
  if (!platform::readOwnFile(path, MaxTokenFileBytes, &text)) {
    *err = platform::pathExists(path) ? "token file is no plain file of this user, or too large"
                                      : "no token file";
    return false;
  }
  *err = "token file is damaged";
  json object = parseObject(text);
  std::string format, mechanism;
  if (object.is_discarded() || !stringField(object, "format", true, &format) ||
      format != TokenFileFormat || !stringField(object, "server", true, &file->server) ||
      !stringField(object, "user", true, &file->user) ||
      !stringField(object, "provider", false, &file->provider) ||
      !stringField(object, "token_endpoint", true, &file->tokenEndpoint) ||
      !stringField(object, "client_id", true, &file->clientId) ||
      !stringField(object, "client_secret", false, &file->clientSecret) ||
      !stringField(object, "mechanism", true, &mechanism) ||
      !stringField(object, "access_token", true, &file->accessToken) ||
      !stringField(object, "refresh_token", false, &file->refreshToken) ||
      !secondsField(object, "expires_at", &file->expiresAt) || !tokenText(file->accessToken) ||
      !tokenText(file->refreshToken)) {
    return false;
  }
  if (mechanism != "XOAUTH2" && mechanism != "OAUTHBEARER") return false;
  file->mechanism = mechanism == "OAUTHBEARER" ? Login::OAuthBearer : Login::XOAuth2;
  err->clear();
  return true;
}

bool saveTokenFile(const std::string& path, const TokenFile& file, std::string* err) {
  json object = {{"format", TokenFileFormat},
                 {"server", file.server},
                 {"user", file.user},
                 {"provider", file.provider},
                 {"token_endpoint", file.tokenEndpoint},
                 {"client_id", file.clientId},
                 {"client_secret", file.clientSecret},
                 {"mechanism", mechanismName(file.mechanism)},
                 {"access_token", file.accessToken},
                 {"expires_at", file.expiresAt},
                 {"refresh_token", file.refreshToken}};
  std::string text;
  try {
    text = object.dump(2) + "\n";
  } catch (const json::exception&) {  // a name that is no UTF-8 text
    *err = "user name or provider is no UTF-8 text";
    return false;
  }
  if (platform::replaceWithPrivateFile(path, text)) return true;
  *err = "cannot write the token file";
  return false;
}

std::string formEncode(const Form& form) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  auto encode = [&](const std::string& text) {
    for (unsigned char c : text) {
      bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '.' || c == '_' || c == '~';
      if (plain) {
        out += static_cast<char>(c);
      } else {
        out += '%';
        out += digits[c >> 4];
        out += digits[c & 15];
      }
    }
  };
  for (const auto& [name, value] : form) {
    if (!out.empty()) out += '&';
    encode(name);
    out += '=';
    encode(value);
  }
  return out;
}

TokenReply readTokenReply(const platform::HttpsAnswer& answer) {
  TokenReply reply;
  json object = parseObject(answer.body);
  std::string code = "HTTP " + std::to_string(answer.status);
  if (object.is_discarded()) {
    reply.error = "token endpoint gave no JSON object (" + code + ")";
    return reply;
  }
  std::string error, type;
  if (answer.status != 200) {
    if (stringField(object, "error", true, &error)) {
      reply.outcome = TokenReply::Refused;
      reply.error = errorCode(error);
    } else {
      reply.error = "token endpoint refused without an error code (" + code + ")";
    }
    return reply;
  }
  reply.error = "token endpoint gave an unusable token answer";
  if (!stringField(object, "access_token", true, &reply.accessToken) ||
      !stringField(object, "refresh_token", false, &reply.refreshToken) ||
      !stringField(object, "token_type", false, &type) || !tokenText(reply.accessToken) ||
      !tokenText(reply.refreshToken)) {
    return reply;
  }
  // No lifetime given: the next run refreshes, rather than use a dead token.
  if (object.contains("expires_in") && (!secondsField(object, "expires_in", &reply.expiresIn) ||
                                        reply.expiresIn > MaxLifetimeSeconds)) {
    return reply;
  }
  for (char& c : type) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  if (!type.empty() && type != "bearer") return reply;
  reply.outcome = TokenReply::Granted;
  reply.error.clear();
  return reply;
}

bool readDeviceCode(const platform::HttpsAnswer& answer, DeviceCode* code) {
  *code = DeviceCode();
  json object = parseObject(answer.body);
  return answer.status == 200 && !object.is_discarded() &&
         stringField(object, "device_code", true, &code->deviceCode) &&
         stringField(object, "user_code", true, &code->userCode) &&
         (stringField(object, "verification_uri", true, &code->verificationUri) ||
          stringField(object, "verification_url", true, &code->verificationUri)) &&
         secondsField(object, "expires_in", &code->expiresIn) && code->expiresIn > 0 &&
         code->expiresIn <= MaxLifetimeSeconds &&
         (!object.contains("interval") || secondsField(object, "interval", &code->interval)) &&
         lineText(code->userCode) && lineText(code->verificationUri);
}

TokenReply askTokenEndpoint(const std::string& endpoint, const Form& form,
                            const platform::HttpsLimits& limits) {
  platform::HttpsAnswer answer;
  TokenReply reply;
  if (!platform::postForm(endpoint, formEncode(form), limits, &answer, &reply.error)) {
    reply.error = "token endpoint: " + reply.error;
    return reply;
  }
  return readTokenReply(answer);
}

platform::HttpsLimits httpsLimits(const Options& options) {
  platform::HttpsLimits limits;
  limits.connectMs = options.timeouts.connectMs;
  limits.readMs = options.timeouts.readMs;
  limits.totalMs = options.timeouts.totalMs;
  return limits;
}

int prepareOAuth2Login(const std::string& tokenFile, Request* request, const Options& options,
                       Sink& out) {
  auto fail = [&](const char* code, const std::string& why) {
    writeLine(out, std::string("-ERR [OAUTH2/") + code + "] " + why);
    out.flush();
    return ExitFailed;
  };
  auto regrant = [&](const std::string& why) {
    platform::removeFile(tokenFile);
    return fail("REGRANT", why + "; sign in again");
  };
  std::string err;
  TokenFile file;
  if (!loadTokenFile(tokenFile, &file, &err)) return regrant(err);
  if (file.server != platform::serverHost(request->server) || file.user != request->user) {
    return regrant("token file is of another server or user");
  }
  long long now = static_cast<long long>(std::time(nullptr));
  if (file.expiresAt - now <= RefreshMarginSeconds) {
    if (file.refreshToken.empty()) return regrant("access token expired, no refresh token");
    if (!platform::acceptableEndpoint(file.tokenEndpoint)) {
      return fail("FAILED", "token endpoint refused: https only, or http to this machine");
    }
    Form form = {{"grant_type", "refresh_token"},
                 {"refresh_token", file.refreshToken},
                 {"client_id", file.clientId}};
    if (!file.clientSecret.empty()) form.push_back({"client_secret", file.clientSecret});
    TokenReply reply = askTokenEndpoint(file.tokenEndpoint, form, httpsLimits(options));
    if (reply.outcome == TokenReply::Refused && reply.error == "invalid_grant") {
      return regrant("refresh refused (invalid_grant)");
    }
    if (reply.outcome != TokenReply::Granted) {
      return fail("FAILED", reply.outcome == TokenReply::Refused
                                ? "refresh refused (" + reply.error + ")"
                                : reply.error);
    }
    file.accessToken = reply.accessToken;
    file.expiresAt = now + reply.expiresIn;
    // A server that rotates refresh tokens sends a new one; the old one is dead then.
    if (!reply.refreshToken.empty()) file.refreshToken = reply.refreshToken;
    if (!saveTokenFile(tokenFile, file, &err)) return fail("FAILED", err);
  }
  request->password = file.accessToken;
  request->login = file.mechanism;
  return ExitDone;
}

}  // namespace mboxtool
