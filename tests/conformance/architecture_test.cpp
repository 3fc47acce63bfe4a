// The machine's architecture and the spooler's environments: IsWow64Process2 (or its absence)
// beside IsWow64Process and GetNativeSystemInfo, the ARM64 driver folder, registrations per
// environment and their deletion, a printer on a driver of another environment, and a WoW64
// process writing into system32\spool.
#include <cstring>
#include <vector>

#include "tests/conformance/conformance.h"

namespace {

using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

WCHAR kDriver[] = TEXT("ZQ Conformance Env Driver");
WCHAR kPrinter[] = TEXT("ZQ Conformance Env Printer");
WCHAR kPort[] = TEXT("LPT1:");
WCHAR kProcessor[] = TEXT("WinPrint");
WCHAR kDatatype[] = TEXT("RAW");
WCHAR kX86[] = TEXT("Windows NT x86");
WCHAR kX64[] = TEXT("Windows x64");
WCHAR kArm64[] = TEXT("Windows ARM64");
const LPCWSTR kFiles[] = {TEXT("zqenv_drv.dll"), TEXT("zqenv_ui.dll"), TEXT("zqenv.pdd")};

IsWow64Process2Function FindIsWow64Process2() {
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
  if (!kernel) return nullptr;
  FARPROC address = GetProcAddress(kernel, "IsWow64Process2");
  return reinterpret_cast<IsWow64Process2Function>(reinterpret_cast<void (*)()>(address));
}

bool Wow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The print server's environment: the native machine's.
LPWSTR ServerEnvironment() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL) return kX86;
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64) return kArm64;
  return kX64;
}

bool DirectoryOf(LPWSTR environment, LPWSTR folder) {
  DWORD needed = 0;
  return GetPrinterDriverDirectoryW(nullptr, environment, 1, reinterpret_cast<LPBYTE>(folder),
                                    MAX_PATH * sizeof(WCHAR), &needed) != FALSE;
}

void PathIn(LPCWSTR folder, LPCWSTR file, LPWSTR path) {
  int n = lstrlenW(folder), m = lstrlenW(file);
  std::memcpy(path, folder, n * sizeof(WCHAR));
  path[n] = '\\';
  std::memcpy(path + n + 1, file, (m + 1) * sizeof(WCHAR));
}

bool PutFile(LPCWSTR path) {
  HANDLE handle =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(handle, "MZ", 2, &written, nullptr);
  CloseHandle(handle);
  return true;
}

// Registers kDriver for `environment` with files of two bytes in that environment's folder.
bool RegisterFor(LPWSTR environment) {
  WCHAR folder[MAX_PATH];
  if (!DirectoryOf(environment, folder)) return false;
  WCHAR paths[3][MAX_PATH];
  for (int i = 0; i < 3; ++i) {
    PathIn(folder, kFiles[i], paths[i]);
    if (!PutFile(paths[i])) return false;
  }
  DRIVER_INFO_3W info = {};
  info.cVersion = 3;
  info.pName = kDriver;
  info.pEnvironment = environment;
  info.pDriverPath = paths[0];
  info.pConfigFile = paths[1];
  info.pDataFile = paths[2];
  return AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)) != FALSE;
}

bool ListedFor(LPWSTR environment) {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, environment, 3, nullptr, 0, &needed, &count);
  if (!needed) return false;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrinterDriversW(nullptr, environment, 3, buffer.data(), needed, &needed, &count))
    return false;
  auto* drivers = reinterpret_cast<DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(drivers[i].pName, kDriver) == 0) return true;
  return false;
}

void RemoveEverywhere() {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (OpenPrinterW(kPrinter, &printer, &defaults)) {
    DeletePrinter(printer);
    ClosePrinter(printer);
  }
  for (LPWSTR environment : {kX86, kX64, kArm64})
    if (ListedFor(environment)) DeletePrinterDriverExW(nullptr, environment, kDriver, 0, 0);
}

HANDLE AddTestPrinter() {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = kPrinter;
  info.pPortName = kPort;
  info.pDriverName = kDriver;
  info.pPrintProcessor = kProcessor;
  info.pDatatype = kDatatype;
  info.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;
  return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

}  // namespace

