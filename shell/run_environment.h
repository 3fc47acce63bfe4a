// What a run runs on, for the run's first record and for the choice of a quiet run: whether a
// person can see the process's windows, whether it is elevated, and the spooler's state.
#pragma once

#include "platform/win32.h"
#include "shell/command_line.h"

// False when the process's window station is not visible (a service, session 0, SYSTEM without a
// desktop): nobody there sees a window or answers a box. True when it cannot be told.
bool WindowStationVisible();
// The run's first record: the program's version, the command line, whether the process is
// elevated and interactive (and why it runs quietly, if it does), the spooler's state, the native
// and process machines, the protected print policy, who may install printer drivers, the driver
// folder as the run uses it (none for uninstall) and whether the program carries a driver
// manifest, for which processors. Written whatever LOGLEVEL says in a quiet run; a plain record
// otherwise.
void LogRunStart(LPCWSTR commandLine, const RunSwitches& switches, bool stationVisible,
                 LPCWSTR driverFolder);
// The run's last record: its exit code and what it means ("exit code 1618: another installer
// ..."). Written under the same rule.
void LogRunEnd(int exitCode, LPCSTR meaning);
