// The print spooler as the installer uses it, with the installer's own arguments: the two-call
// queries (size, ERROR_INSUFFICIENT_BUFFER, an empty result) of drivers, printers, ports and jobs,
// opening printers and the print server, registering the driver with the installer's
// DRIVER_INFO_3W, adding the printer with its PRINTER_INFO_2W, the printer's registry key opened
// to set a value, the spool folder, deleting a pending job with SetJobW level 1, and deleting the
// printer and the driver. The driver's files are stand-ins made in the spooler's driver folder;
// the driver is registered for the program's own environment.
#include <cstring>
#include <vector>

#include "tests/conformance/conformance.h"

namespace {

WCHAR kDriver[] = TEXT("ZQ Conformance Driver");
WCHAR kPrinter[] = TEXT("ZQ Conformance Printer");
WCHAR kPort[] = TEXT("LPT1:");
WCHAR kProcessor[] = TEXT("WinPrint");
WCHAR kDatatype[] = TEXT("NT EMF 1.006");
WCHAR kDocument[] = TEXT("ZQ Conformance Job");
// Where the installer records the printer's spool folder: this prefix and the printer's name.
constexpr WCHAR kPrintersKey[] =
    TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\");
const LPCWSTR kFiles[] = {TEXT("zqconf_drv.dll"), TEXT("zqconf_ui.dll"), TEXT("zqconf.pdd")};
// The stand-in driver's files, in the same roles, when a folder of them is given.
const LPCWSTR kStandInFiles[] = {TEXT("ZQPrinter_drv2.dll"), TEXT("ZQPrinter_ui2.dll"),
                                 TEXT("ZQPrinter.PDD")};

// What a size query may answer: a list that may be empty may succeed with 0 bytes; a list that
// holds something (or a record that exists) must ask for a buffer. The installer's queries take
// the ERROR_INSUFFICIENT_BUFFER branch for what it installed; a spooler that answered 0 bytes
// there would leave that branch untested.
enum class Holds { kMaybeNothing, kSomething };

// The two-call pattern: a size query with no buffer, then the call with exactly that size. The
// query with one byte too few must fail too. `query` calls the function with (buffer, bytes,
// needed, returned) and returns its result. MS-RPRN 3.1.4.1.9 (INFO structures query
// parameters): a buffer too small fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
template <class Query>
std::vector<BYTE> TwoCalls(const char* what, Query query, DWORD* returned, Holds holds) {
  DWORD needed = 0, count = 0xFFFF;
  SetLastError(conformance::Sentinel);
  BOOL result = query(nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer;
  if (result) {
    // Nothing to return: the size query itself succeeds.
    ok(holds == Holds::kMaybeNothing, "%s: a size query of what exists answered with success",
       what);
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

// The program's own environment, as the installer names it for its processor.
LPWSTR OwnEnvironment() {
  static WCHAR x64[] = TEXT("Windows x64");
  static WCHAR x86[] = TEXT("Windows NT x86");
  return conformance::Is64Bit ? x64 : x86;
}

// The installer's record: version 4, the environment named, the three files in the driver
// folder, an empty (not missing) default data type, nothing else.
bool RegisterDriver(LPCWSTR fileFolder) {
  WCHAR paths[3][MAX_PATH];
  for (int i = 0; i < 3; ++i) PathIn(fileFolder, kFiles[i], paths[i]);
  WCHAR noDataType[] = TEXT("");
  DRIVER_INFO_3W info = {};
  info.cVersion = 4;
  info.pName = kDriver;
  info.pEnvironment = OwnEnvironment();
  info.pDriverPath = paths[0];
  info.pConfigFile = paths[1];
  info.pDataFile = paths[2];
  info.pDefaultDataType = noDataType;
  return AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) != FALSE;
}

// The installer's record: name, port, driver, "WinPrint", "NT EMF 1.006", queued and local.
HANDLE AddTestPrinter(LPWSTR driver, LPWSTR name = kPrinter) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = name;
  info.pPortName = kPort;
  info.pDriverName = driver;
  info.pPrintProcessor = kProcessor;
  info.pDatatype = kDatatype;
  info.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;  // 0x41
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

// A path in `folder` (or a sub-folder of it, where the spooler keeps a version's files) ending
// in the file's name.
bool InFolder(LPCWSTR path, LPCWSTR folder, LPCWSTR file) {
  if (!path) return false;
  int n = lstrlenW(folder), m = lstrlenW(file);
  if (lstrlenW(path) <= n + m || path[n] != '\\') return false;
  WCHAR head[MAX_PATH] = {}, tail[MAX_PATH] = {'\\'};
  std::memcpy(head, path, n * sizeof(WCHAR));
  std::memcpy(tail + 1, file, m * sizeof(WCHAR));
  return lstrcmpiW(head, folder) == 0 && conformance::EndsWithNoCase(path, tail);
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

// The lists with nothing of ours in them: the drivers and printers may be none at all (a fresh
// Wine prefix has neither), in which case the size query itself succeeds with 0 bytes (MS-RPRN
// 3.1.4.1.9: an enumeration that returns no structures succeeds with *pcReturned 0); the ports
// never are.
CONFORMANCE_TEST(QueriesTwoCalls) {
  CleanUp();
  DWORD count = 0;
  TwoCalls(
      "EnumPrinterDriversW(3)",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPrinterDriversW(nullptr, nullptr, 3, b, n, need, ret);
      },
      &count, Holds::kMaybeNothing);
  TwoCalls(
      "EnumPrintersW(6, 2)",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, b, n, need,
                             ret);
      },
      &count, Holds::kMaybeNothing);
  auto ports = TwoCalls(
      "EnumPortsW(1)",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPortsW(nullptr, 1, b, n, need, ret);
      },
      &count, Holds::kSomething);
  ok(count >= 1, "ports: %u", unsigned(count));
  bool lpt1 = false;
  for (DWORD i = 0; i < count && !ports.empty(); ++i)
    lpt1 = lpt1 || conformance::Same(reinterpret_cast<PORT_INFO_1W*>(ports.data())[i].pName, kPort);
  ok(lpt1, "LPT1: is a port");
}

