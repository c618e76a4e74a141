/* Test helper: a DLL planted beside a program under a system DLL's name. When loaded it leaves
   the file "planted-dll-loaded.txt" in the temporary directory, so a test can tell that a
   program took it instead of the system's copy. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 32];
    DWORD n = GetTempPathW(MAX_PATH, path);
    if (n > 0 && n < MAX_PATH) {
      lstrcpyW(path + n, L"planted-dll-loaded.txt");
      HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  return TRUE;
}
