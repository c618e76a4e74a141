// The repair program's seam: every operating-system call that the repair logic makes, grouped in
// role interfaces held together in one `Platform` struct. The Win32 backend
// (repair_platform_win32.cpp) forwards each operation to the real API; the unit tests use an
// in-memory endpoint (tests/unit/fakes) in which any call can be made to fail.
//
// Error model: an operation that can fail returns a `Result<T>` (or a `Status`). On failure it
// carries a `SysError`: the error number (a Win32 error code, or an HRESULT as a negative
// number) and the system's description text, which is what the three-line error report prints.
// Nothing here throws. No Win32 types appear in this header.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace repair {

struct SysError {
  std::int32_t number = 0;   // Win32 error code (>= 0) or HRESULT (< 0)
  std::wstring description;  // the system's text for it; may be empty
};

// Success, or the error of the failed call.
struct Status {
  bool ok = true;
  SysError error;

  static Status Ok() { return {}; }
  static Status Fail(std::int32_t number, std::wstring description) {
    return Status{false, SysError{number, std::move(description)}};
  }
  explicit operator bool() const { return ok; }
};

// A value, or the error of the failed call.
template <typename T>
struct Result {
  bool ok = false;
  T value{};
  SysError error;

  static Result Of(T v) { return Result{true, std::move(v), {}}; }
  static Result Fail(std::int32_t number, std::wstring description) {
    return Result{false, T{}, SysError{number, std::move(description)}};
  }
  static Result Fail(SysError e) { return Result{false, T{}, std::move(e)}; }
  explicit operator bool() const { return ok; }
};

// ---------------------------------------------------------------------------------------------
// Registry (HKEY_LOCAL_MACHINE only), with an explicit view.
enum class RegistryView { k32, k64 };

class Registry {
 public:
  virtual ~Registry() = default;
  // RegGetValueW of a REG_SZ / REG_EXPAND_SZ value (not expanded) under HKLM\key in the view.
  // Fails with ERROR_FILE_NOT_FOUND (2) for a missing key or value.
  virtual Result<std::wstring> ReadString(const std::wstring& key, const std::wstring& valueName,
                                          RegistryView view) = 0;
  // RegEnumKeyExW: the names of the subkeys of HKLM\key, in the registry's order.
  virtual Result<std::vector<std::wstring>> EnumSubkeys(const std::wstring& key,
                                                        RegistryView view) = 0;
  // RegEnumValueW: (name, string data) of every string value of HKLM\key; values of other types
  // are passed over.
  virtual Result<std::vector<std::pair<std::wstring, std::wstring>>> EnumStringValues(
      const std::wstring& key, RegistryView view) = 0;
};

// ---------------------------------------------------------------------------------------------
// Services, through the Service Control Manager.
enum class ServiceState {
  kNotFound,  // no service of that name
  kStopped,
  kStartPending,
  kStopPending,
  kRunning,
  kContinuePending,
  kPausePending,
  kPaused,
};

class Services {
 public:
  virtual ~Services() = default;
  // QueryServiceStatusEx: the current state; kNotFound for ERROR_SERVICE_DOES_NOT_EXIST.
  virtual Result<ServiceState> QueryState(const std::wstring& name) = 0;
  // ControlService(SERVICE_CONTROL_STOP) / StartServiceW: 0 when the request was accepted, else
  // the Win32 error code of the request (1062 not active, 1056 already running, 1061 pending...).
  virtual std::uint32_t RequestStop(const std::wstring& name) = 0;
  virtual std::uint32_t RequestStart(const std::wstring& name) = 0;
};

// ---------------------------------------------------------------------------------------------
// Windows Installer product queries, and the auto-update client.
class Installer {
 public:
  virtual ~Installer() = default;
  // MsiEnumProductsW: every product code ("{GUID}") in the installer's order.
  virtual Result<std::vector<std::wstring>> EnumProducts() = 0;
  // MsiGetProductInfoW(productCode, property): e.g. "InstalledProductName", "VersionString",
  // "InstallLocation", "LocalPackage".
  virtual Result<std::wstring> ProductInfo(const std::wstring& productCode,
                                           const std::wstring& property) = 0;
};

class UpdateClient {
 public:
  virtual ~UpdateClient() = default;
  // Creates the COM object of ProgID "Ambrixon.ClientUpdate" and calls its IDispatch method
  // UpdateNow(first, second). On failure: the HRESULT (negative) and the description from
  // IErrorInfo or EXCEPINFO (or the system's text for the HRESULT).
  virtual Status UpdateNow(std::int32_t first, std::int32_t second) = 0;
};

