// The Win32 backend of the repair program's seam: Windows-only code, the one place besides the
// console entry that includes <windows.h>. Functions follow the order of repair_platform.h.
#include "platform/repair_platform_win32.h"

#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>
#include <winhttp.h>

#include <algorithm>
#include <cwchar>
#include <utility>

// <windows.h> maps these names onto the wide functions; the seam's operations carry them too.
#undef CopyFile
#undef DeleteFile

namespace repair {
namespace {

// ---------------------------------------------------------------------------------------------
// Handle owners and error texts shared by the roles.

template <typename Traits>
class Scoped {
 public:
  using Handle = typename Traits::Handle;
  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { Reset(); }
  Scoped(Scoped&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Empty())) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, Traits::Empty());
    }
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  Handle get() const { return handle_; }
  Handle release() { return std::exchange(handle_, Traits::Empty()); }
  explicit operator bool() const { return handle_ != Traits::Empty(); }
  void Reset() {
    if (*this) Traits::Close(handle_);
    handle_ = Traits::Empty();
  }

 private:
  Handle handle_ = Traits::Empty();
};

struct FileTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct KeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct ServiceTraits {
  using Handle = SC_HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::CloseServiceHandle(h); }
};

using ScopedFile = Scoped<FileTraits>;
using ScopedFind = Scoped<FindTraits>;
using ScopedKey = Scoped<KeyTraits>;
using ScopedService = Scoped<ServiceTraits>;

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (object_) object_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* operator->() const { return object_; }
  T* get() const { return object_; }
  T** receive() { return &object_; }
  void** receiveVoid() { return reinterpret_cast<void**>(&object_); }

 private:
  T* object_ = nullptr;
};

// The system's text for an error code (from `module`'s message table first when given), without
// the line end and spaces that the message tables put after it.
std::wstring MessageText(DWORD code, HMODULE module = nullptr) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS;
  if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  LPWSTR buffer = nullptr;
  DWORD length = ::FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0,
                                  nullptr);
  std::wstring text;
  if (length && buffer) text.assign(buffer, length);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  return text;
}

std::int32_t ErrorNumber(DWORD code) { return static_cast<std::int32_t>(code); }

Status FailStatus(DWORD code, HMODULE module = nullptr) {
  return Status::Fail(ErrorNumber(code), MessageText(code, module));
}

template <typename T>
Result<T> FailResult(DWORD code, HMODULE module = nullptr) {
  return Result<T>::Fail(ErrorNumber(code), MessageText(code, module));
}

// GetProcAddress into a typed pointer (through the generic function type, which the compiler
// accepts as a cast to any other).
template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
  return fn != nullptr;
}

std::wstring SystemDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  UINT length = ::GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
  if (length > path.size()) {
    path.resize(length);
    length = ::GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
  }
  path.resize(length);
  return path;
}

// Loads a DLL from the system directory only: the work directory that the program runs in is
// writable by its user, so the ordinary search could pick up a planted copy there. The library
// stays loaded until the process ends: its own worker threads (WinHTTP's) can outlive every
// handle, and unloading it beneath them breaks later loads.
HMODULE LoadSystemLibrary(const wchar_t* name, DWORD* error) {
  HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module) return module;
  // Systems without the restricted-search flags reject them: name the file in full instead, and
  // let its own dependencies resolve from the same folder.
  std::wstring path = SystemDirectory() + L"\\" + name;
  module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) *error = ::GetLastError();
  return module;
}

// ---------------------------------------------------------------------------------------------
// Registry

REGSAM ViewFlag(RegistryView view) {
  return view == RegistryView::k32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

LONG OpenMachineKey(const std::wstring& key, RegistryView view, ScopedKey& out) {
  HKEY handle = nullptr;
  LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | ViewFlag(view),
                            &handle);
  if (rc == ERROR_SUCCESS) out = ScopedKey(handle);
  return rc;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Registry string data as stored: up to the first terminating zero, or all of it when the writer
// left the terminator out.
std::wstring StringFromData(const BYTE* data, DWORD size) {
  const auto* chars = reinterpret_cast<const wchar_t*>(data);
  std::size_t count = size / sizeof(wchar_t);
  return std::wstring(chars, std::find(chars, chars + count, L'\0'));
}

}  // namespace

