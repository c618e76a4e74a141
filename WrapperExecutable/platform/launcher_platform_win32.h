// Win32 only: the launcher's seam forwarded to the real system calls, one function per
// operation in the order of launcher_platform.h.
#pragma once

#include <windows.h>

#include "platform/launcher_platform.h"

namespace launcher {

class Win32Platform final : public Platform {
 public:
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // The window that HideMainWindow, PostProgress and PostDone act on; null (the default, and
  // silent mode) makes them do nothing. Set before the worker starts.
  void SetMainWindow(HWND window) { mainWindow_ = window; }

  ResourceRef FindFileResource(int id) override;
  LoadedResource LoadResource(ResourceRef resource) override;
  std::uint32_t ResourceSize(ResourceRef resource) override;
  const unsigned char* LockResource(LoadedResource loaded) override;

  FileRef OpenFile(const std::string& name, FileMode mode) override;
  bool WriteFile(FileRef file, const void* data, std::uint32_t size,
                 std::uint32_t* written) override;
  bool ReadFile(FileRef file, void* buffer, std::uint32_t size, std::uint32_t* read) override;
  bool CloseFile(FileRef file) override;

  std::uint32_t QueryAttributes(const std::wstring& path) override;
  FindRef FindFirst(const std::wstring& pattern, FindEntry* entry) override;
  bool FindNext(FindRef listing, FindEntry* entry) override;
  bool FindClose(FindRef listing) override;
  bool RemoveFile(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  bool MakeDirectory(const std::string& path, SecurityRef security) override;
  bool ChangeDirectory(const std::wstring& path) override;
  bool ChangeDirectoryNarrow(const std::string& path) override;
  std::uint32_t TempPath(std::uint32_t capacity, std::wstring* path) override;

  std::uint32_t LastError() override;

  bool ShellExecuteFile(const std::wstring& file, bool noUi, ProcessRef* process) override;
  void WaitForProcess(ProcessRef process) override;
  bool GetExitCode(ProcessRef process, std::uint32_t* exitCode) override;
  bool CloseProcess(ProcessRef process) override;

  void HideMainWindow() override;
  void PostProgress() override;
  void PostDone() override;
  void ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                      BoxIcon icon) override;

  UtcTime UtcNow() override;

  SecurityRef BuildWorkDirSecurity() override;

 private:
  HWND mainWindow_ = nullptr;
  // The work directory's security attributes; the descriptor and its DACL stay allocated until
  // the process ends.
  SECURITY_ATTRIBUTES workDirSecurity_{};
};

}  // namespace launcher
