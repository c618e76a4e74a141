// The configured update location from the connection configuration files, installed-product
// queries, the fallback location and reachability.
#include <functional>

#include "suite_endpoint.h"
#include "update_source.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string kHeader = "[PPI.WebConfig_Primary]";
const std::wstring kMissingAllow = L"Missing value AllowLocalConfig in telbo.cfg";

struct ConfigCase {
  const char* name;
  std::optional<std::string> main;   // telbo.cfg bytes, absent: no file
  std::optional<std::string> local;  // telbolocal.cfg bytes
  std::wstring location;
  std::vector<std::wstring> lines;
  int reads;  // files read
};

void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.name; }

class ConfigFileTest : public RepairTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigFileTest, FindsTheConfiguredLocation) {
  const ConfigCase& c = GetParam();
  endpoint.files.Remove(kConfigFolder + L"\\telbo.cfg");
  if (c.main) endpoint.files.AddFile(kConfigFolder + L"\\telbo.cfg", *c.main);
  if (c.local) endpoint.files.AddFile(kConfigFolder + L"\\telbolocal.cfg", *c.local);
  EXPECT_EQ(ParseZAUConfigFilesForUpdateLocation(run, kConfigFolder), c.location);
  EXPECT_THAT(Lines(), ElementsAreArray(c.lines));
  EXPECT_EQ(endpoint.faults.Calls("Files.ReadBytes"), c.reads);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigFiles, ConfigFileTest,
    ::testing::Values(
        ConfigCase{"NoMainFile", std::nullopt, ConfigText({kHeader, "ConnectionAddress=\\\\l"}),
                   L"", {}, 0},
        ConfigCase{"MainAddress",
                   ConfigText({"; connection", kHeader, "ConnectionAddress=\\\\srv\\cid",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"\\\\srv\\cid", {}, 1},
        ConfigCase{"LocalOverrideAllowed",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=1"}),
                   ConfigText({kHeader, "ConnectionAddress=http://local/cid"}),
                   L"http://local/cid", {}, 2},
        ConfigCase{"LocalOverrideWithoutAddress",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=1"}),
                   ConfigText({kHeader, "Other=1", "[PPI.WebConfig_Secondary]",
                               "ConnectionAddress=http://secondary"}),
                   L"\\\\srv\\cid", {}, 2},
        ConfigCase{"AllowedButNoLocalFile",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=1"}),
                   std::nullopt, L"\\\\srv\\cid", {}, 1},
        ConfigCase{"LocalOverrideNotAllowedIsNotRead",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=0"}),
                   ConfigText({kHeader, "ConnectionAddress=http://local/cid"}), L"\\\\srv\\cid",
                   {}, 1},
        ConfigCase{"LeadingSpacesCountAsOne",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=   1"}),
                   ConfigText({kHeader, "ConnectionAddress=http://local/cid"}),
                   L"http://local/cid", {}, 2},
        ConfigCase{"TrailingSpaceIsNotOne",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=1 "}),
                   ConfigText({kHeader, "ConnectionAddress=http://local/cid"}), L"\\\\srv\\cid",
                   {}, 1},
        ConfigCase{"NoPrimarySection",
                   ConfigText({"[PPI.WebConfig_Secondary]", "ConnectionAddress=\\\\srv\\cid",
                               "AllowLocalConfig=1"}),
                   std::nullopt, L"", {kMissingAllow}, 1},
        ConfigCase{"HeaderIsCaseSensitive",
                   ConfigText({"[ppi.webconfig_primary]", "ConnectionAddress=\\\\srv\\cid",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"", {kMissingAllow}, 1},
        ConfigCase{"LineFeedsAloneMakeOneLine",
                   kHeader + "\nConnectionAddress=\\\\srv\\cid\nAllowLocalConfig=0\n",
                   std::nullopt, L"", {kMissingAllow}, 1},
        ConfigCase{"SpacesRemovedBeforeButKeptAfter",
                   ConfigText({kHeader, "ConnectionAddress =   \\\\srv\\cid  ",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"\\\\srv\\cid  ", {}, 1},
        ConfigCase{"TabsAndQuotesStay",
                   ConfigText({kHeader, "ConnectionAddress=\t\"\\\\srv\\cid\"\t",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"\t\"\\\\srv\\cid\"\t", {}, 1},
        ConfigCase{"BracketInAValueEndsTheSection",
                   ConfigText({kHeader, "Comment=see [notes]", "ConnectionAddress=\\\\srv\\cid",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"", {kMissingAllow}, 1},
        ConfigCase{"SecondHeaderEndsTheSection",
                   ConfigText({kHeader, "AllowLocalConfig=0", kHeader,
                               "ConnectionAddress=\\\\srv\\cid"}),
                   std::nullopt, L"", {}, 1},
        ConfigCase{"HeaderAnywhereInTheLine",
                   ConfigText({"  " + kHeader + " ; primary", "", "ConnectionAddress=\\\\srv\\cid",
                               "   ", "AllowLocalConfig=0"}),
                   std::nullopt, L"\\\\srv\\cid", {}, 1},
        ConfigCase{"KeysAreCaseSensitive",
                   ConfigText({kHeader, "connectionaddress=\\\\lower", "AllowLocalConfig=0"}),
                   std::nullopt, L"", {}, 1},
        ConfigCase{"FirstLineContainingTheKeyWins",
                   ConfigText({kHeader, "ConnectionAddress", "OldConnectionAddress=\\\\old",
                               "ConnectionAddress=\\\\srv\\cid", "AllowLocalConfig=0"}),
                   std::nullopt, L"\\\\old", {}, 1},
        ConfigCase{"ValueKeepsLaterEqualSigns",
                   ConfigText({kHeader, "ConnectionAddress=http://h/cid?a=b",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"http://h/cid?a=b", {}, 1},
        ConfigCase{"SingleByteText",
                   ConfigText({kHeader, "ConnectionAddress=\\\\srv\\caf\xE9",
                               "AllowLocalConfig=0"}),
                   std::nullopt, L"\\\\srv\\caf\u00E9", {}, 1},
        ConfigCase{"EmptyMainFile", std::string(), std::nullopt, L"", {kMissingAllow}, 1}),
    [](const ::testing::TestParamInfo<ConfigCase>& info) { return info.param.name; });

TEST(ConfigSection, CollectsNonEmptyLinesWithCrLf) {
  EXPECT_EQ(ExtractConfigSection({L"x", L"[S] header", L"a=1", L"", L"  ", L"b=2", L"[T]", L"c=3"},
                                 L"S"),
            L"a=1\r\n  \r\nb=2\r\n");
  EXPECT_EQ(ExtractConfigSection({L"[T]", L"a=1"}, L"S"), L"");
  EXPECT_THAT(SplitLines(L"a\r\nb\nc\r\n"), ElementsAre(L"a", L"b\nc", L""));
}

TEST_F(RepairTest, UnreadableMainFileGivesNoLocation) {
  endpoint.faults.FailCall("Files.ReadBytes", 1, {32, L"In use."});
  EXPECT_EQ(ParseZAUConfigFilesForUpdateLocation(run, kConfigFolder), L"");
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:", L"Number = 32",
                                   L"Description = In use.", kMissingAllow));
}

TEST_F(RepairTest, ConfigFolderComesFromTheDataPath) {
  EXPECT_EQ(DetermineCIDUpdateLocation(run), kConfiguredCid);
  EXPECT_THAT(NewLines(), IsEmpty());

  endpoint.registry.SetString(RegistryView::k32, kZauKey, L"Data Path", L"");
  EXPECT_EQ(DetermineCIDUpdateLocation(run), L"");
  EXPECT_THAT(NewLines(), ElementsAre(L"ZAU config path was empty"));

  endpoint.registry.DeleteValue(RegistryView::k32, kZauKey, L"Data Path");
  run.g_verbose = true;  // discovery runs before the options; here it shows the read's own line
  EXPECT_EQ(GetAutoUpdateConfigPath(run), L"");
  EXPECT_THAT(NewLines(), ElementsAre(L"Script encountered an error, details:", L"Number = 2",
                                      L"Description = The system cannot find the file specified.",
                                      L"ZAU data path is ''",
                                      L"Failed to read the ZAU config path from the registry",
                                      L"ZAU config path was empty"));
}

TEST(WebCid, IsTheHttpPrefixInAnyCase) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"http://server/cid", true}, {L"HTTPS://server/cid", true}, {L"Http", true},
      {L"httpfolder\\cid", true},   {L"htt", false},               {L"", false},
      {L"\\\\server\\share", false}, {L"C:\\http", false},          {L" http://x", false}};
  for (const auto& [text, web] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(text)));
    EXPECT_EQ(IsWebCid(text), web);
  }
}

// ---------------------------------------------------------------------------------------------
TEST_F(RepairTest, ProductVersionPrefix) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"10.0.8", true}, {L"10.05", true}, {L"10.0", true}, {L"9.7.4", false}, {L"110.0", false}};
  for (const auto& [version, matches] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(version)));
    fake::FakeEndpoint e;
    RunContext r(e.platform());
    e.installer.AddProduct(L"{A}", {{L"InstalledProductName", L"Zorvan Anti-Virus"},
                                    {L"VersionString", version}});
    EXPECT_EQ(IsProductVersionInstalled(r, L"Zorvan Anti-Virus", L"10.0"), matches);
  }
  EXPECT_FALSE(IsProductVersionInstalled(run, L"Zorvan Something Else", L"10.0"));
  EXPECT_THAT(Lines(), ElementsAre(L"Failed to obtain product code"));
}

