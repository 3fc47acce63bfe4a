#include "installation/replacement.h"

#include <utility>

#include "installation/machine_checks.h"
#include "spooler/queries.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"

namespace {

// Longer than any printer name Windows takes, a connection's server part included.
constexpr DWORD DefaultPrinterCapacity = 512;

LPCWSTR TextOf(LPCWSTR text) { return text ? text : TEXT(""); }
LPCSTR YesNo(bool value) { return value ? "yes" : "no"; }

bool IsShared(const PRINTER_INFO_2W& printer) {
  return (printer.Attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
}

// A connection's name begins with its server ("\\server\name"); the removal leaves it alone.
bool IsLocalPrinterOfDriver(const PRINTER_INFO_2W& printer) {
  LPCWSTR name = printer.pPrinterName;
  if (!name || (name[0] == TEXT('\\') && name[1] == TEXT('\\'))) return false;
  // Exactly as the removal matches.
  return printer.pDriverName && lstrcmpW(printer.pDriverName, DriverName) == 0;
}

// The running user's default printer into `name`; empty when there is none or it cannot be told.
void DefaultPrinter(WCHAR (&name)[DefaultPrinterCapacity]) {
  DWORD size = DefaultPrinterCapacity;
  if (!GetDefaultPrinterW(name, &size)) name[0] = 0;
}

// The saved entry of `name`, or -1.
int SavedIndex(const SavedPrinters& saved, LPCWSTR name) {
  for (DWORD i = 0; i < saved.count; ++i)
    if (name && lstrcmpiW(saved.settings[i]->pPrinterName, name) == 0) return static_cast<int>(i);
  return -1;
}

// Makes the saved printer again on our driver and port, with its settings and no device mode of
// the old one: the driver gives it its own.
bool RecreatePrinter(const PRINTER_INFO_2W& old) {
  PRINTER_INFO_2W record = {};
  record.pPrinterName = old.pPrinterName;
  record.pShareName = old.pShareName;
  record.pPortName = const_cast<LPWSTR>(PortName);
  record.pDriverName = const_cast<LPWSTR>(DriverName);
  record.pComment = old.pComment;
  record.pLocation = old.pLocation;
  record.pSecurityDescriptor = old.pSecurityDescriptor;
  WCHAR printProcessor[] = TEXT("WinPrint");
  WCHAR dataType[] = TEXT("NT EMF 1.006");
  record.pPrintProcessor = printProcessor;
  record.pDatatype = dataType;
  record.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL |
                      (old.Attributes & PRINTER_ATTRIBUTE_SHARED);
  PrinterHandle printer(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&record)));
  return static_cast<bool>(printer);
}

void MakeDefault(LPCWSTR name) {
  if (SetDefaultPrinterW(name))
    DebugLog("replace: printer '%ws' is the default printer again", name);
  else
    DebugLogError(GetLastError(), "replace: printer '%ws' could not be made the default printer",
                  name);
}

}  // namespace

bool SavePrinters(SavedPrinters* saved) {
  saved->count = 0;
  DWORD count = 0;
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  if (!printers) {
    ReportError(TEXT("インストール済のプリンタ情報が取得できません!"));
    return false;
  }
  WCHAR defaultPrinter[DefaultPrinterCapacity] = {};
  DefaultPrinter(defaultPrinter);
  for (DWORD i = 0; i < count; ++i) {
    if (!IsLocalPrinterOfDriver(printers[i])) continue;
    LPCWSTR name = printers[i].pPrinterName;
    if (saved->count == MaxSavedPrinters) {
      DebugLog("replace: printer '%ws' is removed without its settings saved: too many printers",
               name);
      continue;
    }
    LocalBlock<PRINTER_INFO_2W> settings(GetPrinterInfo2(name, PRINTER_ALL_ACCESS));
    if (!settings) {
      ReportError(TEXT("インストール済のプリンタ情報が取得できません!"));
      return false;
    }
    bool isDefault = lstrcmpiW(defaultPrinter, name) == 0;
    DebugLog(
        "replace: printer '%ws' is saved before the removal: comment '%ws', location '%ws', "
        "share '%ws', shared: %s, security descriptor: %s, default printer: %s; its queued "
        "jobs (%d) cannot be kept",
        name, TextOf(settings->pComment), TextOf(settings->pLocation), TextOf(settings->pShareName),
        YesNo(IsShared(*settings.Get())), YesNo(settings->pSecurityDescriptor != nullptr),
        YesNo(isDefault), static_cast<int>(printers[i].cJobs));
    saved->isDefault[saved->count] = isDefault;
    saved->settings[saved->count++] = std::move(settings);
  }
  return true;
}

bool IsSavedPrinter(const SavedPrinters& saved, LPCWSTR name) {
  return SavedIndex(saved, name) >= 0;
}

void RestorePrinters(const SavedPrinters& saved) {
  if (saved.count == 0) return;
  DRIVER_INFO_3W* found = nullptr;
  DWORD position = 0;
  bool looked = FindDriver(&found, &position, DriverName, NativeEnvironment());
  LocalBlock<DRIVER_INFO_3W> drivers(found);
  if (!looked || !drivers) {
    DebugLog(
        "replace: the removal failed after the driver's registration went; its printers "
        "cannot be made again");
    return;
  }
  for (DWORD i = 0; i < saved.count; ++i) {
    const PRINTER_INFO_2W& old = *saved.settings[i].Get();
    bool exists = false;
    (void)PrinterExists(&exists, old.pPrinterName);
    if (exists) continue;  // not deleted before the removal failed
    if (!RecreatePrinter(old)) {
      DebugLogError(GetLastError(), "replace: printer '%ws' could not be made again",
                    old.pPrinterName);
      continue;
    }
    DebugLog(
        "replace: printer '%ws' was made again with its settings; its queued jobs could not "
        "be restored",
        old.pPrinterName);
    if (saved.isDefault[i]) MakeDefault(old.pPrinterName);
  }
}

void KeepPrinterSettings(const SavedPrinters& saved, LPCWSTR printerName) {
  int named = SavedIndex(saved, printerName);
  for (DWORD i = 0; i < saved.count; ++i)
    if (static_cast<int>(i) != named)
      DebugLog("replace: printer '%ws' went with the old driver and is not made again",
               saved.settings[i]->pPrinterName);
  if (named < 0) return;
  const PRINTER_INFO_2W& old = *saved.settings[named].Get();
  // The new printer's own record, its device mode included, with the old settings in it.
  LocalBlock<PRINTER_INFO_2W> current(GetPrinterInfo2(printerName, PRINTER_ALL_ACCESS));
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  PrinterHandle printer;
  bool kept = false;
  if (current && OpenPrinterW(const_cast<LPWSTR>(printerName), printer.Put(), &defaults) &&
      printer) {
    current->pComment = old.pComment;
    current->pLocation = old.pLocation;
    current->pShareName = old.pShareName;
    current->Attributes = (current->Attributes & ~static_cast<DWORD>(PRINTER_ATTRIBUTE_SHARED)) |
                          (old.Attributes & PRINTER_ATTRIBUTE_SHARED);
    if (old.pSecurityDescriptor) current->pSecurityDescriptor = old.pSecurityDescriptor;
    kept = SetPrinterW(printer.Get(), 2, reinterpret_cast<LPBYTE>(current.Get()), 0) != FALSE;
  }
  if (kept)
    DebugLog("replace: printer '%ws' has its comment, location, share and security back",
             printerName);
  else
    DebugLogError(GetLastError(), "replace: the settings of printer '%ws' could not be put back",
                  printerName);
  if (saved.isDefault[named]) MakeDefault(printerName);
}
