// The contract's subject under Windows: the Win32 backend, with the registry seed written under
// HKEY_LOCAL_MACHINE for the whole run and a scratch folder per case in the temporary folder.
// Also the program's entry, since the seed is a process-wide set-up.
#include "platform/repair_platform_win32.h"
#include "seam_contract.h"

// After the seam: <windows.h> would rename its CopyFile and DeleteFile operations.
#include <windows.h>

#include <string>

namespace repair::contract {
namespace {

REGSAM ViewFlag(RegistryView view) {
  return view == RegistryView::k32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

void DeleteSeed() {
  for (RegistryView view : {RegistryView::k32, RegistryView::k64}) {
    HKEY software = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | ViewFlag(view),
                        &software) != ERROR_SUCCESS)
      continue;
    ::RegDeleteTreeW(software, kSeedRoot.substr(kSeedRoot.find(L'\\') + 1).c_str());
    ::RegCloseKey(software);
  }
}

class RegistrySeedEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    DeleteSeed();
    for (const SeedValue& value : RegistrySeed()) {
      HKEY key = nullptr;
      LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | ViewFlag(value.view), nullptr, &key, nullptr);
      ASSERT_EQ(ERROR_SUCCESS, rc) << "creating the seed key";
      if (value.kind == SeedValue::Kind::kNumber) {
        DWORD number = 7;
        rc = ::RegSetValueExW(key, value.name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number), sizeof number);
      } else {
        rc = ::RegSetValueExW(
            key, value.name.c_str(), 0,
            value.kind == SeedValue::Kind::kExpandString ? REG_EXPAND_SZ : REG_SZ,
            reinterpret_cast<const BYTE*>(value.data.c_str()),
            static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t)));
      }
      ::RegCloseKey(key);
      ASSERT_EQ(ERROR_SUCCESS, rc) << "writing the seed value";
    }
    ASSERT_TRUE(::SetEnvironmentVariableW(kVariableName.c_str(), kVariableValue.c_str()));
  }
  void TearDown() override { DeleteSeed(); }
};

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path.c_str());
}

class Win32Subject : public Subject {
 public:
  Win32Subject() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    scratch_ = std::wstring(temp) + L"zf-contract-" + std::to_wstring(::GetCurrentProcessId()) +
               L"-" + std::to_wstring(++counter);
    RemoveTree(scratch_);
    ::CreateDirectoryW(scratch_.c_str(), nullptr);
  }
  ~Win32Subject() override { RemoveTree(scratch_); }
  Platform& platform() override { return endpoint_.platform(); }
  std::wstring ScratchFolder() override { return scratch_; }
  void MakeReadOnly(const std::wstring& path) override {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  }

 private:
  std::wstring scratch_;
  Win32Platform endpoint_;
};

}  // namespace

std::unique_ptr<Subject> MakeSubject() { return std::make_unique<Win32Subject>(); }

}  // namespace repair::contract

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new repair::contract::RegistrySeedEnvironment);
  return RUN_ALL_TESTS();
}
