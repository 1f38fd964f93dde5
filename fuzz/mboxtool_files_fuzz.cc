// The tool's own inputs besides the server: the kept UIDL list, the deletion
// list deles.dat and the SERVER argument (typed by the user in the settings
// editor). None of them may crash the tool or let it delete what was not seen.
#include <algorithm>
#include <cstdint>

#include "fuzz_support.h"
#include "mboxtool/server_address.h"
#include "mboxtool/uidl_guard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::enterWorkDirectory();
  fuzz_support::Input input(data, size);
  unsigned part = input.byte() % 3;
  std::string_view bytes = input.rest();

  if (part == 0) {
    fuzz_support::writeFile("uidl-fuzz.dat", bytes);
    mboxtool::MailboxIndex seen;
    std::string err;
    if (!mboxtool::loadIndex("uidl-fuzz.dat", &seen, &err)) return 0;
    // The mailbox as it is now: the same list. Whatever was kept, a deletion
    // only ever targets a number the mailbox has now.
    std::vector<long> requested;
    for (const auto& entry : seen.entries) requested.push_back(entry.first);
    requested.push_back(seen.count + 1);
    for (const auto& d : mboxtool::planDeletions(requested, seen, seen)) {
      fuzz_support::require(d.target == 0 || seen.entries.count(d.target) == 1,
                            "deletion of a message not listed");
    }
    fuzz_support::require(mboxtool::saveIndex("uidl-copy.dat", seen, &err), "cannot save");
    mboxtool::MailboxIndex again;
    fuzz_support::require(mboxtool::loadIndex("uidl-copy.dat", &again, &err), "cannot reload");
    fuzz_support::require(again.count == seen.count && again.entries.size() == seen.entries.size(),
                          "kept list changed");
  } else if (part == 1) {
    std::vector<long> numbers = mboxtool::parseDeletionList(bytes);
    for (long n : numbers) fuzz_support::require(n >= 1, "deletion of message 0 or below");
  } else {
    size_t split = bytes.find('\n');
    std::string_view server = bytes.substr(0, split);
    std::string_view port = split == std::string_view::npos ? "" : bytes.substr(split + 1);
    mboxtool::ServerAddress address;
    std::string err;
    if (mboxtool::parseServerAddress(server, port, &address, &err)) {
      fuzz_support::require(address.port >= 1 && address.port <= 65535, "port out of range");
      fuzz_support::require(!address.host.empty(), "empty host");
    }
  }
  return 0;
}
