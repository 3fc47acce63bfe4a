// The Windows Runtime's activation functions of combase.dll (Windows 8 on), which the program
// reaches through the table of system functions. The SDK declares them only for programs that
// require Windows 8; this program also runs on older Windows, where the table answers for them.
#pragma once

#include <windows.h>
#include <hstring.h>

#if _WIN32_WINNT >= 0x0602
#include <roapi.h>
#include <winstring.h>
#else
typedef enum RO_INIT_TYPE { RO_INIT_SINGLETHREADED = 0, RO_INIT_MULTITHREADED = 1 } RO_INIT_TYPE;
extern "C" {
HRESULT WINAPI RoInitialize(RO_INIT_TYPE type);
void WINAPI RoUninitialize(void);
HRESULT WINAPI RoGetActivationFactory(HSTRING activatableClassId, REFIID iid, void** factory);
HRESULT WINAPI WindowsCreateString(LPCWSTR text, UINT32 length, HSTRING* string);
HRESULT WINAPI WindowsDeleteString(HSTRING string);
}
#endif
