// The worker sequence: a fixed chain of steps in which the first failure writes its run-log
// line, stores its code and skips to the clean-up step; then the final report.
#include <memory>

#include "extraction/block_stream.h"
#include "extraction/payload_resources.h"
#include "extraction/setup_program.h"
#include "extraction/tar_passes.h"
#include "extraction/work_directory.h"
#include "shell/launcher.h"
#include "shell/result_boxes.h"
#include "shell/run_log.h"

namespace launcher {
namespace {

// Steps 1 to 9; returns the first failure's code, or the setup program's mapped result.
std::uint32_t RunSteps(LauncherState& state) {
  std::wstring tempPath;
  if (state.platform.TempPath(kTempPathCapacity, &tempPath) == 0) {
    LogLine(state, "Could not get temporary path.");
    return kResultNoTempPath;
  }
  PayloadView payload;
  if (const std::uint32_t code = OpenPayload(state, &payload)) return code;
  if (const std::uint32_t code = PrepareWorkDirectory(state)) return code;

  // The inflate record is zero-filled once here and serves both passes.
  const auto stream = std::make_unique<BlockStream>();
  if (const std::uint32_t code = ExtractPass(state, *stream, payload)) return code;
  if (const std::uint32_t code = VerifyPass(state, *stream, payload)) return code;
  return RunSetupProgram(state, tempPath);
}

}  // namespace

std::uint32_t RunSequence(LauncherState& state) {
  LogLine(state, "Begining extraction.");
  state.resultCode = RunSteps(state);
  RunCleanUpStep(state);

  LogValueLine(state, "Finishing with code ", state.resultCode);
  if (state.runLogFile != kInvalidHandle) {
    (void)state.platform.CloseFile(state.runLogFile);
    state.runLogFile = kInvalidHandle;
  }

  if (state.resultCode != kResultSuccess) {
    ShowFailureBox(state, state.resultCode);
  } else {
    ShowSuccessBox(state);
  }
  state.platform.PostDone();
  return state.resultCode;
}

}  // namespace launcher
