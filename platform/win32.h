// The one header through which product code reaches the operating system.
//
// On Windows it is the SDK. Everywhere else it is our simulated Windows, which declares the same
// types, constants, structures and functions (with WCHAR as char16_t and TEXT giving u"...").
#pragma once

#if defined(_WIN32)
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <winspool.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <process.h>
#include <sddl.h>
#include <aclapi.h>
#include <stdio.h>
#include <stdarg.h>
#include <time.h>
// The safe-string result codes and limit, without pulling in strsafe.h (which deprecates the
// runtime's string functions that the counted printf is built on).
#ifndef STRSAFE_E_INSUFFICIENT_BUFFER
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#endif
#ifndef STRSAFE_MAX_CCH
#define STRSAFE_MAX_CCH 2147483647
#endif
// The spooler's functions and the common controls come from System32 only, loaded at process
// start (platform/windows/system_libraries.h); their names reach that table. The header is
// written by the build from the table's lists.
#include "platform/windows/system_library_names.h"
#include "platform/windows/namespaces.h"
#else
#include "platform/sim/windows.h"
#endif
