// The spooler-side installation steps the mode operations are built from: driver files and their
// registration, the virtual port, the printer, and the driver's removal. Each returns true/false;
// every false has been recorded with ReportError where it was detected (AddLocalPortViaMonitor
// excepted: its caller records the failure).
#pragma once

#include "installation/request.h"
#include "platform/win32.h"

// Copies the three driver files of `processor` from `driverFolder` into the spooler's driver
// folder and registers the driver. Unless `skipPrecheck`, an installed driver is refused first.
[[nodiscard]] bool InstallDriverFiles(LPCWSTR driverFolder, TargetProcessor processor,
                                      bool skipPrecheck);
// Makes sure the local port PortName exists, creating it through the "Local Port" monitor, and
// places its name in `portName` (a buffer of `capacityBytes` bytes).
[[nodiscard]] bool ProvisionPort(LPWSTR portName, DWORD capacityBytes);
// Adds the port by driving the monitor's port-name dialog from this thread while a port thread
// waits in AddPortW. With a limit, a dialog not completed within that many milliseconds is
// cancelled (with any box it raised), the port thread ends and the result is false with
// ERROR_TIMEOUT; without one it waits for the person as long as it takes.
[[nodiscard]] bool AddLocalPortViaMonitor(LPCWSTR portName,
                                          DWORD limitMs = INFINITE);  // records nothing
// Adds the port without any window, through the "Local Port" monitor's data channel (XcvData
// "AddPort" on ",XcvMonitor Local Port" opened to administer the server). False when the channel
// refuses, with the monitor's or the spooler's error as the last error.
[[nodiscard]] bool AddLocalPortSilently(LPCWSTR portName);  // records nothing
// How long a quiet run lets the monitor's dialog take when the silent route was refused.
inline constexpr DWORD QuietPortDialogLimitMs = 60 * 1000;

// The driver version the installed driver must report in a printer's device mode.
inline constexpr WORD ExpectedDriverVersion = 0x0500;
// True when the printer is one this installer makes (driver DriverName on the port PortName) and
// its spool folder is not recorded yet: what a run left that was ended between adding the printer
// and recording its folder. The installation completes it instead of refusing the name; a
// finished printer's name stays in use.
bool IsUnfinishedOwnPrinter(LPCWSTR printerName);
// Adds the local printer on the port with the driver (or takes the own printer of that name that
// is there already), records its spool folder in its registry key and restarts the spooler.
[[nodiscard]] bool CreatePrinter(LPCWSTR printerName, LPCWSTR portName);
// True when the printer's device mode carries ExpectedDriverVersion.
[[nodiscard]] bool VerifyDriverVersion(LPCWSTR printerName);

// Removes every registration named exactly DriverName: its printers with their jobs, the
// registration, and its files (with the spooler stopped meanwhile).
[[nodiscard]] bool RemoveDriver();
// Deletes every printer whose driver is named exactly `driver.pName`, its pending jobs first.
[[nodiscard]] bool RemovePrintersUsingDriver(const DRIVER_INFO_3W& driver);
// After the removal: DriverName's registrations in every environment of the processor table that
// the spooler still lists it in (DeletePrinterDriverExW, then its files), and the port PortName
// when no printer uses it (the "Local Port" monitor's data channel, no window). Each step writes a
// plain record; a failure is a record, not a failed removal.
void RemoveWhatIsLeftOfDriver();
// The port PortName deleted through the monitor's data channel when no printer uses it; each
// outcome is a plain record, a failure an error record.
void RemovePortWhenUnused();
// Deletes the port through XcvData "DeletePort" on ",XcvMonitor Local Port"; false with the
// spooler's or the monitor's error as the last error. Records nothing.
[[nodiscard]] bool DeleteLocalPortSilently(LPCWSTR portName);
