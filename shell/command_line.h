// Start-up checks and the command line: whether the installer may run on this platform, and the
// request `ZQInst.exe <mode> <driver folder> <printer name> <processor>` stands for. Every
// rejection has shown its error box (no owner, CommandCaption) when these return false.
#pragma once

#include "installation/request.h"
#include "platform/win32.h"

// Rejects platforms whose major version is 4 or less.
bool CheckPlatform();
// Splits the process command line into a request. On success the caller owns *argumentVector and
// releases it with GlobalFree (an ArgumentVector, support/handles.h); on failure it has been
// released and *argumentVector is nullptr.
bool ParseCommandLine(InstallerRequest* request, LPWSTR** argumentVector);
