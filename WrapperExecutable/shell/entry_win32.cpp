// Win32 only: the launcher's entry routine: mode, single-instance guard, temporary directory,
// run log, work-directory security, then the worker sequence (directly when silent, otherwise on
// a worker thread behind the progress window and its message loop).
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "platform/launcher_platform_win32.h"
#include "shell/launcher.h"
#include "shell/window_win32.h"

namespace {

using namespace launcher;

constexpr wchar_t kAlreadyRunningText[] =
    L"This application is already running.\n\nPlease wait for it to complete.";
constexpr wchar_t kLogFailureText[] =
    L"Could not create a log file.\n\nPlease check the permissions on ";

// Created once and never destroyed: the worker may still be running when the entry routine
// returns, and the system reclaims everything at exit.
Win32Platform* g_platform = nullptr;
LauncherState* g_state = nullptr;

// Static imports are all DLLs that Windows takes only from the system directory; this makes every
// later load (comctl32 and whatever the system loads on our behalf) do the same, so a launcher
// started from a downloads folder never picks up a DLL planted beside it.
void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  SetDefaultDllDirectoriesFn setDefault = nullptr;
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  }
  if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetDllDirectoryW(L"");  // at least drop the current directory from the search
  }
}

// comctl32 is not one of the DLLs that Windows always takes from the system directory, so it is
// not imported statically: it is loaded here from the system directory and asked to register the
// progress-bar class. False when that is impossible; the bar then cannot be created.
bool InitProgressBarClass() {
  HMODULE comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (comctl == nullptr) {
    // Systems without the search flags reject it; name the system directory's copy instead.
    wchar_t dir[MAX_PATH];
    const UINT length = GetSystemDirectoryW(dir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring path = std::wstring(dir, length) + L"\\comctl32.dll";
    comctl = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  if (comctl == nullptr) return false;
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = reinterpret_cast<InitCommonControlsExFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (init == nullptr) return false;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS;
  return init(&controls) != FALSE;
}

HICON LoadOwnIcon(HINSTANCE instance, int id, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

// The main window with its progress-bar child; false when the class or either window cannot be
// made.
bool CreateProgressWindow(HINSTANCE instance, HWND* mainWindow, HWND* progressBar) {
  if (!InitProgressBarClass()) return false;

  WNDCLASSW windowClass{};
  windowClass.style = 0;
  windowClass.lpfnWndProc = ExtractorWndProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassW(&windowClass) == 0) return false;

  *mainWindow = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 100, nullptr, nullptr,
                                instance, nullptr);
  if (*mainWindow == nullptr) return false;

  *progressBar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
                                 20, 20, 580, 20, *mainWindow, nullptr, instance, nullptr);
  return *progressBar != nullptr;
}

DWORD WINAPI WorkerThread(LPVOID) { return RunSequence(*g_state); }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearch();

  g_platform = new Win32Platform();
  g_state = new LauncherState(*g_platform);
  LauncherState& state = *g_state;

  // 1-2. Any argument at all selects silent mode; the texts are never looked at. The mode is not
  // known yet when the splitting fails, so that box is shown in every mode.
  int argumentCount = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  if (arguments == nullptr) {
    ShowFailureBox(state, kResultCommandLine);
    return static_cast<int>(kResultCommandLine);
  }
  LocalFree(arguments);
  state.silentMode = argumentCount > 1;

  // 3. The mutex stays owned by this thread until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kMutexName);
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (!state.silentMode) {
      g_platform->ShowMessageBox(kAlreadyRunningText, kWindowTitle, BoxIcon::kError);
    }
    return static_cast<int>(kResultAlreadyRunning);
  }

  // 4. Missing icons are not an error: the window then keeps the default ones.
  HICON largeIcon = LoadOwnIcon(instance, kIconLarge, SM_CXICON, SM_CYICON);
  HICON smallIcon = LoadOwnIcon(instance, kIconSmall, SM_CXSMICON, SM_CYSMICON);

  // 5.
  std::wstring tempPath;
  const std::uint32_t tempResult = EnterTempDirectory(*g_platform, &tempPath);
  if (tempResult != 0) {
    ShowFailureBox(state, tempResult);
    return static_cast<int>(tempResult);
  }

  // 6. The path is shown exactly as the system gave it, normally with its final backslash.
  state.runLogFile = OpenRunLog(state);
  if (state.runLogFile == kInvalidHandle) {
    if (!state.silentMode) {
      g_platform->ShowMessageBox(kLogFailureText + tempPath + L".", kWindowTitle, BoxIcon::kError);
    }
    return static_cast<int>(kResultRunLog);
  }

  // 7.
  if (BuildWorkDirSecurity(state) != 0) {
    ShowFailureBox(state, kResultSecurity);
    return static_cast<int>(kResultSecurity);
  }

  // 8. stateLock is ready from the state's construction, before any worker exists.

  // 9.
  if (state.silentMode) {
    RunSequence(state);
    return static_cast<int>(state.resultCode);
  }

  // 10.
  AttachWindowState(&state);
  HWND mainWindow = nullptr;
  HWND progressBar = nullptr;
  if (!CreateProgressWindow(instance, &mainWindow, &progressBar)) {
    LogLine(state, "Cannot create window.");
    ShowFailureBox(state, kResultWindow);
    return static_cast<int>(kResultWindow);
  }
  g_platform->SetMainWindow(mainWindow);
  AttachProgressBar(progressBar);

  // 11. Without the large icon neither is set, even when the small one exists.
  if (largeIcon != nullptr) {
    PostMessageW(mainWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon));
    PostMessageW(mainWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  }

  // 12.
  SendMessageW(progressBar, PBM_SETRANGE32, 0, 1000);

  // 13.
  HANDLE worker = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, nullptr);
  if (worker == nullptr) {
    ShowFailureBox(state, kResultThread);
    return static_cast<int>(kResultThread);
  }
  CloseHandle(worker);

  // 14. No key translation: the window has no keyboard interface.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);

  // 15. After an error from GetMessageW this is whatever the worker has stored so far.
  return static_cast<int>(state.resultCode);
}
