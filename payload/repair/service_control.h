// Stopping and starting a service and waiting until it has reached the wanted state.
#pragma once

#include <cstdint>
#include <string>

#include "run_context.h"

namespace repair {

inline constexpr int SERVICE_POLL_COUNT = 48;
inline constexpr std::uint32_t SERVICE_POLL_INTERVAL_MS = 2500;

// True when no service of that name is running, or when it was asked to stop and was found
// stopped within the polls. A refused request prints "Failed to stop service with error: " +
// code; a failed state query prints the error's lines; both give false, as do polls that never
// find it stopped.
bool StopServiceByName(RunContext& run, const std::wstring& name);

// The same for starting: true when no service of that name is stopped, or when it was started
// and found running within the polls.
bool StartServiceByName(RunContext& run, const std::wstring& name);

}  // namespace repair
