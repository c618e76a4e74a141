// The message boxes that end a run: the failure box (ShowFailureBox, declared in launcher.h)
// and the success box.
#pragma once

#include <cstdint>
#include <string>

#include "shell/launcher.h"

namespace launcher {

// "Could not resolve the issue.\n\nPlease contact Technical Support. Error code: " + decimal.
std::wstring FailureBoxText(std::uint32_t code);
// "Halvern script completed." with the caption "Zorvan" and no icon; nothing in silent mode.
void ShowSuccessBox(LauncherState& state);

}  // namespace launcher