Result<std::wstring> Win32Registry::ReadString(const std::wstring& key,
                                               const std::wstring& valueName,
                                               RegistryView view) {
  ScopedKey handle;
  if (LONG rc = OpenMachineKey(key, view, handle); rc != ERROR_SUCCESS)
    return FailResult<std::wstring>(rc);
  std::vector<BYTE> data(512);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    LONG rc = ::RegQueryValueExW(handle.get(), valueName.c_str(), nullptr, &type, data.data(),
                                 &size);
    if (rc == ERROR_MORE_DATA) {
      data.resize(size + sizeof(wchar_t));
      continue;
    }
    if (rc != ERROR_SUCCESS) return FailResult<std::wstring>(rc);
    if (!IsStringType(type)) return FailResult<std::wstring>(ERROR_UNSUPPORTED_TYPE);
    return Result<std::wstring>::Of(StringFromData(data.data(), size));
  }
}

Result<std::vector<std::wstring>> Win32Registry::EnumSubkeys(const std::wstring& key,
                                                             RegistryView view) {
  using R = Result<std::vector<std::wstring>>;
  ScopedKey handle;
  if (LONG rc = OpenMachineKey(key, view, handle); rc != ERROR_SUCCESS)
    return FailResult<std::vector<std::wstring>>(rc);
  std::vector<std::wstring> names;
  std::vector<wchar_t> name(256);  // a key name has at most 255 characters
  DWORD index = 0;
  for (;;) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc = ::RegEnumKeyExW(handle.get(), index, name.data(), &length, nullptr, nullptr,
                              nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      name.resize(name.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) return FailResult<std::vector<std::wstring>>(rc);
    names.emplace_back(name.data(), length);
    ++index;
  }
  return R::Of(std::move(names));
}

Result<std::vector<std::pair<std::wstring, std::wstring>>> Win32Registry::EnumStringValues(
    const std::wstring& key, RegistryView view) {
  using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
  ScopedKey handle;
  if (LONG rc = OpenMachineKey(key, view, handle); rc != ERROR_SUCCESS)
    return FailResult<Pairs>(rc);
  DWORD maxName = 0, maxData = 0;
  if (LONG rc = ::RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, &maxName, &maxData, nullptr, nullptr);
      rc != ERROR_SUCCESS)
    return FailResult<Pairs>(rc);
  std::vector<wchar_t> name(maxName + 1);
  std::vector<BYTE> data(maxData + sizeof(wchar_t));
  Pairs values;
  DWORD index = 0;
  for (;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG rc = ::RegEnumValueW(handle.get(), index, name.data(), &nameLength, nullptr, &type,
                              data.data(), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {  // the key changed since it was measured
      name.resize(name.size() * 2);
      data.resize(std::max<std::size_t>(data.size() * 2, size + sizeof(wchar_t)));
      continue;
    }
    if (rc != ERROR_SUCCESS) return FailResult<Pairs>(rc);
    if (IsStringType(type))
      values.emplace_back(std::wstring(name.data(), nameLength), StringFromData(data.data(), size));
    ++index;
  }
  return Result<Pairs>::Of(std::move(values));
}

// ---------------------------------------------------------------------------------------------
// Services

namespace {

// Opens the service with the given rights; *error is its Win32 error when that fails.
ScopedService OpenNamedService(const std::wstring& name, DWORD rights, DWORD* error) {
  ScopedService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    *error = ::GetLastError();
    return {};
  }
  ScopedService service(::OpenServiceW(manager.get(), name.c_str(), rights));
  if (!service) *error = ::GetLastError();
  return service;
}

}  // namespace

