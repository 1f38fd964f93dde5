// The OAuth2 inputs, the first byte choosing: a token endpoint's answer (with the status
// the second byte gives) and the token file. None may crash the tool, hand a login a token
// with bytes a login line cannot carry, or change through a save.
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
  bool file = input.byte() % 2;
  int status = input.byte() < 128 ? 200 : 400;
  if (!file) {
    TokenReply reply = readTokenReply({status, std::string(input.rest)});
    require(reply.outcome != reply.Granted ||
                (!reply.accessToken.empty() && visible(reply.accessToken) &&
                 visible(reply.refreshToken) && reply.expiresIn >= 0),
            "a token answer granted what a login cannot use");
    require(reply.outcome != reply.Refused || visible(reply.error) || reply.error.empty(),
            "a refusal's code carries control bytes");
    return;
  }
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
