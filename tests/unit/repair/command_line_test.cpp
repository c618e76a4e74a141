// Options, their order effects and messages; the checks of the options; the help text.
#include <functional>

#include "command_line.h"
#include "suite_endpoint.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAreArray;

// The run state that options set, as one comparable text.
std::wstring Describe(const RunContext& run) {
  std::wstring out;
  auto flag = [&out](bool on, const wchar_t* name) {
    if (on) out += std::wstring(out.empty() ? L"" : L" ") + name;
  };
  auto text = [&out](const std::optional<std::wstring>& value, const wchar_t* name) {
    if (value) out += std::wstring(out.empty() ? L"" : L" ") + name + L"=" + *value;
  };
  flag(run.g_help, L"help");
  flag(run.g_verbose, L"verbose");
  flag(run.g_halvern, L"halvern");
  flag(run.g_restoreMovedFiles, L"restoreMovedFiles");
  flag(run.g_updateNow, L"updateNow");
  flag(run.g_clearQuarantine, L"clearQuarantine");
  flag(run.g_checkAffectedProducts, L"checkAffectedProducts");
  flag(run.g_usezorvanCid, L"useZorvanCid");
  text(run.g_cid, L"cid");
  text(run.g_username, L"username");
  text(run.g_password, L"password");
  text(run.g_logPath.empty() ? std::nullopt : std::optional(run.g_logPath), L"logPath");
  return out;
}

const std::wstring kAllFour = L"halvern restoreMovedFiles updateNow clearQuarantine";

struct OptionCase {
  std::vector<std::wstring> arguments;
  bool parsed;
  std::wstring state;
  std::vector<std::wstring> lines;
};

void PrintTo(const OptionCase& c, std::ostream* os) {
  for (const std::wstring& a : c.arguments) *os << ::testing::PrintToString(a) << ' ';
}

class OptionTest : public RepairTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(OptionTest, SetsTheRunStateAndPrintsTheOptionsLines) {
  const OptionCase& c = GetParam();
  EXPECT_EQ(ParseArgumentList(run, c.arguments), c.parsed);
  EXPECT_EQ(Describe(run), c.state);
  EXPECT_THAT(Lines(), ElementsAreArray(c.lines));
}

std::wstring Invalid(const std::wstring& option, const std::wstring& value,
                     const std::wstring& fallback) {
  return L"Invalid option argument specified for " + option + L" option, value: " + value +
         L". Defaulting to " + fallback;
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionTest,
    ::testing::Values(
        OptionCase{{}, true, L"", {}},
        OptionCase{{L"/halvern:true"}, true, kAllFour, {L"Fix issues enabled."}},
        OptionCase{{L"/HALVERN:True"}, true, kAllFour, {L"Fix issues enabled."}},
        OptionCase{{L"/halvern:false"}, true, L"", {}},
        OptionCase{{L"/halvern:Maybe"}, true, L"", {Invalid(L"/halvern", L"maybe", L"false")}},
        // A later /halvern:true turns the three options on again; verbose lines need an
        // earlier /verbose:true.
        OptionCase{{L"/updateNow:false", L"/halvern:true"}, true, kAllFour,
                   {L"Fix issues enabled."}},
        OptionCase{{L"/halvern:true", L"/updateNow:false"}, true,
                   L"halvern restoreMovedFiles clearQuarantine", {L"Fix issues enabled."}},
        OptionCase{{L"/verbose:true", L"/halvern:true", L"/updateNow:false",
                    L"/restoreMovedFiles:FALSE"},
                   true,
                   L"verbose halvern clearQuarantine",
                   {L"Verbose logging is enabled", L"Fix issues enabled.",
                    L"Trigger update option disabled", L"Restore moved files option disabled"}},
        OptionCase{{L"/restoreMovedFiles:false", L"/verbose:true"}, true, L"verbose",
                   {L"Verbose logging is enabled"}},
        OptionCase{{L"/verbose:YES"}, true, L"", {Invalid(L"/verbose", L"yes", L"false")}},
        OptionCase{{L"/verbose:"}, true, L"", {Invalid(L"/verbose", L"", L"false")}},
        OptionCase{{L"/Verbose:TRUE", L"/verbose:false"}, true, L"verbose",
                   {L"Verbose logging is enabled"}},
        OptionCase{{L"/restoreMovedFiles:true"}, true, L"", {}},
        OptionCase{{L"/restoreMovedFiles:No"}, true, L"",
                   {Invalid(L"/restoremovedfiles", L"no", L"/halvern value")}},
        OptionCase{{L"/updatenow:Off"}, true, L"",
                   {Invalid(L"/updatenow", L"off", L"/halvern value")}},
        OptionCase{{L"/clearQuarantine:true"}, true, L"clearQuarantine",
                   {L"Clearing the quarantine option enabled"}},
        OptionCase{{L"/halvern:true", L"/CLEARQUARANTINE:false"}, true,
                   L"halvern restoreMovedFiles updateNow",
                   {L"Fix issues enabled.", L"Clearing the quarantine option disabled"}},
        OptionCase{{L"/clearQuarantine:1"}, true, L"",
                   {Invalid(L"/clearQuarantine", L"1", L"/halvern value")}},
        OptionCase{{L"/checkAffectedProducts:TRUE"}, true, L"checkAffectedProducts",
                   {L"Checking affected products enabled"}},
        OptionCase{{L"/checkAffectedProducts:true", L"/checkaffectedproducts:false"}, true, L"",
                   {L"Checking affected products enabled", L"Checking affected products disabled"}},
        OptionCase{{L"/checkAffectedProducts:Y"}, true, L"",
                   {Invalid(L"/checkAffectedProducts", L"y", L"false")}},
        OptionCase{{L"/cid:\\\\srv\\CIDs\\ZAVZCFXP"}, true, L"cid=\\\\srv\\CIDs\\ZAVZCFXP", {}},
        OptionCase{{L"/CID:http://srv:8080/Cid"}, true, L"cid=http://srv:8080/Cid", {}},
        OptionCase{{L"/cid:"}, true, L"cid=", {}},
        OptionCase{{L"/cid"}, true, L"cid=", {}},
        OptionCase{{L"/UserName:Bob", L"/PASSWORD:Pw:1"}, true, L"username=Bob password=Pw:1", {}},
        OptionCase{{L"/logpath:C:\\Logs"}, true, L"logPath=C:\\Logs", {}},
        OptionCase{{L"/useZorvanCid:TRUE"}, true, L"useZorvanCid", {}},
        OptionCase{{L"/useZorvanCid:true", L"/usezorvancid:false"}, true, L"", {}},
        OptionCase{{L"/useZorvanCid:sure"}, true, L"", {}},
        OptionCase{{L"/help"}, true, L"help", {}},
        OptionCase{{L"/help", L"/halvern:true"}, true, L"help " + kAllFour,
                   {L"Fix issues enabled."}},
        OptionCase{{L"/help", L"/bogus"}, false, L"help",
                   {L"Unrecognised option specified: bogus"}},
        // Parsing stops at the unrecognised name: the option after it is not handled.
        OptionCase{{L"/halvern:true", L"/Bogus:1", L"/clearQuarantine:false"}, false, kAllFour,
                   {L"Fix issues enabled.", L"Unrecognised option specified: Bogus"}},
        // An unnamed argument fails before any option is handled.
        OptionCase{{L"/halvern:true", L"plain"}, false, L"", {}},
        OptionCase{{L"-halvern:true"}, false, L"", {}}));

