// The five modes as complete operations: preconditions, the replace-driver question, the
// spooler-side steps in their fixed order, the status line and the outcome boxes; RunMode chooses
// the mode's operation.
#pragma once

#include "installation/outcome.h"
#include "installation/request.h"
#include "platform/win32.h"

// What every operation works on: the worker's request and the progress dialog as owner.
struct OperationRequest {
  HWND owner;
  LPCWSTR driverFolder;  // present: "." stands in for a missing argument
  LPCWSTR printerName;   // present: the default name stands in for a missing argument
  TargetProcessor processor;
};

// Runs the mode's operation; true when it succeeded. Reinstall is Uninstall and then, only when
// the removal succeeded, Install. A value that is no mode runs nothing and counts as success.
// The whole run holds the machine-wide installer lock (installer_lock.h); a lock that cannot be
// had in time fails the run before anything is read or changed. Before the lock, the machine's
// architecture and the protected print policy may refuse the run (machine_checks.h). After a
// successful uninstall (not the uninstall half of reinstall) what is left of the driver goes too:
// its registrations for other environments and the port.
// `outcome`, when given, receives how the run ended: Done with true; with false, why (a failed
// step unless said otherwise).
[[nodiscard]] bool RunMode(InstallerMode mode, const OperationRequest& request,
                           RunOutcome* outcome = nullptr);

// The operations; `failure`, when given, receives the outcome of a false result: NotInstalled
// where check finds no driver or add finds no printer or driver, StepFailed otherwise.
[[nodiscard]] bool InstallOperation(const OperationRequest& request);
[[nodiscard]] bool CheckOperation(const OperationRequest& request, RunOutcome* failure = nullptr);
[[nodiscard]] bool UninstallOperation(const OperationRequest& request);
[[nodiscard]] bool AddOperation(const OperationRequest& request, RunOutcome* failure = nullptr);
// The installation sequence shared by the install paths.
[[nodiscard]] bool InstallPrinter(LPCWSTR printerName, LPCWSTR driverFolder,
                                  TargetProcessor processor, bool copyDriver);
