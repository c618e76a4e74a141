/* Test helper run under Wine: watches the progress bar of another process's top-level window.

     window_probe CLASS [CLOSE_AT [CLOSES]]

   Waits (up to 60 s) for a visible top-level window of class CLASS, then polls the position of
   its "msctls_progress32" child and prints every new position, one "pos=N" line each, until the
   window is hidden or gone. With CLOSE_AT, once the position has reached CLOSE_AT it posts
   WM_CLOSE to the window CLOSES times (default 1), prints "closed", and goes on watching until
   the window is hidden, gone, or has not moved for 3 s. Exit status: 0, or 1 when no such window
   appeared. */
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    printf("usage: window_probe CLASS [CLOSE_AT [CLOSES]]\n");
    return 2;
  }
  const wchar_t* cls = argv[1];
  long closeAt = argc > 2 ? wcstol(argv[2], NULL, 10) : -1;
  long closes = argc > 3 ? wcstol(argv[3], NULL, 10) : 1;

  HWND window = NULL;
  for (int i = 0; i < 60000 && window == NULL; ++i) {
    window = FindWindowW(cls, NULL);
    if (window != NULL && !IsWindowVisible(window)) window = NULL;
    if (window == NULL) Sleep(1);
  }
  if (window == NULL) {
    printf("no window\n");
    return 1;
  }
  HWND bar = FindWindowExW(window, NULL, L"msctls_progress32", NULL);
  for (int i = 0; i < 5000 && bar == NULL; ++i) {
    Sleep(1);
    bar = FindWindowExW(window, NULL, L"msctls_progress32", NULL);
  }
  printf("window\n");
  fflush(stdout);

  LRESULT last = -1;
  int closed = 0;
  DWORD lastChange = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    DWORD_PTR pos = 0;
    if (bar != NULL &&
        SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &pos) &&
        (LRESULT)pos != last) {
      last = (LRESULT)pos;
      lastChange = GetTickCount();
      printf("pos=%ld\n", (long)last);
      fflush(stdout);
    }
    if (closeAt >= 0 && !closed && last >= closeAt) {
      for (long k = 0; k < closes; ++k) PostMessageW(window, WM_CLOSE, 0, 0);
      closed = 1;
      printf("closed\n");
      fflush(stdout);
    }
    if (closed && GetTickCount() - lastChange > 3000) break;
    Sleep(1);
  }
  printf("end\n");
  return 0;
}
