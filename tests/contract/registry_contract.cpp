// Contract of the Registry role: string reads in either view, without letter case and without
// expansion, and the enumeration of subkeys and string values.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "seam_contract.h"

namespace repair::contract {
namespace {

struct ReadCase {
  const char* name;
  RegistryView view;
  std::wstring key;  // below the seed root
  std::wstring valueName;
  int error;  // 0: the read gives `value`
  std::wstring value;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class RegistryRead : public SeamContract, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(RegistryRead, ReadsStringValuesInTheViewAsked) {
  const ReadCase& c = GetParam();
  Result<std::wstring> read = registry().ReadString(kSeedRoot + c.key, c.valueName, c.view);
  EXPECT_EQ(c.error, read.ok ? 0 : read.error.number) << Describe(read.error);
  EXPECT_TRUE(read.value == c.value);
}

const auto k32 = RegistryView::k32;
const auto k64 = RegistryView::k64;

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryRead,
    ::testing::Values(
        ReadCase{"String", k32, L"\\Product", L"Path", 0,
                 L"C:\\Program Files\\Zorvan \u00dcn\u00ef \u4e2d"},
        ReadCase{"NamesWithoutCase", k32, L"\\PRODUCT", L"pATH", 0,
                 L"C:\\Program Files\\Zorvan \u00dcn\u00ef \u4e2d"},
        ReadCase{"ExpandableLeftUnexpanded", k32, L"\\Product", L"LogDir", 0,
                 L"%ProgramData%\\Zorvan\\Logs"},
        ReadCase{"DefaultValue", k32, L"\\Product\\Alpha", L"", 0, L"first"},
        ReadCase{"OtherView", k64, L"\\Installer", L"Packed", 0,
                 L"C:\\Windows\\Installer\\1a2b.msi"},
        ReadCase{"NumberIsNoString", k32, L"\\Product", L"Count", 1630, L""},
        ReadCase{"MissingValue", k32, L"\\Product", L"Version", 2, L""},
        ReadCase{"MissingKey", k32, L"\\Nowhere", L"Path", 2, L""},
        ReadCase{"NotInThe64BitView", k64, L"\\Product", L"Path", 2, L""},
        ReadCase{"NotInThe32BitView", k32, L"\\Installer", L"Packed", 2, L""}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(SeamContract, EnumeratesSubkeysOfTheViewAsked) {
  Result<std::vector<std::wstring>> product =
      registry().EnumSubkeys(kSeedRoot + L"\\Product", k32);
  ASSERT_TRUE(product) << Describe(product.error);
  const std::vector<std::wstring> expected = {L"Alpha", L"Gamma \u00fc", L"beta"};
  EXPECT_TRUE(Sorted(product.value) == expected);

  Result<std::vector<std::wstring>> leaf = registry().EnumSubkeys(kSeedRoot + L"\\Installer", k64);
  ASSERT_TRUE(leaf) << Describe(leaf.error);
  EXPECT_TRUE(leaf.value.empty());

  Result<std::vector<std::wstring>> other = registry().EnumSubkeys(kSeedRoot + L"\\Product", k64);
  EXPECT_FALSE(other);
  EXPECT_EQ(2, other.error.number);
}

TEST_F(SeamContract, EnumeratesStringValuesOnly) {
  Result<std::vector<std::pair<std::wstring, std::wstring>>> values =
      registry().EnumStringValues(kSeedRoot + L"\\product", k32);
  ASSERT_TRUE(values) << Describe(values.error);
  std::sort(values.value.begin(), values.value.end());
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"LogDir", L"%ProgramData%\\Zorvan\\Logs"},
      {L"Path", L"C:\\Program Files\\Zorvan \u00dcn\u00ef \u4e2d"}};
  EXPECT_TRUE(values.value == expected);

  Result<std::vector<std::pair<std::wstring, std::wstring>>> missing =
      registry().EnumStringValues(kSeedRoot + L"\\Nowhere", k32);
  EXPECT_FALSE(missing);
  EXPECT_EQ(2, missing.error.number);
}

}  // namespace
}  // namespace repair::contract
