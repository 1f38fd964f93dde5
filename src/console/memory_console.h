// A console kept in memory: the cell grid, a scripted key queue and a desktop
// resolution given by the caller. Tests draw on it and read rows and cells.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "console/console.h"

namespace console {

/// One scripted key with the modifier and held state that goes with it.
struct ScriptedKey {
  std::string key;
  bool leftShift = false;
  bool ctrl = false;
  bool upOrDownHeld = false;
};

class MemoryConsole : public Console {
 public:
  explicit MemoryConsole(Resolution resolution = {1024, 768}) : resolution_(resolution) {}

  Resolution desktopResolution() override { return resolution_; }
  std::string readKey() override;
  bool waitForKey(int milliseconds) override;
  std::vector<std::string> waitingKeys() override;
  bool leftShiftHeld() override { return leftShift_; }
  bool ctrlHeld() override { return ctrl_; }
  bool upOrDownHeld() override { return upOrDownHeld_; }

  void pushKey(std::string key) { keys_.push_back({std::move(key)}); }
  void pushKey(ScriptedKey key) { keys_.push_back(std::move(key)); }
  size_t pendingKeys() const { return keys_.size(); }

  /// Called when a key is waited for and none is queued; it may push keys.
  /// A queue still empty then answers Esc, so that a program under test can
  /// never wait for ever: a script that runs out of keys ends the program.
  std::function<void(MemoryConsole&)> onIdle;

 private:
  Resolution resolution_;
  std::deque<ScriptedKey> keys_;
  bool leftShift_ = false;
  bool ctrl_ = false;
  bool upOrDownHeld_ = false;
};

}  // namespace console
