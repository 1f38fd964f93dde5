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
    // The old side files go first: whatever step a crash stops at, no side
    // file stands beside a result file of another run.
    for (const std::string& side : files.sideFiles) deleteFile(side);
    bool placed = files.outputFile.empty() || renameFile(files.outputTemporary, files.outputFile);
    for (size_t i = 0; placed && i < files.sideFiles.size(); ++i) {
      if (fileExists(files.sideTemporaries[i])) {
        placed = renameFile(files.sideTemporaries[i], files.sideFiles[i]);
      }
    }
    if (!placed) outcome = ToolOutcome::NotWritten;
  }
  if (outcome != ToolOutcome::Done) {
    if (!files.outputTemporary.empty()) deleteFile(files.outputTemporary);
    for (const std::string& temporary : files.sideTemporaries) deleteFile(temporary);
  }
  // What the tool may have left of a side file it did not finish.
  for (const std::string& temporary : files.sideTemporaries) deleteFile(temporary + ".new");
  return outcome;
}

bool System::nameSideFiles(const ToolRun& run, unsigned long process, unsigned* serial,
                           bool (*isFree)(const std::string&), RunFiles* files) {
  if (run.sideFiles.size() > MaxSideFiles) return false;
  files->sideFiles = run.sideFiles;
  for (const std::string& side : run.sideFiles) {
    std::string name;
    bool named = false;
    for (int attempt = 0; !named && attempt < 100; ++attempt) {
      name = runTemporaryName(side, process, ++*serial);
      named = isFree(name) && isFree(name + ".new");
    }
    if (!named) return false;
    files->sideTemporaries.push_back(name);
  }
  return true;
}

std::vector<std::string> System::toolArguments(const ToolRun& run, const RunFiles& files) {
  std::vector<std::string> arguments = run.arguments;
  for (std::string& argument : arguments) {
    for (size_t i = 0; i < files.sideFiles.size(); ++i) {
      if (argument == files.sideFiles[i]) {
        argument = files.sideTemporaries[i];
        break;
      }
    }
  }
  return arguments;
}

}  // namespace platform