namespace {

// The registered driver as EnumPrinterDriversW level 3 lists it, through the two calls (the
// list holds it, so the size query must ask for a buffer).
void CheckDriverListed(LPCWSTR folder) {
  DWORD count = 0;
  auto list = TwoCalls(
      "EnumPrinterDriversW(3) with ours",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPrinterDriversW(nullptr, nullptr, 3, b, n, need, ret);
      },
      &count, Holds::kSomething);
  const DRIVER_INFO_3W* ours = nullptr;
  for (DWORD i = 0; i < count && !list.empty(); ++i) {
    auto* driver = reinterpret_cast<const DRIVER_INFO_3W*>(list.data()) + i;
    if (conformance::Same(driver->pName, kDriver)) ours = driver;
  }
  if (!ok(ours != nullptr, "the driver is listed among %u", unsigned(count))) return;
  ok(conformance::Same(ours->pEnvironment, OwnEnvironment()), "environment '%s'",
     conformance::Utf8(ours->pEnvironment));
  // The spooler keeps the files in the driver folder (Windows and Wine in its version's
  // sub-folder "3", where AddPrinterDriverW copies them).
  ok(InFolder(ours->pDriverPath, folder, kFiles[0]) && InFolder(ours->pConfigFile, folder, kFiles[1]) &&
         InFolder(ours->pDataFile, folder, kFiles[2]),
     "files '%s' '%s' '%s'", conformance::Utf8(ours->pDriverPath),
     conformance::Utf8(ours->pConfigFile), conformance::Utf8(ours->pDataFile));
  ok(!ours->pDefaultDataType || !ours->pDefaultDataType[0], "no default data type: '%s'",
     conformance::Utf8(ours->pDefaultDataType));
  // The version given is the version registered (unsourced: see README).
  ok(ours->cVersion == 4 ||
         wine_differs(ours->cVersion == 3,
                      "Wine's AddPrinterDriverW stores every driver as version 3; Windows keeps "
                      "the version of the record"),
     "cVersion %u", unsigned(ours->cVersion));
  // Where the registration of version 4 lands in the registry, which the package's rollback
  // searches (unsourced: see README).
  bool under[5] = {};
  for (WCHAR version : {'3', '4'}) {
    WCHAR environment[MAX_PATH], drivers[MAX_PATH], key[MAX_PATH], folder[] = {'V', 'e', 'r', 's', 'i', 'o', 'n', '-', version, 0};
    PathIn(TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Environments"), OwnEnvironment(), environment);
    PathIn(environment, TEXT("Drivers"), drivers);
    PathIn(drivers, folder, environment);
    PathIn(environment, kDriver, key);
    HKEY opened = nullptr;
    under[version - '0'] = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) == ERROR_SUCCESS;
    if (opened) RegCloseKey(opened);
  }
  ok(under[4] || wine_differs(under[3], "Wine files every driver under Version-3"),
     "registration under Version-3: %d, Version-4: %d", under[3], under[4]);
}

