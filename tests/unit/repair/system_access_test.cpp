// Product values in the registry's 32-bit view, their failure report, the 64-bit test,
// environment, special folders and caseless comparison.
#include "suite_endpoint.h"
#include "system_access.h"

namespace repair::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct ProductValue {
  bool (*read)(RunContext&, std::wstring&);
  std::wstring key, valueName, verbosePrefix, verboseSuffix;
};

const ProductValue kProductValues[] = {
    {ReadZauVersion, kZauKey, L"ProductVersion", L"ZAU version is ", L""},
    {ReadZavInstallPath, kZavKey, L"Path", L"ZAV is installed in '", L"'"},
    {ReadZavLogDir, kZavKey, L"LogDir", L"ZAV logs are in '", L"'"},
    {ReadZauDataPath, kZauKey, L"Data Path", L"ZAU data path is '", L"'"},
    {ReadZauInstallationPath, kZauKey, L"Installation Path", L"ZAU installation path is '", L"'"},
};

// Each value is read once, from the 32-bit view, whatever the 64-bit view holds.
TEST_F(RepairTest, ProductValuesAreReadInThe32BitView) {
  run.g_verbose = true;
  for (const ProductValue& v : kProductValues) {
    SCOPED_TRACE(::testing::PrintToString(v.valueName));
    endpoint.registry.SetString(RegistryView::k32, v.key, v.valueName, L"v32-" + v.valueName);
    endpoint.registry.SetString(RegistryView::k64, v.key, v.valueName, L"v64");
    const std::size_t readsBefore = endpoint.registry.Reads().size();
    std::wstring value;
    EXPECT_TRUE(v.read(run, value));
    EXPECT_EQ(value, L"v32-" + v.valueName);
    ASSERT_EQ(endpoint.registry.Reads().size(), readsBefore + 1);
    const fake::FakeRegistry::Read& read = endpoint.registry.Reads().back();
    EXPECT_EQ(read.key, v.key);
    EXPECT_EQ(read.valueName, v.valueName);
    EXPECT_EQ(read.view, RegistryView::k32);
    EXPECT_THAT(NewLines(), ElementsAre(v.verbosePrefix + value + v.verboseSuffix));
  }
}

// A failed read: the three error lines, then the verbose line with the empty value.
TEST_F(RepairTest, FailedProductValueReadPrintsTheErrorThenTheVerboseLine) {
  for (const ProductValue& v : kProductValues) {
    SCOPED_TRACE(::testing::PrintToString(v.valueName));
    endpoint.registry.DeleteValue(RegistryView::k32, v.key, v.valueName);
    endpoint.registry.SetString(RegistryView::k64, v.key, v.valueName, L"only in 64-bit view");
    std::wstring value = L"stale";
    for (bool verbose : {false, true}) {
      run.g_verbose = verbose;
      EXPECT_FALSE(v.read(run, value));
      EXPECT_EQ(value, L"");
      std::vector<std::wstring> expected = {
          L"Script encountered an error, details:", L"Number = 2",
          L"Description = The system cannot find the file specified."};
      if (verbose) expected.push_back(v.verbosePrefix + v.verboseSuffix);
      EXPECT_EQ(NewLines(), expected);
    }
  }
}

TEST_F(RepairTest, RegistryReadInThe64BitViewAndWithANegativeError) {
  endpoint.registry.SetString(RegistryView::k64, L"SOFTWARE\\Classes\\Installer", L"X", L"64");
  std::wstring value;
  EXPECT_TRUE(RegReadStringValue(run, L"SOFTWARE", L"Classes\\Installer", L"X", value, 64));
  EXPECT_EQ(value, L"64");
  endpoint.faults.FailCall("Registry.ReadString", 2,
                           {static_cast<std::int32_t>(0x80041003u), L"Access denied"});
  EXPECT_FALSE(RegReadStringValue(run, L"SOFTWARE", L"Classes\\Installer", L"X", value, 64));
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:",
                                   L"Number = 0x80041003", L"Description = Access denied"));
}

TEST_F(RepairTest, Is64BitOsReadsTheProcessArchitecture) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"AMD64", true}, {L"amd64", true}, {L"Amd64", true},
      {L"x86", false},  {L"IA64", false}, {L"ARM64", false}};
  for (const auto& [architecture, is64] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(architecture)));
    endpoint.system.SetEnv(L"PROCESSOR_ARCHITECTURE", architecture);
    EXPECT_EQ(Is64BitOs(run), is64);
  }
  fake::FakeEndpoint bare;
  RunContext bareRun(bare.platform());
  EXPECT_FALSE(Is64BitOs(bareRun));
}

TEST_F(RepairTest, ExpandEnvKeepsUndefinedNames) {
  EXPECT_EQ(ExpandEnv(run, L"%COMPUTERNAME%"), kComputer);
  EXPECT_EQ(ExpandEnv(run, L"%TEMP%\\zauInstallLocation"),
            L"C:\\Users\\admin\\AppData\\Local\\Temp\\zauInstallLocation");
  EXPECT_EQ(ExpandEnv(run, L"%NOT_DEFINED%\\x"), L"%NOT_DEFINED%\\x");
}

TEST_F(RepairTest, SpecialFolderFailureIsReportedAndEmpty) {
  EXPECT_EQ(ShellSpecialFolder(run, CSIDL_COMMON_APPDATA_ID), L"C:\\ProgramData");
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(ShellSpecialFolder(run, 0x7F), L"");
  EXPECT_THAT(Lines(), ElementsAre(L"Script encountered an error, details:",
                                   L"Number = 0x80070057",
                                   L"Description = The parameter is incorrect."));
}

TEST(CaselessText, ComparesLatinGreekAndCyrillicLetters) {
  EXPECT_TRUE(StrEqualCaseInsensitive(L"ZAVService", L"zavservice"));
  EXPECT_TRUE(StrEqualCaseInsensitive(L"\u00C4RGER \u0396 \u0416", L"\u00E4rger \u03B6 \u0436"));
  EXPECT_FALSE(StrEqualCaseInsensitive(L"AMD64", L"AMD64 "));
  EXPECT_FALSE(StrEqualCaseInsensitive(L"x\u00D7", L"x\u00F7"));  // signs, not letters
  EXPECT_EQ(LowerCase(L"YES No \u0178\u0100"), L"yes no \u00FF\u0101");
}

}  // namespace
}  // namespace repair::testing
