// The print spooler as the installer uses it: the two-call queries (size,
// ERROR_INSUFFICIENT_BUFFER, an empty result), opening printers and the print server, registering
// and deleting a driver, adding and deleting a printer, printer data and jobs. The driver's files
// are stand-ins made in the spooler's driver folder; the driver is registered for the program's own
// environment.
#include <cstring>
#include <vector>

#include "tests/conformance/conformance.h"

namespace {

WCHAR kDriver[] = TEXT("ZQ Conformance Driver");
WCHAR kPrinter[] = TEXT("ZQ Conformance Printer");
WCHAR kPort[] = TEXT("LPT1:");
WCHAR kProcessor[] = TEXT("WinPrint");
WCHAR kDatatype[] = TEXT("RAW");
const LPCWSTR kFiles[] = {TEXT("zqconf_drv.dll"), TEXT("zqconf_ui.dll"), TEXT("zqconf.pdd")};
// The stand-in driver's files, in the same roles, when a folder of them is given.
const LPCWSTR kStandInFiles[] = {TEXT("ZQPrinter_drv2.dll"), TEXT("ZQPrinter_ui2.dll"),
                                 TEXT("ZQPrinter.PDD")};

// The two-call pattern: a size query with no buffer, then the call with exactly that size. The
// query with one byte too few must fail too. `query` calls the function with (buffer, bytes,
// needed, returned) and returns its result.
template <class Query>
std::vector<BYTE> TwoCalls(const char* what, Query query, DWORD* returned) {
  DWORD needed = 0, count = 0xFFFF;
  SetLastError(conformance::Sentinel);
  BOOL result = query(nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer;
  if (result) {
    // Nothing to return: the size query itself succeeds.
    ok(needed == 0 && count == 0, "%s: empty result needs %u bytes, %u returned", what,
       unsigned(needed), unsigned(count));
    *returned = 0;
    return buffer;
  }
  ok(GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0, "%s: size query: %u, %u bytes",
     what, conformance::LastError(), unsigned(needed));
  if (needed == 0) return buffer;
  buffer.assign(needed + 16, 0xCC);
  DWORD again = 0;
  SetLastError(conformance::Sentinel);
  ok(!query(buffer.data(), needed - 1, &again, &count) &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER && again == needed,
     "%s: one byte short: %u, %u bytes", what, conformance::LastError(), unsigned(again));
  SetLastError(conformance::Sentinel);
  ok(query(buffer.data(), needed, &again, &count), "%s: the call: %u", what,
     conformance::LastError());
  *returned = count;
  return buffer;
}

bool DriverDirectory(LPWSTR folder) {
  DWORD needed = 0;
  return GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder),
                                    MAX_PATH * sizeof(WCHAR), &needed) != FALSE;
}

void PathIn(LPCWSTR folder, LPCWSTR file, LPWSTR path) {
  int n = lstrlenW(folder), m = lstrlenW(file);
  std::memcpy(path, folder, n * sizeof(WCHAR));
  path[n] = '\\';
  std::memcpy(path + n + 1, file, (m + 1) * sizeof(WCHAR));
}

// The driver's files in the driver folder: copies of the stand-in driver's when a folder of them
// was given, files of two bytes otherwise.
bool MakeStandInFiles(LPCWSTR folder) {
  for (int i = 0; i < 3; ++i) {
    WCHAR path[MAX_PATH];
    PathIn(folder, kFiles[i], path);
    if (LPCWSTR given = conformance::DriverFolder()) {
      WCHAR source[MAX_PATH];
      PathIn(given, kStandInFiles[i], source);
      if (!CopyFileW(source, path, FALSE)) return false;
      continue;
    }
    HANDLE handle =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(handle, "MZ", 2, &written, nullptr);
    CloseHandle(handle);
  }
  return true;
}

bool DriverListed(LPCWSTR name) {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
  if (!needed) return false;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrinterDriversW(nullptr, nullptr, 3, buffer.data(), needed, &needed, &count))
    return false;
  auto* drivers = reinterpret_cast<DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(drivers[i].pName, name) == 0) return true;
  return false;
}

