// The process entry routine shared by the Windows program and the simulated one.
#pragma once

#include "platform/win32.h"

// A system library the program could not load at its start (the Windows program loads the
// spooler's library and the common controls from System32 before anything else runs): its name
// and the error code of the failed load.
struct UnavailableLibrary {
  LPCWSTR name;
  DWORD error;
};

// Runs the installer. With an unavailable library the run ends at its start with the start-up
// error box naming it and -1 (a quiet run: a record and the console line, and 1603); nothing
// else is done.
int RunInstallerMain(HINSTANCE instance, HINSTANCE previousInstance,
                     const UnavailableLibrary* unavailable = nullptr);
