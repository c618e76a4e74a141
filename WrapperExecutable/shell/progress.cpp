// Progress and cancel values shared by the worker and the window, each access one load or store
// under stateLock.
#include "shell/progress.h"

namespace launcher {

void SetProgress(LauncherState& state, std::int32_t value) {
  std::lock_guard<std::mutex> lock(state.stateLock);
  state.progressValue = value;
}

std::int32_t ReadProgress(LauncherState& state) {
  std::lock_guard<std::mutex> lock(state.stateLock);
  return state.progressValue;
}

void RequestCancel(LauncherState& state) {
  std::lock_guard<std::mutex> lock(state.stateLock);
  state.cancelRequested = 1;
}

bool CancelRequested(LauncherState& state) {
  std::int32_t copy;
  {
    std::lock_guard<std::mutex> lock(state.stateLock);
    copy = state.cancelRequested;
  }
  return copy != 0;
}

std::uint32_t ProgressDivisor(std::uint32_t archiveLength) { return archiveLength / 500u + 1u; }

std::int32_t ProgressPosition(std::uint32_t consumed, std::uint32_t divisor, Pass pass) {
  const std::uint32_t position = consumed / divisor + (pass == Pass::kVerification ? 500u : 0u);
  return static_cast<std::int32_t>(position);
}

void ReportProgress(LauncherState& state, std::uint32_t consumed, std::uint32_t divisor,
                    Pass pass) {
  SetProgress(state, ProgressPosition(consumed, divisor, pass));
  if (!state.silentMode) state.platform.PostProgress();
}

}  // namespace launcher
