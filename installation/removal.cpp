// Driver removal: for every registration named exactly DriverName, its printers (pending jobs
// first), the registration itself, and its files, deleted while the spooler is stopped.
#include "installation/steps.h"

#include "spooler/queries.h"
#include "spooler/service.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// A file the spooler still holds is usually let go within a moment of its stop.
constexpr int FileDeletionAttempts = 10;
constexpr DWORD PauseAfterFailedAttemptMs = 250;

// Removal matches names exactly, unlike the lookups: only what this installer registered goes.
bool SameName(LPCWSTR a, LPCWSTR b) { return a && b && lstrcmpW(a, b) == 0; }

// One attempt over the four file fields, in this order, ending at the first failure. A field
// that is absent or holds an empty text names no file: there is nothing to delete.
bool DeleteDriverFilesOnce(const DRIVER_INFO_3W& driver) {
  LPCWSTR files[] = {driver.pConfigFile, driver.pDataFile, driver.pDriverPath, driver.pHelpFile};
  for (LPCWSTR file : files) {
    if (!file || !*file) continue;
    if (!SafeDeleteFile(file)) return false;
  }
  return true;
}

bool RemovePrinter(const PRINTER_INFO_2W& printerInfo) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  PrinterHandle printer;
  if (!OpenPrinterW(printerInfo.pPrinterName, printer.Put(), &defaults) || !printer) {
    ReportError(TEXT("プリンタ '%ws' のアンインストールができません!"), printerInfo.pPrinterName);
    return false;
  }
  if (printerInfo.cJobs > 0) {
    DWORD returned = 0;
    LocalBlock<JOB_INFO_1W> jobs(EnumerateJobs(printer.Get(), printerInfo.cJobs, &returned));
    if (!jobs) {
      ReportError(TEXT("プリンタ'%s'のペンディング中の印刷ジョブが取得できません！"),
                  printerInfo.pPrinterName);
      return false;
    }
    for (DWORD i = 0; i < returned; ++i) {
      JOB_INFO_1W& job = jobs[i];
      if (!SetJobW(printer.Get(), job.JobId, 1, reinterpret_cast<LPBYTE>(&job),
                   JOB_CONTROL_DELETE)) {
        // The document name is what the person can recognise the job by; a job without one is
        // named by its id.
        WCHAR jobId[16];
        BoundedFormat(jobId, 16, TEXT("%u"), job.JobId);
        ReportError(TEXT("プリンタ '%ws' のジョブ '%ws' が削除できません!"),
                    printerInfo.pPrinterName,
                    job.pDocument && *job.pDocument ? job.pDocument : jobId);
        return false;
      }
    }
  }
  if (!DeletePrinter(printer.Get())) {
    ReportError(TEXT("プリンタ '%ws' のアンインストールができません!"), printerInfo.pPrinterName);
    return false;
  }
  return true;
}

bool RemoveRegistration(const DRIVER_INFO_3W& driver) {
  if (!RemovePrintersUsingDriver(driver)) return false;
  if (!DeletePrinterDriverW(nullptr, nullptr, driver.pName)) {
    ReportError(TEXT("ドライバ '%ws' の削除ができません!"), driver.pName);
    return false;
  }
  // The spooler holds the driver's files while it runs.
  if (IsSpoolerRunning() && !StopSpooler()) return false;

  bool deleted = false;
  for (int attempt = 0; attempt < FileDeletionAttempts && !deleted; ++attempt) {
    deleted = DeleteDriverFilesOnce(driver);
    if (!deleted) Sleep(PauseAfterFailedAttemptMs);
  }
  if (!deleted) {
    ReportError(TEXT("ドライバ '%ws' のファイルの削除ができません!"), driver.pName);
    StartSpooler();  // whatever it gives: the failure is already recorded
    return false;
  }
  for (LPCWSTR file = driver.pDependentFiles; file && *file; file += lstrlenW(file) + 1) {
    if (!SafeDeleteFile(file)) {
      ReportError(TEXT(" '%ws' のファイルの削除ができません!"), file);
      StartSpooler();
      return false;
    }
  }
  return StartSpooler();
}

}  // namespace

bool RemovePrintersUsingDriver(const DRIVER_INFO_3W& driver) {
  DWORD count = 0;
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  if (!printers) {
    ReportError(TEXT("インストール済のプリンタ情報が取得できません!"));
    return false;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (!SameName(printers[i].pDriverName, driver.pName)) continue;
    if (!RemovePrinter(printers[i])) return false;
  }
  return true;
}

