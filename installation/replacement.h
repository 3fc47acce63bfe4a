// A mode that removes the driver before it installs it again (reinstall, install answered Yes)
// loses nothing of the user's: what the install will need is checked before anything is removed,
// the printers the removal will delete are saved first (name, comment, location, share, security,
// default status), put back on every one of them when the removal fails half-way, and on the
// printer named on the command line once the new one is installed. Queued jobs are not saved.
#pragma once

#include "installation/request.h"
#include "platform/win32.h"
#include "support/handles.h"

// Printers beyond this many are removed unsaved, with a record.
inline constexpr DWORD MaxSavedPrinters = 64;

struct SavedPrinters {
  LocalBlock<PRINTER_INFO_2W> settings[MaxSavedPrinters];  // each with its security descriptor
  bool isDefault[MaxSavedPrinters] = {};                   // the running user's default printer
  DWORD count = 0;
};

// Saves every local printer on DriverName (the ones the removal deletes), one record each. False
// after recording why when one cannot be read: nothing may be removed then.
[[nodiscard]] bool SavePrinters(SavedPrinters* saved);
// True when `name` is one of the saved printers.
[[nodiscard]] bool IsSavedPrinter(const SavedPrinters& saved, LPCWSTR name);
// After a failed removal: every saved printer that is gone is made again on DriverName and
// PortName with its settings, when the driver is still registered. Records only: the removal's
// failure stays the one reported.
void RestorePrinters(const SavedPrinters& saved);
// After a successful install: the printer `printerName` gets back its saved comment, location,
// share and security (SetPrinterW; its device mode stays the new driver's own) and its default
// status (SetDefaultPrinterW). The other saved printers are named in records; they are not made
// again. Records only.
void KeepPrinterSettings(const SavedPrinters& saved, LPCWSTR printerName);
