// The contract's subject on the host: the in-memory endpoint, seeded as the cases expect and
// with the special folders where a 64-bit system keeps them.
#include "fake_endpoint.h"
#include "seam_contract.h"

namespace repair::contract {
namespace {

class FakeSubject : public Subject {
 public:
  FakeSubject() {
    for (const SeedValue& value : RegistrySeed()) {
      if (value.kind == SeedValue::Kind::kNumber)
        endpoint_.registry.SetNonString(value.view, value.key, value.name);
      else
        endpoint_.registry.SetString(value.view, value.key, value.name, value.data);
    }
    endpoint_.system.SetEnv(kVariableName, kVariableValue);
    const std::pair<int, const wchar_t*> folders[] = {
        {0x23, L"C:\\ProgramData"}, {0x25, L"C:\\Windows\\system32"},
        {0x29, L"C:\\Windows\\SysWOW64"}};
    for (const auto& [csidl, path] : folders) {
      endpoint_.system.SetSpecialFolder(csidl, path);
      endpoint_.files.AddFolder(path);
    }
    endpoint_.files.AddFolder(kScratch);
  }
  Platform& platform() override { return endpoint_.platform(); }
  std::wstring ScratchFolder() override { return kScratch; }
  void MakeReadOnly(const std::wstring& path) override {
    endpoint_.files.AddFile(path, endpoint_.files.Bytes(path).value_or(""), true);
  }

 private:
  static inline const std::wstring kScratch = L"C:\\Users\\Tester\\Temp\\contract";
  fake::FakeEndpoint endpoint_;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<FakeSubject>(); }

}  // namespace repair::contract