Result<ServiceState> Win32Services::QueryState(const std::wstring& name) {
  DWORD error = 0;
  ScopedService service = OpenNamedService(name, SERVICE_QUERY_STATUS, &error);
  if (!service) {
    if (error == ERROR_SERVICE_DOES_NOT_EXIST)
      return Result<ServiceState>::Of(ServiceState::kNotFound);
    return FailResult<ServiceState>(error);
  }
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
    return FailResult<ServiceState>(::GetLastError());
  switch (status.dwCurrentState) {
    case SERVICE_STOPPED: return Result<ServiceState>::Of(ServiceState::kStopped);
    case SERVICE_START_PENDING: return Result<ServiceState>::Of(ServiceState::kStartPending);
    case SERVICE_STOP_PENDING: return Result<ServiceState>::Of(ServiceState::kStopPending);
    case SERVICE_RUNNING: return Result<ServiceState>::Of(ServiceState::kRunning);
    case SERVICE_CONTINUE_PENDING: return Result<ServiceState>::Of(ServiceState::kContinuePending);
    case SERVICE_PAUSE_PENDING: return Result<ServiceState>::Of(ServiceState::kPausePending);
    case SERVICE_PAUSED: return Result<ServiceState>::Of(ServiceState::kPaused);
    default: return FailResult<ServiceState>(ERROR_INVALID_DATA);
  }
}

std::uint32_t Win32Services::RequestStop(const std::wstring& name) {
  DWORD error = 0;
  ScopedService service = OpenNamedService(name, SERVICE_STOP, &error);
  if (!service) return error;
  SERVICE_STATUS status{};
  return ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) ? 0 : ::GetLastError();
}

std::uint32_t Win32Services::RequestStart(const std::wstring& name) {
  DWORD error = 0;
  ScopedService service = OpenNamedService(name, SERVICE_START, &error);
  if (!service) return error;
  return ::StartServiceW(service.get(), 0, nullptr) ? 0 : ::GetLastError();
}

// ---------------------------------------------------------------------------------------------
// Installer

struct Win32Installer::Library {
  bool tried = false;
  DWORD loadError = 0;
  HMODULE module = nullptr;
  UINT(WINAPI* enumProducts)(DWORD, LPWSTR) = nullptr;
  UINT(WINAPI* productInfo)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*) = nullptr;

  // True when msi.dll and both entry points are there; else loadError says why.
  bool Ready() {
    if (!tried) {
      tried = true;
      module = LoadSystemLibrary(L"msi.dll", &loadError);
      if (module && (!Bind(module, "MsiEnumProductsW", enumProducts) ||
                     !Bind(module, "MsiGetProductInfoW", productInfo)))
        loadError = ::GetLastError();
    }
    return enumProducts && productInfo;
  }
};

Win32Installer::Win32Installer() : library_(std::make_unique<Library>()) {}
Win32Installer::~Win32Installer() = default;

Result<std::vector<std::wstring>> Win32Installer::EnumProducts() {
  using R = Result<std::vector<std::wstring>>;
  if (!library_->Ready()) return FailResult<std::vector<std::wstring>>(library_->loadError);
  std::vector<std::wstring> codes;
  for (DWORD index = 0;; ++index) {
    wchar_t code[39] = {};  // "{GUID}" and its terminator
    UINT rc = library_->enumProducts(index, code);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return FailResult<std::vector<std::wstring>>(rc);
    codes.emplace_back(code);
  }
  return R::Of(std::move(codes));
}

Result<std::wstring> Win32Installer::ProductInfo(const std::wstring& productCode,
                                                 const std::wstring& property) {
  if (!library_->Ready()) return FailResult<std::wstring>(library_->loadError);
  std::wstring value(128, L'\0');
  for (;;) {
    DWORD length = static_cast<DWORD>(value.size());
    UINT rc = library_->productInfo(productCode.c_str(), property.c_str(), value.data(), &length);
    if (rc == ERROR_MORE_DATA) {  // length is the text's length, without its terminator
      value.resize(static_cast<std::size_t>(length) + 1);
      continue;
    }
    if (rc != ERROR_SUCCESS) return FailResult<std::wstring>(rc);
    value.resize(length);
    return Result<std::wstring>::Of(std::move(value));
  }
}

// ---------------------------------------------------------------------------------------------
// UpdateClient

