// The count file an2: whatever the tool left in it, the count read is a
// message count the deletion list can be built for, or -1.
#include <cstdint>

#include "actions/empty_mailbox.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::enterWorkDirectory();
  fuzz_support::writeFile("an2", {reinterpret_cast<const char*>(data), size});
  long long count = actions::readServerCount("an2");
  fuzz_support::require(count >= -1 && count <= 10'000'000, "count out of range");
  return 0;
}
