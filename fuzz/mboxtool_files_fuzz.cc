// The tool's other inputs, the first byte choosing: the kept UIDL list, deles.dat, the
// SERVER and PORT typed in the settings. None may crash it or delete what was not seen.
#include "fuzz_support.h"
#include "mboxtool/server_address.h"
#include "mboxtool/uidl_guard.h"

void fuzz(Input input) {
  using namespace mboxtool;
  unsigned part = input.byte() % 3;
  std::string_view bytes = input.rest;
  std::string err;
  MailboxIndex seen, again;
  size_t split = bytes.find('\n');
  std::string_view port = split == bytes.npos ? "" : bytes.substr(split + 1);
  if (part == 0 && (writeFile("uidl.dat", bytes), loadIndex("uidl.dat", &seen, &err))) {
    // The mailbox now holds the same list: a deletion only ever targets a number it has.
    std::vector<long> requested{seen.count + 1};
    for (const auto& entry : seen.entries) requested.push_back(entry.first);
    for (const auto& d : planDeletions(requested, seen, seen))
      require(d.target == 0 || seen.entries.count(d.target) == 1, "deletes a message not listed");
    require(saveIndex("copy.dat", seen, &err) && loadIndex("copy.dat", &again, &err) &&
                again.mailbox == seen.mailbox && again.count == seen.count &&
                again.entries.size() == seen.entries.size(),
            "the kept list changed through a save");
  }
  for (long n : part == 1 ? parseDeletionList(bytes) : std::vector<long>{})
    require(n >= 1, "deletes message 0 or below");
  if (ServerAddress address;
      part == 2 && parseServerAddress(bytes.substr(0, split), port, &address, &err))
    require(address.port >= 1 && address.port <= 65535 && !address.host.empty(), "bad address");
}
