// Which keys are held down, for the accelerating Up and Down keys and for the
// modifier state that goes with a key.
//
// With the kitty keyboard protocol the terminal reports press, repeat and
// release of every key, the modifier keys included, so the state is exact:
// left Shift is told from right Shift, and Up/Down count as held from the
// press until the release.
//
// Other terminals send nothing on release. There Up/Down count as held from
// the first auto-repeat — two events of the same arrow closer together than
// a person can tap (RepeatGapMs) — until no event has come for
// max(2.5 x the measured repeat interval, MinimumHoldMs). Right after a press
// the key counts as held only for RepeatGapMs, so separate taps never are.
// Shift and Ctrl are those the key's own sequence carries.
//
// The class is pure: every call gets the time, so tests run on a fake clock.
#pragma once

#include <cstdint>

#include "console/key_decoder.h"

namespace console {

class HeldKeys {
 public:
  static constexpr int RepeatGapMs = 60;
  static constexpr int MinimumHoldMs = 100;
  /// With exact events, a held arrow that has sent nothing for this long is
  /// taken as released (its release may have gone to another window).
  static constexpr int StaleHoldMs = 2000;

  /// Whether events carry press/repeat/release (the kitty protocol is on).
  void setExact(bool exact) { exact_ = exact; }
  bool exact() const { return exact_; }

  /// Records an event at its arrival. Returns whether it is an auto-repeat
  /// of Up or Down (such events may be coalesced when they queue up).
  bool observe(const KeyEvent& event, std::int64_t nowMs);

  /// Up or Down is held at nowMs.
  bool upOrDownHeld(std::int64_t nowMs) const;
  /// Left Shift held for this key (the key's own Shift where keys cannot be told apart).
  bool leftShiftFor(const KeyEvent& event) const;
  /// Either Ctrl held for this key.
  bool ctrlFor(const KeyEvent& event) const;

  /// The repeat interval measured so far (0 before the first repeat).
  int repeatIntervalMs() const { return intervalMs_; }

 private:
  bool exact_ = false;
  // Exact state.
  bool leftShift_ = false, rightShift_ = false, leftCtrl_ = false, rightCtrl_ = false;
  bool upDown_[2] = {false, false};
  // Both: the last Up/Down event (0 none, 1 Up, 2 Down) and when it came.
  int lastArrow_ = 0;
  std::int64_t lastArrowMs_ = 0;
  bool repeating_ = false;
  int intervalMs_ = 0;
};

/// 1 when the key text is Up (alone or with a modifier), 2 for Down, else 0.
int arrowOf(const std::string& key);

/// Milliseconds of a steady clock, the time base of key decoding and held keys.
std::int64_t steadyMilliseconds();

}  // namespace console