// The new printer's record as GetPrinterW level 2 reads it: it exists, so the size query must ask
// for a buffer.
void CheckPrinterRecord(HANDLE printer) {
  DWORD count = 0;
  auto record = TwoCalls(
      "GetPrinterW(2)",
      [printer](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        *ret = 0;
        return GetPrinterW(printer, 2, b, n, need);
      },
      &count, Holds::kSomething);
  if (!ok(record.size() >= sizeof(PRINTER_INFO_2W), "a record: %u bytes", unsigned(record.size())))
    return;
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(record.data());
  ok(conformance::Same(info->pPrinterName, kPrinter) && conformance::Same(info->pPortName, kPort) &&
         conformance::Same(info->pDriverName, kDriver),
     "record: '%s' '%s' '%s'", conformance::Utf8(info->pPrinterName),
     conformance::Utf8(info->pPortName), conformance::Utf8(info->pDriverName));
  ok(lstrcmpiW(info->pPrintProcessor, kProcessor) == 0 && conformance::Same(info->pDatatype, kDatatype),
     "processor '%s', data type '%s'", conformance::Utf8(info->pPrintProcessor),
     conformance::Utf8(info->pDatatype));
  ok((info->Attributes & 0x41) == 0x41, "queued and local: %#x", unsigned(info->Attributes));
  ok(info->cJobs == 0, "no jobs: %u", unsigned(info->cJobs));
  ok(info->pDevMode != nullptr, "a device mode");
  // The printer is in the list the installer's lookups read.
  auto printers = TwoCalls(
      "EnumPrintersW(6, 2) with ours",
      [](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, b, n, need,
                             ret);
      },
      &count, Holds::kSomething);
  bool listed = false;
  for (DWORD i = 0; i < count && !printers.empty(); ++i)
    listed = listed || conformance::Same(
                           reinterpret_cast<PRINTER_INFO_2W*>(printers.data())[i].pPrinterName,
                           kPrinter);
  ok(listed, "the printer is listed among %u", unsigned(count));
}

