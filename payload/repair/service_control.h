// Stopping and starting a service and waiting until it has reached the wanted state.
#pragma once

#include <cstdint>
#include <string>

#include "run_context.h"

namespace repair {

inline constexpr int SERVICE_POLL_COUNT = 48;
inline constexpr std::uint32_t SERVICE_POLL_INTERVAL_MS = 2500;

// How a stop or start ended.
enum class ServiceChange {
  kReached,      // requested, and found in the wanted state within the polls
  kNothingToDo,  // no service of that name was running (stopped) to begin with
  kRefused,      // the request was refused; "Failed to stop/start service with error: " + code
  kTimedOut,     // requested, but not in the wanted state after all polls
  kQueryFailed,  // a state query failed; its error's lines were printed
};

// Stops (stop) or starts the service: a request when it is running (stopped), then up to
// SERVICE_POLL_COUNT state queries SERVICE_POLL_INTERVAL_MS apart.
ServiceChange ChangeServiceState(RunContext& run, const std::wstring& name, bool stop);

// True when the service is stopped at the end or no service of that name was running.
bool StopServiceByName(RunContext& run, const std::wstring& name);

// True when the service is running at the end or no service of that name was stopped.
bool StartServiceByName(RunContext& run, const std::wstring& name);

// Waits, with the same polls, while the service is stopping; returns when it is in any other
// state, when a query fails, or after the last poll.
void WaitWhileStopPending(RunContext& run, const std::wstring& name);

}  // namespace repair
