// The mail providers whose POP3 servers take an OAuth2 access token instead
// of a password, and how to get one from each. Mailvak asks which accounts
// sign in this way; the tool asks where and how to sign in.
//
// The built-in table knows Microsoft (Outlook.com and Microsoft 365: the
// device flow) and Google (Gmail: the browser flow). Their client ids are the
// distributor's own app registration, given when the program is built; a
// provider without one is known but not configured.
//
// The file that MAILVAK_OAUTH2_PROVIDERS names adds providers or overrides
// them, one section per provider:
//
//   [name]                        ; a built-in name changes only what it sets
//   servers = host1 host2         ; an account matches on its server's host
//   flow = device                 ; or: browser
//   device_endpoint = URL         ; device flow
//   authorization_endpoint = URL  ; browser flow
//   token_endpoint = URL
//   client_id = ID
//   client_secret = SECRET        ; optional
//   scope = SCOPE WORDS
//   mechanism = XOAUTH2           ; or: OAUTHBEARER
//
// A line starting with ";" or "#" is a comment, as is the rest of a line
// from a blank followed by ";". Every endpoint must be https://, or http://
// to this machine (127.0.0.1, localhost, [::1]) for tests.
#pragma once

#include <string>
#include <vector>

namespace platform {

inline constexpr const char* OAuth2ProvidersVariable = "MAILVAK_OAUTH2_PROVIDERS";

enum class OAuth2Flow { Device, Browser };
enum class SaslMechanism { XOAuth2, OAuthBearer };

struct OAuth2Provider {
  std::string name;
  std::vector<std::string> servers;  // host names, lower case
  OAuth2Flow flow = OAuth2Flow::Device;
  std::string deviceEndpoint;
  std::string authorizationEndpoint;
  std::string tokenEndpoint;
  std::string clientId;
  std::string clientSecret;
  std::string scope;
  SaslMechanism mechanism = SaslMechanism::XOAuth2;

  /// Whether this build (or the providers file) gives a client id and the
  /// endpoints the provider's flow needs.
  bool configured() const;
};

/// The built-in table with the sections of the providers file (the value of
/// MAILVAK_OAUTH2_PROVIDERS, "" for none) added or overriding by name. A file
/// that cannot be read or holds a bad line is left out whole, and *err says
/// why; otherwise *err is "".
std::vector<OAuth2Provider> oauth2Providers(const std::string& file, std::string* err);

/// The host of an account's server field ("host", "host:port",
/// "pop3s://host:995", "[::1]:110"), in lower case without a trailing dot.
std::string serverHost(const std::string& server);

/// The provider whose servers hold the host of server; the file's sections
/// come before the built-in ones. nullptr when none does.
const OAuth2Provider* providerForServer(const std::vector<OAuth2Provider>& providers,
                                        const std::string& server);

/// Whether a URL may be used as an endpoint: https:// to any host, http://
/// only to this machine.
bool acceptableEndpoint(const std::string& url);

}  // namespace platform
