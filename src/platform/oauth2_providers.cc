#include "platform/oauth2_providers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef MAILVAK_MICROSOFT_CLIENT_ID
#define MAILVAK_MICROSOFT_CLIENT_ID ""
#endif
#ifndef MAILVAK_GOOGLE_CLIENT_ID
#define MAILVAK_GOOGLE_CLIENT_ID ""
#endif
#ifndef MAILVAK_GOOGLE_CLIENT_SECRET
#define MAILVAK_GOOGLE_CLIENT_SECRET ""
#endif

namespace platform {

namespace {

// A providers file is a few hundred bytes; a larger one is not one.
constexpr std::streamsize MaxFileBytes = 64 * 1024;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return s;
}

std::string trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t\r") + 1 - begin);
}

std::vector<OAuth2Provider> builtInProviders() {
  OAuth2Provider microsoft;
  microsoft.name = "Microsoft";
  microsoft.servers = {"outlook.office365.com", "pop-mail.outlook.com"};
  microsoft.flow = OAuth2Flow::Device;
  microsoft.deviceEndpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode";
  microsoft.tokenEndpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
  microsoft.clientId = MAILVAK_MICROSOFT_CLIENT_ID;
  microsoft.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
  microsoft.mechanism = SaslMechanism::XOAuth2;

  OAuth2Provider google;
  google.name = "Google";
  google.servers = {"pop.gmail.com"};
  google.flow = OAuth2Flow::Browser;
  google.authorizationEndpoint = "https://accounts.google.com/o/oauth2/v2/auth";
  google.tokenEndpoint = "https://oauth2.googleapis.com/token";
  google.clientId = MAILVAK_GOOGLE_CLIENT_ID;
  google.clientSecret = MAILVAK_GOOGLE_CLIENT_SECRET;
  google.scope = "https://mail.google.com/";
  google.mechanism = SaslMechanism::XOAuth2;
  return {microsoft, google};
}

// Sets one key of a section; false for an unknown key or a bad value.
bool setField(OAuth2Provider* p, const std::string& key, const std::string& value) {
  if (key == "servers") {
    std::istringstream words(lower(value));
    p->servers.assign(std::istream_iterator<std::string>(words), {});
    return !p->servers.empty();
  }
  if (key == "flow") {
    std::string v = lower(value);
    if (v != "device" && v != "browser") return false;
    p->flow = v == "device" ? OAuth2Flow::Device : OAuth2Flow::Browser;
    return true;
  }
  if (key == "mechanism") {
    std::string v = lower(value);
    if (v != "xoauth2" && v != "oauthbearer") return false;
    p->mechanism = v == "xoauth2" ? SaslMechanism::XOAuth2 : SaslMechanism::OAuthBearer;
    return true;
  }
  std::string* endpoint = key == "device_endpoint"          ? &p->deviceEndpoint
                          : key == "authorization_endpoint" ? &p->authorizationEndpoint
                          : key == "token_endpoint"         ? &p->tokenEndpoint
                                                            : nullptr;
  if (endpoint) {
    *endpoint = value;
    return acceptableEndpoint(value);
  }
  std::string* text = key == "client_id"       ? &p->clientId
                      : key == "client_secret" ? &p->clientSecret
                      : key == "scope"         ? &p->scope
                                               : nullptr;
  if (!text) return false;
  *text = value;
  return true;
}

// Reads the file's sections into providers; false with *err at the first
// problem, leaving providers as they came.
bool addFile(const std::string& file, std::vector<OAuth2Provider>* providers, std::string* err) {
  const std::string u8(file);
  std::ifstream in(std::filesystem::path(std::u8string(u8.begin(), u8.end())), std::ios::binary);
  std::string text(MaxFileBytes + 1, '\0');
  if (in) in.read(text.data(), MaxFileBytes + 1);
  if (!in && !in.eof()) {
    *err = file + ": cannot be read";
    return false;
  }
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > static_cast<size_t>(MaxFileBytes)) {
    *err = file + ": larger than 64 KiB";
    return false;
  }
  std::vector<OAuth2Provider> result = *providers;
  OAuth2Provider* section = nullptr;
  std::istringstream lines(text);
  std::string raw;
  for (int number = 1; std::getline(lines, raw); ++number) {
    std::string line = raw;
    for (size_t at = line.find(';'); at != std::string::npos; at = line.find(';', at + 1)) {
      if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') {
        line.resize(at);
        break;
      }
    }
    line = trim(line);
    auto bad = [&](const char* why) {
      *err = file + ":" + std::to_string(number) + ": " + why;
      return false;
    };
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) return bad("a section is [name]");
      std::string name = trim(line.substr(1, line.size() - 2));
      auto same = std::find_if(result.begin(), result.end(),
                               [&](const OAuth2Provider& p) { return lower(p.name) == lower(name); });
      if (same == result.end()) {
        result.emplace_back().name = name;
        section = &result.back();
      } else {
        section = &*same;
      }
      continue;
    }
    size_t equals = line.find('=');
    if (!section) return bad("a setting before the first [name]");
    if (equals == std::string::npos) return bad("a setting is key = value");
    if (!setField(section, lower(trim(line.substr(0, equals))), trim(line.substr(equals + 1)))) {
      return bad("unknown key or bad value");
    }
  }
  for (const OAuth2Provider& p : result) {
    if (p.servers.empty()) {
      *err = file + ": [" + p.name + "] names no servers";
      return false;
    }
  }
  *providers = std::move(result);
  return true;
}

}  // namespace

bool OAuth2Provider::configured() const {
  const std::string& start = flow == OAuth2Flow::Device ? deviceEndpoint : authorizationEndpoint;
  return !clientId.empty() && !start.empty() && !tokenEndpoint.empty();
}

std::vector<OAuth2Provider> oauth2Providers(const std::string& file, std::string* err) {
  std::vector<OAuth2Provider> providers = builtInProviders();
  err->clear();
  if (!file.empty()) addFile(file, &providers, err);
  return providers;
}

std::string serverHost(const std::string& server) {
  std::string host = lower(trim(server));
  if (size_t scheme = host.find("://"); scheme != std::string::npos) host.erase(0, scheme + 3);
  host = host.substr(0, host.find('/'));
  if (!host.empty() && host[0] == '[') {
    host = host.substr(0, host.find(']') + 1);
  } else if (std::count(host.begin(), host.end(), ':') == 1) {
    host.resize(host.find(':'));
  }
  while (!host.empty() && host.back() == '.') host.pop_back();
  return host;
}

const OAuth2Provider* providerForServer(const std::vector<OAuth2Provider>& providers,
                                        const std::string& server) {
  std::string host = serverHost(server);
  if (host.empty()) return nullptr;
  // The file's sections follow the built-in ones and win over them.
  for (auto p = providers.rbegin(); p != providers.rend(); ++p) {
    if (std::find(p->servers.begin(), p->servers.end(), host) != p->servers.end()) return &*p;
  }
  return nullptr;
}

bool acceptableEndpoint(const std::string& url) {
  if (url.find_first_of(" \t\r\n\"<>\\") != std::string::npos) return false;
  std::string lowered = lower(url);
  bool secure = lowered.rfind("https://", 0) == 0;
  if (!secure && lowered.rfind("http://", 0) != 0) return false;
  std::string authority = lowered.substr(secure ? 8 : 7);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (authority.find('@') != std::string::npos) return false;  // no user part: it hides the host
  std::string host = serverHost(authority);
  if (host.empty()) return false;
  return secure || host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

}  // namespace platform