// Jobs: none on a new printer; a document begun makes one, which EnumJobsW level 1 lists and
// SetJobW level 1 with JOB_CONTROL_DELETE removes, as the installer's removal does.
void CheckJobs(HANDLE printer) {
  DWORD needed = 0xFFFF, returned = 0xFFFF;
  SetLastError(conformance::Sentinel);
  BOOL listed = EnumJobsW(printer, 0, 10, 1, nullptr, 0, &needed, &returned);
  // MS-RPRN 3.1.4.1.9: no structures to return is success with 0 bytes and 0 returned.
  ok((listed && needed == 0 && returned == 0) ||
         wine_differs(!listed && needed == 0 && GetLastError() == conformance::Sentinel,
                      "Wine's EnumJobsW is not implemented (FALSE, last error untouched); Windows "
                      "answers the size query of an empty queue with TRUE and 0 bytes"),
     "no jobs: %d, %u bytes, %u, %u", listed, unsigned(needed), unsigned(returned),
     conformance::LastError());
  // A job id the queue does not hold (MS-RPRN 3.1.4.3.1: the JobId must name a job in the list).
  JOB_INFO_1W unknown = {};
  unknown.JobId = 4711;
  SetLastError(conformance::Sentinel);
  BOOL controlled = SetJobW(printer, 4711, 1, reinterpret_cast<LPBYTE>(&unknown), JOB_CONTROL_DELETE);
  ok((!controlled && GetLastError() == ERROR_INVALID_PARAMETER) ||
         wine_differs(!controlled && GetLastError() == conformance::Sentinel,
                      "Wine's SetJobW fails for a job it does not hold without setting the last "
                      "error; Windows sets ERROR_INVALID_PARAMETER"),
     "missing job: %d, %u", controlled, conformance::LastError());

  WCHAR raw[] = TEXT("RAW");
  DOC_INFO_1W document = {kDocument, nullptr, raw};
  SetLastError(conformance::Sentinel);
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document));
  if (!ok(job != 0, "StartDocPrinterW: %u", conformance::LastError())) return;
  needed = returned = 0;
  SetLastError(conformance::Sentinel);
  listed = EnumJobsW(printer, 0, 10, 1, nullptr, 0, &needed, &returned);
  if (conformance::OnWine()) {
    ok(wine_differs(!listed && needed == 0 && GetLastError() == conformance::Sentinel,
                    "Wine's EnumJobsW is not implemented and lists no job; Windows lists the "
                    "document being spooled"),
       "Wine's EnumJobsW: %d, %u bytes, %u", listed, unsigned(needed), conformance::LastError());
  } else {
    DWORD count = 0;
    auto jobs = TwoCalls(
        "EnumJobsW(1) with a job",
        [printer](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
          return EnumJobsW(printer, 0, 10, 1, b, n, need, ret);
        },
        &count, Holds::kSomething);
    if (ok(count == 1 && jobs.size() >= sizeof(JOB_INFO_1W), "one job: %u", unsigned(count))) {
      auto* info = reinterpret_cast<JOB_INFO_1W*>(jobs.data());
      ok(info->JobId == job && conformance::Same(info->pDocument, kDocument) &&
             conformance::Same(info->pPrinterName, kPrinter),
         "job %u '%s' on '%s'", unsigned(info->JobId), conformance::Utf8(info->pDocument),
         conformance::Utf8(info->pPrinterName));
      // JOB_INFO_1 (Microsoft documentation): JOB_STATUS_SPOOLING while the document is written.
      ok(info->Status & JOB_STATUS_SPOOLING, "spooling: %#x", unsigned(info->Status));
      SetLastError(conformance::Sentinel);
      ok(SetJobW(printer, info->JobId, 1, reinterpret_cast<LPBYTE>(info), JOB_CONTROL_DELETE),
         "SetJobW(1, JOB_CONTROL_DELETE): %u", conformance::LastError());
      // Gone, or marked for deletion until its document ends.
      auto after = TwoCalls(
          "EnumJobsW(1) after the delete",
          [printer](LPBYTE b, DWORD n, LPDWORD need, LPDWORD ret) {
            return EnumJobsW(printer, 0, 10, 1, b, n, need, ret);
          },
          &count, Holds::kMaybeNothing);
      ok(count == 0 || (reinterpret_cast<JOB_INFO_1W*>(after.data())->Status & JOB_STATUS_DELETING),
         "deleted: %u left", unsigned(count));
    }
  }
  EndDocPrinter(printer);
}

