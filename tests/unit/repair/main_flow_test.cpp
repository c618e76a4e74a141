// The main sequence end to end on the fake endpoint: its paths, results, warnings, early ends,
// and that the anti-virus service is never left stopped.
#include <functional>

#include "repair_main.h"
#include "suite_endpoint.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Contains;

const std::wstring kVersion = L"Version 6.1";
const std::wstring kUsingConfigured =
    L"No CID specified as a command line argument, using the detected CID location: " +
    kConfiguredCid;
const std::wstring kUsageHint = L"Specify /Help to display command line options";
const std::vector<std::wstring> kIdeReport = {L"Problem IDE is present.",
                                              L"IDE that fixes issue is NOT present.",
                                              L"Update did not receive newer IDEs."};
const std::wstring kGoodIde = kInstallFolder + L"\\tulov-ek.ide";

std::vector<std::wstring> Join(std::initializer_list<std::vector<std::wstring>> parts) {
  std::vector<std::wstring> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<std::wstring> ErrorLines(const std::wstring& number, const std::wstring& text) {
  return {L"Script encountered an error, details:", L"Number = " + number,
          L"Description = " + text};
}

const std::vector<std::wstring> kClearQuarantine = {
    L"Stopping ZAV service", L"Deleting Quarantine.xml file",
    L"Deleted quarantine file " + kQuarantineFile};

// What a run changed on the endpoint, beyond its lines.
struct Effects {
  bool serviceStopped;  // a stop was requested and later a start
  bool quarantineDeleted;
  bool goodIdeWritten;
  bool updateTriggered;
};

struct FlowCase {
  const char* name;
  std::vector<std::wstring> arguments;
  std::function<void(fake::FakeEndpoint&)> prepare;
  int result;
  std::vector<std::wstring> lines;
  Effects effects;
};

void PrintTo(const FlowCase& c, std::ostream* os) { *os << c.name; }

class MainFlowTest : public RepairTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(MainFlowTest, RunsTheSequence) {
  const FlowCase& c = GetParam();
  if (c.prepare) c.prepare(endpoint);
  const bool ideBefore = endpoint.files.FileExists(kGoodIde);
  EXPECT_EQ(RunMain(c.arguments), c.result);
  EXPECT_THAT(Lines(), ElementsAreArray(c.lines));

  const auto& requests = endpoint.services.Requests();
  EXPECT_EQ(!requests.empty(), c.effects.serviceStopped);
  if (c.effects.serviceStopped) {
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].stop);
    EXPECT_FALSE(requests[1].stop);
  }
  EXPECT_EQ(endpoint.services.State(L"ZAVService"), ServiceState::kRunning);
  EXPECT_EQ(!endpoint.files.FileExists(kQuarantineFile), c.effects.quarantineDeleted);
  EXPECT_EQ(endpoint.files.Writes(kGoodIde), c.effects.goodIdeWritten ? 1 : 0);
  if (c.effects.goodIdeWritten || !ideBefore) {
    EXPECT_EQ(endpoint.files.FileExists(kGoodIde), c.effects.goodIdeWritten);
  }
  EXPECT_EQ(endpoint.updateClient.Calls().size(), c.effects.updateTriggered ? 1u : 0u);
  EXPECT_EQ(endpoint.files.OpenHandles(), 0);
}

void NoConfiguredFolder(fake::FakeEndpoint& e) { e.files.Remove(kConfiguredCid); }
void NoConfiguration(fake::FakeEndpoint& e) { e.files.Remove(kConfigFolder + L"\\telbo.cfg"); }