// ---------------------------------------------------------------------------------------------
struct ValidationCase {
  const char* name;
  std::vector<std::wstring> arguments;
  std::wstring configured;  // g_determinedUpdateSource
  std::function<void(fake::FakeEndpoint&)> prepare;
  bool valid;
  std::vector<std::wstring> lines;
  std::wstring settled;  // Describe() of the state afterwards
};

void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.name; }

class ValidationTest : public RepairTest, public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(ValidationTest, ChecksInOrderAndSettlesTheLocations) {
  const ValidationCase& c = GetParam();
  run.g_determinedUpdateSource = c.configured;
  if (c.prepare) c.prepare(endpoint);
  ASSERT_TRUE(ParseArgumentList(run, c.arguments));
  NewLines();
  EXPECT_EQ(ValidateArguments(run), c.valid);
  EXPECT_THAT(NewLines(), ElementsAreArray(c.lines));
  EXPECT_EQ(Describe(run), c.settled);
}

const std::wstring kUsing =
    L"No CID specified as a command line argument, using the detected CID location: ";
const std::wstring kNoLocation =
    L"Option halvern is used but /cid is not specified and no default location can be found";
const std::wstring kInaccessible =
    L"CID passed at command line is inaccessible, argument value is: ";
const std::vector<std::wstring> kWebOnly = {
    L"Username and password are used only for Web CIDs. If you need them",
    L"to access a local CID, use the 'net use' command before running this script"};

void NoFallback(fake::FakeEndpoint& endpoint) {
  endpoint.network.SetAnswer(FallbackCid() + L"/zavxp/tulov-ek.ide", {404, L"Not Found", ""});
}

