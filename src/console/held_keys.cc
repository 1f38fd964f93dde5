#include "console/held_keys.h"

#include <algorithm>
#include <chrono>

namespace console {

std::int64_t steadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int arrowOf(const std::string& key) {
  if (key.size() != 2 || key[0] != '\xff') return 0;
  switch (static_cast<unsigned char>(key[1])) {
    case 72:
    case 141:
    case 152:
      return 1;
    case 80:
    case 145:
    case 160:
      return 2;
    default:
      return 0;
  }
}

bool HeldKeys::observe(const KeyEvent& event, std::int64_t nowMs) {
  if (event.kind == KeyEvent::Kind::Modifier) {
    bool down = event.action != KeyAction::Release;
    switch (event.modifierCode) {
      case KittyLeftShift:
        leftShift_ = down;
        break;
      case KittyRightShift:
        rightShift_ = down;
        break;
      case KittyLeftCtrl:
        leftCtrl_ = down;
        break;
      case KittyRightCtrl:
        rightCtrl_ = down;
        break;
      default:
        break;
    }
    return false;
  }
  if (event.kind != KeyEvent::Kind::Key) return false;
  int arrow = arrowOf(event.key);

  if (exact_) {
    if (arrow == 0) return false;
    upDown_[arrow - 1] = event.action != KeyAction::Release;
    lastArrow_ = arrow;
    lastArrowMs_ = nowMs;
    return event.action == KeyAction::Repeat;
  }

  if (event.action == KeyAction::Release) return false;
  if (arrow == 0) {
    // Only the last key pressed repeats: any other key ends the arrow's run.
    lastArrow_ = 0;
    repeating_ = false;
    return false;
  }
  std::int64_t gap = nowMs - lastArrowMs_;
  bool repeat = false;
  if (arrow == lastArrow_ && gap < RepeatGapMs) {
    repeat = true;
    int measured = static_cast<int>(std::max<std::int64_t>(1, gap));
    intervalMs_ = repeating_ && intervalMs_ > 0 ? (3 * intervalMs_ + measured) / 4 : measured;
    repeating_ = true;
  } else if (arrow == lastArrow_ && repeating_ && upOrDownHeld(nowMs)) {
    repeat = true;  // a repeat went missing, but the key never counted as released
  } else {
    repeating_ = false;
  }
  lastArrow_ = arrow;
  lastArrowMs_ = nowMs;
  return repeat;
}

bool HeldKeys::upOrDownHeld(std::int64_t nowMs) const {
  std::int64_t age = nowMs - lastArrowMs_;
  if (exact_) return (upDown_[0] || upDown_[1]) && age < StaleHoldMs;
  if (lastArrow_ == 0) return false;
  if (!repeating_) return age < RepeatGapMs;
  return age < std::max(MinimumHoldMs, intervalMs_ * 5 / 2);
}

bool HeldKeys::leftShiftFor(const KeyEvent& event) const {
  if (!(event.modifiers & ShiftBit)) return false;
  // Only a right Shift known to be down alone makes the key's Shift not left.
  return !exact_ || leftShift_ || !rightShift_;
}

bool HeldKeys::ctrlFor(const KeyEvent& event) const { return (event.modifiers & CtrlBit) != 0; }

}  // namespace console
