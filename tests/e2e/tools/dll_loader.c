/* Test helper: loads a DLL by its bare name with the default search order, as a careless
   program would, and prints "loaded=1" or "loaded=0".

     dll_loader NAME */
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    printf("usage: dll_loader NAME\n");
    return 2;
  }
  printf("loaded=%d\n", LoadLibraryW(argv[1]) != NULL);
  return 0;
}
