// The Win32 backend of the repair program's seam: one class per role, each forwarding to the real
// API (registry, Service Control Manager, Windows Installer, COM, files, WinHTTP, processes, the
// rest of the system), and `Win32Platform`, which owns one of each. Windows only; the Win32 types
// stay inside repair_platform_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/repair_platform.h"

namespace repair {

class Win32Registry final : public Registry {
 public:
  Result<std::wstring> ReadString(const std::wstring& key, const std::wstring& valueName,
                                  RegistryView view) override;
  Result<std::vector<std::wstring>> EnumSubkeys(const std::wstring& key,
                                                RegistryView view) override;
  Result<std::vector<std::pair<std::wstring, std::wstring>>> EnumStringValues(
      const std::wstring& key, RegistryView view) override;
};

class Win32Services final : public Services {
 public:
  Result<ServiceState> QueryState(const std::wstring& name) override;
  std::uint32_t RequestStop(const std::wstring& name) override;
  std::uint32_t RequestStart(const std::wstring& name) override;
};

// msi.dll is loaded from the system directory on first use and stays loaded.
class Win32Installer final : public Installer {
 public:
  Win32Installer();
  ~Win32Installer() override;
  Win32Installer(const Win32Installer&) = delete;
  Win32Installer& operator=(const Win32Installer&) = delete;

  Result<std::vector<std::wstring>> EnumProducts() override;
  Result<std::wstring> ProductInfo(const std::wstring& productCode,
                                   const std::wstring& property) override;

 private:
  struct Library;
  std::unique_ptr<Library> library_;
};

class Win32UpdateClient final : public UpdateClient {
 public:
  Status UpdateNow(std::int32_t first, std::int32_t second) override;
};

class Win32Files final : public Files {
 public:
  bool FileExists(const std::wstring& path) override;
  bool FolderExists(const std::wstring& path) override;
  Result<std::vector<FolderEntry>> ListFolder(const std::wstring& path) override;
  Status CreateFolder(const std::wstring& path) override;
  Status CopyFile(const std::wstring& source, const std::wstring& target,
                  bool overwrite) override;
  Status DeleteFile(const std::wstring& path, bool force) override;
  Result<std::string> ReadBytes(const std::wstring& path) override;
  Status WriteBytes(const std::wstring& path, const std::string& bytes) override;
  Result<std::uintptr_t> CreateForWriting(const std::wstring& path, bool overwrite) override;
  Status Append(std::uintptr_t file, const std::string& bytes) override;
  void Close(std::uintptr_t file) override;
};

// winhttp.dll is loaded from the system directory on first use and stays loaded; one session
// serves every request of this object, so connections to a server are kept alive between them.
class Win32Network final : public Network {
 public:
  Win32Network();
  ~Win32Network() override;
  Win32Network(const Win32Network&) = delete;
  Win32Network& operator=(const Win32Network&) = delete;

  Result<HttpAnswer> Get(const std::wstring& url, const std::wstring& user,
                         const std::wstring& password) override;

 private:
  struct Library;
  std::unique_ptr<Library> library_;
};

class Win32Processes final : public Processes {
 public:
  Result<std::uintptr_t> Start(const std::wstring& applicationPath,
                               const std::wstring& commandLine) override;
  Result<std::uint32_t> ExitCode(std::uintptr_t process) override;
  void CloseProcess(std::uintptr_t process) override;
};

class Win32System final : public System {
 public:
  std::wstring ExpandEnvironment(const std::wstring& text) override;
  Result<std::wstring> SpecialFolder(int csidl) override;
  int ProcessorAddressWidth() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t milliseconds) override;
  void WriteLine(const std::wstring& text) override;

 private:
  enum class Output { kUnknown, kNone, kConsole, kBytes };
  Output output_ = Output::kUnknown;  // chosen at the first line, from standard output's kind
};

// The whole Win32 endpoint, as the entry routine hands it to the repair logic.
class Win32Platform {
 public:
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  Platform& platform() { return platform_; }

 private:
  Win32Registry registry_;
  Win32Services services_;
  Win32Installer installer_;
  Win32UpdateClient updateClient_;
  Win32Files files_;
  Win32Network network_;
  Win32Processes processes_;
  Win32System system_;
  Platform platform_{registry_, services_, installer_, updateClient_,
                     files_,    network_,  processes_, system_};
};

}  // namespace repair