bool RemoveDriver() {
  DWORD count = 0;
  LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDrivers(&count));
  if (!drivers) {
    ReportError(TEXT("インストール済のプリンタドライバの確認ができません!"));
    return false;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (!SameName(drivers[i].pName, DriverName)) continue;
    if (!RemoveRegistration(drivers[i])) return false;
  }
  return true;
}

// ----- what the removal leaves: registrations for other environments, and the port -----
namespace {

// The files of a registration that is gone, as the removal deletes them: the four file fields
// with its attempts and pauses, then the dependent files.
bool DeleteFilesOfRegistration(const DRIVER_INFO_3W& driver) {
  bool deleted = false;
  for (int attempt = 0; attempt < FileDeletionAttempts && !deleted; ++attempt) {
    deleted = DeleteDriverFilesOnce(driver);
    if (!deleted) Sleep(PauseAfterFailedAttemptMs);
  }
  if (!deleted) return false;
  for (LPCWSTR file = driver.pDependentFiles; file && *file; file += lstrlenW(file) + 1)
    if (!SafeDeleteFile(file)) return false;
  return true;
}

// One registration of DriverName for `environment`: its printers (a printer can only use a
// driver of the machine's own environment, which a WoW64 process does not list by default), the
// registration, then its files. The spooler is not stopped for them: it loads no driver of
// another environment, and a file it holds stays behind with a record.
void RemoveRegistrationFor(LPCWSTR environment, const DRIVER_INFO_3W& driver) {
  if (!RemovePrintersUsingDriver(driver)) {
    DebugLogError(LastErrorCode, "uninstall: the printers of %ws for \"%ws\" were not removed",
                  driver.pName, environment);
    return;
  }
  if (!DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(environment), driver.pName, 0, 0)) {
    DebugLogError(GetLastError(), "uninstall: the registration of %ws for \"%ws\" stays",
                  driver.pName, environment);
    return;
  }
  DebugLog("uninstall: the registration of %ws for \"%ws\" was removed", driver.pName,
           environment);
  if (DeleteFilesOfRegistration(driver))
    DebugLog("uninstall: the files of %ws for \"%ws\" were deleted", driver.pName, environment);
  else
    DebugLogError(GetLastError(), "uninstall: a file of %ws for \"%ws\" stays", driver.pName,
                  environment);
}

void RemoveRegistrationsOfEveryEnvironment() {
  for (const ProcessorRow& row : ProcessorTable) {
    DWORD count = 0;
    LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDriversOf(row.environment, &count));
    if (!drivers) {
      DebugLogError(GetLastError(), "uninstall: the drivers for \"%ws\" cannot be listed",
                    row.environment);
      continue;
    }
    for (DWORD i = 0; i < count; ++i)
      if (SameName(drivers[i].pName, DriverName)) RemoveRegistrationFor(row.environment, drivers[i]);
  }
}

constexpr int PortNameCapacity = 128;

// True when `ports` (one port, or several separated by commas for a pool) names `port`.
bool PortListNames(LPCWSTR ports, LPCWSTR port) {
  if (!ports) return false;
  int length = lstrlenW(port);
  for (LPCWSTR item = ports; *item;) {
    LPCWSTR end = item;
    while (*end && *end != TEXT(',')) ++end;
    if (end - item == length && length < PortNameCapacity) {
      WCHAR name[PortNameCapacity] = {};
      BoundedCopy(name, static_cast<size_t>(length) + 1, item);  // the item without its comma
      if (lstrcmpiW(name, port) == 0) return true;
    }
    item = *end ? end + 1 : end;
  }
  return false;
}

// The monitor answers ERROR_FILE_NOT_FOUND for a port that is not there.
void RemovePortWhenUnused() {
  DWORD count = 0;
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  if (!printers) {
    DebugLogError(GetLastError(), "uninstall: the printers cannot be listed; port %ws is left",
                  PortName);
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (PortListNames(printers[i].pPortName, PortName)) {
      DebugLog("uninstall: port %ws is left: printer %ws uses it", PortName,
               printers[i].pPrinterName);
      return;
    }
  }
  if (DeleteLocalPortSilently(PortName))
    DebugLog("uninstall: port %ws was deleted", PortName);
  else if (GetLastError() == ERROR_FILE_NOT_FOUND)
    DebugLog("uninstall: there is no port %ws", PortName);
  else
    DebugLogError(GetLastError(), "uninstall: port %ws could not be deleted", PortName);
}

}  // namespace

void RemoveWhatIsLeftOfDriver() {
  RemoveRegistrationsOfEveryEnvironment();
  RemovePortWhenUnused();
}
