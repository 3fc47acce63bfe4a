// The libraries the Windows program reaches outside the KnownDLLs, and how it loads them.
//
// The program runs with administrator rights, often from a folder that other people can write to.
// Windows looks for a statically imported DLL in the program's own folder before System32 unless
// the DLL is one of the KnownDLLs; so the program imports statically only KnownDLLs (kernel32,
// user32, advapi32, shell32, msvcrt). Its first code (process_entry.cpp) restricts the DLL search
// of the whole process to System32 and then loads the spooler's library, the common controls and
// the system's cryptography (bcrypt.dll) from there, looking up every function the product calls
// in them. Product code keeps calling the Win32 names: platform/win32.h maps them onto this
// table through system_library_names.h, which the build writes from the lists below
// (cmake/system-library-names.cmake): a function added to a list is reached through the table
// everywhere, and none is left to a static import by mistake.
// One function a line, as `X(Name)`: the build reads the lists line by line.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <commctrl.h>
#include <bcrypt.h>

#include "platform/windows/windows_runtime.h"

// Every function of winspool.drv the product calls.
#define ZQ_WINSPOOL_FUNCTIONS(X) \
  X(AddPortW)                    \
  X(AddPrinterDriverW)           \
  X(AddPrinterW)                 \
  X(ClosePrinter)                \
  X(DeletePrinter)               \
  X(DeletePrinterConnectionW)    \
  X(DeletePrinterDriverW)        \
  X(DeletePrinterDriverExW)      \
  X(EnumJobsW)                   \
  X(EnumPortsW)                  \
  X(EnumPrinterDriversW)         \
  X(EnumPrintersW)               \
  X(GetDefaultPrinterW)          \
  X(GetPrinterDataW)             \
  X(GetPrinterDriverDirectoryW)  \
  X(GetPrinterW)                 \
  X(OpenPrinterW)                \
  X(SetDefaultPrinterW)          \
  X(SetJobW)                     \
  X(SetPrinterW)                 \
  X(XcvDataW)
// Every function of comctl32.dll the product calls.
#define ZQ_COMCTL32_FUNCTIONS(X) X(InitCommonControls)
// Every function of combase.dll the product calls. Windows before 8 has no combase.dll: then each
// is a stand-in that answers as Windows does where the Windows Runtime has nothing to offer, and
// the run goes on.
#define ZQ_COMBASE_FUNCTIONS(X) \
  X(RoGetActivationFactory)    \
  X(RoInitialize)              \
  X(RoUninitialize)            \
  X(WindowsCreateString)       \
  X(WindowsDeleteString)
// Every function of bcrypt.dll the product calls: the system's own SHA-256, by which the driver
// files are verified against the program's manifest.
#define ZQ_BCRYPT_FUNCTIONS(X)     \
  X(BCryptOpenAlgorithmProvider)  \
  X(BCryptCloseAlgorithmProvider) \
  X(BCryptCreateHash)             \
  X(BCryptHashData)               \
  X(BCryptFinishHash)             \
  X(BCryptDestroyHash)

namespace zq_windows {

// The functions, looked up once at process start; all null when a load failed.
struct SystemFunctions {
#define ZQ_SYSTEM_FUNCTION_SLOT(name) decltype(&::name) name;
  ZQ_WINSPOOL_FUNCTIONS(ZQ_SYSTEM_FUNCTION_SLOT)
  ZQ_COMCTL32_FUNCTIONS(ZQ_SYSTEM_FUNCTION_SLOT)
  ZQ_COMBASE_FUNCTIONS(ZQ_SYSTEM_FUNCTION_SLOT)
  ZQ_BCRYPT_FUNCTIONS(ZQ_SYSTEM_FUNCTION_SLOT)
#undef ZQ_SYSTEM_FUNCTION_SLOT
};
extern SystemFunctions System;

// What could not be loaded at process start: the library ("winspool.drv", or
// "winspool.drv!XcvDataW" for a function it lacks) and the error; no library when all is loaded.
struct SystemLibraryFailure {
  const WCHAR* library;
  DWORD error;
};

// Restricts the DLL search of the process to System32, then loads the libraries and looks up
// their functions. Called once, by the process's first code, before the runtime starts; uses
// nothing that needs the runtime.
void LoadSystemLibraries();
// Whether LoadSystemLibraries got everything; otherwise what failed.
bool SystemLibrariesLoaded(SystemLibraryFailure* failure);

}  // namespace zq_windows
