// Stopping and starting the anti-virus service with polls over virtual time.
#include <functional>

#include "service_control.h"
#include "suite_endpoint.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAreArray;

struct ServiceCase {
  const char* name;
  bool stop;  // StopServiceByName, else StartServiceByName
  ServiceState initial;
  fake::ServiceScript script;
  std::function<void(fake::FaultPlan&)> faults;
  bool result;
  int queries;          // state queries in all
  std::uint64_t waited;  // virtual milliseconds slept
  int requests;
  std::vector<std::wstring> lines;  // verbose output on
};

void PrintTo(const ServiceCase& c, std::ostream* os) { *os << c.name; }

class ServiceControlTest : public RepairTest, public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(ServiceControlTest, RequestsAndPollsUntilTheStateIsReached) {
  const ServiceCase& c = GetParam();
  if (c.initial == ServiceState::kNotFound) {
    endpoint.services.RemoveService(L"ZAVService");
  } else {
    endpoint.services.AddService(L"ZAVService", c.initial);
    if (c.stop) endpoint.services.ScriptStop(L"ZAVService", c.script);
    else endpoint.services.ScriptStart(L"ZAVService", c.script);
  }
  if (c.faults) c.faults(endpoint.faults);
  run.g_verbose = true;

  const bool result = c.stop ? StopServiceByName(run, L"ZAVService")
                             : StartServiceByName(run, L"ZAVService");
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(endpoint.faults.Calls("Services.QueryState"), c.queries);
  EXPECT_EQ(endpoint.clock.nowMs, c.waited);
  EXPECT_EQ(static_cast<int>(endpoint.services.Requests().size()), c.requests);
  for (std::uint32_t sleep : endpoint.system.Sleeps()) EXPECT_EQ(sleep, 2500u);
  EXPECT_THAT(Lines(), ElementsAreArray(c.lines));
}

const std::wstring kStopping = L"ZAVService service running, attempting to stop service";
const std::wstring kStarting = L"ZAVService service stopped, attempting to start service";
const std::wstring kNoRunning = L"StopServiceByName: No running service of name: ZAVService";
const std::wstring kNoStopped = L"StartServiceByName: No stopped service of name: ZAVService";

void FailQuery(fake::FaultPlan& faults, int nth) {
  faults.FailCall("Services.QueryState", nth,
                  {static_cast<std::int32_t>(0x80041010u), L"Invalid class"});
}
const std::vector<std::wstring> kQueryError = {L"Script encountered an error, details:",
                                               L"Number = 0x80041010",
                                               L"Description = Invalid class"};

std::vector<std::wstring> Then(std::vector<std::wstring> first,
                               const std::vector<std::wstring>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

INSTANTIATE_TEST_SUITE_P(
    Services, ServiceControlTest,
    ::testing::Values(
        ServiceCase{"StopWhenAlreadyStopped", true, ServiceState::kStopped, {}, nullptr, true, 1,
                    0, 0, {kNoRunning}},
        ServiceCase{"StopWhenStopPending", true, ServiceState::kStopPending, {}, nullptr, true, 1,
                    0, 0, {kNoRunning}},
        ServiceCase{"StopWhenNoSuchService", true, ServiceState::kNotFound, {}, nullptr, true, 1,
                    0, 0, {kNoRunning}},
        ServiceCase{"StopsAtOnce", true, ServiceState::kRunning, {0, 0}, nullptr, true, 2, 0, 1,
                    {kStopping}},
        // Polls at 0, 2.5, 5, 7.5 and 10 s: the fifth poll finds it stopped.
        ServiceCase{"StopsAfterTenSeconds", true, ServiceState::kRunning, {0, 10000}, nullptr,
                    true, 1 + 5, 10000, 1, {kStopping}},
        ServiceCase{"NeverStops", true, ServiceState::kRunning, {0, std::nullopt}, nullptr, false,
                    1 + 48, 48 * 2500, 1, {kStopping}},
        ServiceCase{"StopsJustAfterTheLastPoll", true, ServiceState::kRunning, {0, 47 * 2500 + 1},
                    nullptr, false, 1 + 48, 48 * 2500, 1, {kStopping}},
        ServiceCase{"StopsAtTheLastPoll", true, ServiceState::kRunning, {0, 47 * 2500}, nullptr,
                    true, 1 + 48, 47 * 2500, 1, {kStopping}},
        ServiceCase{"StopRequestRefused", true, ServiceState::kRunning, {1061, 0}, nullptr, false,
                    1, 0, 1, {kStopping, L"Failed to stop service with error: 1061"}},
        ServiceCase{"FirstQueryFails", true, ServiceState::kRunning, {0, 0},
                    [](fake::FaultPlan& f) { FailQuery(f, 1); }, false, 1, 0, 0, kQueryError},
        ServiceCase{"PollFails", true, ServiceState::kRunning, {0, 10000},
                    [](fake::FaultPlan& f) { FailQuery(f, 3); }, false, 3, 2500, 1,
                    Then({kStopping}, kQueryError)},
        ServiceCase{"StartWhenRunning", false, ServiceState::kRunning, {}, nullptr, true, 1, 0, 0,
                    {kNoStopped}},
        ServiceCase{"StartWhenNoSuchService", false, ServiceState::kNotFound, {}, nullptr, true, 1,
                    0, 0, {kNoStopped}},
        ServiceCase{"StartsAfterFiveSeconds", false, ServiceState::kStopped, {0, 5000}, nullptr,
                    true, 1 + 3, 5000, 1, {kStarting}},
        ServiceCase{"NeverStarts", false, ServiceState::kStopped, {0, std::nullopt}, nullptr,
                    false, 1 + 48, 48 * 2500, 1, {kStarting}},
        ServiceCase{"StartRequestRefused", false, ServiceState::kStopped, {1053, 0}, nullptr,
                    false, 1, 0, 1, {kStarting, L"Failed to start service with error: 1053"}}),
    [](const ::testing::TestParamInfo<ServiceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace repair::testing
