// Read-side queries of the local print spooler: the drivers, printers, ports and pending jobs, the
// driver folder, one printer's configuration and device mode, and three lookups.
//
// Every result is one zero-filled local-heap block (release it with LocalFree) holding the records
// and everything they point to. A failed query gives nullptr and leaves the count output alone;
// nothing here reports or logs, and the platform's last-error code is left as the failing call
// set it, for the caller to report.
#pragma once

#include "platform/win32.h"

// The drivers of `environment` (none: this machine's own; "all": every environment's).
[[nodiscard]] DRIVER_INFO_3W* EnumerateDrivers(DWORD* count, LPCWSTR environment = nullptr);
// The drivers registered for one environment ("Windows x64", ...); an empty list when it has none.
[[nodiscard]] DRIVER_INFO_3W* EnumerateDriversOf(LPCWSTR environment, DWORD* count);
[[nodiscard]] PRINTER_INFO_2W* EnumeratePrinters(DWORD* count);
[[nodiscard]] PORT_INFO_1W* EnumeratePorts(DWORD* count);
[[nodiscard]] JOB_INFO_1W* EnumerateJobs(HANDLE printer, DWORD jobCount, DWORD* count);
// The spooler's driver folder of `environment` (none: this machine's own), as one wide string.
[[nodiscard]] LPWSTR GetDriverDirectory(LPCWSTR environment = nullptr);
[[nodiscard]] PRINTER_INFO_2W* GetPrinterInfo2(LPCWSTR printerName);
// A copy of the printer's device mode, public and driver-private part: dmSize + dmDriverExtra
// bytes. nullptr when the printer has none.
[[nodiscard]] DEVMODEW* CopyPrinterDevMode(LPCWSTR printerName);

// False when the driver list cannot be had. Otherwise *list is the whole driver list (the caller
// releases it) with *position the first record named `name` (case-insensitive), or nullptr when
// there is no such driver.
[[nodiscard]] bool FindDriver(DRIVER_INFO_3W** list, DWORD* position, LPCWSTR name);
// Always true: a printer that cannot be opened, for whatever reason, counts as absent.
[[nodiscard]] bool PrinterExists(bool* exists, LPCWSTR name);
// False when the port list cannot be had.
[[nodiscard]] bool PortExists(bool* exists, LPCWSTR name);