namespace {

// COM for the calling thread, for as long as the scope lives.
class ComScope {
 public:
  ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  // A thread already in another apartment model can still make the call.
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

std::wstring TakeBstr(BSTR& text) {
  std::wstring value = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
  ::SysFreeString(text);
  text = nullptr;
  return value;
}

// The description that the failing object left for this thread, if any.
std::wstring ErrorInfoDescription() {
  ComRef<IErrorInfo> info;
  if (::GetErrorInfo(0, info.receive()) != S_OK || !info.get()) return {};
  BSTR description = nullptr;
  if (FAILED(info->GetDescription(&description))) return {};
  return TakeBstr(description);
}

Status ComFailure(HRESULT hr, std::wstring description = {}) {
  if (description.empty()) description = ErrorInfoDescription();
  if (description.empty()) description = MessageText(static_cast<DWORD>(hr));
  return Status::Fail(static_cast<std::int32_t>(hr), std::move(description));
}

}  // namespace

Status Win32UpdateClient::UpdateNow(std::int32_t first, std::int32_t second) {
  ComScope com;
  if (!com.usable()) return ComFailure(com.result());
  ::SetErrorInfo(0, nullptr);  // no description left over from earlier calls

  CLSID clsid{};
  if (HRESULT hr = ::CLSIDFromProgID(L"Ambrixon.ClientUpdate", &clsid); FAILED(hr))
    return ComFailure(hr);
  ComRef<IDispatch> client;
  if (HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, client.receiveVoid());
      FAILED(hr))
    return ComFailure(hr);

  wchar_t methodName[] = L"UpdateNow";
  LPOLESTR names[] = {methodName};
  DISPID method = 0;
  if (HRESULT hr = client->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &method);
      FAILED(hr))
    return ComFailure(hr);

  // DISPPARAMS lists the arguments last to first.
  VARIANT arguments[2];
  ::VariantInit(&arguments[0]);
  ::VariantInit(&arguments[1]);
  V_VT(&arguments[0]) = VT_I4;
  V_I4(&arguments[0]) = second;
  V_VT(&arguments[1]) = VT_I4;
  V_I4(&arguments[1]) = first;
  DISPPARAMS parameters{arguments, nullptr, 2, 0};
  VARIANT result;
  ::VariantInit(&result);
  EXCEPINFO exception{};
  UINT badArgument = 0;
  ::SetErrorInfo(0, nullptr);
  HRESULT hr = client->Invoke(method, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                              &result, &exception, &badArgument);
  ::VariantClear(&result);
  if (SUCCEEDED(hr)) return Status::Ok();
  if (hr != DISP_E_EXCEPTION) return ComFailure(hr);

  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  std::wstring description = TakeBstr(exception.bstrDescription);
  TakeBstr(exception.bstrSource);
  TakeBstr(exception.bstrHelpFile);
  HRESULT reported = exception.scode != 0 ? exception.scode
                     : exception.wCode != 0 ? static_cast<HRESULT>(exception.wCode)
                                            : hr;
  return ComFailure(reported, std::move(description));
}

// ---------------------------------------------------------------------------------------------
// Files

namespace {

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

Status WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, piece, &written, nullptr))
      return FailStatus(::GetLastError());
    if (written == 0) return FailStatus(ERROR_WRITE_FAULT);
    done += written;
  }
  return Status::Ok();
}

}  // namespace