// Removes what an earlier, interrupted run may have left.
void CleanUp() {
  HANDLE printer = nullptr;
  if (OpenPrinterW(kPrinter, &printer, nullptr)) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    ClosePrinter(printer);
    if (OpenPrinterW(kPrinter, &printer, &defaults)) {
      DeletePrinter(printer);
      ClosePrinter(printer);
    }
  }
  if (DriverListed(kDriver)) DeletePrinterDriverW(nullptr, nullptr, kDriver);
}

bool RegisterDriver(LPCWSTR folder, LPCWSTR fileFolder) {
  WCHAR paths[3][MAX_PATH];
  for (int i = 0; i < 3; ++i) PathIn(fileFolder, kFiles[i], paths[i]);
  (void)folder;
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = kDriver;
  info.pDriverPath = paths[0];
  info.pConfigFile = paths[1];
  info.pDataFile = paths[2];
  return AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) != FALSE;
}

HANDLE AddTestPrinter(LPWSTR driver) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = kPrinter;
  info.pPortName = kPort;
  info.pDriverName = driver;
  info.pPrintProcessor = kProcessor;
  info.pDatatype = kDatatype;
  info.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

}  // namespace

CONFORMANCE_TEST(OpenPrinterOfTheServerAndOfAMissingPrinter) {
  HANDLE printer = reinterpret_cast<HANDLE>(1);
  SetLastError(conformance::Sentinel);
  WCHAR missing[] = TEXT("ZQ No Such Printer");
  ok(!OpenPrinterW(missing, &printer, nullptr) && GetLastError() == ERROR_INVALID_PRINTER_NAME,
     "missing printer: %u", conformance::LastError());
  ok(printer == nullptr, "no handle: %p", printer);
  SetLastError(conformance::Sentinel);
  ok(OpenPrinterW(nullptr, &printer, nullptr) && printer, "the print server: %u",
     conformance::LastError());
  if (printer) ok(ClosePrinter(printer), "ClosePrinter");
}

CONFORMANCE_TEST(DriverDirectoryTwoCalls) {
  DWORD needed = 0;
  SetLastError(conformance::Sentinel);
  ok(!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed) &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > 0 && needed % 2 == 0,
     "size query: %u, %u bytes", conformance::LastError(), unsigned(needed));
  WCHAR folder[MAX_PATH];
  DWORD again = 0;
  SetLastError(conformance::Sentinel);
  ok(!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), needed - 2,
                                 &again) &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER,
     "one character short: %u", conformance::LastError());
  ok(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), needed,
                                &again),
     "the call: %u", conformance::LastError());
  ok((lstrlenW(folder) + 1) * 2 == static_cast<int>(needed), "'%s' for %u bytes",
     conformance::Utf8(folder), unsigned(needed));
  ok(conformance::EndsWithNoCase(folder, conformance::Is64Bit ? TEXT("\\x64") : TEXT("\\w32x86")),
     "the program's own environment: '%s'", conformance::Utf8(folder));
  WCHAR x86[] = TEXT("Windows NT x86");
  ok(GetPrinterDriverDirectoryW(nullptr, x86, 1, reinterpret_cast<LPBYTE>(folder), sizeof folder,
                                &again) &&
         conformance::EndsWithNoCase(folder, TEXT("\\w32x86")),
     "Windows NT x86: '%s'", conformance::Utf8(folder));
  WCHAR bogus[] = TEXT("Windows 3.0");
  SetLastError(conformance::Sentinel);
  ok(!GetPrinterDriverDirectoryW(nullptr, bogus, 1, reinterpret_cast<LPBYTE>(folder), sizeof folder,
                                 &again) &&
         GetLastError() == ERROR_INVALID_ENVIRONMENT,
     "unknown environment: %u", conformance::LastError());
}

CONFORMANCE_TEST(QueriesTwoCalls) {
  CleanUp();
  DWORD count = 0;
  TwoCalls(
      "EnumPrinterDriversW(3)",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPrinterDriversW(nullptr, nullptr, 3, b, n, need, ret);
      },
      &count);
  TwoCalls(
      "EnumPrintersW(6, 2)",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, b, n, need,
                             ret);
      },
      &count);
  auto ports = TwoCalls(
      "EnumPortsW(1)",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPortsW(nullptr, 1, b, n, need, ret);
      },
      &count);
  ok(count >= 1, "ports: %u", unsigned(count));
  bool lpt1 = false;
  for (DWORD i = 0; i < count && !ports.empty(); ++i)
    lpt1 = lpt1 || conformance::Same(reinterpret_cast<PORT_INFO_1W*>(ports.data())[i].pName, kPort);
  ok(lpt1, "LPT1: is a port");
}

