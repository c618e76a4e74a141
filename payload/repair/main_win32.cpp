// The repair program's console entry: locks the DLL search to the system directory, builds the
// Win32 endpoint and runs the repair logic with the command-line arguments.
#include "platform/repair_platform_win32.h"
#include "repair_main.h"

// After the seam: <windows.h> would rename its CopyFile and DeleteFile operations.
#include <windows.h>

#include <exception>
#include <string>
#include <vector>

namespace {

// The program runs in a work directory that its user can write to, and the loader would look
// there for DLLs first. Where the system offers it, every later load searches only the system
// directory; elsewhere the current directory is at least taken out of the search.
void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                 reinterpret_cast<void (*)()>(
                                     ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}

std::wstring Widen(const char* text) {
  int size = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (size <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
  wide.pop_back();
  return wide;
}

// The last line of a run that an unexpected C++ exception ended; such a run has failed.
int ReportEscapedError(const std::wstring& what) {
  try {
    repair::Win32System output;
    output.WriteLine(L"Mendrel.exe stopped on an unexpected internal error: " + what);
  } catch (...) {
  }
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  RestrictDllSearch();
  // No blocking "insert a disk" boxes when a path names an empty drive: the run is unattended.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  try {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    repair::Win32Platform endpoint;
    return repair::Main(endpoint.platform(), arguments);
  } catch (const std::exception& error) {
    return ReportEscapedError(Widen(error.what()));
  } catch (...) {
    return ReportEscapedError(L"unknown");
  }
}
