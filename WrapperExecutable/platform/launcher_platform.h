// The launcher's seam: every operating-system call that the launcher's logic makes, as one
// small interface. The Win32 backend (launcher_platform_win32.cpp) forwards each operation to the
// real call; the unit tests use an in-memory machine that can fail any call. Nothing in this
// header depends on <windows.h>: handles are opaque numbers, texts are std::string (narrow,
// ANSI file functions) or std::wstring (wide functions), exactly as the real calls take them.
// No operation is named like a <windows.h> A/W macro (DeleteFile, MessageBox, ...), so this
// header means the same in every translation unit whatever it includes first.
//
// Error model: as in Win32. An operation that fails returns its failure value (false, 0, or the
// invalid handle) and leaves the error code for LastError(); an operation that succeeds may leave
// LastError() unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace launcher {

// Opaque handles. 0 is "none" for every kind except files and find listings, whose failure value
// is kInvalidHandle (as INVALID_HANDLE_VALUE is in Win32).
using ResourceRef = std::uintptr_t;     // a found resource (HRSRC)
using LoadedResource = std::uintptr_t;  // a loaded resource (HGLOBAL)
using FileRef = std::uintptr_t;         // an open file (HANDLE)
using FindRef = std::uintptr_t;         // an open directory listing (HANDLE from FindFirstFileW)
using ProcessRef = std::uintptr_t;      // a started process (HANDLE)
using SecurityRef = std::uintptr_t;     // the work directory's security attributes, built once

inline constexpr std::uintptr_t kInvalidHandle = ~std::uintptr_t{0};
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kAttributeReadOnly = 0x01u;
inline constexpr std::uint32_t kAttributeDirectory = 0x10u;
inline constexpr std::uint32_t kAttributeArchive = 0x20u;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400u;

// Win32 error codes the logic and the tests name by number.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorDirectory = 267;  // "The directory name is invalid."
inline constexpr std::uint32_t kStillActive = 259;     // exit code of a running process

enum class FileMode {
  kWriteCreateAlways,  // GENERIC_WRITE, no sharing, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL
  kReadOpenExisting,   // GENERIC_READ, no sharing, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL
};

struct FindEntry {
  std::wstring name;             // cFileName
  std::uint32_t attributes = 0;  // dwFileAttributes
};

struct UtcTime {  // SYSTEMTIME fields, UTC
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class BoxIcon { kNone, kError };

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Resources of the executable's own module (type "FILE") ---
  // FindResourceW(NULL, id, L"FILE"): the resource, or 0 when there is none.
  virtual ResourceRef FindFileResource(int id) = 0;
  // LoadResource: the loaded resource, or 0 on failure.
  virtual LoadedResource LoadResource(ResourceRef resource) = 0;
  // SizeofResource: the size in bytes, 0 on failure.
  virtual std::uint32_t ResourceSize(ResourceRef resource) = 0;
  // LockResource: pointer to the first byte, valid until the process ends; null on failure.
  virtual const unsigned char* LockResource(LoadedResource loaded) = 0;

  // --- Files (ANSI names, '/' accepted as separator) ---
  // CreateFileA with the mode's access, sharing, disposition and attributes; default security.
  // Returns kInvalidHandle on failure.
  virtual FileRef OpenFile(const std::string& name, FileMode mode) = 0;
  // WriteFile: true on success; *written receives the byte count.
  virtual bool WriteFile(FileRef file, const void* data, std::uint32_t size,
                         std::uint32_t* written) = 0;
  // ReadFile: true on success; *read receives the byte count (0 at end of file).
  virtual bool ReadFile(FileRef file, void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
  // CloseHandle on a file.
  virtual bool CloseFile(FileRef file) = 0;

  // --- Directories (wide names unless said otherwise) ---
  // GetFileAttributesW: the attributes, or kInvalidFileAttributes. Does not follow a link that
  // is the path's last component.
  virtual std::uint32_t QueryAttributes(const std::wstring& path) = 0;
  // FindFirstFileW on a pattern such as P + L"\\*": the listing and its first entry, or
  // kInvalidHandle.
  virtual FindRef FindFirst(const std::wstring& pattern, FindEntry* entry) = 0;
  // FindNextFileW: true and the next entry; false at the end (LastError 18) or on failure.
  virtual bool FindNext(FindRef listing, FindEntry* entry) = 0;
  // FindClose.
  virtual bool FindClose(FindRef listing) = 0;
  // DeleteFileW (removes a file link itself, never its target).
  virtual bool RemoveFile(const std::wstring& path) = 0;
  // RemoveDirectoryW (removes an empty directory, or a directory link itself, never its target).
  virtual bool RemoveEmptyDirectory(const std::wstring& path) = 0;
  // CreateDirectoryA (narrow name) with the work directory's security attributes from
  // BuildWorkDirSecurity (0: default security). LastError 183 when the name exists.
  virtual bool MakeDirectory(const std::string& path, SecurityRef security) = 0;
  // SetCurrentDirectoryW / SetCurrentDirectoryA.
  virtual bool ChangeDirectory(const std::wstring& path) = 0;
  virtual bool ChangeDirectoryNarrow(const std::string& path) = 0;
  // GetTempPathW with a buffer of `capacity` characters: the returned length (0 on failure);
  // *path receives the text (normally ending in a backslash) when it fitted.
  virtual std::uint32_t TempPath(std::uint32_t capacity, std::wstring* path) = 0;

  // --- Errors ---
  // GetLastError of the calling thread.
  virtual std::uint32_t LastError() = 0;

  // --- Setup program ---
  // ShellExecuteExW with lpFile = file, empty parameters, no verb, no directory, no owner,
  // SW_SHOWNORMAL and SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC, plus SEE_MASK_FLAG_NO_UI when
  // noUi. True on success; *process receives hProcess (which may be 0 when the shell started
  // nothing).
  virtual bool ShellExecuteFile(const std::wstring& file, bool noUi, ProcessRef* process) = 0;
  // WaitForSingleObject(process, INFINITE).
  virtual void WaitForProcess(ProcessRef process) = 0;
  // GetExitCodeProcess: true and the code, or false (LastError says why).
  virtual bool GetExitCode(ProcessRef process, std::uint32_t* exitCode) = 0;
  // CloseHandle on a process.
  virtual bool CloseProcess(ProcessRef process) = 0;

  // --- Window and message boxes ---
  // ShowWindow(mainWindow, SW_HIDE); no effect when there is no main window (silent mode).
  virtual void HideMainWindow() = 0;
  // PostMessageW(mainWindow, kMessageProgress, 0, 0) / (kMessageDone); no effect without a
  // main window.
  virtual void PostProgress() = 0;
  virtual void PostDone() = 0;
  // MessageBoxW(NULL, text, caption, MB_OK | icon); returns when dismissed.
  virtual void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                              BoxIcon icon) = 0;

  // --- Clock ---
  // GetSystemTime: the current UTC time.
  virtual UtcTime UtcNow() = 0;

  // --- Security ---
  // Builds the work directory's security attributes (a DACL granting GENERIC_ALL, inherited by
  // files and subdirectories, to the current user and to BUILTIN\Administrators, nothing else).
  // Returns the attributes to pass to MakeDirectory, or 0 on failure. Called once at launch.
  virtual SecurityRef BuildWorkDirSecurity() = 0;
};

}  // namespace launcher