bool Win32Files::FileExists(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::FolderExists(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Result<std::vector<FolderEntry>> Win32Files::ListFolder(const std::wstring& path) {
  using R = Result<std::vector<FolderEntry>>;
  std::wstring pattern = path;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW found{};
  ScopedFind search(::FindFirstFileW(pattern.c_str(), &found));
  if (!search) {
    DWORD error = ::GetLastError();
    // A drive's root folder has no "." entry: empty, it yields no match at all.
    if (error == ERROR_FILE_NOT_FOUND && FolderExists(path)) return R::Of(std::move(entries));
    return FailResult<std::vector<FolderEntry>>(error);
  }
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({std::move(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(search.get(), &found));
  if (DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
    return FailResult<std::vector<FolderEntry>>(error);
  return R::Of(std::move(entries));
}

Status Win32Files::CreateFolder(const std::wstring& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) ? Status::Ok() : FailStatus(::GetLastError());
}

Status Win32Files::CopyFile(const std::wstring& source, const std::wstring& target,
                            bool overwrite) {
  return ::CopyFileW(source.c_str(), target.c_str(), overwrite ? FALSE : TRUE)
             ? Status::Ok()
             : FailStatus(::GetLastError());
}

Status Win32Files::DeleteFile(const std::wstring& path, bool force) {
  if (force) {
    DWORD attributes = Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
      ::SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
    }
  }
  return ::DeleteFileW(path.c_str()) ? Status::Ok() : FailStatus(::GetLastError());
}

Result<std::string> Win32Files::ReadBytes(const std::wstring& path) {
  ScopedFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return FailResult<std::string>(::GetLastError());
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr))
      return FailResult<std::string>(::GetLastError());
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return Result<std::string>::Of(std::move(bytes));
}

Status Win32Files::WriteBytes(const std::wstring& path, const std::string& bytes) {
  ScopedFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return FailStatus(::GetLastError());
  return WriteAll(file.get(), bytes);
}

Result<std::uintptr_t> Win32Files::CreateForWriting(const std::wstring& path, bool overwrite) {
  ScopedFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                overwrite ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) return FailResult<std::uintptr_t>(::GetLastError());
  return Result<std::uintptr_t>::Of(reinterpret_cast<std::uintptr_t>(file.release()));
}

Status Win32Files::Append(std::uintptr_t file, const std::string& bytes) {
  if (file == 0) return FailStatus(ERROR_INVALID_HANDLE);
  return WriteAll(reinterpret_cast<HANDLE>(file), bytes);
}

void Win32Files::Close(std::uintptr_t file) {
  if (file != 0) ::CloseHandle(reinterpret_cast<HANDLE>(file));
}

// ---------------------------------------------------------------------------------------------
// Network

namespace {

using HttpHandle = HINTERNET;

struct HttpApi {
  HINTERNET(WINAPI* open)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) = nullptr;
  BOOL(WINAPI* crackUrl)(LPCWSTR, DWORD, DWORD, LPURL_COMPONENTS) = nullptr;
  HINTERNET(WINAPI* connect)(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD) = nullptr;
  HINTERNET(WINAPI* openRequest)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*,
                                 DWORD) = nullptr;
  BOOL(WINAPI* sendRequest)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD,
                            DWORD_PTR) = nullptr;
  BOOL(WINAPI* receiveResponse)(HINTERNET, LPVOID) = nullptr;
  BOOL(WINAPI* queryHeaders)(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD) = nullptr;
  BOOL(WINAPI* queryDataAvailable)(HINTERNET, LPDWORD) = nullptr;
  BOOL(WINAPI* readData)(HINTERNET, LPVOID, DWORD, LPDWORD) = nullptr;
  BOOL(WINAPI* setCredentials)(HINTERNET, DWORD, DWORD, LPCWSTR, LPCWSTR, LPVOID) = nullptr;
  BOOL(WINAPI* closeHandle)(HINTERNET) = nullptr;

  bool Bind(HMODULE module) {
    return repair::Bind(module, "WinHttpOpen", open) &&
           repair::Bind(module, "WinHttpCrackUrl", crackUrl) &&
           repair::Bind(module, "WinHttpConnect", connect) &&
           repair::Bind(module, "WinHttpOpenRequest", openRequest) &&
           repair::Bind(module, "WinHttpSendRequest", sendRequest) &&
           repair::Bind(module, "WinHttpReceiveResponse", receiveResponse) &&
           repair::Bind(module, "WinHttpQueryHeaders", queryHeaders) &&
           repair::Bind(module, "WinHttpQueryDataAvailable", queryDataAvailable) &&
           repair::Bind(module, "WinHttpReadData", readData) &&
           repair::Bind(module, "WinHttpSetCredentials", setCredentials) &&
           repair::Bind(module, "WinHttpCloseHandle", closeHandle);
  }
};