// The spool folder: a printer handle reads the printer's own data ("PrinterDriverData"), which
// has no "DefaultSpoolDirectory" of its own unless its driver stored one; the print server has it
// as a predefined value (GetPrinterData, Microsoft documentation; ReactOS's GetPrinterData test
// of the print server's values, run on Windows).
void CheckSpoolFolder(HANDLE printer) {
  WCHAR value[] = TEXT("ZqNoSuchValue");
  DWORD type = 0, needed = 0;
  DWORD status = GetPrinterDataW(printer, value, &type, nullptr, 0, &needed);
  ok(status == ERROR_FILE_NOT_FOUND, "missing value: %u", unsigned(status));
  WCHAR spool[] = TEXT("DefaultSpoolDirectory");
  needed = 0;
  status = GetPrinterDataW(printer, spool, &type, nullptr, 0, &needed);
  // The stand-in driver's configuration module stores one when the spooler runs it in this
  // process (Wine does while it adds the printer).
  ok(status == ERROR_FILE_NOT_FOUND ||
         (conformance::DriverFolder() && status == ERROR_MORE_DATA && needed > 2),
     "the printer's own spool folder: %u, %u bytes", unsigned(status), unsigned(needed));

  PRINTER_DEFAULTSW enumerate = {nullptr, nullptr, SERVER_ACCESS_ENUMERATE};
  HANDLE server = nullptr;
  if (!ok(OpenPrinterW(nullptr, &server, &enumerate) && server, "the print server: %u",
          conformance::LastError()))
    return;
  type = REG_SZ;
  needed = 0;
  status = GetPrinterDataW(server, spool, &type, nullptr, 0, &needed);
  ok(status == ERROR_MORE_DATA && needed > 2, "the print server's spool folder: %u, %u bytes",
     unsigned(status), unsigned(needed));
  if (status == ERROR_MORE_DATA && needed > 2) {
    std::vector<BYTE> data(needed + 2, 0xCC);
    DWORD stored = 0;
    status = GetPrinterDataW(server, spool, &type, data.data(), needed, &stored);
    ok(status == ERROR_SUCCESS && stored == needed && type == REG_SZ,
       "spool folder: %u, %u bytes, type %u", unsigned(status), unsigned(stored), unsigned(type));
    auto* text = reinterpret_cast<LPCWSTR>(data.data());
    ok(status == ERROR_SUCCESS && lstrlenW(text) * 2 + 2 == static_cast<int>(stored) &&
           text[1] == ':' && text[2] == '\\',
       "a full path with its terminator: '%s'", conformance::Utf8(text));
  }
  ok(ClosePrinter(server), "ClosePrinter(server)");
}

// The printer's key, opened (never created) to set a value only, and the installer's value.
void CheckPrinterKey() {
  WCHAR path[MAX_PATH];
  int n = lstrlenW(kPrintersKey), m = lstrlenW(kPrinter);
  std::memcpy(path, kPrintersKey, n * sizeof(WCHAR));
  std::memcpy(path + n, kPrinter, (m + 1) * sizeof(WCHAR));
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, &key);
  // Unsourced (see README): Windows keeps a key per printer under this path.
  ok(status == ERROR_SUCCESS ||
         wine_differs(status == ERROR_FILE_NOT_FOUND,
                      "Wine keeps printers under HKLM\\System\\CurrentControlSet\\Control\\Print"
                      "\\Printers only; Windows has the printer's key under SOFTWARE as well"),
     "open the printer's key to set a value: %d", static_cast<int>(status));
  if (status != ERROR_SUCCESS) return;
  const WCHAR folder[] = TEXT("C:\\ZqSpool");
  status = RegSetValueExW(key, TEXT("SpoolDirectory"), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(folder), sizeof folder);
  ok(status == ERROR_SUCCESS, "SpoolDirectory set: %d", static_cast<int>(status));
  RegCloseKey(key);
}

}  // namespace

