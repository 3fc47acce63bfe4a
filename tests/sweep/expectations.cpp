// What each failed call must lead to: the one table of the sweep. The first row whose name and
// narrowing match a failed call applies. Outcomes follow the failure tables of the installer:
// a failed step of an operation ends the run with -1 (and, in install, add and check, a box);
// what the installer tolerates (the hidden window, the dialog's cosmetics, a lookup that counts
// as "not found", a release that fails, a message box that fails to appear) leaves the
// fault-free result.
#include "tests/sweep/sweep.h"

#include <string>

namespace sweep {
namespace {

using sim::CallRecord;

bool Arg(const CallRecord& call, size_t index, const std::string& value) {
  return index < call.args.size() && call.args[index] == value;
}

// A file in the spooler's driver folders.
bool DriverFolderFile(const CallRecord& call) { return sim::ArgContains(call, "spool\\drivers"); }
// The installer lock's boundary: the Administrators group (WinBuiltinAdministratorsSid).
bool AdministratorsSid(const CallRecord& call) { return Arg(call, 0, "26"); }
// The port thread's polls: WaitForSingleObject(port thread, 5).
bool PortPoll(const CallRecord& call) { return Arg(call, 1, "5"); }
// The installer lock's waits: at once, then for the five minutes another installer may hold it.
bool LockWait(const CallRecord& call) {
  return Arg(call, 1, "0") || Arg(call, 1, "300000");
}
// The machine's architecture through kernel32's IsWow64Process2.
bool Kernel32(const CallRecord& call) { return sim::ArgContains(call, "kernel32"); }
bool IsWow64Process2Export(const CallRecord& call) { return Arg(call, 1, "IsWow64Process2"); }
// The machine's policies (HKLM\Software\Policies\...), read before anything changes.
bool Policy(const CallRecord& call) { return sim::ArgContains(call, "Policies"); }
// The drivers of another environment than the machine's own ("Windows x64" in the sweep): what
// uninstall leaves is looked for there.
bool NamedEnvironment(const CallRecord& call) {
  return !Arg(call, 1, "(null)") && !Arg(call, 1, "Windows x64");
}
// Every environment's drivers: which files of a registration another driver lists too.
bool AllEnvironments(const CallRecord& call) { return Arg(call, 1, "all"); }
// A driver folder of another environment than the machine's own ("Windows x64" in the sweep).
bool OtherEnvironmentFolder(const CallRecord& call) {
  return !Arg(call, 1, "(null)") && !Arg(call, 1, "Windows x64");
}
// The "Local Port" monitor's data channel, a quiet run's silent way to add the port.
bool PortChannel(const CallRecord& call) { return sim::ArgContains(call, ",XcvMonitor "); }
// The driver folder of the machine's own environment, named ("Windows x64" in the sweep).
bool OwnEnvironmentFolder(const CallRecord& call) { return Arg(call, 1, "Windows x64"); }
// The print server, not a printer: OpenPrinterW with no name.
bool PrintServer(const CallRecord& call) { return Arg(call, 0, "(null)"); }
// The print server opened to read its spool folder, when the new printer has none of its own.
bool PrintServerToRead(const CallRecord& call) {
  return PrintServer(call) && Arg(call, 1, sim::Hex(SERVER_ACCESS_ENUMERATE));
}
// IsSpoolerRunning's opens: the manager for reading, the service for its status only.
bool SpoolerQuery(const CallRecord& call) {
  return Arg(call, 2, sim::Hex(GENERIC_READ)) || Arg(call, 2, sim::Hex(SERVICE_QUERY_STATUS));
}
// The driver's own files (and its help file), whose deletion is tried again while the spooler
// lets go of them.
bool DriverFile(const CallRecord& call) {
  for (const char* name : {"ZQPrinter_drv2.dll", "ZQPrinter_ui2.dll", "ZQPrinter.PDD", ".hlp"})
    if (sim::ArgContains(call, name)) return true;
  return false;
}

constexpr Outcome kFails = Outcome::kFails;
constexpr Outcome kTolerated = Outcome::kTolerated;
constexpr Outcome kEither = Outcome::kEither;

const std::vector<Expectation> kTable = {
    // ----- start-up: the hidden window takes no part; the platform and the command line do -----
    {"RegisterClassW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the hidden window takes no part in the run"},
    {"LoadIconW", "", {}, kTolerated, ERROR_RESOURCE_NAME_NOT_FOUND, false, false,
     "the hidden window's class icon"},
    {"LoadCursorW", "", {}, kTolerated, ERROR_RESOURCE_NAME_NOT_FOUND, false, false,
     "the hidden window's class cursor"},
    {"CreateWindowExW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the hidden window takes no part in the run"},
    {"DefWindowProcW", "CreateWindowExW", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the hidden window's creation messages"},
    {"GetVersion", "", {}, kFails, ERROR_INVALID_PARAMETER, false, false,
     "an unknown platform is rejected with a box"},
    {"GetFullPathNameW", "", {}, kTolerated, ERROR_INVALID_NAME, false, false,
     "the driver folder is used as given"},
    {"FindResourceW", "", {}, kTolerated, ERROR_RESOURCE_NAME_NOT_FOUND, false, false,
     "a build without its driver carries no driver manifest"},
    // Who may write the driver folder only decides a warning.
    {"GetNamedSecurityInfoW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false, "recorded"},
    {"LocalAlloc", "GetNamedSecurityInfoW", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false, "recorded"},
    {"GetAce", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false, "passed over"},
    {"InitCommonControls", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the progress dialog uses no common control"},
    {"GetCommandLineW", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no arguments: the usage box"},
    {"CommandLineToArgvW", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no arguments: the usage box"},
    {"LocalAlloc", "CommandLineToArgvW", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no arguments: the usage box"},
    // ----- the progress dialog and the main loop -----
    {"DialogBoxParamW", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, true,
     "no dialog, no owner for a box: -1 with the failure on the debugger output"},
    {"SystemParametersInfoW", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false,
     "centring only"},
    {"GetWindowRect", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false, "centring only"},
    {"SetWindowPos", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false, "centring only"},
    {"SetWindowTextW", "DialogBoxParamW", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the dialog's title"},
    {"GetDlgItem", "", {}, kTolerated, ERROR_CONTROL_ID_NOT_FOUND, false, false,
     "item 1002 does not exist anyway"},
    {"EnableWindow", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false,
     "item 1002 does not exist anyway"},
    {"SetPropW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the dialog finds its object without the property"},
    {"GetPropW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the dialog finds its object without the property"},
    {"RemovePropW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the property goes with the window"},
    {"_beginthreadex", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the start failure box; the person closes the dialog"},
    {"DestroyWindow", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the dialog is destroyed again"},
    {"PostQuitMessage", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the main loop does not depend on the dialog's quit message"},
    {"GetMessageW", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false,
     "the main loop ends; the dialog is gone already"},
    {"PostMessageW", "", {}, kTolerated, ERROR_NOT_ENOUGH_QUOTA, false, false,
     "the end of the work is posted again; the port dialog is confirmed twice over"},
    {"WaitForSingleObject", "", PortPoll, kFails, ERROR_INVALID_HANDLE, false, false,
     "a failed wait for the port thread fails the port"},
    {"WaitForSingleObject", "", LockWait, kFails, ERROR_INVALID_HANDLE, false, false,
     "the installer lock cannot be had: its box, nothing read or changed"},
    {"WaitForSingleObject", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false,
     "the worker has ended or ends with the process"},
    {"MessageBoxW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, true,
     "a box that fails to appear changes no result; an unasked question takes its default (No)",
     true},
    {"SetDlgItemTextW", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false,
     "the status line only"},
    // ----- what the run runs on, and one installer at a time -----
    {"GetProcessWindowStation", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a window station that cannot be told about counts as visible: the run is as ever"},
    {"GetUserObjectInformationW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a window station that cannot be told about counts as visible: the run is as ever"},
    {"OpenProcessToken", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the first record says the elevation is unknown"},
    {"GetTokenInformation", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the first record says the elevation is unknown"},
    {"GetStdHandle", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false,
     "no console: a quiet run's texts are records only"},
    {"AttachConsole", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false,
     "no console: a quiet run's texts are records only"},
    {"GetConsoleMode", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false,
     "the output counts as redirected"},
    {"WriteConsoleW", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false,
     "a console line lost; the record stays"},
    {"CreateEventW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no watch for console events: the run is as ever"},
    {"SetConsoleCtrlHandler", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no watch for console events: the run is as ever"},
    {"SetEvent", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false,
     "no console handler waits for the run's end"},
    {"ConvertStringSecurityDescriptorToSecurityDescriptorW", "", {}, kFails,
     ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no DACL for the lock: it cannot be had; its box, nothing read or changed"},
    {"LocalAlloc", "ConvertStringSecurityDescriptorToSecurityDescriptorW", {}, kFails,
     ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no DACL for the lock: it cannot be had; its box, nothing read or changed"},
    {"CreateBoundaryDescriptorW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "no boundary, as where private namespaces are missing: the Global\\ mutex"},
    {"CreateWellKnownSid", "", AdministratorsSid, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the installer lock cannot be had: its box, nothing read or changed"},
    {"CreateWellKnownSid", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false, "not named"},
    {"EqualSid", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false, "not named"},
    {"AddSIDToBoundaryDescriptor", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the installer lock cannot be had: its box, nothing read or changed"},
    {"CreatePrivateNamespaceW", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the installer lock cannot be had: its box, nothing read or changed"},
    {"OpenPrivateNamespaceW", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the installer lock cannot be had: its box, nothing read or changed"},
    {"ClosePrivateNamespace", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false,
     "a failed release"},
    {"DeleteBoundaryDescriptor", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false,
     "a release without a result"},
    {"GetModuleHandleW", "", Kernel32, kTolerated, ERROR_MOD_NOT_FOUND, false, false,
     "the machine is told by IsWow64Process and GetNativeSystemInfo"},
    {"GetProcAddress", "", IsWow64Process2Export, kTolerated, ERROR_PROC_NOT_FOUND, false, false,
     "the machine is told by IsWow64Process and GetNativeSystemInfo"},
    {"IsWow64Process2", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the machine is told by IsWow64Process and GetNativeSystemInfo"},
    {"IsWow64Process", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a machine that cannot be told is left to the spooler to judge"},
    {"GetNativeSystemInfo", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false,
     "Windows documents no failure"},
    {"GetSystemInfo", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false,
     "Windows documents no failure"},
    {"RegOpenKeyExW", "", Policy, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a policy that cannot be read counts as absent (and the first record says so)"},
    {"CreateMutexW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false,
     "the installer lock cannot be had: its box, nothing read or changed"},
    // The Windows Runtime that does not answer leaves the answer to the policy (the first record says so).
    {"RoInitialize", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false, "the policy answers"},
    {"WindowsCreateString", "", {}, kTolerated, ERROR_OUTOFMEMORY, false, false, "the policy answers"},
    {"RoGetActivationFactory", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false, "the policy answers"},
    {"WindowsDeleteString", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false, "a release without a failure"},
    {"RoUninitialize", "", {}, kTolerated, ERROR_INVALID_HANDLE, false, false, "a release without a result"},
    {"ReleaseMutex", "", {}, kTolerated, ERROR_NOT_OWNER, false, false,
     "the lock goes with its handle and the process; the next installer takes it over"},
    // ----- releases: the object stays, nothing else changes -----
    {"LocalFree", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false, "a failed release"},
    {"CloseHandle", "", DriverFolderFile, kEither, ERROR_INVALID_HANDLE, true, false,
     "a driver file's deletion is completed by its closing: the file stays, pending"},
    {"CloseHandle", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false, "a failed release"},
    {"ClosePrinter", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false, "a failed release"},
    {"CloseServiceHandle", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false,
     "a failed release"},
    {"RegCloseKey", "", {}, kTolerated, ERROR_INVALID_HANDLE, true, false, "a failed release"},
    // ----- diagnostics -----
    {"OutputDebugStringA", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "diagnostics only"},
    {"OutputDebugStringW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "diagnostics only"},
    {"RegCreateKeyExW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the log settings keep their defaults"},
    {"RegQueryValueExW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the log settings keep their defaults"},
    {"GetFileAttributesW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "the log file is judged by its handle"},
    {"CreateFileW", "", DriverFolderFile, kEither, ERROR_SHARING_VIOLATION, false, false,
     "a driver file opened to be deleted: tried again, or once for a dependent file"},
    // Outside the spooler's folder: a driver file the replacement's install would copy cannot be read: nothing is removed.
    {"CreateFileW", "", DriverFile, kFails, ERROR_ACCESS_DENIED, false, false, "refused"},
    {"SetFileInformationByHandle", "", {}, kEither, ERROR_ACCESS_DENIED, false, false,
     "a driver file's deletion: tried again, or once for a dependent file"},
    {"GetFinalPathNameByHandleW", "", {}, kTolerated, ERROR_PATH_NOT_FOUND, false, false,
     "a log file or a driver file whose final path is not known is left with a record", true},
    {"CreateFileW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a record without its file copy"},
    {"GetFileInformationByHandle", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a record without its file copy"},
    {"WriteFile", "", {}, kTolerated, ERROR_DISK_FULL, false, false,
     "a record without its file copy"},
    {"FormatMessageW", "", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "a report without the system's text"},
    {"LocalAlloc", "FormatMessageW", {}, kTolerated, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "a report without the system's text"},
    // ----- the port automation polls until the port thread ends -----
    {"EnumThreadWindows", "", {}, kTolerated, ERROR_INVALID_THREAD_ID, false, false,
     "the next poll searches again"},
    {"GetClassNameW", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false,
     "the next poll searches again"},
    {"FindWindowExW", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false,
     "the next poll searches again"},
    {"MapVirtualKeyW", "", {}, kTolerated, ERROR_INVALID_PARAMETER, false, false,
     "the carriage return needs no scan code"},
    {"SetWindowTextW", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "the port dialog is confirmed without the name"},
    {"EndDialog", "", {}, kTolerated, ERROR_INVALID_WINDOW_HANDLE, false, false,
     "the monitor's dialog is confirmed twice over: OK, then a carriage return"},
    {"CreateThread", "", {}, kFails, ERROR_NOT_ENOUGH_MEMORY, false, false, "no port thread"},
    {"AddPortW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "the port is not created"},
    {"XcvDataW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a quiet run's silent route refused: the monitor's dialog, bounded, adds the port"},
    // ----- the spooler, its service, files and the printer's key -----
    {"OpenPrinterW", "", PortChannel, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "a quiet run's silent route refused: the monitor's dialog, bounded, adds the port"},
    {"OpenPrinterW", "", PrintServerToRead, kFails, RPC_S_SERVER_UNAVAILABLE, false, false,
     "the print server's spool folder cannot be read: a failed step"},
    {"OpenPrinterW", "", PrintServer, kTolerated, RPC_S_SERVER_UNAVAILABLE, false, false,
     "the print-server probe after a start is tried once more or not needed"},
    {"LocalAlloc", "-", {}, kEither, ERROR_NOT_ENOUGH_MEMORY, false, false,
     "request copies and query results fail the run; a lookup that counts as not found does not"},
    {"EnumPrintersW", "", {}, kEither, RPC_S_SERVER_UNAVAILABLE, false, false,
     "the printer-name lookup counts a failure as not found"},
    {"QueryServiceStatus", "", {}, kEither, ERROR_ACCESS_DENIED, false, false,
     "IsSpoolerRunning counts a failure as not running; the start's polls fail"},
    {"OpenSCManagerW", "", SpoolerQuery, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "IsSpoolerRunning counts a failure as not running"},
    {"OpenSCManagerW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false,
     "the spooler cannot be stopped or started"},
    {"OpenServiceW", "", SpoolerQuery, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "IsSpoolerRunning counts a failure as not running"},
    {"OpenServiceW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false,
     "the spooler cannot be stopped or started"},
    {"DeleteFileW", "", DriverFile, kTolerated, ERROR_SHARING_VIOLATION, false, false,
     "the driver's own files are tried again"},
    {"DeleteFileW", "", {}, kFails, ERROR_SHARING_VIOLATION, false, false,
     "dependent files are deleted once"},
    {"EnumPrinterDriversW", "", AllEnvironments, kEither, RPC_S_SERVER_UNAVAILABLE, false, false,
     "the files another driver lists: a failed step for the machine's own registration, a record "
     "for another environment's"},
    {"EnumPrinterDriversW", "", NamedEnvironment, kTolerated, RPC_S_SERVER_UNAVAILABLE, false,
     false, "what uninstall leaves of other environments: a record, not a failed uninstall"},
    {"DeletePrinterDriverExW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false,
     "what uninstall leaves of other environments: a record, not a failed uninstall"},
    {"EnumPrinterDriversW", "", {}, kFails, RPC_S_SERVER_UNAVAILABLE, false, false, "a failed step"},
    {"GetPrinterDriverDirectoryW", "", OtherEnvironmentFolder, kTolerated,
     RPC_S_SERVER_UNAVAILABLE, false, false,
     "what uninstall leaves of other environments: a record, not a failed uninstall"},
    // Without its own folder no file is judged ours nor copied; leftover files wait for it.
    {"GetPrinterDriverDirectoryW", "", OwnEnvironmentFolder, kEither, RPC_S_SERVER_UNAVAILABLE,
     false, false, "the folder of the machine's own registration"},
    {"GetPrinterDriverDirectoryW", "", {}, kEither, RPC_S_SERVER_UNAVAILABLE, false, false,
     "the copy's folder fails the step; a removal with nothing registered goes on without the "
     "folder of leftover files"},
    {"CopyFileW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"AddPrinterDriverW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"EnumPortsW", "", {}, kFails, RPC_S_SERVER_UNAVAILABLE, false, false, "a failed step"},
    {"AddPrinterW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"OpenPrinterW", "", {}, kEither, ERROR_ACCESS_DENIED, false, false,
     "the name checks count a failure as absent; removal and verification fail"},
    // A failed step; the named printer's settings put back after the install are a record.
    {"GetPrinterW", "", {}, kEither, ERROR_ACCESS_DENIED, false, false, "a step or a record"},
    {"GetDefaultPrinterW", "", {}, kTolerated, ERROR_FILE_NOT_FOUND, false, false, "no default"},
    {"SetDefaultPrinterW", "", {}, kTolerated, ERROR_INVALID_PRINTER_NAME, false, false,
     "a record", true},
    {"SetPrinterW", "", {}, kTolerated, ERROR_ACCESS_DENIED, false, false, "a record", true},
    {"GetPrinterDataW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"RegOpenKeyExW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"RegSetValueExW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"EnumJobsW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"SetJobW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"DeletePrinter", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"DeletePrinterConnectionW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false,
     "a failed step"},
    {"DeletePrinterDriverW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"ControlService", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
    {"StartServiceW", "", {}, kFails, ERROR_ACCESS_DENIED, false, false, "a failed step"},
};

}  // namespace

const std::vector<Expectation>& Expectations() { return kTable; }

const Expectation* ExpectationFor(const CallRecord& call) {
  for (const Expectation& row : kTable) {
    if (row.name != call.name) continue;
    if (row.caller == "-" && !call.caller.empty()) continue;
    if (!row.caller.empty() && row.caller != "-" && row.caller != call.caller) continue;
    if (row.when && !row.when(call)) continue;
    return &row;
  }
  return nullptr;
}

}  // namespace sweep
