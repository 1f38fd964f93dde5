#include "platform/run_files.h"

#include <algorithm>

namespace platform {

namespace {

// Whether text ends in "." + digits; if so, cuts that off.
bool cutNumber(std::string_view& text) {
  size_t dot = text.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == text.size()) return false;
  std::string_view digits = text.substr(dot + 1);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  text = text.substr(0, dot);
  return true;
}

}  // namespace

std::string runTemporaryName(const std::string& file, unsigned long process, unsigned serial) {
  return "." + file + "." + std::to_string(process) + "." + std::to_string(serial);
}

bool isRunTemporaryName(std::string_view name) {
  if (name.ends_with(".new")) name.remove_suffix(4);
  return cutNumber(name) && cutNumber(name) && name.size() > 1 && name[0] == '.';
}

ToolOutcome outcomeOfExitStatus(unsigned long status) {
  switch (status) {
    case 0:
    case 1:
      return ToolOutcome::Done;
    case 3:
      return ToolOutcome::NotWritten;
    case 127:
      return ToolOutcome::NotStarted;
    default:
      return ToolOutcome::BrokenOff;
  }
}

ToolOutcome System::settleRunFiles(ToolOutcome outcome, const RunFiles& files) {
  if (outcome == ToolOutcome::Done) {
    // The old side file goes first: whatever step a crash stops at, no side
    // file stands beside a result file of another run.
    if (!files.sideFile.empty()) deleteFile(files.sideFile);
    bool placed = files.outputFile.empty() || renameFile(files.outputTemporary, files.outputFile);
    if (placed && !files.sideFile.empty() && fileExists(files.sideTemporary)) {
      placed = renameFile(files.sideTemporary, files.sideFile);
    }
    if (!placed) outcome = ToolOutcome::NotWritten;
  }
  if (outcome != ToolOutcome::Done) {
    if (!files.outputTemporary.empty()) deleteFile(files.outputTemporary);
    if (!files.sideTemporary.empty()) deleteFile(files.sideTemporary);
  }
  // What the tool may have left of a side file it did not finish.
  if (!files.sideTemporary.empty()) deleteFile(files.sideTemporary + ".new");
  return outcome;
}

}  // namespace platform