CONFORMANCE_TEST(DriverAndPrinterLifeCycle) {
  CleanUp();
  WCHAR folder[MAX_PATH];
  if (!ok(DriverDirectory(folder) && MakeStandInFiles(folder), "stand-in driver files")) return;

  // Files that do not exist (unsourced: see README).
  SetLastError(conformance::Sentinel);
  BOOL added = RegisterDriver(TEXT("C:\\ZqNoSuchFolder"));
  ok((!added && GetLastError() == ERROR_FILE_NOT_FOUND) ||
         wine_differs(added,
                      "Wine's AddPrinterDriverW does not look for the files; Windows fails "
                      "with ERROR_FILE_NOT_FOUND"),
     "missing files: %d, %u", added, conformance::LastError());
  if (added) DeletePrinterDriverW(nullptr, OwnEnvironment(), kDriver);

  SetLastError(conformance::Sentinel);
  ok(RegisterDriver(folder), "AddPrinterDriverW: %u", conformance::LastError());
  CheckDriverListed(folder);
  // Again: the registration is replaced.
  ok(RegisterDriver(folder), "AddPrinterDriverW again: %u", conformance::LastError());

  // A printer with an unknown driver (MS-RPRN 3.1.4.2.3 RpcAddPrinter: the driver must be
  // installed, ERROR_UNKNOWN_PRINTER_DRIVER).
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

  // The same name again (MS-RPRN 3.1.4.2.3 RpcAddPrinter: ERROR_PRINTER_ALREADY_EXISTS).
  SetLastError(conformance::Sentinel);
  HANDLE second = AddTestPrinter(kDriver);
  ok((!second && GetLastError() == ERROR_PRINTER_ALREADY_EXISTS) ||
         wine_differs(second != nullptr,
                      "Wine's AddPrinterW overwrites a printer of the same "
                      "name; Windows fails with ERROR_PRINTER_ALREADY_EXISTS"),
     "existing name: %p, %u", second, conformance::LastError());
  if (second) ClosePrinter(second);

  // Names the spooler refuses (MS-RPRN 2.2.4.14 Printer Names: not empty, no ',' and no '\\';
  // its product behaviour note: Windows takes at most 220 characters), each with
  // ERROR_INVALID_PRINTER_NAME before anything is added.
  WCHAR longName[222] = {};
  for (int i = 0; i < 221; ++i) longName[i] = 'L';
  WCHAR comma[] = TEXT("ZQ a,b");
  WCHAR backslash[] = TEXT("ZQ a\\b");
  WCHAR empty[] = TEXT("");
  WCHAR xcv[] = TEXT(",XcvPort LPT1:");
  for (LPWSTR refused : {comma, backslash, empty, xcv, static_cast<LPWSTR>(longName)}) {
    SetLastError(conformance::Sentinel);
    HANDLE odd = AddTestPrinter(kDriver, refused);
    ok((!odd && GetLastError() == ERROR_INVALID_PRINTER_NAME) ||
           wine_differs(odd != nullptr || GetLastError() != ERROR_INVALID_PRINTER_NAME,
                        "Wine's AddPrinterW does not refuse every one of these names (its "
                        "checks are not those of MS-RPRN 2.2.4.14); Windows refuses each with "
                        "ERROR_INVALID_PRINTER_NAME"),
       "refused name of %d characters: %p, %u", lstrlenW(refused), odd, conformance::LastError());
    if (odd) {
      DeletePrinter(odd);
      ClosePrinter(odd);
    }
  }

  CheckPrinterRecord(printer);
  CheckJobs(printer);
  CheckSpoolFolder(printer);
  CheckPrinterKey();

  // The driver is in use while the printer exists (MS-RPRN 3.1.4.4.5 RpcDeletePrinterDriver).
  SetLastError(conformance::Sentinel);
  BOOL deleted = DeletePrinterDriverW(nullptr, nullptr, kDriver);
  ok((!deleted && GetLastError() == ERROR_PRINTER_DRIVER_IN_USE) ||
         wine_differs(deleted,
                      "Wine's DeletePrinterDriverW removes a driver that a printer still "
                      "uses; Windows fails with ERROR_PRINTER_DRIVER_IN_USE"),
     "driver in use: %d, %u", deleted, conformance::LastError());
  if (deleted) RegisterDriver(folder);

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
  // A driver that is not installed (MS-RPRN 3.1.4.4.5: ERROR_UNKNOWN_PRINTER_DRIVER).
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