// A WinHTTP handle, closed through the loaded library.
class HttpScoped {
 public:
  HttpScoped(const HttpApi& api, HINTERNET handle) : api_(api), handle_(handle) {}
  ~HttpScoped() {
    if (handle_) api_.closeHandle(handle_);
  }
  HttpScoped(const HttpScoped&) = delete;
  HttpScoped& operator=(const HttpScoped&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  const HttpApi& api_;
  HINTERNET handle_;
};

}  // namespace

struct Win32Network::Library {
  bool tried = false;
  DWORD loadError = 0;
  HMODULE module = nullptr;
  HttpApi api;
  bool bound = false;
  HINTERNET session = nullptr;

  ~Library() {
    if (session) api.closeHandle(session);
  }

  bool Ready() {
    if (!tried) {
      tried = true;
      module = LoadSystemLibrary(L"winhttp.dll", &loadError);
      if (module) {
        bound = api.Bind(module);
        if (!bound) loadError = ::GetLastError();
      }
    }
    return bound;
  }

  // The one session, created on first use: the system's automatic proxy handling where it is
  // offered, else the configured default proxy.
  HINTERNET Session(DWORD* error) {
    if (!session) {
      session = api.open(L"Mendrel/6.1", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
      if (!session)
        session = api.open(L"Mendrel/6.1", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
      if (!session) *error = ::GetLastError();
    }
    return session;
  }

  Result<HttpAnswer> Fail(DWORD code) const { return FailResult<HttpAnswer>(code, module); }
};

Win32Network::Win32Network() : library_(std::make_unique<Library>()) {}
Win32Network::~Win32Network() = default;

namespace {

// Sends the request and waits for the answer's headers; false with *error on failure.
bool SendAndReceive(const HttpApi& api, HINTERNET request, DWORD* status, DWORD* error) {
  if (!api.sendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                       0) ||
      !api.receiveResponse(request, nullptr)) {
    *error = ::GetLastError();
    return false;
  }
  DWORD size = sizeof *status;
  if (!api.queryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, status, &size, WINHTTP_NO_HEADER_INDEX)) {
    *error = ::GetLastError();
    return false;
  }
  return true;
}

bool ReadBody(const HttpApi& api, HINTERNET request, std::string* body, DWORD* error) {
  body->clear();
  for (;;) {
    DWORD available = 0;
    if (!api.queryDataAvailable(request, &available)) {
      *error = ::GetLastError();
      return false;
    }
    if (available == 0) return true;
    std::size_t at = body->size();
    body->resize(at + available);
    DWORD read = 0;
    if (!api.readData(request, body->data() + at, available, &read)) {
      *error = ::GetLastError();
      return false;
    }
    body->resize(at + read);
    if (read == 0) return true;
  }
}

std::wstring StatusText(const HttpApi& api, HINTERNET request) {
  DWORD size = 0;
  api.queryHeaders(request, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX,
                   WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!api.queryHeaders(request, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX,
                        text.data(), &size, WINHTTP_NO_HEADER_INDEX))
    return {};
  text.resize(size / sizeof(wchar_t));
  return text;
}

}  // namespace

Result<HttpAnswer> Win32Network::Get(const std::wstring& url, const std::wstring& user,
                                     const std::wstring& password) {
  Library& lib = *library_;
  if (!lib.Ready()) return FailResult<HttpAnswer>(lib.loadError);
  const HttpApi& api = lib.api;
  DWORD error = 0;
  HINTERNET session = lib.Session(&error);
  if (!session) return lib.Fail(error);

  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!api.crackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
    return lib.Fail(::GetLastError());
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  HttpScoped connection(api, api.connect(session, host.c_str(), parts.nPort, 0));
  if (!connection) return lib.Fail(::GetLastError());
  DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  HttpScoped request(api, api.openRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          flags));
  if (!request) return lib.Fail(::GetLastError());

  HttpAnswer answer;
  DWORD status = 0;
  if (!SendAndReceive(api, request.get(), &status, &error)) return lib.Fail(error);
  if (status == HTTP_STATUS_DENIED && (!user.empty() || !password.empty())) {
    // Drain the refusal so the connection can carry the second try.
    if (!ReadBody(api, request.get(), &answer.body, &error)) return lib.Fail(error);
    if (!api.setCredentials(request.get(), WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                            user.c_str(), password.c_str(), nullptr))
      return lib.Fail(::GetLastError());
    if (!SendAndReceive(api, request.get(), &status, &error)) return lib.Fail(error);
  }
  answer.status = status;
  answer.statusText = StatusText(api, request.get());
  if (!ReadBody(api, request.get(), &answer.body, &error)) return lib.Fail(error);
  return Result<HttpAnswer>::Of(std::move(answer));
}