// IsWow64Process2 exists from Windows 10 (1511) on ("IsWow64Process2 function", Microsoft Learn):
// processMachine is IMAGE_FILE_MACHINE_UNKNOWN unless the process runs under WoW64, nativeMachine
// the machine's. Where it is missing, GetProcAddress fails with ERROR_PROC_NOT_FOUND and
// IsWow64Process with GetNativeSystemInfo tell the same for x86 and x64.
CONFORMANCE_TEST(IsWow64Process2OrItsAbsence) {
  BOOL wow64 = FALSE;
  ok(IsWow64Process(GetCurrentProcess(), &wow64), "IsWow64Process: %u", conformance::LastError());
  ok(!conformance::Is64Bit || !wow64, "a 64-bit process is no WoW64 process");
  SYSTEM_INFO native = {};
  GetNativeSystemInfo(&native);
  SYSTEM_INFO own = {};
  GetSystemInfo(&own);
  ok(own.wProcessorArchitecture ==
         (conformance::Is64Bit ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL),
     "GetSystemInfo: the process's own processor, %u", unsigned(own.wProcessorArchitecture));
  ok(!wow64 || native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL,
     "a WoW64 process runs on a 64-bit machine: %u", unsigned(native.wProcessorArchitecture));

  SetLastError(conformance::Sentinel);
  IsWow64Process2Function isWow64Process2 = FindIsWow64Process2();
  if (!isWow64Process2) {
    ok(GetLastError() == ERROR_PROC_NOT_FOUND, "absent: %u", conformance::LastError());
    return;
  }
  USHORT process = 0xFFFF, machine = 0xFFFF;
  ok(isWow64Process2(GetCurrentProcess(), &process, &machine), "IsWow64Process2: %u",
     conformance::LastError());
  ok((process != IMAGE_FILE_MACHINE_UNKNOWN) == (wow64 != FALSE),
     "processMachine %#x tells WoW64 as IsWow64Process does (%d)", unsigned(process), wow64);
  ok(!wow64 || process == IMAGE_FILE_MACHINE_I386, "a WoW64 process is x86: %#x",
     unsigned(process));
  USHORT expected = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL
                        ? IMAGE_FILE_MACHINE_I386
                        : IMAGE_FILE_MACHINE_AMD64;
  ok(machine == expected || machine == IMAGE_FILE_MACHINE_ARM64,
     "nativeMachine %#x (GetNativeSystemInfo %u)", unsigned(machine),
     unsigned(native.wProcessorArchitecture));
}

// "Windows ARM64" is a known environment; its driver folder is "arm64" beside "x64" and
// "W32X86" (Microsoft Learn, "GetPrinterDriverDirectory function" and the ARM64 driver
// environment of MS-RPRN 2.2.4.4, "Environment Name Strings").
CONFORMANCE_TEST(DriverDirectoryOfWindowsArm64) {
  WCHAR folder[MAX_PATH] = {};
  SetLastError(conformance::Sentinel);
  ok(DirectoryOf(kArm64, folder), "GetPrinterDriverDirectoryW(\"Windows ARM64\"): %u",
     conformance::LastError());
  ok(conformance::EndsWithNoCase(folder, TEXT("\\spool\\drivers\\arm64")), "folder '%s'",
     conformance::Utf8(folder));
  WCHAR x64[MAX_PATH] = {};
  ok(DirectoryOf(kX64, x64) && conformance::EndsWithNoCase(x64, TEXT("\\spool\\drivers\\x64")),
     "x64 folder '%s'", conformance::Utf8(x64));
  WCHAR none[] = TEXT("Windows NT Nonsense");
  SetLastError(conformance::Sentinel);
  ok(!DirectoryOf(none, folder) && GetLastError() == ERROR_INVALID_ENVIRONMENT,
     "an unknown environment: %u", conformance::LastError());
}

// DeletePrinterDriverExW removes the registration of the named environment only ("a pointer to
// a null-terminated string that specifies the environment from which the driver is to be
// deleted", Microsoft Learn, "DeletePrinterDriverEx function"); a second call finds none
// (ERROR_UNKNOWN_PRINTER_DRIVER).
CONFORMANCE_TEST(DeletePrinterDriverExPerEnvironment) {
  RemoveEverywhere();
  LPWSTR own = conformance::Is64Bit ? kX64 : kX86;
  LPWSTR other = conformance::Is64Bit ? kX86 : kX64;
  if (!ok(RegisterFor(own) && RegisterFor(other), "registered for both: %u",
          conformance::LastError()))
    return RemoveEverywhere();
  ok(ListedFor(own) && ListedFor(other), "listed for both environments");
  SetLastError(conformance::Sentinel);
  ok(DeletePrinterDriverExW(nullptr, other, kDriver, 0, 0), "DeletePrinterDriverExW(%s): %u",
     conformance::Utf8(other), conformance::LastError());
  ok(!ListedFor(other), "gone from %s", conformance::Utf8(other));
  ok(ListedFor(own), "still listed for %s", conformance::Utf8(own));
  SetLastError(conformance::Sentinel);
  BOOL again = DeletePrinterDriverExW(nullptr, other, kDriver, 0, 0);
  ok(!again && (GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER ||
                wine_differs(GetLastError() == conformance::Sentinel,
                             "Wine's DeletePrinterDriverExW fails for a driver it does not know "
                             "without setting the last error; Windows sets "
                             "ERROR_UNKNOWN_PRINTER_DRIVER")),
     "deleted again: %d, %u", again, conformance::LastError());
  RemoveEverywhere();
}