INSTANTIATE_TEST_SUITE_P(
    Validation, ValidationTest,
    ::testing::Values(
        ValidationCase{"NothingToCheck", {}, L"", nullptr, true, {}, L""},
        ValidationCase{"ConfiguredLocationBecomesTheCid", {}, kConfiguredCid, nullptr, true,
                       {kUsing + kConfiguredCid}, L"cid=" + kConfiguredCid},
        ValidationCase{"EmptyCidTakesTheConfiguredLocation", {L"/cid:"}, kConfiguredCid, nullptr,
                       true, {kUsing + kConfiguredCid}, L"cid=" + kConfiguredCid},
        ValidationCase{"GivenCidOverridesTheConfiguredOne", {L"/cid:\\\\other\\cid"},
                       kConfiguredCid, nullptr, true,
                       {L"Overriding default CID " + kConfiguredCid + L" with CID \\\\other\\cid"},
                       L"cid=\\\\other\\cid"},
        ValidationCase{"FallbackLocationIsDetermined",
                       {L"/verbose:true", L"/useZorvanCid:true"}, L"", nullptr, true,
                       {L"Determined Zorvan default CID to fix the issues: " + FallbackCid()},
                       L"verbose useZorvanCid"},
        ValidationCase{"HalvernWithoutAnyLocation", {L"/halvern:true"}, L"", nullptr, false,
                       {kNoLocation}, kAllFour},
        ValidationCase{"HalvernWithUnreachableFallbackAndNoLocation",
                       {L"/halvern:true", L"/useZorvanCid:true"}, L"", NoFallback, false,
                       {L"Could not access " + FallbackCid() + L", error 404 : Not Found",
                        kNoLocation},
                       kAllFour + L" useZorvanCid"},
        ValidationCase{"HalvernWithMissingCidFolder", {L"/halvern:true", L"/cid:C:\\nowhere"},
                       L"", nullptr, false, {kInaccessible + L"C:\\nowhere"},
                       kAllFour + L" cid=C:\\nowhere"},
        ValidationCase{"HalvernWithEmptyCidAndNothingConfigured", {L"/halvern:true", L"/cid:"},
                       L"", nullptr, false, {kInaccessible}, kAllFour + L" cid="},
        ValidationCase{"HalvernWithReachableFolder",
                       {L"/verbose:true", L"/halvern:true", L"/cid:" + kConfiguredCid}, L"",
                       nullptr, true, {L"Valid cid provided as argument. cid: " + kConfiguredCid},
                       L"verbose " + kAllFour + L" cid=" + kConfiguredCid},
        ValidationCase{"HalvernWithWebCidIsNotProbedHere",
                       {L"/halvern:true", L"/cid:http://web/cid"}, L"", nullptr, true, {},
                       kAllFour + L" cid=http://web/cid"},
        ValidationCase{"HalvernWithFallbackDoesNotTestTheCid",
                       {L"/halvern:true", L"/useZorvanCid:true", L"/cid:C:\\nowhere"}, L"",
                       nullptr, true, {}, kAllFour + L" useZorvanCid cid=C:\\nowhere"},
        ValidationCase{"UsernameWithConfiguredFolder", {L"/username:bob"}, kConfiguredCid,
                       nullptr, false, {kUsing + kConfiguredCid, kWebOnly[0], kWebOnly[1]},
                       L"cid=" + kConfiguredCid + L" username=bob"},
        ValidationCase{"UsernameWithoutAnyCid", {L"/username:bob"}, L"", nullptr, false, kWebOnly,
                       L"username=bob"},
        ValidationCase{"UsernameAloneGetsAnEmptyPassword",
                       {L"/username:bob", L"/cid:Https://web/cid"}, L"", nullptr, true, {},
                       L"cid=Https://web/cid username=bob password="},
        ValidationCase{"PasswordWithoutUsername", {L"/password:pw", L"/cid:http://web/cid"}, L"",
                       nullptr, false, {L"Password specified but username is not"},
                       L"cid=http://web/cid password=pw"},
        ValidationCase{"UsernameAndPassword",
                       {L"/username:bob", L"/password:pw", L"/cid:HTTP://web/cid"}, L"", nullptr,
                       true, {}, L"cid=HTTP://web/cid username=bob password=pw"},
        ValidationCase{"MissingLogPath", {L"/logPath:C:\\Logs"}, L"", nullptr, false,
                       {L"Output log path passed at command line is inaccessible, argument value "
                        L"is: C:\\Logs"},
                       L"logPath=C:\\Logs"},
        ValidationCase{"ExistingLogPath", {L"/logPath:c:/logs"}, L"",
                       [](fake::FakeEndpoint& e) { e.files.AddFolder(L"C:\\Logs"); }, true, {},
                       L"logPath=c:/logs"},
        // The first failing check is the only one reported.
        ValidationCase{"CidCheckComesBeforeUsernameCheck",
                       {L"/halvern:true", L"/cid:C:\\nowhere", L"/username:bob"}, L"", nullptr,
                       false, {kInaccessible + L"C:\\nowhere"},
                       kAllFour + L" cid=C:\\nowhere username=bob"},
        ValidationCase{"UsernameCheckComesBeforeLogPathCheck",
                       {L"/username:bob", L"/logPath:C:\\Logs"}, L"", nullptr, false, kWebOnly,
                       L"username=bob logPath=C:\\Logs"}),
    [](const ::testing::TestParamInfo<ValidationCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
TEST_F(RepairTest, HelpTextIsTheTwentyThreeLines) {
  DisplayHelp(run);
  const std::vector<std::wstring>& expected = HelpLines();
  ASSERT_EQ(expected.size(), 23u);
  ASSERT_EQ(expected[19].substr(0, 2), L"\t ");
  EXPECT_THAT(Lines(), ElementsAreArray(expected));
}

}  // namespace
}  // namespace repair::testing
