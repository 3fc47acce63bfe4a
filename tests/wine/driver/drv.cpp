// Stand-in for the printer driver's rendering module: a DLL that loads and does nothing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
