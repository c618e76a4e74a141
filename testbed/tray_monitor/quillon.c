/* The product's tray monitor "Quillon.exe" as the testbed offers it: records that it was
   started (with its command line and working folder) in
   C:\ProgramData\ZorvanTestbed\Quillon.log and ends. */
#include <windows.h>
#include <stdio.h>

#include "testbed_state.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
  (void)instance; (void)previous; (void)commandLine; (void)show;
  wchar_t folder[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, folder);
  wchar_t line[900];
  swprintf(line, 900, L"started pid=%lu cwd=%ls line=%ls", (unsigned long)GetCurrentProcessId(),
           folder, GetCommandLineW());
  TestbedRecord(L"Quillon", line);
  return 0;
}