// Windows: a local printer needs a driver of the print server's own environment. RpcAddPrinter
// fails with ERROR_UNKNOWN_PRINTER_DRIVER when the driver is not installed for the server's
// environment ([MS-RPRN] 3.1.4.2.3 RpcAddPrinter, with the driver lookup of 3.1.4.1.8); a
// driver of another environment is an "additional driver" for clients. Wine runs the spooler
// inside the calling process and looks the driver up in the caller's environment instead.
CONFORMANCE_TEST(AddPrinterNeedsADriverOfTheServersEnvironment) {
  RemoveEverywhere();
  LPWSTR server = ServerEnvironment();
  LPWSTR process = conformance::Is64Bit ? kX64 : kX86;
  // Only the caller's environment, which is not the server's (a WoW64 process), or only another
  // environment than the server's and the caller's.
  LPWSTR other = lstrcmpW(server, process) != 0 ? process : (lstrcmpW(server, kX86) == 0 ? kX64 : kX86);
  if (!ok(RegisterFor(other), "registered for %s only: %u", conformance::Utf8(other),
          conformance::LastError()))
    return RemoveEverywhere();
  SetLastError(conformance::Sentinel);
  HANDLE printer = AddTestPrinter();
  ok((!printer && GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER) ||
         wine_differs(printer != nullptr,
                      "Wine's AddPrinterW accepts a driver of the calling process's environment "
                      "(\"Windows NT x86\" in a WoW64 process); Windows' spooler, the 64-bit "
                      "service, needs one of its own environment: ERROR_UNKNOWN_PRINTER_DRIVER"),
     "driver for %s only (server %s): %p, %u", conformance::Utf8(other), conformance::Utf8(server),
     printer, conformance::LastError());
  if (printer) ClosePrinter(printer);
  RemoveEverywhere();

  // The WoW64 case the other way round: the driver registered for the server's environment only
  // serves a printer on Windows; Wine looks in the process's environment and gives 1797.
  if (lstrcmpW(server, process) == 0) return;
  if (!ok(RegisterFor(server), "registered for %s: %u", conformance::Utf8(server),
          conformance::LastError()))
    return RemoveEverywhere();
  SetLastError(conformance::Sentinel);
  printer = AddTestPrinter();
  ok(printer != nullptr ||
         wine_differs(!printer && GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER,
                      "Windows' 64-bit spooler creates the printer with its own environment's "
                      "driver for a WoW64 caller; Wine's in-process spooler gives "
                      "ERROR_UNKNOWN_PRINTER_DRIVER (1797)"),
     "driver for the server's environment from a WoW64 process: %p, %u", printer,
     conformance::LastError());
  if (printer) ClosePrinter(printer);
  RemoveEverywhere();
}

// A WoW64 process writes into system32\spool itself: "spool" is among the folders exempt from
// the file system redirector (Microsoft Learn, "File System Redirector"), so the files a 32-bit
// installer copies land where the 64-bit spooler reads them, and not in SysWOW64.
CONFORMANCE_TEST(Wow64WritesIntoSystem32Spool) {
  if (!Wow64()) {
    ok(true, "not a WoW64 process");
    return;
  }
  WCHAR folder[MAX_PATH] = {};
  if (!ok(DirectoryOf(kX64, folder), "x64 folder: %u", conformance::LastError())) return;
  WCHAR path[MAX_PATH];
  PathIn(folder, TEXT("zqenv_wow64.tmp"), path);
  ok(PutFile(path), "written from the WoW64 process: %u", conformance::LastError());
  // The same file seen through the real System32 (Sysnative) and through SysWOW64.
  auto seenAs = [&](LPCWSTR alias) {
    WCHAR other[MAX_PATH] = {};
    int at = -1;
    for (int i = 0; path[i]; ++i)
      if ((path[i] | 0x20) == 's' && (path[i + 1] | 0x20) == 'y' && (path[i + 2] | 0x20) == 's' &&
          (path[i + 3] | 0x20) == 't' && (path[i + 4] | 0x20) == 'e' && (path[i + 5] | 0x20) == 'm' &&
          path[i + 6] == '3' && path[i + 7] == '2') {
        at = i;
        break;
      }
    if (at < 0) return false;
    std::memcpy(other, path, at * sizeof(WCHAR));
    std::memcpy(other + at, alias, lstrlenW(alias) * sizeof(WCHAR));
    std::memcpy(other + at + lstrlenW(alias), path + at + 8, (lstrlenW(path + at + 8) + 1) * sizeof(WCHAR));
    return GetFileAttributesW(other) != INVALID_FILE_ATTRIBUTES;
  };
  ok(seenAs(TEXT("Sysnative")), "the file is in the real System32");
  ok(!seenAs(TEXT("SysWOW64")), "the file is not in SysWOW64");
  DeleteFileW(path);
}
