// The OAuth2 inputs, the first byte choosing: a token endpoint's answer (with the status
// the second byte gives), a device endpoint's, and the token file. None may crash the tool,
// hand a login a token with bytes a login line cannot carry, break the box file's lines, or
// change through a save.
#include "fuzz_support.h"
#include "mboxtool/oauth2.h"

namespace {

bool visible(const std::string& token) {
  for (unsigned char c : token)
    if (c < 0x21 || c > 0x7e) return false;
  return true;
}

}  // namespace

void fuzz(Input input) {
  using namespace mboxtool;
  unsigned part = input.byte() % 3;
  int status = input.byte() < 128 ? 200 : 400;
  if (DeviceCode code; part == 1 && readDeviceCode({status, std::string(input.rest)}, &code)) {
    for (const std::string* line : {&code.userCode, &code.verificationUri})
      require(!line->empty() && line->find_first_of("\r\n") == std::string::npos,
              "a device answer breaks the box file's lines");
    require(code.expiresIn > 0 && code.interval >= 0, "a device code without a lifetime");
  }
  if (part == 0) {
    TokenReply reply = readTokenReply({status, std::string(input.rest)});
    require(reply.outcome != reply.Granted ||
                (!reply.accessToken.empty() && visible(reply.accessToken) &&
                 visible(reply.refreshToken) && reply.expiresIn >= 0),
            "a token answer granted what a login cannot use");
    require(reply.outcome != reply.Refused || visible(reply.error) || reply.error.empty(),
            "a refusal's code carries control bytes");
    return;
  }
  if (part != 2) return;
  TokenFile read, again;
  std::string err;
  writeFile("token.json", input.rest);
  if (!loadTokenFile("token.json", &read, &err)) return;
  require(!read.accessToken.empty() && visible(read.accessToken) && visible(read.refreshToken),
          "a token file gave a token a login cannot use");
  require(saveTokenFile("copy.json", read, &err) && loadTokenFile("copy.json", &again, &err) &&
              again.accessToken == read.accessToken && again.refreshToken == read.refreshToken &&
              again.user == read.user && again.server == read.server &&
              again.expiresAt == read.expiresAt && again.mechanism == read.mechanism,
          "the token file changed through a save");
  std::filesystem::remove("copy.json");
}
