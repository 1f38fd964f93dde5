#include "console/memory_console.h"

namespace console {

std::string MemoryConsole::readKey() {
  if (keys_.empty()) {
    upOrDownHeld_ = false;
    return {};
  }
  ScriptedKey next = std::move(keys_.front());
  keys_.pop_front();
  leftShift_ = next.leftShift;
  ctrl_ = next.ctrl;
  upOrDownHeld_ = next.upOrDownHeld;
  return next.key;
}

bool MemoryConsole::waitForKey(int milliseconds) {
  if (keys_.empty() && onIdle) onIdle(*this);
  (void)milliseconds;
  if (keys_.empty()) keys_.push_back({"\x1b"});
  return !keys_.empty();
}

std::vector<std::string> MemoryConsole::waitingKeys() {
  std::vector<std::string> keys;
  for (const ScriptedKey& key : keys_) keys.push_back(key.key);
  return keys;
}

}  // namespace console
