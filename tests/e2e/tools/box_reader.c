/* Test helper run under Wine: reads and dismisses another process's message box.

     box_reader CAPTION [TIMEOUT_MS]

   Waits (default 60 s) for a dialog of class "#32770" with that caption, prints "icon=1" or
   "icon=0" (whether the box shows an icon), then "text=" and the box's message text as UTF-8
   (line feeds kept), and closes the box with its OK button (WM_COMMAND IDOK). Exit status: 0,
   or 1 when no such box appeared in time. */
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

/* The message box's text and icon controls, as the system's box template numbers them. */
enum { kBoxText = 0xFFFF, kBoxIcon = 0x0440 };

static void PrintUtf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  char* bytes = (char*)malloc(n > 0 ? n : 1);
  bytes[0] = 0;
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, n, NULL, NULL);
  fputs(bytes, stdout);
  free(bytes);
}

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    printf("usage: box_reader CAPTION [TIMEOUT_MS]\n");
    return 2;
  }
  DWORD timeout = argc > 2 ? (DWORD)wcstoul(argv[2], NULL, 10) : 60000;
  DWORD start = GetTickCount();
  HWND box = NULL;
  while ((box = FindWindowW(L"#32770", argv[1])) == NULL || !IsWindowVisible(box)) {
    if (GetTickCount() - start > timeout) {
      printf("no box\n");
      return 1;
    }
    Sleep(10);
  }
  Sleep(100); /* let the box finish its initialisation */

  wchar_t text[2048] = {0};
  HWND label = GetDlgItem(box, kBoxText);
  if (label != NULL) SendMessageW(label, WM_GETTEXT, sizeof text / sizeof text[0], (LPARAM)text);
  HWND icon = GetDlgItem(box, kBoxIcon);
  int hasIcon = icon != NULL && IsWindowVisible(icon) &&
                SendMessageW(icon, STM_GETICON, 0, 0) != 0;

  printf("icon=%d\ntext=", hasIcon);
  PrintUtf8(text);
  printf("\n");
  fflush(stdout);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return 0;
}
