// Terminal input, split anywhere and arriving at any times, decodes into well-formed events
// (a key is one byte but 255, or 255 and a code); nothing stays once the Esc timeout passed.
#include "console/held_keys.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input{{reinterpret_cast<const char*>(data), size}};
  console::KeyDecoder decoder;
  console::HeldKeys held;
  held.setExact(input.byte() & 1);
  std::int64_t now = 1000, events = 0;
  auto drain = [&] {
    for (auto e = decoder.next(now); e; e = decoder.next(now), ++events) {
      bool ok =
          e->key.size() == 1 ? e->key[0] != '\xff' : e->key.size() == 2 && e->key[0] == '\xff';
      require(e->kind != console::KeyEvent::Kind::Key || ok, "malformed key");
      require((e->modifiers & ~7) == 0, "unknown modifier bits");
      held.observe(*e, now), held.upOrDownHeld(now), held.leftShiftFor(*e), held.ctrlFor(*e);
    }
    int wait = decoder.millisecondsUntilTimeout(now);
    require(wait <= console::KeyDecoder::EscapeTimeoutMs && (wait == -1) == !decoder.pending(),
            "bad wait");
  };
  while (!input.rest.empty()) {  // chunks: length, milliseconds since the one before, bytes
    size_t length = input.byte() % 24 + 1;
    now += input.byte() % 128;
    decoder.feed(input.take(length), now);
    drain();
  }
  now += console::KeyDecoder::EscapeTimeoutMs;
  drain();
  require(!decoder.pending() && events <= std::int64_t(size),
          "bytes left after the timeout, or too many events");
  return 0;
}