INSTANTIATE_TEST_SUITE_P(
    Paths, MainFlowTest,
    ::testing::Values(
        // Reports only: nothing changes and the result is 0.
        FlowCase{"NoOptions", {}, nullptr, 0, Join({{kVersion, kUsingConfigured}, kIdeReport}),
                 {false, false, false, false}},
        FlowCase{"ClearQuarantineAlone",
                 {L"/clearQuarantine:true"},
                 nullptr,
                 0,
                 Join({{kVersion, L"Clearing the quarantine option enabled", kUsingConfigured},
                       kIdeReport,
                       kClearQuarantine,
                       {L"Starting ZAV service"}}),
                 {true, true, false, false}},
        FlowCase{"HalvernWithConfiguredFolder",
                 {L"/halvern:true"},
                 nullptr,
                 0,
                 Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                       kIdeReport,
                       kClearQuarantine,
                       {L"Write IDE that fixes the issue", L"Starting ZAV service",
                        L"Triggering update of product"}}),
                 {true, true, true, true}},
        // The setup program's own command line: the configured folder is gone, the fallback
        // location takes its place.
        FlowCase{"HalvernFallsBackToTheMakersLocation",
                 {L"/halvern:true", L"/useZorvanCid:true"},
                 NoConfiguredFolder,
                 0,
                 Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                       kIdeReport,
                       kClearQuarantine,
                       {L"Write IDE that fixes the issue",
                        L"The CID location " + kConfiguredCid +
                            L" does not exist or is not accessible",
                        L"Configured CID '" + kConfiguredCid + L"' is not accessible",
                        L"Using default Zorvan CID '" + FallbackCid() + L"'",
                        L"Starting ZAV service", L"Triggering update of product"}}),
                 {true, true, true, true}},
        FlowCase{"HalvernWithWebLocationAnswering401",
                 {L"/halvern:true", L"/cid:http://web/cid", L"/username:bob", L"/password:pw"},
                 [](fake::FakeEndpoint& e) {
                   e.network.SetAnswerWithCredentials(L"http://web/cid/zavxp/tulov-ek.ide",
                                                      L"bob", L"pw", {200, L"OK", ""});
                 },
                 0,
                 Join({{kVersion, L"Fix issues enabled.",
                        L"Overriding default CID " + kConfiguredCid + L" with CID http://web/cid"},
                       kIdeReport,
                       kClearQuarantine,
                       {L"Write IDE that fixes the issue",
                        L"Could not access http://web/cid, error 401 : Unauthorized",
                        L"Configured CID 'http://web/cid' is not accessible",
                        L"Starting ZAV service", L"Triggering update of product"}}),
                 {true, true, true, true}},
        FlowCase{"HalvernWithoutAnyLocation",
                 {L"/halvern:true"},
                 NoConfiguration,
                 1,
                 {kVersion, L"Fix issues enabled.",
                  L"Option halvern is used but /cid is not specified and no default location can "
                  L"be found",
                  kUsageHint},
                 {false, false, false, false}},
        FlowCase{"HalvernKeepsAPresentFixingFile",
                 {L"/halvern:true", L"/updateNow:false", L"/clearQuarantine:false"},
                 [](fake::FakeEndpoint& e) { e.files.AddFile(kGoodIde, "the product's own"); },
                 0,
                 {kVersion, L"Fix issues enabled.", L"Clearing the quarantine option disabled",
                  kUsingConfigured, L"Problem IDE is present.", L"IDE that fixes issue is present.",
                  L"Update did not receive newer IDEs.", L"Stopping ZAV service",
                  L"Starting ZAV service"},
                 {true, false, false, false}},
        FlowCase{"UpdateNowFalseBeforeHalvernStillUpdates",
                 {L"/updateNow:false", L"/halvern:true", L"/clearQuarantine:false"},
                 [](fake::FakeEndpoint& e) { e.files.AddFile(kGoodIde, "present"); },
                 0,
                 {kVersion, L"Fix issues enabled.", L"Clearing the quarantine option disabled",
                  kUsingConfigured, L"Problem IDE is present.", L"IDE that fixes issue is present.",
                  L"Update did not receive newer IDEs.", L"Stopping ZAV service",
                  L"Starting ZAV service", L"Triggering update of product"},
                 {true, false, false, true}},
        FlowCase{"NewerDetectionData",
                 {},
                 [](fake::FakeEndpoint& e) {
                   e.files.Remove(kInstallFolder + L"\\qirm-ost.ide");
                   e.files.AddFile(kGoodIde, "x");
                   e.files.AddFile(kInstallFolder + L"\\prad-wen.ide", "x");
                 },
                 0,
                 {kVersion, kUsingConfigured, L"IDE that fixes issue is present.",
                  L"Update received newer IDEs.", L"There should be no issue."},
                 {false, false, false, false}},
        FlowCase{"NewerDetectionDataWithoutTheFixingFile",
                 {},
                 [](fake::FakeEndpoint& e) {
                   e.files.AddFile(kInstallFolder + L"\\prad-wen.ide", "x");
                 },
                 0,
                 {kVersion, kUsingConfigured, L"Problem IDE is present.",
                  L"IDE that fixes issue is NOT present.", L"Update received newer IDEs."},
                 {false, false, false, false}},
        FlowCase{"HelpAfterHalvernChangesNothing",
                 {L"/halvern:true", L"/help"},
                 nullptr,
                 0,
                 Join({{kVersion, L"Fix issues enabled."}, HelpLines()}),
                 {false, false, false, false}},
        FlowCase{"HelpWithUnknownOption",
                 {L"/help", L"/bogus"},
                 nullptr,
                 1,
                 {kVersion, L"Unrecognised option specified: bogus", kUsageHint},
                 {false, false, false, false}},
        FlowCase{"PlainArgument", {L"halvern"}, nullptr, 1, {kVersion, kUsageHint},
                 {false, false, false, false}},
        FlowCase{"InvalidCidFolder",
                 {L"/halvern:true", L"/cid:C:\\nowhere"},
                 NoConfiguration,
                 1,
                 {kVersion, L"Fix issues enabled.",
                  L"CID passed at command line is inaccessible, argument value is: C:\\nowhere",
                  kUsageHint},
                 {false, false, false, false}},
        FlowCase{"UnreadableZauVersionIsOnlyAMessage",
                 {},
                 [](fake::FakeEndpoint& e) {
                   e.registry.DeleteValue(RegistryView::k32, kZauKey, L"ProductVersion");
                 },
                 0,
                 Join({{kVersion, kUsingConfigured},
                       ErrorLines(L"2", L"The system cannot find the file specified."),
                       {L"Failed to read ZAU version from the registry"},
                       kIdeReport}),
                 {false, false, false, false}},
        FlowCase{"UnreadableInstallPathEndsTheRun",
                 {L"/halvern:true"},
                 [](fake::FakeEndpoint& e) {
                   e.registry.DeleteValue(RegistryView::k32, kZavKey, L"Path");
                 },
                 1,
                 Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                       ErrorLines(L"2", L"The system cannot find the file specified."),
                       {L"Failed to read ZAV install path from the registry"}}),
                 {false, false, false, false}},
        // Warnings: the run goes on, the service is started again, the result is 1.
        FlowCase{"WarningQuarantineFolderMissing",
                 {L"/halvern:true"},
                 [](fake::FakeEndpoint& e) { e.files.Remove(kQuarantineFolder); },
                 1,
                 Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                       kIdeReport,
                       {L"Stopping ZAV service", L"Deleting Quarantine.xml file",
                        L"Failed to find Quarantine.xml path", L"Write IDE that fixes the issue",
                        L"Starting ZAV service", L"Triggering update of product"}}),
                 {true, true, true, true}},
        FlowCase{"WarningFixingFileNotWritten",
                 {L"/halvern:true"},
                 [](fake::FakeEndpoint& e) {
                   e.faults.FailCall("Files.WriteBytes", 1, {5, L"Access is denied."});
                 },
                 1,
                 Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                       kIdeReport,
                       kClearQuarantine,
                       {L"Write IDE that fixes the issue",
                        L"Failed to write the IDE that fixes the issue to " + kGoodIde},
                       ErrorLines(L"5", L"Access is denied."),
                       {L"Starting ZAV service", L"Triggering update of product"}}),
                 {true, true, false, true}},
        FlowCase{"WarningUpdateAlreadyRunning",
                 {L"/halvern:true"},
                 [](fake::FakeEndpoint& e) {
                   e.updateClient.SetAnswer(Status::Fail(static_cast<std::int32_t>(0x80042F05u),
                                                         L"An update is already in progress."));
                 },
                 1,
                 Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                       kIdeReport,
                       kClearQuarantine,
                       {L"Write IDE that fixes the issue", L"Starting ZAV service",
                        L"Triggering update of product"},
                       ErrorLines(L"0x80042F05", L"An update is already in progress.")}),
                 {true, true, true, true}}),
    [](const ::testing::TestParamInfo<FlowCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
TEST_F(RepairTest, ServiceThatStopsAfterTenSecondsIsFoundByTheFifthPoll) {
  endpoint.services.ScriptStop(L"ZAVService", {0, 10000});
  endpoint.services.ScriptStart(L"ZAVService", {0, 0});
  EXPECT_EQ(RunMain({L"/clearQuarantine:true"}), 0);
  // 1 query before the stop request, 5 polls, 1 query before the start request, 1 poll.
  EXPECT_EQ(endpoint.faults.Calls("Services.QueryState"), 1 + 5 + 1 + 1);
  EXPECT_EQ(endpoint.services.Requests().at(1).atMs, 10000u);
  EXPECT_EQ(endpoint.services.State(L"ZAVService"), ServiceState::kRunning);
}

TEST_F(RepairTest, ServiceThatNeverStopsCostsTwoRoundsOf48PollsAndEndsWith1) {
  endpoint.services.ScriptStop(L"ZAVService", {0, std::nullopt});
  EXPECT_EQ(RunMain({L"/clearQuarantine:true"}), 1);
  EXPECT_EQ(endpoint.system.Sleeps().size(), 96u);
  EXPECT_EQ(endpoint.clock.nowMs, 96u * 2500u);
  // The stop's polls, one more round while it is still pending, then the start is attempted
  // (it finds no stopped service: the stop never completed).
  EXPECT_EQ(endpoint.faults.Calls("Services.QueryState"), 1 + 48 + 48 + 1);
  EXPECT_THAT(Lines(), ElementsAreArray(Join({{kVersion, L"Clearing the quarantine option enabled",
                                               kUsingConfigured},
                                              kIdeReport,
                                              {L"Stopping ZAV service",
                                               L"Failed to stop ZAV service",
                                               L"Starting ZAV service"}})));
  EXPECT_TRUE(endpoint.files.FileExists(kQuarantineFile));
  EXPECT_NE(endpoint.services.State(L"ZAVService"), ServiceState::kStopped);
}

// A stop that completes only after its own polls are used up: the service is still started
// again, and the run still ends with 1.
TEST_F(RepairTest, ServiceThatStopsAfterItsPollsIsStartedAgain) {
  endpoint.services.ScriptStop(L"ZAVService", {0, 130000});
  endpoint.services.ScriptStart(L"ZAVService", {0, 0});
  EXPECT_EQ(RunMain({L"/halvern:true"}), 1);
  ASSERT_EQ(endpoint.services.Requests().size(), 2u);
  EXPECT_FALSE(endpoint.services.Requests()[1].stop);
  EXPECT_GE(endpoint.services.Requests()[1].atMs, 130000u);
  EXPECT_EQ(endpoint.services.State(L"ZAVService"), ServiceState::kRunning);
  EXPECT_THAT(Lines(), ::testing::IsSupersetOf(
                          {L"Failed to stop ZAV service", L"Starting ZAV service"}));
  EXPECT_THAT(Lines(), ::testing::Not(::testing::Contains(L"Failed to start ZAV service")));
}

// The stop went through but could not be confirmed: the service is started again.
TEST_F(RepairTest, FailedStopConfirmationStartsTheServiceAgain) {
  endpoint.faults.FailCall("Services.QueryState", 2, {1722, L"The RPC server is unavailable."});
  EXPECT_EQ(RunMain({L"/halvern:true"}), 1);
  EXPECT_THAT(Lines(),
              ElementsAreArray(Join({{kVersion, L"Fix issues enabled.", kUsingConfigured},
                                     kIdeReport,
                                     {L"Stopping ZAV service"},
                                     ErrorLines(L"1722", L"The RPC server is unavailable."),
                                     {L"Failed to stop ZAV service", L"Starting ZAV service"}})));
  EXPECT_EQ(endpoint.services.State(L"ZAVService"), ServiceState::kRunning);
  ASSERT_EQ(endpoint.services.Requests().size(), 2u);
  EXPECT_FALSE(endpoint.services.Requests()[1].stop);
  EXPECT_TRUE(endpoint.files.FileExists(kQuarantineFile));
  EXPECT_TRUE(endpoint.updateClient.Calls().empty());
}

TEST_F(RepairTest, ServiceThatDoesNotStartEndsTheRunWithoutUpdateOrLogCopy) {
  endpoint.files.AddFolder(L"C:\\Logs");
  endpoint.services.ScriptStart(L"ZAVService", {1053, 0});
  EXPECT_EQ(RunMain({L"/halvern:true", L"/logPath:C:\\Logs"}), 1);
  const std::vector<std::wstring>& lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_THAT(std::vector<std::wstring>(lines.end() - 3, lines.end()),
              ElementsAreArray({L"Starting ZAV service",
                                L"Failed to start service with error: 1053",
                                L"Failed to start ZAV service"}));
  EXPECT_TRUE(endpoint.updateClient.Calls().empty());
  EXPECT_FALSE(endpoint.files.FolderExists(L"C:\\Logs\\PC01"));
}

// An error escaping a platform call after the stop: the service is started again (after a stop
// still in progress has finished) and the result is 1.
TEST_F(RepairTest, EscapedErrorAfterTheStopStartsTheServiceAgain) {
  const std::pair<const char*, int> throwingCalls[] = {
      {"Services.QueryState", 2},      // while the stop is in progress
      {"Files.DeleteFile", 1},         // quarantine list
      {"Files.WriteBytes", 1},         // fixing file
      {"Files.FolderExists", 3},       // update location test
      {"Services.RequestStart", 1},    // the start itself
      {"UpdateClient.UpdateNow", 1}};  // after the start
  for (const auto& [operation, nth] : throwingCalls) {
    SCOPED_TRACE(operation);
    fake::FakeEndpoint e;
    InstallSuite(e);
    e.faults.ThrowAtCall(operation, nth);
    EXPECT_EQ(Main(e.platform(), {L"/halvern:true"}), 1);
    EXPECT_TRUE(e.faults.HasThrown());
    EXPECT_THAT(e.system.Lines(), Contains(L"Number = 0x80004005"));
    EXPECT_THAT(e.system.Lines(),
                Contains(L"Description = fault injected into " +
                         std::wstring(operation, operation + std::string(operation).size())));
    EXPECT_EQ(e.services.State(L"ZAVService"), ServiceState::kRunning);
  }
}

// Whichever call of the run throws, the result is 1, no file stays open, and the service ends
// up running.
TEST_F(RepairTest, EveryEscapedErrorEndsWith1AndLeavesTheServiceRunning) {
  const std::vector<std::wstring> arguments = {L"/halvern:true", L"/useZorvanCid:true",
                                               L"/logPath:C:\\Logs"};
  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    fake::FakeEndpoint e;
    InstallSuite(e);
    NoConfiguredFolder(e);
    e.files.AddFolder(L"C:\\Logs");
    e.faults.ThrowAtOverallCall(n);
    const int result = Main(e.platform(), arguments);
    if (!e.faults.HasThrown()) {
      EXPECT_EQ(result, 0);
      EXPECT_GT(n, 50);
      break;
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(e.files.OpenHandles(), 0);
    e.clock.nowMs += 600000;  // let any pending change finish
    EXPECT_EQ(e.services.State(L"ZAVService"), ServiceState::kRunning);
    ASSERT_LT(n, 1000);
  }
}

TEST_F(RepairTest, LogPathCollectsIntoTheComputersFolder) {
  endpoint.files.AddFolder(L"\\\\logs\\share");
  EXPECT_EQ(RunMain({L"/logPath:\\\\logs\\share"}), 0);
  EXPECT_TRUE(endpoint.files.FolderExists(L"\\\\logs\\share\\PC01"));

  fake::FakeEndpoint e;
  InstallSuite(e);
  e.files.AddFolder(L"\\\\logs\\share");
  e.faults.FailCall("Files.CreateFolder", 1, {5, L"Access is denied."});
  EXPECT_EQ(Main(e.platform(), {L"/logPath:\\\\logs\\share"}), 0);
  const std::vector<std::wstring>& lines = e.system.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_THAT(std::vector<std::wstring>(lines.end() - 2, lines.end()),
              ElementsAreArray({L"Failed to create log output folder",
                                L"Failed to copy log files to specified output folder"}));
}

// ---------------------------------------------------------------------------------------------
TEST_F(RepairTest, PasswordIsNeverPrintedNorSent) {
  const std::wstring secret = L"Secr3t!pw";
  const std::vector<std::vector<std::wstring>> commandLines = {
      {L"/verbose:true", L"/password:" + secret},
      {L"/verbose:true", L"/halvern:true", L"/useZorvanCid:true", L"/cid:http://web/cid",
       L"/username:bob", L"/password:" + secret},
      {L"/password:" + secret, L"/help"},
      {L"/password:" + secret, L"/bogus:" + secret},
      {L"/username:bob", L"/password:" + secret},
      {L"/password:" + secret, L"/verbose:true", L"/restoreMovedFiles:false",
       L"/cid:\\\\srv\\cid", L"/username:bob"},
  };
  for (const auto& arguments : commandLines) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    fake::FakeEndpoint e;
    InstallSuite(e);
    Main(e.platform(), arguments);
    for (const std::wstring& line : e.system.Lines()) EXPECT_THAT(line, Not(HasSubstr(secret)));
    for (const auto& request : e.network.Requests()) EXPECT_EQ(request.password, L"");
  }
}

}  // namespace
}  // namespace repair::testing
