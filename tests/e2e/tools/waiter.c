/* Test helper run under Wine: starts the command line after its own first argument, waits for
   it, and prints its full 32-bit exit code in decimal (Wine's Unix exit status keeps only the
   low 8 bits). Exit status: 0 when the child ran, 1 when it could not be started. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int wmain(void) {
  const wchar_t* line = GetCommandLineW();
  /* Skip our own program name (quoted or not) and the blanks after it. */
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;

  wchar_t* child = _wcsdup(line);
  STARTUPINFOW si = {sizeof si};
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(NULL, child, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
    printf("waiter: CreateProcess failed %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  printf("exit=%lu\n", (unsigned long)code);
  fflush(stdout);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}
