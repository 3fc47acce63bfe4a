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

// True when a registered driver names the file among its own.
bool ListedByADriver(LPCWSTR path, const DRIVER_INFO_3W* drivers, DWORD count) {
  for (DWORD i = 0; i < count; ++i) {
    const DRIVER_INFO_3W& d = drivers[i];
    for (LPCWSTR file : {d.pDriverPath, d.pConfigFile, d.pDataFile, d.pHelpFile})
      if (file && lstrcmpiW(file, path) == 0) return true;
    for (LPCWSTR file = d.pDependentFiles; file && *file; file += lstrlenW(file) + 1)
      if (lstrcmpiW(file, path) == 0) return true;
  }
  return false;
}

// The driver's files in the spooler's driver folder with no registration left that lists them:
// what a run left that was ended after it had deleted the registration and before its files were
// gone. They are deleted now; one that cannot be is recorded and left to the next removal.
void RemoveLeftoverFiles(const DRIVER_INFO_3W* drivers, DWORD count) {
  LocalBlock<WCHAR> folder(GetDriverDirectory());
  if (!folder) return;
  for (LPCWSTR name : DriverFileSet) {
    LocalBlock<WCHAR> path(JoinPath(folder.Get(), name, nullptr));
    if (!path || ListedByADriver(path.Get(), drivers, count)) continue;
    if (!SafeDeleteFile(path.Get()))
      DebugLog("RemoveDriver - the unregistered file '%ws' stays", path.Get());
  }
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
  bool registered = false;
  for (DWORD i = 0; i < count; ++i) {
    if (!SameName(drivers[i].pName, DriverName)) continue;
    registered = true;
    if (!RemoveRegistration(drivers[i])) return false;
  }
  if (!registered) RemoveLeftoverFiles(drivers.Get(), count);
  return true;
}
