// The registry content that the contract cases read, and helpers shared by the cases.
#include <string>

#include "seam_contract.h"

namespace repair::contract {

const std::vector<SeedValue>& RegistrySeed() {
  using K = SeedValue::Kind;
  static const std::vector<SeedValue> seed = {
      {RegistryView::k32, kSeedRoot + L"\\Product", L"Path", K::kString,
       L"C:\\Program Files\\Zorvan \u00dcn\u00ef \u4e2d"},
      {RegistryView::k32, kSeedRoot + L"\\Product", L"LogDir", K::kExpandString,
       L"%ProgramData%\\Zorvan\\Logs"},
      {RegistryView::k32, kSeedRoot + L"\\Product", L"Count", K::kNumber, L""},
      {RegistryView::k32, kSeedRoot + L"\\Product\\Alpha", L"", K::kString, L"first"},
      {RegistryView::k32, kSeedRoot + L"\\Product\\beta", L"x", K::kString, L"1"},
      {RegistryView::k32, kSeedRoot + L"\\Product\\Gamma \u00fc", L"y", K::kString, L"2"},
      {RegistryView::k64, kSeedRoot + L"\\Installer", L"Packed", K::kString,
       L"C:\\Windows\\Installer\\1a2b.msi"},
  };
  return seed;
}

std::string Describe(const SysError& error) {
  std::string text = "error " + std::to_string(error.number) + " \"";
  for (wchar_t c : error.description) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text + "\"";
}

}  // namespace repair::contract