// ---------------------------------------------------------------------------------------------
// Files and folders. Paths are Windows paths (either separator accepted, case-insensitive).
struct FolderEntry {
  std::wstring name;
  bool isFolder = false;
};

class Files {
 public:
  virtual ~Files() = default;
  virtual bool FileExists(const std::wstring& path) = 0;    // a file (not a folder) is there
  virtual bool FolderExists(const std::wstring& path) = 0;  // a folder is there
  // The entries of a folder (no "." or ".."), in the file system's order.
  virtual Result<std::vector<FolderEntry>> ListFolder(const std::wstring& path) = 0;
  // CreateDirectoryW of the last level only.
  virtual Status CreateFolder(const std::wstring& path) = 0;
  // CopyFileW; with overwrite false an existing target fails with ERROR_FILE_EXISTS (80).
  virtual Status CopyFile(const std::wstring& source, const std::wstring& target,
                          bool overwrite) = 0;
  // DeleteFileW; with force a read-only file is made writable first.
  virtual Status DeleteFile(const std::wstring& path, bool force) = 0;
  // The whole file's bytes.
  virtual Result<std::string> ReadBytes(const std::wstring& path) = 0;
  // Creates or replaces the file with exactly these bytes.
  virtual Status WriteBytes(const std::wstring& path, const std::string& bytes) = 0;
  // An open file for writing in pieces (side files): create (replacing when overwrite, else
  // failing with ERROR_FILE_EXISTS), append, close. Handles are opaque; 0 is none.
  virtual Result<std::uintptr_t> CreateForWriting(const std::wstring& path, bool overwrite) = 0;
  virtual Status Append(std::uintptr_t file, const std::string& bytes) = 0;
  virtual void Close(std::uintptr_t file) = 0;
};

// ---------------------------------------------------------------------------------------------
// Network: one synchronous HTTP GET (WinHTTP), following the system's proxy settings.
struct HttpAnswer {
  std::uint32_t status = 0;  // e.g. 200, 401, 404
  std::wstring statusText;   // e.g. "OK", "Unauthorized"
  std::string body;          // the response body's bytes
};

class Network {
 public:
  virtual ~Network() = default;
  // GET url. With non-empty credentials Basic authentication is answered when the server asks.
  // A failure to connect, send or receive is an error (Win32 / WinHTTP error code).
  virtual Result<HttpAnswer> Get(const std::wstring& url, const std::wstring& user,
                                 const std::wstring& password) = 0;
};

// ---------------------------------------------------------------------------------------------
// Processes.
inline constexpr std::uint32_t kStillActive = 259;

class Processes {
 public:
  virtual ~Processes() = default;
  // CreateProcessW(applicationPath, commandLine) with no window of its own. Returns an opaque
  // process handle (closed by CloseProcess).
  virtual Result<std::uintptr_t> Start(const std::wstring& applicationPath,
                                       const std::wstring& commandLine) = 0;
  // GetExitCodeProcess: kStillActive while it runs.
  virtual Result<std::uint32_t> ExitCode(std::uintptr_t process) = 0;
  virtual void CloseProcess(std::uintptr_t process) = 0;
};

// ---------------------------------------------------------------------------------------------
// The rest of the system: environment, folders, computer, time, console.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class System {
 public:
  virtual ~System() = default;
  // ExpandEnvironmentStringsW: undefined names stay as written, percent signs included.
  virtual std::wstring ExpandEnvironment(const std::wstring& text) = 0;
  // SHGetFolderPathW(csidl): 0x23 common app data, 0x25 system, 0x29 32-bit system.
  virtual Result<std::wstring> SpecialFolder(int csidl) = 0;
  // The processor's address width in bits (32 or 64), as GetNativeSystemInfo reports it.
  virtual int ProcessorAddressWidth() = 0;
  // GetLocalTime.
  virtual LocalTime Now() = 0;
  // Sleep(milliseconds). The fake advances its virtual clock instead.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Writes one line (the text followed by CR LF) to standard output: UTF-8 when standard output
  // is a file or a pipe, wide text on a real console.
  virtual void WriteLine(const std::wstring& text) = 0;
};

// ---------------------------------------------------------------------------------------------
// The whole seam, as the repair logic receives it.
struct Platform {
  Registry& registry;
  Services& services;
  Installer& installer;
  UpdateClient& updateClient;
  Files& files;
  Network& network;
  Processes& processes;
  System& system;
};

}  // namespace repair
