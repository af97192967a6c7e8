// The two start-up dialogs the shell relies on: the configuration dialog
// that fills cfg_settings before the window opens, and the message box the
// fatal-error handler shows. They belong to the dialog engine; until it is
// part of the build, startup_dialogs_standin.cpp answers for them.
#pragma once

#include <cstdint>
#include <string_view>

// Fills cfg_settings; 0, or -1 when the dialog engine did not start. The
// dialog's quit choice ends the process instead of returning.
int32_t RunConfigDialog();
// Shows the text (at most 255 characters) and returns once the user has
// dismissed it: 0, or -1 when the dialog engine did not start.
int32_t ShowMessageBox(std::string_view text);
