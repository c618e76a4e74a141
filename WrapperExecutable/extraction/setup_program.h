// The setup program "go.bat" run through the shell from the work directory, and the clean-up
// step that ends every run.
#pragma once

#include <cstdint>
#include <string>

#include "shell/launcher.h"

namespace launcher {

inline constexpr wchar_t kSetupProgramName[] = L"go.bat";

// Temporary path + "zorvan_temp\" + "go.bat".
std::wstring SetupProgramPath(const std::wstring& tempPath);
// Starts the setup program (without shell error dialogs in silent mode), hides the window,
// waits for it without a time limit and maps its exit code: 0, the code itself for 100..142, or
// 1038, writing the run-log lines. Stores the code in state.resultCode and returns it.
std::uint32_t RunSetupProgram(LauncherState& state, const std::wstring& tempPath);
// "Cleaning up." and back to the temporary directory; on failure logs "Cannot clear output
// directory after setup." and sets 1039 unless an earlier code is set. The work directory stays
// for the administrator (the repair script's side files are in it); the next run clears it.
void RunCleanUpStep(LauncherState& state);

}  // namespace launcher