// ---------------------------------------------------------------------------------------------
// Processes

Result<std::uintptr_t> Win32Processes::Start(const std::wstring& applicationPath,
                                             const std::wstring& commandLine) {
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');  // CreateProcessW may write into the command line
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // The program is always named in full: no search along a path that begins with the work
  // directory.
  if (!::CreateProcessW(applicationPath.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
    return FailResult<std::uintptr_t>(::GetLastError());
  ::CloseHandle(process.hThread);
  return Result<std::uintptr_t>::Of(reinterpret_cast<std::uintptr_t>(process.hProcess));
}

Result<std::uint32_t> Win32Processes::ExitCode(std::uintptr_t process) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &code))
    return FailResult<std::uint32_t>(::GetLastError());
  return Result<std::uint32_t>::Of(code);
}

void Win32Processes::CloseProcess(std::uintptr_t process) {
  if (process != 0) ::CloseHandle(reinterpret_cast<HANDLE>(process));
}

// ---------------------------------------------------------------------------------------------
// System

std::wstring Win32System::ExpandEnvironment(const std::wstring& text) {
  std::wstring expanded(std::max<std::size_t>(text.size() * 2, 64), L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                               static_cast<DWORD>(expanded.size()));
    if (length == 0) return text;
    if (length <= expanded.size()) {
      expanded.resize(length - 1);  // the count includes the terminator
      return expanded;
    }
    expanded.resize(length);
  }
  return text;
}

Result<std::wstring> Win32System::SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  HRESULT hr = ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  if (FAILED(hr))
    return Result<std::wstring>::Fail(static_cast<std::int32_t>(hr),
                                      MessageText(static_cast<DWORD>(hr)));
  if (path[0] == L'\0') return FailResult<std::wstring>(ERROR_PATH_NOT_FOUND);
  return Result<std::wstring>::Of(path);
}

int Win32System::ProcessorAddressWidth() {
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
    case PROCESSOR_ARCHITECTURE_IA64:
    case 12:  // PROCESSOR_ARCHITECTURE_ARM64
      return 64;
    default:
      return 32;
  }
}

LocalTime Win32System::Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void Win32System::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void Win32System::WriteLine(const std::wstring& text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output_ == Output::kUnknown) {
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
      output_ = Output::kNone;
    else if (::GetFileType(out) == FILE_TYPE_CHAR && ::GetConsoleMode(out, &mode))
      output_ = Output::kConsole;
    else
      output_ = Output::kBytes;  // a file or a pipe: the console log keeps every character
  }
  std::wstring line = text + L"\r\n";
  if (output_ == Output::kConsole) {
    std::size_t done = 0;
    while (done < line.size()) {
      // Old consoles take at most about 64 KB per call; never split a surrogate pair.
      std::size_t piece = std::min<std::size_t>(line.size() - done, 8192);
      if (done + piece < line.size() && IS_HIGH_SURROGATE(line[done + piece - 1])) --piece;
      DWORD written = 0;
      if (!::WriteConsoleW(out, line.data() + done, static_cast<DWORD>(piece), &written, nullptr) ||
          written == 0)
        return;
      done += written;
    }
  } else if (output_ == Output::kBytes) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(),
                          size, nullptr, nullptr);
    (void)WriteAll(out, bytes);
  }
}

}  // namespace repair
