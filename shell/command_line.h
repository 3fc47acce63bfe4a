// Start-up checks and the command line: whether the installer may run on this platform, and the
// request `ZQInst.exe <mode> <driver folder> <printer name> <processor>` stands for. Every
// rejection has shown its error box (no owner, CommandCaption) when these return false.
#pragma once

#include "platform/win32.h"

// Numeric values are stored by the worker and select the operation.
enum InstallerMode { Install = 0, Check, Uninstall, Reinstall, Add };
// Selects the source sub-folder, the destination folder and the driver's environment.
enum TargetProcessor { X86 = 0, X64 };

// The strings point into the argument vector; consumers copy what they keep.
struct InstallerRequest {
  InstallerMode mode;
  LPCWSTR driverFolder;       // nullptr: not given
  LPCWSTR printerName;        // nullptr: not given
  TargetProcessor processor;  // X86 for Uninstall, which never reads it
};

// Rejects platforms whose major version is 4 or less.
bool CheckPlatform();
// Splits the process command line into a request. On success the caller owns *argumentVector and
// releases it with GlobalFree; on failure it has been released and *argumentVector is nullptr.
bool ParseCommandLine(InstallerRequest* request, LPWSTR** argumentVector);
