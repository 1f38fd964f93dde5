#include "config/file_replacement.h"

namespace config {

using platform::TextFile;

bool replaceConfigurationFile(core::Program& program, const MiddleStep& middleStep) {
  platform::System& system = program.system;
  system.deleteFile(TemporaryFileName);
  system.deleteFile(NewFileName);
  system.checkpoint(step::TemporaryDeleted);

  // Without an old file there is nothing to keep; with one, it must be safe
  // under the temporary name before the new file is opened (which empties it).
  bool hadOld = system.fileExists(ConfigurationFileName);
  if (hadOld) {
    if (!system.renameFile(ConfigurationFileName, TemporaryFileName)) return false;
    system.syncDirectory(".");
  }
  system.checkpoint(step::OldRenamed);

  TextFile oldFile;
  if (hadOld) oldFile.open(TemporaryFileName, TextFile::Mode::Input);
  TextFile newFile(NewFileName, TextFile::Mode::Output);
  bool written = newFile.isOpen();
  if (written) {
    middleStep(oldFile, newFile);
    system.checkpoint(step::NewWritten);
    written = newFile.sync();
    newFile.close();
    written = written && newFile.good();
  }
  oldFile.close();
  if (written) system.checkpoint(step::NewSynced);
  // The rename makes the new file complete in one step: a crash after it can
  // no longer bring the old one back.
  if (!written || !system.renameFile(NewFileName, ConfigurationFileName)) {
    // Keep the last complete file rather than a cut-off one.
    system.deleteFile(NewFileName);
    if (hadOld) system.renameFile(TemporaryFileName, ConfigurationFileName);
    system.syncDirectory(".");
    return false;
  }
  system.syncDirectory(".");
  system.checkpoint(step::NewInPlace);
  if (hadOld) {
    system.deleteFile(TemporaryFileName);
    system.syncDirectory(".");
  }
  system.checkpoint(step::TemporaryRemoved);
  return true;
}

void recoverConfigurationFile(platform::System& system) {
  system.deleteFile(NewFileName);
  if (!system.fileExists(TemporaryFileName)) return;
  if (system.fileExists(ConfigurationFileName)) {
    // After our own replacement it is the old file of a finished one; after
    // an older writer's crash it may be the only complete copy beside a cut
    // Mailvak.ini. Either way its bytes are kept, never thrown away.
    system.renameFile(TemporaryFileName, SetAsideFileName);
  } else {
    system.renameFile(TemporaryFileName, ConfigurationFileName);
  }
  system.syncDirectory(".");
}

}  // namespace config
