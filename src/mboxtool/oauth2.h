// OAuth2 in the tool: the token file, the token endpoint, and the run
//
//   mboxtool --oauth2 TOKENFILE SERVER PORT USER - COMMAND [ARGS]
//
// which reads TOKENFILE instead of a password, refreshes the access token
// when it expires within RefreshMarginSeconds, and logs in with it.
//
// The token file is one JSON object, mode 0600 (owner-only on Windows),
// replaced whole (platform::replaceWithPrivateFile); its tokens never reach a
// command line, the output or a log:
//
//   {"format": "mboxtool oauth2 1", "server": "<host, lower case>",
//    "user": "...", "provider": "Microsoft", "token_endpoint": "https://...",
//    "client_id": "...", "client_secret": "", "mechanism": "XOAUTH2",
//    "access_token": "...", "expires_at": <seconds since 1970>,
//    "refresh_token": "..."}
//
// Every JSON text, of the file or of a server, is read with nlohmann-json
// and each field checked for its type and size; nothing is read by hand.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mboxtool/output_writers.h"
#include "mboxtool/tool.h"
#include "platform/https.h"

namespace mboxtool {

/// The tool refreshes an access token that expires within this many seconds.
constexpr long long RefreshMarginSeconds = 60;

/// A token file larger than this is never read.
constexpr size_t MaxTokenFileBytes = 64 * 1024;

struct TokenFile {
  std::string server;  // the host, lower case
  std::string user;
  std::string provider;
  std::string tokenEndpoint;
  std::string clientId;
  std::string clientSecret;
  Login mechanism = Login::XOAuth2;
  std::string accessToken;
  long long expiresAt = 0;  // seconds since 1970
  std::string refreshToken;
};

/// Reads the token file at path: a plain file of this user, in this format,
/// every field of its type; false with *err otherwise (never naming a token).
bool loadTokenFile(const std::string& path, TokenFile* file, std::string* err);

/// Replaces the token file at path with file, mode 0600; false with *err.
bool saveTokenFile(const std::string& path, const TokenFile& file, std::string* err);

/// Name and value pairs of a form body or a query string.
using Form = std::vector<std::pair<std::string, std::string>>;

/// The pairs as name=value joined by "&", each percent-encoded but for
/// letters, digits and "-._~".
std::string formEncode(const Form& form);

/// What a token endpoint made of a request.
struct TokenReply {
  enum Outcome { Granted, Refused, Failed } outcome = Failed;
  std::string error;  // Refused: the server's error code; Failed: why, in the tool's words
  std::string accessToken;
  std::string refreshToken;  // "" when the answer holds none
  long long expiresIn = 0;   // 0 when the answer does not say
};

/// Reads the answer of a token endpoint: Granted with the tokens of a 200
/// answer, Refused with the error code of an error answer, Failed for
/// anything else (no JSON object, a field of the wrong type or size, a
/// token with bytes a login line cannot carry).
TokenReply readTokenReply(const platform::HttpsAnswer& answer);

/// What a device endpoint gives for a device sign-in.
struct DeviceCode {
  std::string deviceCode;
  std::string userCode;
  std::string verificationUri;
  long long expiresIn = 0;  // seconds
  long long interval = 5;   // seconds between polls, 5 when the answer does not say
};

/// Reads a device endpoint's answer: true for a 200 answer with the device
/// code, a user code and verification address without control characters,
/// and a lifetime; false for anything else.
bool readDeviceCode(const platform::HttpsAnswer& answer, DeviceCode* code);

/// POSTs form to the token endpoint and reads its answer.
TokenReply askTokenEndpoint(const std::string& endpoint, const Form& form,
                            const platform::HttpsLimits& limits);

/// The HTTPS limits of a request made at this point of the run.
platform::HttpsLimits httpsLimits(const Options& options);

/// The --oauth2 road before the login: reads tokenFile, checks that it is of
/// request's server host and user, refreshes the access token when it
/// expires within RefreshMarginSeconds (saving a rotated refresh token), and
/// puts the access token and the file's mechanism into *request. Otherwise
/// writes "-ERR [OAUTH2/REGRANT] ..." (the file is removed: refused refresh,
/// another server or user, a file that cannot be used) or
/// "-ERR [OAUTH2/FAILED] ..." and returns ExitFailed.
int prepareOAuth2Login(const std::string& tokenFile, Request* request, const Options& options,
                       Sink& out);

}  // namespace mboxtool
