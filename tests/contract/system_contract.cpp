// Contract of the System role (environment, special folders, clock, processor) and of the
// Services role for names that no service has.
#include <string>

#include "seam_contract.h"

namespace repair::contract {
namespace {

struct ExpandCase {
  const char* name;
  std::wstring text;
  std::wstring expanded;
};

void PrintTo(const ExpandCase& c, std::ostream* out) { *out << c.name; }

class Expansion : public SeamContract, public ::testing::WithParamInterface<ExpandCase> {};

TEST_P(Expansion, ReplacesDefinedNamesAndKeepsTheRestAsWritten) {
  EXPECT_TRUE(system().ExpandEnvironment(GetParam().text) == GetParam().expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Expansion,
    ::testing::Values(
        ExpandCase{"Defined", L"%" + kVariableName + L"%", kVariableValue},
        ExpandCase{"NameWithoutCase", L"a\\%zf_contract_VALUE%\\b",
                   L"a\\" + kVariableValue + L"\\b"},
        ExpandCase{"Undefined", L"%ZF_CONTRACT_UNDEFINED%", L"%ZF_CONTRACT_UNDEFINED%"},
        ExpandCase{"UndefinedThenDefined", L"%ZF_CONTRACT_UNDEFINED%%" + kVariableName + L"%",
                   L"%ZF_CONTRACT_UNDEFINED%" + kVariableValue},
        ExpandCase{"LonePercent", L"100% sure", L"100% sure"},
        ExpandCase{"TwoPercents", L"%%", L"%%"},
        ExpandCase{"Empty", L"", L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SeamContract, SpecialFoldersAreExistingFoldersAndAnUnknownOneFails) {
  for (int csidl : {0x23, 0x25, 0x29}) {
    SCOPED_TRACE(csidl);
    Result<std::wstring> folder = system().SpecialFolder(csidl);
    ASSERT_TRUE(folder) << Describe(folder.error);
    ASSERT_GE(folder.value.size(), 3u);
    EXPECT_EQ(L":\\", folder.value.substr(1, 2));
    EXPECT_TRUE(files().FolderExists(folder.value));
  }
  Result<std::wstring> unknown = system().SpecialFolder(0x999);
  EXPECT_FALSE(unknown);
  EXPECT_EQ(static_cast<std::int32_t>(0x80070057u), unknown.error.number);
}

TEST_F(SeamContract, ClockAndProcessorGivePlausibleValues) {
  const LocalTime now = system().Now();
  EXPECT_GE(now.year, 2000);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12) << now.month;
  EXPECT_TRUE(now.day >= 1 && now.day <= 31) << now.day;
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23) << now.hour;
  EXPECT_TRUE(now.minute >= 0 && now.minute <= 59) << now.minute;
  EXPECT_TRUE(now.second >= 0 && now.second <= 60) << now.second;
  const int width = system().ProcessorAddressWidth();
  EXPECT_TRUE(width == 32 || width == 64) << width;
}

TEST_F(SeamContract, AServiceNameThatNoServiceHasIsNotFound) {
  const std::wstring name = L"ZorvanFixContractNoSuchService";
  Result<ServiceState> state = platform().services.QueryState(name);
  ASSERT_TRUE(state) << Describe(state.error);
  EXPECT_EQ(ServiceState::kNotFound, state.value);
  EXPECT_EQ(1060u, platform().services.RequestStop(name));
  EXPECT_EQ(1060u, platform().services.RequestStart(name));
}

}  // namespace
}  // namespace repair::contract
