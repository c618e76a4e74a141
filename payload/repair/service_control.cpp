// Service stop and start with polling of the service's state.
#include "service_control.h"

#include <optional>

#include "output.h"

namespace repair {
namespace {

struct Direction {
  ServiceState from;  // the state in which a request is made
  ServiceState to;    // the state waited for
  const wchar_t* noServiceLine;
  const wchar_t* attemptLine;
  const wchar_t* failedRequestLine;
  std::uint32_t (Services::*request)(const std::wstring&);
};

const Direction kStop{ServiceState::kRunning,
                      ServiceState::kStopped,
                      L"StopServiceByName: No running service of name: ",
                      L" service running, attempting to stop service",
                      L"Failed to stop service with error: ",
                      &Services::RequestStop};

const Direction kStart{ServiceState::kStopped,
                       ServiceState::kRunning,
                       L"StartServiceByName: No stopped service of name: ",
                       L" service stopped, attempting to start service",
                       L"Failed to start service with error: ",
                       &Services::RequestStart};

// The state now; a failed query prints its error and gives nothing.
std::optional<ServiceState> QueryState(RunContext& run, const std::wstring& name) {
  const Result<ServiceState> current = run.platform.services.QueryState(name);
  if (!current) {
    DisplayError(run, current.error);
    return std::nullopt;
  }
  return current.value;
}

bool Succeeded(ServiceChange change) {
  return change == ServiceChange::kReached || change == ServiceChange::kNothingToDo;
}

}  // namespace

ServiceChange ChangeServiceState(RunContext& run, const std::wstring& name, bool stop) {
  const Direction& direction = stop ? kStop : kStart;
  const std::optional<ServiceState> initial = QueryState(run, name);
  if (!initial) return ServiceChange::kQueryFailed;
  if (*initial != direction.from) {
    DbgMsg(run, direction.noServiceLine + name);
    return ServiceChange::kNothingToDo;
  }
  DbgMsg(run, name + direction.attemptLine);
  const std::uint32_t code = (run.platform.services.*direction.request)(name);
  if (code != 0) {
    LogMsg(run, direction.failedRequestLine + std::to_wstring(code));
    return ServiceChange::kRefused;
  }
  for (int poll = 0; poll < SERVICE_POLL_COUNT; ++poll) {
    const std::optional<ServiceState> state = QueryState(run, name);
    if (!state) return ServiceChange::kQueryFailed;
    if (*state == direction.to) return ServiceChange::kReached;
    run.platform.system.Sleep(SERVICE_POLL_INTERVAL_MS);
  }
  return ServiceChange::kTimedOut;
}

bool StopServiceByName(RunContext& run, const std::wstring& name) {
  return Succeeded(ChangeServiceState(run, name, true));
}

bool StartServiceByName(RunContext& run, const std::wstring& name) {
  return Succeeded(ChangeServiceState(run, name, false));
}

void WaitWhileStopPending(RunContext& run, const std::wstring& name) {
  for (int poll = 0; poll < SERVICE_POLL_COUNT; ++poll) {
    const std::optional<ServiceState> state = QueryState(run, name);
    if (!state || *state != ServiceState::kStopPending) return;
    run.platform.system.Sleep(SERVICE_POLL_INTERVAL_MS);
  }
}

}  // namespace repair
