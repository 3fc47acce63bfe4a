// Driver removal: for every registration named exactly DriverName, its printers (pending jobs
// first), the registration itself, and its files, deleted while the spooler is stopped. Only its
// own files go: a file outside the spooler's driver folder, or one another driver lists too, stays.
#include "installation/steps.h"

#include "installation/driver_paths.h"
#include "installation/machine_checks.h"
#include "spooler/queries.h"
#include "spooler/service.h"
#include "support/handles.h"
#include "support/library.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/stop_request.h"
#include "support/strings.h"

namespace {

// A file the spooler still holds is usually let go within a moment of its stop.
constexpr int FileDeletionAttempts = 10;
constexpr DWORD PauseAfterFailedAttemptMs = 250;

// Removal matches names exactly, unlike the lookups: only what this installer registered goes.
bool SameName(LPCWSTR a, LPCWSTR b) { return a && b && lstrcmpW(a, b) == 0; }

// What a registration's files are judged by before any of them is deleted, gathered while the
// spooler still answers: the spooler's driver folder for the registration's environment and every
// driver of every environment with the files it lists.
struct DriverFileScope {
  LPCWSTR name = nullptr;         // the registration's driver name
  LPCWSTR environment = nullptr;  // its environment (none: this machine's own)
  WCHAR folder[DriverPathCapacity] = {};
  LocalBlock<DRIVER_INFO_3W> drivers;
  DWORD count = 0;
};

// Gathers the scope of the registration `name` of `environment` (none: this machine's own).
bool GatherDriverFileScope(LPCWSTR name, LPCWSTR environment, DriverFileScope* scope) {
  scope->name = name;
  scope->environment = environment;
  {
    LocalBlock<WCHAR> folder(GetDriverDirectory(environment));
    if (!folder) {
      ReportError(TEXT("ドライバの存在するフォルダが見つかりません!"));
      return false;
    }
    if (!NormalizePath(folder.Get(), scope->folder, DriverPathCapacity)) {
      // A folder the spooler names in no plain form: no file is judged to lie in it.
      scope->folder[0] = 0;
    }
  }
  scope->drivers.Reset(EnumerateDrivers(&scope->count, TEXT("all")));
  if (!scope->drivers) {
    ReportError(TEXT("インストール済のプリンタドライバの確認ができません!"));
    return false;
  }
  return true;
}

// Only the registration's own folder, with its version sub-folder as the spooler reports it.
void NarrowToVersionFolder(const DRIVER_INFO_3W& driver, DriverFileScope* scope) {
  WCHAR folder[DriverPathCapacity];
  VersionFolderOf(driver.pDriverPath, scope->folder, folder, DriverPathCapacity);
  BoundedCopy(scope->folder, DriverPathCapacity, folder);
}

// One file of a registration: deleted when it lies in the spooler's driver folder for the
// registration's environment and no other registration lists it. A file left for either reason
// is recorded and counts as done: a shared file is still another driver's, and one outside the
// folder is none of the spooler's to give up.
bool DeleteDriverFile(LPCWSTR file, const DriverFileScope& scope) {
  WCHAR normal[DriverPathCapacity];
  if (!scope.folder[0] || !NormalizePath(file, normal, DriverPathCapacity) ||
      !LiesInside(normal, scope.folder)) {
    DebugLog("RemoveDriver - file '%ws' is left: it does not lie in the driver folder '%ws'", file,
             scope.folder);
    return true;
  }
  if (const DRIVER_INFO_3W* other =
          DriverListing(normal, scope.drivers.Get(), scope.count, scope.name, scope.environment)) {
    DebugLog("RemoveDriver - file '%ws' is left: driver '%ws' (%ws) lists it too", file,
             other->pName ? other->pName : TEXT(""),
             other->pEnvironment ? other->pEnvironment : TEXT(""));
    return true;
  }
  return DeleteFileWithin(normal, scope.folder);
}

// One attempt over the four file fields, in this order, ending at the first failure. A field
// that is absent or holds an empty text names no file: there is nothing to delete.
bool DeleteDriverFilesOnce(const DRIVER_INFO_3W& driver, const DriverFileScope& scope) {
  LPCWSTR files[] = {driver.pConfigFile, driver.pDataFile, driver.pDriverPath, driver.pHelpFile};
  for (LPCWSTR file : files) {
    if (!file || !*file) continue;
    if (!DeleteDriverFile(file, scope)) return false;
  }
  return true;
}

// A connection to another machine's printer ("\\\\server\\name"): a local printer's name holds no
// backslash.
bool IsConnection(const PRINTER_INFO_2W& printerInfo) {
  LPCWSTR name = printerInfo.pPrinterName;
  return name && name[0] == TEXT('\\') && name[1] == TEXT('\\');
}

// A connection goes from this machine only: deleting it as a printer would delete the shared
// printer on its server, with everyone's jobs.
bool RemoveConnection(const PRINTER_INFO_2W& printerInfo) {
  if (!DeletePrinterConnectionW(printerInfo.pPrinterName)) {
    ReportError(TEXT("プリンタ '%ws' のアンインストールができません!"), printerInfo.pPrinterName);
    return false;
  }
  DebugLog(
      "RemoveDriver - the connection '%ws' was removed from this machine; the printer stays "
      "on its server",
      printerInfo.pPrinterName);
  return true;
}

bool RemovePrinter(const PRINTER_INFO_2W& printerInfo) {
  if (IsConnection(printerInfo)) return RemoveConnection(printerInfo);
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
  // Judged before anything changes, while the spooler answers; its stop comes later.
  DriverFileScope scope;
  if (!GatherDriverFileScope(driver.pName, driver.pEnvironment, &scope)) return false;
  NarrowToVersionFolder(driver, &scope);
  if (!RemovePrintersUsingDriver(driver)) return false;
  // The environment the registration was listed under: the machine's own, never the caller's.
  if (!DeletePrinterDriverW(nullptr, driver.pEnvironment, driver.pName)) {
    ReportError(TEXT("ドライバ '%ws' の削除ができません!"), driver.pName);
    return false;
  }
  // The spooler holds the driver's files while it runs.
  if (IsSpoolerRunning() && !StopSpooler()) return false;

  bool deleted = false;
  for (int attempt = 0; attempt < FileDeletionAttempts && !deleted; ++attempt) {
    deleted = DeleteDriverFilesOnce(driver, scope);
    if (!deleted) Sleep(PauseAfterFailedAttemptMs);
  }
  if (!deleted) {
    ReportError(TEXT("ドライバ '%ws' のファイルの削除ができません!"), driver.pName);
    (void)StartSpooler(true);  // whatever it gives: the failure is already recorded
    return false;
  }
  for (LPCWSTR file = driver.pDependentFiles; file && *file; file += lstrlenW(file) + 1) {
    if (!DeleteDriverFile(file, scope)) {
      ReportError(TEXT(" '%ws' のファイルの削除ができません!"), file);
      (void)StartSpooler(true);
      return false;
    }
  }
  return StartSpooler();
}

// The driver's files in the spooler's driver folder with no registration left that lists them:
// what a run left that was ended after it had deleted the registration and before its files were
// gone. They are deleted now; one that cannot be is recorded and left to the next removal.
void RemoveLeftoverFiles(const DRIVER_INFO_3W* drivers, DWORD count) {
  LocalBlock<WCHAR> folder(GetDriverDirectory(NativeEnvironment()));
  WCHAR scope[DriverPathCapacity];
  if (!folder || !NormalizePath(folder.Get(), scope, DriverPathCapacity)) return;
  for (LPCWSTR name : DriverFileSet) {
    LocalBlock<WCHAR> path(JoinPath(folder.Get(), name, nullptr));
    WCHAR normal[DriverPathCapacity];
    if (!path || !NormalizePath(path.Get(), normal, DriverPathCapacity)) continue;
    if (const DRIVER_INFO_3W* other = DriverListing(normal, drivers, count)) {
      DebugLog("RemoveDriver - the unregistered file '%ws' is left: driver '%ws' (%ws) lists it",
               normal, other->pName ? other->pName : TEXT(""),
               other->pEnvironment ? other->pEnvironment : TEXT(""));
      continue;
    }
    if (!DeleteFileWithin(normal, scope))
      DebugLog("RemoveDriver - the unregistered file '%ws' stays", normal);
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
  LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDrivers(&count, NativeEnvironment()));
  if (!drivers) {
    ReportError(TEXT("インストール済のプリンタドライバの確認ができません!"));
    return false;
  }
  bool registered = false;
  for (DWORD i = 0; i < count; ++i) {
    if (!SameName(drivers[i].pName, DriverName)) continue;
    if (StopRequested()) return false;  // asked to stop: the registration before was the last
    registered = true;
    if (!RemoveRegistration(drivers[i])) return false;
  }
  if (!registered) RemoveLeftoverFiles(drivers.Get(), count);
  return true;
}

// ----- what the removal leaves: registrations for other environments -----
namespace {

// The files of a registration that is gone, as the removal deletes them: the four file fields
// with its attempts and pauses, then the dependent files; only the registration's own files
// (`scope`) go.
bool DeleteFilesOfRegistration(const DRIVER_INFO_3W& driver, const DriverFileScope& scope) {
  bool deleted = false;
  for (int attempt = 0; attempt < FileDeletionAttempts && !deleted; ++attempt) {
    deleted = DeleteDriverFilesOnce(driver, scope);
    if (!deleted) Sleep(PauseAfterFailedAttemptMs);
  }
  if (!deleted) return false;
  for (LPCWSTR file = driver.pDependentFiles; file && *file; file += lstrlenW(file) + 1)
    if (!DeleteDriverFile(file, scope)) return false;
  return true;
}

// One registration of DriverName for `environment`: its printers (printers use the machine's own
// registration, so normally none are left), the registration, then its files. The spooler is not
// stopped for them: it loads no driver of another environment, and a file it holds stays behind
// with a record.
void RemoveRegistrationFor(LPCWSTR environment, const DRIVER_INFO_3W& driver) {
  // Which files are the registration's own is judged while it is still registered.
  DriverFileScope scope;
  if (!GatherDriverFileScope(driver.pName, environment, &scope)) {
    DebugLogError(LastErrorCode, "uninstall: the registration of %ws for \"%ws\" stays",
                  driver.pName, environment);
    return;
  }
  NarrowToVersionFolder(driver, &scope);
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
  DebugLog("uninstall: the registration of %ws for \"%ws\" was removed", driver.pName, environment);
  if (DeleteFilesOfRegistration(driver, scope))
    DebugLog("uninstall: the files of %ws for \"%ws\" were deleted", driver.pName, environment);
  else
    DebugLogError(GetLastError(), "uninstall: a file of %ws for \"%ws\" stays", driver.pName,
                  environment);
}

// The machine's own registration went with the removal; those of the other environments follow.
void RemoveRegistrationsOfEveryEnvironment() {
  LPCWSTR native = NativeEnvironment();
  for (const ProcessorRow& row : ProcessorTable) {
    if (native && lstrcmpW(row.environment, native) == 0) continue;
    DWORD count = 0;
    LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDriversOf(row.environment, &count));
    if (!drivers) {
      DebugLogError(GetLastError(), "uninstall: the drivers for \"%ws\" cannot be listed",
                    row.environment);
      continue;
    }
    for (DWORD i = 0; i < count; ++i)
      if (SameName(drivers[i].pName, DriverName))
        RemoveRegistrationFor(row.environment, drivers[i]);
  }
}

}  // namespace

void RemoveWhatIsLeftOfDriver() {
  RemoveRegistrationsOfEveryEnvironment();
  RemovePortWhenUnused();
}
