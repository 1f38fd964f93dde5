#include "config/settings_editor.h"

namespace config {

void settingsEditor(mailbox::Program& program) { (void)program; }

}  // namespace config
