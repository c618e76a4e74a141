/* The testbed programs' switches and event records (see testbed_state.h). */
#include "testbed_state.h"

#include <shlobj.h>
#include <stdio.h>
#include <wchar.h>

static HKEY OpenComponentKey(const wchar_t* component) {
  wchar_t key[256];
  swprintf(key, 256, L"SOFTWARE\\ZorvanTestbed\\%ls", component);
  HKEY h = NULL;
  /* The native view on both bitnesses, so a 32-bit and a 64-bit build read the same switches. */
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &h) != ERROR_SUCCESS)
    return NULL;
  return h;
}

DWORD TestbedReadNumber(const wchar_t* component, const wchar_t* name, DWORD fallback) {
  HKEY h = OpenComponentKey(component);
  if (!h) return fallback;
  DWORD type = 0, value = 0, size = sizeof value;
  LONG rc = RegQueryValueExW(h, name, NULL, &type, (BYTE*)&value, &size);
  RegCloseKey(h);
  return (rc == ERROR_SUCCESS && type == REG_DWORD) ? value : fallback;
}

void TestbedReadText(const wchar_t* component, const wchar_t* name, const wchar_t* fallback,
                     wchar_t* out, DWORD capacity) {
  lstrcpynW(out, fallback, (int)capacity);
  HKEY h = OpenComponentKey(component);
  if (!h) return;
  DWORD type = 0, size = capacity * sizeof(wchar_t);
  wchar_t* buffer = (wchar_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + sizeof(wchar_t));
  if (buffer && RegQueryValueExW(h, name, NULL, &type, (BYTE*)buffer, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    lstrcpynW(out, buffer, (int)capacity);
  }
  if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
  RegCloseKey(h);
}

void TestbedRecord(const wchar_t* component, const wchar_t* text) {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(NULL, CSIDL_COMMON_APPDATA, NULL, 0, folder))) return;
  wchar_t path[MAX_PATH + 64];
  swprintf(path, MAX_PATH + 64, L"%ls\\ZorvanTestbed", folder);
  CreateDirectoryW(path, NULL);
  swprintf(path, MAX_PATH + 64, L"%ls\\ZorvanTestbed\\%ls.log", folder, component);

  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t line[1024];
  int n = swprintf(line, 1024, L"%04u-%02u-%02uT%02u:%02u:%02u.%03u %ls\r\n", t.wYear, t.wMonth,
                   t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, text);
  if (n < 0) return;
  char bytes[4096];
  int len = WideCharToMultiByte(CP_UTF8, 0, line, n, bytes, sizeof bytes, NULL, NULL);
  if (len <= 0) return;

  /* FILE_APPEND_DATA makes each write land at the end even with other writers. */
  HANDLE f = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && f == INVALID_HANDLE_VALUE; ++attempt) {
    f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, bytes, (DWORD)len, &written, NULL);
  CloseHandle(f);
}
