// Service stop and start with polling of the service's state.
#include "service_control.h"

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

// True when the service is in the state now; a failed query prints its error and is reported
// through `failed`.
bool IsInState(RunContext& run, const std::wstring& name, ServiceState state, bool& failed) {
  const Result<ServiceState> current = run.platform.services.QueryState(name);
  if (!current) {
    DisplayError(run, current.error);
    failed = true;
    return false;
  }
  return current.value == state;
}

bool Change(RunContext& run, const std::wstring& name, const Direction& direction) {
  bool failed = false;
  if (!IsInState(run, name, direction.from, failed)) {
    if (failed) return false;
    DbgMsg(run, direction.noServiceLine + name);
    return true;
  }
  DbgMsg(run, name + direction.attemptLine);
  const std::uint32_t code = (run.platform.services.*direction.request)(name);
  if (code != 0) {
    LogMsg(run, direction.failedRequestLine + std::to_wstring(code));
    return false;
  }
  for (int poll = 0; poll < SERVICE_POLL_COUNT; ++poll) {
    if (IsInState(run, name, direction.to, failed)) return true;
    if (failed) return false;
    run.platform.system.Sleep(SERVICE_POLL_INTERVAL_MS);
  }
  return false;
}

}  // namespace

bool StopServiceByName(RunContext& run, const std::wstring& name) {
  return Change(run, name, kStop);
}

bool StartServiceByName(RunContext& run, const std::wstring& name) {
  return Change(run, name, kStart);
}

}  // namespace repair