CONFORMANCE_TEST(DriverAndPrinterLifeCycle) {
  CleanUp();
  WCHAR folder[MAX_PATH];
  if (!ok(DriverDirectory(folder) && MakeStandInFiles(folder), "stand-in driver files")) return;

  // Files that do not exist.
  SetLastError(conformance::Sentinel);
  BOOL added = RegisterDriver(folder, TEXT("C:\\ZqNoSuchFolder"));
  ok((!added && GetLastError() == ERROR_FILE_NOT_FOUND) ||
         wine_differs(added,
                      "Wine's AddPrinterDriverW does not look for the files; Windows fails "
                      "with ERROR_FILE_NOT_FOUND"),
     "missing files: %d, %u", added, conformance::LastError());
  if (added) DeletePrinterDriverW(nullptr, nullptr, kDriver);

  SetLastError(conformance::Sentinel);
  ok(RegisterDriver(folder, folder), "AddPrinterDriverW: %u", conformance::LastError());
  ok(DriverListed(kDriver), "the driver is listed");
  // Again: the registration is replaced.
  ok(RegisterDriver(folder, folder), "AddPrinterDriverW again: %u", conformance::LastError());

  // A printer with an unknown driver.
  WCHAR unknown[] = TEXT("ZQ No Such Driver");
  SetLastError(conformance::Sentinel);
  HANDLE printer = AddTestPrinter(unknown);
  ok(!printer && GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER, "unknown driver: %u",
     conformance::LastError());
  if (printer) ClosePrinter(printer);

  SetLastError(conformance::Sentinel);
  printer = AddTestPrinter(kDriver);
  ok(printer != nullptr, "AddPrinterW: %u", conformance::LastError());
  if (!printer) return;

  // The same name again.
  SetLastError(conformance::Sentinel);
  HANDLE second = AddTestPrinter(kDriver);
  ok((!second && GetLastError() == ERROR_PRINTER_ALREADY_EXISTS) ||
         wine_differs(second != nullptr,
                      "Wine's AddPrinterW overwrites a printer of the same "
                      "name; Windows fails with ERROR_PRINTER_ALREADY_EXISTS"),
     "existing name: %p, %u", second, conformance::LastError());
  if (second) ClosePrinter(second);

  // GetPrinterW level 2.
  DWORD count = 0;
  auto record = TwoCalls(
      "GetPrinterW(2)",
      [printer](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        *ret = 0;
        return GetPrinterW(printer, 2, b, n, need);
      },
      &count);
  if (record.size() >= sizeof(PRINTER_INFO_2W)) {
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(record.data());
    ok(conformance::Same(info->pPrinterName, kPrinter) &&
           conformance::Same(info->pPortName, kPort) &&
           conformance::Same(info->pDriverName, kDriver),
       "record: '%s' '%s' '%s'", conformance::Utf8(info->pPrinterName),
       conformance::Utf8(info->pPortName), conformance::Utf8(info->pDriverName));
    ok(info->cJobs == 0, "no jobs: %u", unsigned(info->cJobs));
    ok(info->pDevMode != nullptr, "a device mode");
  }

  // Jobs: none.
  DWORD needed = 0xFFFF, returned = 0xFFFF;
  SetLastError(conformance::Sentinel);
  BOOL listed = EnumJobsW(printer, 0, 10, 1, nullptr, 0, &needed, &returned);
  ok((listed && needed == 0 && returned == 0) ||
         wine_differs(!listed && needed == 0 && GetLastError() == conformance::Sentinel,
                      "Wine's EnumJobsW is not implemented (FALSE, last error untouched); Windows "
                      "answers the size query of an empty queue with TRUE and 0 bytes"),
     "no jobs: %d, %u bytes, %u, %u", listed, unsigned(needed), unsigned(returned),
     conformance::LastError());
  SetLastError(conformance::Sentinel);
  BOOL controlled = SetJobW(printer, 4711, 0, nullptr, JOB_CONTROL_DELETE);
  ok((!controlled && GetLastError() == ERROR_INVALID_PARAMETER) ||
         wine_differs(!controlled && GetLastError() == conformance::Sentinel,
                      "Wine's SetJobW fails for a job it does not hold without setting the last "
                      "error; Windows sets ERROR_INVALID_PARAMETER"),
     "missing job: %d, %u", controlled, conformance::LastError());

  // Printer data: a missing value, and the size query of the spool folder, which the printer has
  // on Windows (under Wine the stand-in driver's configuration module stores it, when it is the
  // one registered).
  WCHAR value[] = TEXT("ZqNoSuchValue");
  DWORD type = 0;
  needed = 0;
  SetLastError(conformance::Sentinel);
  DWORD status = GetPrinterDataW(printer, value, &type, nullptr, 0, &needed);
  ok(status == ERROR_FILE_NOT_FOUND, "missing value: %u", unsigned(status));
  WCHAR spool[] = TEXT("DefaultSpoolDirectory");
  needed = 0;
  status = GetPrinterDataW(printer, spool, &type, nullptr, 0, &needed);
  if (conformance::OnWine() && !conformance::DriverFolder()) {
    ok(status == ERROR_FILE_NOT_FOUND, "no configuration module, no spool folder: %u",
       unsigned(status));
  } else {
    ok(status == ERROR_MORE_DATA && needed > 2, "spool folder size query: %u, %u bytes",
       unsigned(status), unsigned(needed));
    std::vector<BYTE> data(needed + 2, 0xCC);
    DWORD stored = 0;
    status = GetPrinterDataW(printer, spool, &type, data.data(), needed, &stored);
    ok(status == ERROR_SUCCESS && stored == needed && type == REG_SZ,
       "spool folder: %u, %u bytes, type %u", unsigned(status), unsigned(stored), unsigned(type));
    ok(status == ERROR_SUCCESS &&
           lstrlenW(reinterpret_cast<LPCWSTR>(data.data())) * 2 + 2 == static_cast<int>(stored),
       "stored with its terminator: '%s'",
       conformance::Utf8(reinterpret_cast<LPCWSTR>(data.data())));
  }

  // The driver is in use while the printer exists.
  SetLastError(conformance::Sentinel);
  BOOL deleted = DeletePrinterDriverW(nullptr, nullptr, kDriver);
  ok((!deleted && GetLastError() == ERROR_PRINTER_DRIVER_IN_USE) ||
         wine_differs(deleted,
                      "Wine's DeletePrinterDriverW removes a driver that a printer still "
                      "uses; Windows fails with ERROR_PRINTER_DRIVER_IN_USE"),
     "driver in use: %d, %u", deleted, conformance::LastError());
  if (deleted) RegisterDriver(folder, folder);

  SetLastError(conformance::Sentinel);
  ok(DeletePrinter(printer), "DeletePrinter: %u", conformance::LastError());
  ok(ClosePrinter(printer), "ClosePrinter");
  printer = nullptr;
  SetLastError(conformance::Sentinel);
  ok(!OpenPrinterW(kPrinter, &printer, nullptr) && GetLastError() == ERROR_INVALID_PRINTER_NAME,
     "the printer is gone: %u", conformance::LastError());

  SetLastError(conformance::Sentinel);
  ok(DeletePrinterDriverW(nullptr, nullptr, kDriver), "DeletePrinterDriverW: %u",
     conformance::LastError());
  ok(!DriverListed(kDriver), "the driver is no longer listed");
  SetLastError(conformance::Sentinel);
  BOOL again = DeletePrinterDriverW(nullptr, nullptr, kDriver);
  ok((!again && GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER) ||
         wine_differs(!again && GetLastError() == conformance::Sentinel,
                      "Wine's DeletePrinterDriverW fails for a driver it does not know without "
                      "setting the last error; Windows sets ERROR_UNKNOWN_PRINTER_DRIVER"),
     "deleted again: %d, %u", again, conformance::LastError());
  for (LPCWSTR file : kFiles) {
    WCHAR path[MAX_PATH];
    PathIn(folder, file, path);
    DeleteFileW(path);
  }
}