TEST_F(RepairTest, ProductLookupMatchesTheExactNameAndPassesOverFailedQueries) {
  endpoint.installer.AddProduct(L"{SECOND}", {{L"InstalledProductName", L"Zorvan Anti-Virus"},
                                              {L"VersionString", L"11.0"}});
  std::wstring code;
  EXPECT_TRUE(IsProductInstalled(run, L"Zorvan Anti-Virus", code));
  EXPECT_EQ(code, kZavProductCode);
  EXPECT_FALSE(IsProductInstalled(run, L"zorvan anti-virus", code));

  // The first product whose name can be asked wins; one whose question fails is passed over.
  const int next = endpoint.faults.Calls("Installer.ProductInfo") + 1;
  endpoint.faults.FailCall("Installer.ProductInfo", next + 1, {1605, L"Unknown product."});
  EXPECT_TRUE(IsProductInstalled(run, L"Zorvan Anti-Virus", code));
  EXPECT_EQ(code, L"{SECOND}");
  EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(RepairTest, VersionQueryThatFailsGivesNoVersion) {
  endpoint.faults.FailCall("Installer.ProductInfo", 3, {1608, L"Unknown property."});
  EXPECT_EQ(GetProductVersionInstalled(run, L"Zorvan Anti-Virus"), L"");
  endpoint.faults.FailCall("Installer.EnumProducts", 2, {1610, L"Bad configuration."});
  EXPECT_EQ(GetProductVersionInstalled(run, L"Zorvan Anti-Virus"), L"");
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:", L"Number = 1610",
                                   L"Description = Bad configuration.",
                                   L"Failed to obtain product code"));
}

