/* A stand-in DLL planted beside ZQInst.exe under the name of a system library. When any process
   loads it, it leaves a marker file beside itself ("<its own path>.loaded") and does nothing else.
   It exports nothing and imports only kernel32 (no runtime: linked with -nostdlib). */
#include <windows.h>

BOOL WINAPI StandInEntry(HINSTANCE module, DWORD reason, LPVOID reserved) {
  static const WCHAR suffix[] = L".loaded";
  WCHAR path[MAX_PATH + sizeof suffix / sizeof suffix[0]];
  DWORD length;
  DWORD i;
  HANDLE marker;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  for (i = 0; i < sizeof suffix / sizeof suffix[0]; ++i) path[length + i] = suffix[i];
  marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
