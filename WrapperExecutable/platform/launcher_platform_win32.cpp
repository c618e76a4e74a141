// Win32 only: each seam operation as the one system call it names, in the order of
// launcher_platform.h.
#include "platform/launcher_platform_win32.h"

#include <aclapi.h>
#include <shellapi.h>

#include <vector>

#include "shell/launcher.h"

namespace launcher {
namespace {

template <typename T>
T FromRef(std::uintptr_t ref) {
  return reinterpret_cast<T>(ref);
}

template <typename T>
std::uintptr_t ToRef(T handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

void CopyEntry(const WIN32_FIND_DATAW& data, FindEntry* entry) {
  entry->name = data.cFileName;
  entry->attributes = data.dwFileAttributes;
}

// Closes the process token on every path after it was opened.
class TokenHandle {
 public:
  TokenHandle() = default;
  ~TokenHandle() { Close(); }
  TokenHandle(const TokenHandle&) = delete;
  TokenHandle& operator=(const TokenHandle&) = delete;
  HANDLE* Receive() { return &handle_; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace

// --- Resources ---

ResourceRef Win32Platform::FindFileResource(int id) {
  return ToRef(FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"FILE"));
}

LoadedResource Win32Platform::LoadResource(ResourceRef resource) {
  return ToRef(::LoadResource(nullptr, FromRef<HRSRC>(resource)));
}

std::uint32_t Win32Platform::ResourceSize(ResourceRef resource) {
  return SizeofResource(nullptr, FromRef<HRSRC>(resource));
}

const unsigned char* Win32Platform::LockResource(LoadedResource loaded) {
  return static_cast<const unsigned char*>(::LockResource(FromRef<HGLOBAL>(loaded)));
}

// --- Files ---

FileRef Win32Platform::OpenFile(const std::string& name, FileMode mode) {
  const bool write = mode == FileMode::kWriteCreateAlways;
  HANDLE file = CreateFileA(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ, 0, nullptr,
                            write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return ToRef(file);
}

bool Win32Platform::WriteFile(FileRef file, const void* data, std::uint32_t size,
                              std::uint32_t* written) {
  DWORD count = 0;
  const BOOL ok = ::WriteFile(FromRef<HANDLE>(file), data, size, &count, nullptr);
  *written = count;
  return ok != FALSE;
}

bool Win32Platform::ReadFile(FileRef file, void* buffer, std::uint32_t size,
                             std::uint32_t* read) {
  DWORD count = 0;
  const BOOL ok = ::ReadFile(FromRef<HANDLE>(file), buffer, size, &count, nullptr);
  *read = count;
  return ok != FALSE;
}

bool Win32Platform::CloseFile(FileRef file) { return CloseHandle(FromRef<HANDLE>(file)) != FALSE; }

// --- Directories ---

std::uint32_t Win32Platform::QueryAttributes(const std::wstring& path) {
  return GetFileAttributesW(path.c_str());
}

FindRef Win32Platform::FindFirst(const std::wstring& pattern, FindEntry* entry) {
  WIN32_FIND_DATAW data{};
  HANDLE listing = FindFirstFileW(pattern.c_str(), &data);
  if (listing != INVALID_HANDLE_VALUE) CopyEntry(data, entry);
  return ToRef(listing);
}

bool Win32Platform::FindNext(FindRef listing, FindEntry* entry) {
  WIN32_FIND_DATAW data{};
  if (!FindNextFileW(FromRef<HANDLE>(listing), &data)) return false;
  CopyEntry(data, entry);
  return true;
}

bool Win32Platform::FindClose(FindRef listing) {
  return ::FindClose(FromRef<HANDLE>(listing)) != FALSE;
}

bool Win32Platform::RemoveFile(const std::wstring& path) {
  return DeleteFileW(path.c_str()) != FALSE;
}

bool Win32Platform::RemoveEmptyDirectory(const std::wstring& path) {
  return RemoveDirectoryW(path.c_str()) != FALSE;
}

bool Win32Platform::MakeDirectory(const std::string& path, SecurityRef security) {
  return CreateDirectoryA(path.c_str(), FromRef<SECURITY_ATTRIBUTES*>(security)) != FALSE;
}

bool Win32Platform::ChangeDirectory(const std::wstring& path) {
  return SetCurrentDirectoryW(path.c_str()) != FALSE;
}

bool Win32Platform::ChangeDirectoryNarrow(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != FALSE;
}

std::uint32_t Win32Platform::TempPath(std::uint32_t capacity, std::wstring* path) {
  std::vector<wchar_t> buffer(capacity + 1u, L'\0');
  const DWORD length = GetTempPathW(capacity, buffer.data());
  if (length != 0 && length < capacity) path->assign(buffer.data(), length);
  return length;
}

// --- Errors ---

std::uint32_t Win32Platform::LastError() { return GetLastError(); }

// --- Setup program ---

bool Win32Platform::ShellExecuteFile(const std::wstring& file, bool noUi, ProcessRef* process) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | (noUi ? SEE_MASK_FLAG_NO_UI : 0u);
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = file.c_str();
  info.lpParameters = L"";
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  *process = ToRef(info.hProcess);
  return true;
}

void Win32Platform::WaitForProcess(ProcessRef process) {
  WaitForSingleObject(FromRef<HANDLE>(process), INFINITE);
}

bool Win32Platform::GetExitCode(ProcessRef process, std::uint32_t* exitCode) {
  DWORD code = 0;
  if (!GetExitCodeProcess(FromRef<HANDLE>(process), &code)) return false;
  *exitCode = code;
  return true;
}

bool Win32Platform::CloseProcess(ProcessRef process) {
  return CloseHandle(FromRef<HANDLE>(process)) != FALSE;
}

// --- Window and message boxes ---

void Win32Platform::HideMainWindow() {
  if (mainWindow_ != nullptr) ShowWindow(mainWindow_, SW_HIDE);
}

void Win32Platform::PostProgress() {
  if (mainWindow_ != nullptr) PostMessageW(mainWindow_, kMessageProgress, 0, 0);
}

void Win32Platform::PostDone() {
  if (mainWindow_ != nullptr) PostMessageW(mainWindow_, kMessageDone, 0, 0);
}

void Win32Platform::ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                                   BoxIcon icon) {
  MessageBoxW(nullptr, text.c_str(), caption.c_str(),
              MB_OK | (icon == BoxIcon::kError ? MB_ICONERROR : 0u));
}

// --- Clock ---

UtcTime Win32Platform::UtcNow() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return UtcTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// --- Security ---

SecurityRef Win32Platform::BuildWorkDirSecurity() {
  // 1-2. The current user's SID from the process token; the first query only sizes the buffer.
  TokenHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return 0;
  DWORD length = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &length);
  if (length == 0) return 0;

  // 3.
  std::vector<unsigned char> userBuffer(length, 0);
  const BOOL gotUser =
      GetTokenInformation(token.Get(), TokenUser, userBuffer.data(), length, &length);
  token.Close();
  if (!gotUser) return 0;
  PSID userSid = reinterpret_cast<TOKEN_USER*>(userBuffer.data())->User.Sid;
  if (!IsValidSid(userSid)) return 0;

  // 4. BUILTIN\Administrators, S-1-5-32-544. It stays allocated: the ACL below copies it, and
  // the process keeps what it built until it ends.
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administratorsSid = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administratorsSid)) {
    return 0;
  }

