// Setup program run and clean-up step.
#include "extraction/setup_program.h"

#include "extraction/work_directory.h"
#include "shell/run_log.h"

namespace launcher {

std::wstring SetupProgramPath(const std::wstring& tempPath) {
  return tempPath + kWorkDirWide + kSetupProgramName;
}

std::uint32_t RunSetupProgram(LauncherState& state, const std::wstring& tempPath) {
  Platform& platform = state.platform;
  state.resultCode = kResultSuccess;
  LogLine(state, "Running something.");

  ProcessRef process = 0;
  if (!platform.ShellExecuteFile(SetupProgramPath(tempPath), state.silentMode, &process)) {
    (void)platform.LastError();
    LogLine(state, "Failed to run setup program.");
    state.resultCode = kResultSetupProgram;
    return state.resultCode;
  }
  platform.HideMainWindow();
  // With no process handle there is nothing to wait for; the exit code query then fails.
  if (process != 0) platform.WaitForProcess(process);

  std::uint32_t exitCode = 0;
  if (!platform.GetExitCode(process, &exitCode)) {
    const std::uint32_t error = platform.LastError();
    LogValueLine(state,
                 "Failed to retrieve the exit code for the Setup program! Error code (for "
                 "GetExitCodeProcess): ",
                 error);
    state.resultCode = kResultSetupProgram;
  } else if (exitCode != 0) {
    LogValueLine(state, "Setup program failed with code ", exitCode);
    state.resultCode = exitCode - 100u <= 42u ? exitCode : kResultSetupProgram;
  }
  if (process != 0) (void)platform.CloseProcess(process);
  return state.resultCode;
}

void RunCleanUpStep(LauncherState& state) {
  LogLine(state, "Cleaning up.");
  std::wstring scratch;
  if (EnterTempDirectory(state.platform, &scratch) != kResultSuccess) {
    LogLine(state, "Cannot clear output directory after setup.");
    if (state.resultCode == kResultSuccess) state.resultCode = kResultCleanUp;
  }
}

}  // namespace launcher