// ---------------------------------------------------------------------------------------------
struct FallbackCase {
  const char* name;
  std::function<void(fake::FakeEndpoint&)> prepare;
  bool found;
  std::vector<std::wstring> lines;
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }

class FallbackTest : public RepairTest, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(FallbackTest, IsTheMakersLocationForTheInstalledVersionWhenReachable) {
  const FallbackCase& c = GetParam();
  if (c.prepare) c.prepare(endpoint);
  run.g_username = L"bob";
  run.g_password = L"Secr3t";
  EXPECT_EQ(DetermineZorvanCid(run), c.found ? FallbackCid() : L"");
  EXPECT_THAT(Lines(), ElementsAreArray(c.lines));
  // The probe never sends the command line's credentials.
  for (const auto& request : endpoint.network.Requests()) {
    EXPECT_EQ(request.url, FallbackCid() + L"/zavxp/tulov-ek.ide");
    EXPECT_EQ(request.user, L"");
    EXPECT_EQ(request.password, L"");
  }
}

const std::wstring kProbe = FallbackCid() + L"/zavxp/tulov-ek.ide";

INSTANTIATE_TEST_SUITE_P(
    Fallback, FallbackTest,
    ::testing::Values(
        FallbackCase{"Reachable", nullptr, true, {}},
        FallbackCase{"RedirectIsReachable",
                     [](fake::FakeEndpoint& e) {
                       e.network.SetAnswer(kProbe, {302, L"Found", ""});
                     },
                     true, {}},
        FallbackCase{"NotFound",
                     [](fake::FakeEndpoint& e) {
                       e.network.SetAnswer(kProbe, {404, L"Not Found", ""});
                     },
                     false, {L"Could not access " + FallbackCid() + L", error 404 : Not Found"}},
        FallbackCase{"NeedsCredentials",
                     [](fake::FakeEndpoint& e) {
                       e.network.SetAnswerWithCredentials(kProbe, L"bob", L"Secr3t",
                                                          {200, L"OK", ""});
                     },
                     false, {L"Could not access " + FallbackCid() + L", error 401 : Unauthorized"}},
        FallbackCase{"ConnectionError",
                     [](fake::FakeEndpoint& e) {
                       e.network.SetError(kProbe, {12029, L"Cannot connect."});
                     },
                     false,
                     {L"Could not access " + FallbackCid() + L", error 0x2EFD : Cannot connect."}},
        FallbackCase{"NegativeError",
                     [](fake::FakeEndpoint& e) {
                       e.network.SetError(kProbe, {static_cast<std::int32_t>(0x800C0005u),
                                                   L"The system cannot locate the resource."});
                     },
                     false,
                     {L"Could not access " + FallbackCid() +
                      L", error 0x800C0005 : The system cannot locate the resource."}},
        FallbackCase{"ProductNotInstalled",
                     [](fake::FakeEndpoint& e) {
                       e.faults.FailAlways("Installer.ProductInfo", {1605, L"Unknown product."});
                     },
                     false, {L"Failed to obtain product code", L"Failed to get ZAV version."}}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return info.param.name; });

TEST(FallbackHost, FormsAPlainHttpAddress) {
  EXPECT_FALSE(FallbackCidHost().empty());
  EXPECT_EQ(FallbackCidHost().find(L'/'), std::wstring::npos);
  EXPECT_EQ(FallbackCid().substr(0, 7), L"http://");
}

TEST_F(RepairTest, ReachabilityOfFoldersAndMissingLocations) {
  EXPECT_FALSE(IsCIDAccessible(run, std::nullopt));
  EXPECT_FALSE(IsCIDAccessible(run, std::wstring()));
  EXPECT_THAT(NewLines(), IsEmpty());
  EXPECT_TRUE(IsCIDAccessible(run, L"\\\\SERVER\\zorvanupdate\\CIDs\\S000\\ZAVZCFXP\\"));
  EXPECT_FALSE(IsCIDAccessible(run, L"\\\\server\\gone"));
  EXPECT_THAT(NewLines(),
              ElementsAre(L"The CID location \\\\server\\gone does not exist or is not "
                          L"accessible"));
  EXPECT_TRUE(endpoint.network.Requests().empty());
}

}  // namespace
}  // namespace repair::testing
