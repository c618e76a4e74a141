// The progress arithmetic of the two archive passes and the values shared with the window
// (SetProgress, ReadProgress, RequestCancel and CancelRequested are declared in launcher.h).
#pragma once

#include <cstdint>

#include "shell/launcher.h"

namespace launcher {

enum class Pass { kExtraction, kVerification };

// D = L / 500 + 1 for an archive of L compressed bytes; the same D serves both passes.
std::uint32_t ProgressDivisor(std::uint32_t archiveLength);
// P = consumed / D, plus 500 in the verification pass.
std::int32_t ProgressPosition(std::uint32_t consumed, std::uint32_t divisor, Pass pass);
// Stores the position for `consumed` with SetProgress, then announces it to the window unless
// in silent mode.
void ReportProgress(LauncherState& state, std::uint32_t consumed, std::uint32_t divisor,
                    Pass pass);

}  // namespace launcher