  // 5. Full control for both, inherited by files and subdirectories.
  EXPLICIT_ACCESS_W entries[2];
  ZeroMemory(entries, sizeof entries);
  PSID trustees[2] = {userSid, administratorsSid};
  for (int i = 0; i < 2; ++i) {
    entries[i].grfAccessPermissions = GENERIC_ALL;
    entries[i].grfAccessMode = SET_ACCESS;
    entries[i].grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    entries[i].Trustee.pMultipleTrustee = nullptr;
    entries[i].Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[i].Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entries[i].Trustee.ptstrName = static_cast<LPWSTR>(trustees[i]);
  }

  // 6.
  PACL acl = nullptr;
  if (SetEntriesInAclW(2, entries, nullptr, &acl) != ERROR_SUCCESS) return 0;

  // 7. An absolute descriptor in a zero-filled block of the minimum length.
  PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (descriptor == nullptr) return 0;
  if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION)) return 0;
  if (!SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE)) return 0;

  // 8. The user buffer goes with this scope; the ACL holds its own copies of both SIDs.
  workDirSecurity_.nLength = sizeof workDirSecurity_;
  workDirSecurity_.lpSecurityDescriptor = descriptor;
  workDirSecurity_.bInheritHandle = FALSE;
  return ToRef(&workDirSecurity_);
}

}  // namespace launcher
