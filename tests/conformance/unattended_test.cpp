// What unattended runs rely on: the "Local Port" monitor's data channel (OpenPrinterW of
// ",XcvMonitor Local Port", XcvDataW "AddPort" and "DeletePort" with the monitor's answer in the
// status), named mutexes (existing objects, ownership, abandonment by an ending thread), the
// process's window station flags and the token's elevation query.
#include <initializer_list>
#include <atomic>
#include <cstdio>

#include "tests/conformance/conformance.h"

namespace {

WCHAR kChannel[] = TEXT(",XcvMonitor Local Port");
WCHAR kPortName[] = TEXT("ZQConformancePort");

DWORD PortCommand(HANDLE channel, LPCWSTR command, LPCWSTR port, BOOL* result) {
  DWORD needed = 0xFFFF, status = conformance::Sentinel;
  SetLastError(conformance::Sentinel);
  *result = XcvDataW(channel, command, reinterpret_cast<PBYTE>(const_cast<LPWSTR>(port)),
                     static_cast<DWORD>((lstrlenW(port) + 1) * sizeof(WCHAR)), nullptr, 0, &needed,
                     &status);
  ok(!*result || needed == 0, "XcvDataW %s: %u bytes needed", conformance::Utf8(command),
     unsigned(needed));
  return status;
}

bool PortListed(LPCWSTR name) {
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
  if (needed == 0) return false;
  HLOCAL block = LocalAlloc(LPTR, needed);
  bool found = false;
  if (block && EnumPortsW(nullptr, 1, static_cast<LPBYTE>(block), needed, &needed, &count)) {
    auto* ports = static_cast<PORT_INFO_1W*>(block);
    for (DWORD i = 0; i < count; ++i) found = found || lstrcmpiW(ports[i].pName, name) == 0;
  }
  LocalFree(block);
  return found;
}

CONFORMANCE_TEST(LocalPortMonitorChannelAddsAndDeletesPorts) {
  PRINTER_DEFAULTSW administer = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE channel = nullptr;
  SetLastError(conformance::Sentinel);
  if (!ok(OpenPrinterW(kChannel, &channel, &administer) && channel, "open the channel: %u",
          conformance::LastError()))
    return;
  BOOL result = FALSE;
  DWORD status = PortCommand(channel, TEXT("AddPort"), kPortName, &result);
  ok(result && status == ERROR_SUCCESS, "AddPort: %d, status %u", result, unsigned(status));
  ok(PortListed(kPortName), "the added port is listed");
  status = PortCommand(channel, TEXT("AddPort"), kPortName, &result);
  ok(result && status == ERROR_ALREADY_EXISTS, "AddPort again: %d, status %u", result,
     unsigned(status));
  status = PortCommand(channel, TEXT("DeletePort"), kPortName, &result);
  ok(result && status == ERROR_SUCCESS, "DeletePort: %d, status %u", result, unsigned(status));
  ok(!PortListed(kPortName), "the deleted port is gone");
  SetLastError(conformance::Sentinel);
  ok(!XcvDataW(channel, TEXT("AddPort"), reinterpret_cast<PBYTE>(kPortName), sizeof kPortName,
               nullptr, 0, nullptr, &status) &&
         GetLastError() == ERROR_INVALID_PARAMETER,
     "no place for the size: %u", conformance::LastError());
  ok(ClosePrinter(channel), "close the channel");

  // Only a channel opened to administer the server may add ports (the WDK's local port monitor
  // sample: its XcvData answers AddPort with ERROR_ACCESS_DENIED without that right).
  PRINTER_DEFAULTSW enumerate = {nullptr, nullptr, SERVER_ACCESS_ENUMERATE};
  channel = nullptr;
  if (!ok(OpenPrinterW(kChannel, &channel, &enumerate) && channel, "open to enumerate: %u",
          conformance::LastError()))
    return;
  status = PortCommand(channel, TEXT("AddPort"), kPortName, &result);
  ok((result && status == ERROR_ACCESS_DENIED) ||
         wine_differs(result && status == ERROR_SUCCESS,
                      "Windows' monitor refuses AddPort (ERROR_ACCESS_DENIED) on a channel opened "
                      "without SERVER_ACCESS_ADMINISTER; Wine's does not check the access"),
     "AddPort without the right to administer: %d, status %u", result, unsigned(status));
  if (status == ERROR_SUCCESS) PortCommand(channel, TEXT("DeletePort"), kPortName, &result);
  ClosePrinter(channel);

  channel = nullptr;
  SetLastError(conformance::Sentinel);
  ok(!OpenPrinterW(const_cast<LPWSTR>(TEXT(",XcvMonitor No Such Monitor")), &channel,
                   &administer) &&
         !channel && GetLastError() != conformance::Sentinel && GetLastError() != ERROR_SUCCESS,
     "a monitor that does not exist: %u", conformance::LastError());
  if (channel) ClosePrinter(channel);
}

DWORD WINAPI TakeAndEnd(LPVOID mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
}

DWORD WINAPI ReleaseOthers(LPVOID mutex) {
  SetLastError(conformance::Sentinel);
  BOOL released = ReleaseMutex(static_cast<HANDLE>(mutex));
  return released ? 0 : GetLastError();
}

CONFORMANCE_TEST(NamedMutexesOwnershipAndAbandonment) {
  LPCWSTR name = TEXT("Global\\ZqConformance.Mutex");
  SetLastError(conformance::Sentinel);
  HANDLE first = CreateMutexW(nullptr, FALSE, name);
  ok(first && GetLastError() == ERROR_SUCCESS, "a new mutex: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  HANDLE second = CreateMutexW(nullptr, TRUE, name);
  ok(second && GetLastError() == ERROR_ALREADY_EXISTS, "the same name again: %u",
     conformance::LastError());
  if (!first || !second) return;
  ok(WaitForSingleObject(first, 0) == WAIT_OBJECT_0, "taken");
  ok(WaitForSingleObject(second, 0) == WAIT_OBJECT_0, "taken again by its owner");

  DWORD code = 0;
  HANDLE other = CreateThread(nullptr, 0, ReleaseOthers, first, 0, nullptr);
  ok(other && WaitForSingleObject(other, 5000) == WAIT_OBJECT_0 && GetExitCodeThread(other, &code) &&
         code == ERROR_NOT_OWNER,
     "released by another thread: %u", unsigned(code));
  if (other) CloseHandle(other);
  ok(ReleaseMutex(first) && ReleaseMutex(second), "released twice by its owner");
  SetLastError(conformance::Sentinel);
  ok(!ReleaseMutex(first) && GetLastError() == ERROR_NOT_OWNER, "released once more: %u",
     conformance::LastError());

  // A thread that ends while it owns the mutex abandons it; the next wait takes it over, once.
  HANDLE taker = CreateThread(nullptr, 0, TakeAndEnd, first, 0, nullptr);
  ok(taker && WaitForSingleObject(taker, 5000) == WAIT_OBJECT_0, "the taker ended");
  if (taker) CloseHandle(taker);
  ok(WaitForSingleObject(second, 0) == WAIT_ABANDONED, "taken over after its owner ended");
  ok(ReleaseMutex(second), "released after the takeover");
  ok(WaitForSingleObject(first, 0) == WAIT_OBJECT_0, "abandoned once only");
  ReleaseMutex(first);
  CloseHandle(first);
  CloseHandle(second);

  SetLastError(conformance::Sentinel);
  HANDLE nowhere = CreateMutexW(nullptr, FALSE, TEXT("Global\\ZqConformance\\Nowhere"));
  ok(!nowhere && GetLastError() == ERROR_PATH_NOT_FOUND, "a name with a path: %u",
     conformance::LastError());
  if (nowhere) CloseHandle(nowhere);
}

CONFORMANCE_TEST(WindowStationAndTokenQueries) {
  HWINSTA station = GetProcessWindowStation();
  if (!ok(station != nullptr, "the process's window station")) return;
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  ok(GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE),
     "an interactive window station is visible: %u", unsigned(flags.dwFlags));
  WCHAR name[64] = {};
  ok(GetUserObjectInformationW(station, UOI_NAME, name, sizeof name, &needed) &&
         conformance::Same(name, TEXT("WinSta0")),
     "its name: %s", conformance::Utf8(name));
  needed = 0;
  SetLastError(conformance::Sentinel);
  // GetUserObjectInformation (Microsoft documentation) and ReactOS's tests of it, run on Windows:
  // a buffer too small is ERROR_INSUFFICIENT_BUFFER with the size needed.
  BOOL small = GetUserObjectInformationW(station, UOI_FLAGS, &flags, 4, &needed);
  ok((!small && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed == sizeof flags) ||
         wine_differs(!small && GetLastError() == ERROR_BUFFER_OVERFLOW && needed == sizeof flags,
                      "Wine reports a buffer too small for the flags with ERROR_BUFFER_OVERFLOW; "
                      "Windows documents ERROR_INSUFFICIENT_BUFFER"),
     "too small: %d, %u, %u needed", small, conformance::LastError(), unsigned(needed));

  HANDLE token = nullptr;
  ok(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) && token, "the process's token");
  TOKEN_ELEVATION elevation = {};
  needed = 0;
  ok(token && GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &needed) &&
         needed == sizeof elevation,
     "its elevation: %u bytes", unsigned(needed));
  if (token) CloseHandle(token);
}

}  // namespace

// The installer's lock lives in a private namespace whose boundary holds the Administrators SID;
// its mutex gets a DACL for Administrators and SYSTEM only (the suite runs elevated).
CONFORMANCE_TEST(PrivateNamespacesAndTheLocksDacl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ok(ConvertStringSecurityDescriptorToSecurityDescriptorW(
         TEXT("D:P(A;;GA;;;BA)(A;;GA;;;SY)"), SDDL_REVISION_1, &descriptor, nullptr) &&
         descriptor,
     "descriptor from text: %u", conformance::LastError());
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  ok(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
         size == 16,
     "the Administrators SID: %u bytes", unsigned(size));

  SetLastError(conformance::Sentinel);
  HANDLE boundary = CreateBoundaryDescriptorW(TEXT("ZqConformance.Boundary"), 0);
  if (!boundary) {
    // Windows has private namespaces since Vista ("CreateBoundaryDescriptorW function",
    // learn.microsoft.com/windows/win32/api/namespaceapi/nf-namespaceapi-createboundarydescriptorw).
    // Wine 8 returns NULL here, and its AddSIDToBoundaryDescriptor is an unimplemented stub that
    // ends the process: it must not be called without a boundary.
    ok(wine_differs(GetLastError() == 0 || GetLastError() == conformance::Sentinel,
                    "Wine 8 has no private namespaces: CreateBoundaryDescriptorW returns NULL"),
       "no boundary descriptor: %u", conformance::LastError());
    // The fallback: the Global\ name with the same DACL.
    HANDLE global = CreateMutexW(&security, FALSE, TEXT("Global\\ZqConformance.Lock"));
    ok(global != nullptr, "the Global\\ mutex with the DACL: %u", conformance::LastError());
    if (global) CloseHandle(global);
    LocalFree(descriptor);
    return;
  }
  ok(AddSIDToBoundaryDescriptor(&boundary, administrators), "SID added: %u",
     conformance::LastError());
  HANDLE space = CreatePrivateNamespaceW(&security, boundary, TEXT("ZqConformanceNs"));
  ok(space != nullptr, "namespace made: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  HANDLE again = CreatePrivateNamespaceW(&security, boundary, TEXT("ZqConformanceNs2"));
  ok(!again && GetLastError() == ERROR_ALREADY_EXISTS, "made twice: %u",
     conformance::LastError());
  HANDLE opened = OpenPrivateNamespaceW(boundary, TEXT("ZqConformanceNs2"));
  ok(opened != nullptr, "opened: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  HANDLE inside = CreateMutexW(&security, FALSE, TEXT("ZqConformanceNs\\Lock"));
  ok(inside && GetLastError() == ERROR_SUCCESS, "a mutex in it: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  HANDLE sameThroughOther = CreateMutexW(&security, FALSE, TEXT("ZqConformanceNs2\\Lock"));
  ok(sameThroughOther && GetLastError() == ERROR_ALREADY_EXISTS, "the same through the other alias: %u",
     conformance::LastError());
  SetLastError(conformance::Sentinel);
  HANDLE outside = CreateMutexW(&security, FALSE, TEXT("Global\\Lock.ZqConformance"));
  ok(outside && GetLastError() == ERROR_SUCCESS, "outside it, another object: %u",
     conformance::LastError());
  for (HANDLE h : {inside, sameThroughOther, outside})
    if (h) CloseHandle(h);
  if (opened) ClosePrivateNamespace(opened, 0);
  if (space) ClosePrivateNamespace(space, 0);
  DeleteBoundaryDescriptor(boundary);
  LocalFree(descriptor);
}

// Console events: handlers are added and removed; removing one never added fails.
CONFORMANCE_TEST(ConsoleHandlersAndEvents) {
  struct Handler {
    static BOOL WINAPI Ignore(DWORD) { return TRUE; }
  };
  ok(SetConsoleCtrlHandler(Handler::Ignore, TRUE), "added: %u", conformance::LastError());
  ok(SetConsoleCtrlHandler(Handler::Ignore, FALSE), "removed: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  ok(!SetConsoleCtrlHandler(Handler::Ignore, FALSE) && GetLastError() == ERROR_INVALID_PARAMETER,
     "removed again: %u", conformance::LastError());
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ok(event != nullptr, "event: %u", conformance::LastError());
  if (event) {
    ok(WaitForSingleObject(event, 0) == WAIT_TIMEOUT, "not yet signalled");
    ok(SetEvent(event), "SetEvent");
    ok(WaitForSingleObject(event, 0) == WAIT_OBJECT_0 &&
           WaitForSingleObject(event, 0) == WAIT_OBJECT_0,
       "signalled, and stays so (manual reset)");
    CloseHandle(event);
  }
}

// The installer's lock while another installer holds it: a named mutex owned by another thread.
// WaitForSingleObject (Microsoft documentation): a wait that ends before the object is signalled
// is WAIT_TIMEOUT, for a wait of 0 and for a set time alike; a mutex whose owner ended without
// releasing it is WAIT_ABANDONED to the next wait, which then owns it.
namespace {

struct Holder {
  HANDLE mutex = nullptr;
  std::atomic<LONG> holding{0};
  std::atomic<LONG> end{0};
};

DWORD WINAPI HoldUntilTold(LPVOID parameter) {
  auto* holder = static_cast<Holder*>(parameter);
  if (WaitForSingleObject(holder->mutex, INFINITE) != WAIT_OBJECT_0) return 1;
  holder->holding.store(1);
  while (!holder->end.load()) Sleep(1);
  return 0;  // ends without releasing it
}

}  // namespace

CONFORMANCE_TEST(NamedMutexHeldByAnotherThread) {
  Holder holder;
  holder.mutex = CreateMutexW(nullptr, FALSE, TEXT("Global\\ZqConformance.Held"));
  if (!ok(holder.mutex != nullptr, "CreateMutexW: %u", conformance::LastError())) return;
  HANDLE thread = CreateThread(nullptr, 0, HoldUntilTold, &holder, 0, nullptr);
  if (!ok(thread != nullptr, "the holder")) {
    CloseHandle(holder.mutex);
    return;
  }
  for (int i = 0; i < 10000 && !holder.holding.load(); ++i) Sleep(1);
  ok(holder.holding.load(), "the holder took it");
  ok(WaitForSingleObject(holder.mutex, 0) == WAIT_TIMEOUT, "a wait of 0 while it is held");
  ok(WaitForSingleObject(holder.mutex, 100) == WAIT_TIMEOUT, "a wait of 100 ms while it is held");
  holder.end.store(1);
  DWORD code = 1;
  ok(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code) &&
         code == 0,
     "the holder ended: %u", unsigned(code));
  CloseHandle(thread);
  ok(WaitForSingleObject(holder.mutex, 0) == WAIT_ABANDONED, "abandoned by its ended owner");
  ok(ReleaseMutex(holder.mutex), "owned after the takeover");
  CloseHandle(holder.mutex);
}

// Console output as quiet runs write it: GetStdHandle, AttachConsole to the parent's console,
// GetConsoleMode telling a console from a file or pipe, WriteConsoleW on a console and WriteFile
// elsewhere. (GetConsoleMode, WriteConsole, AttachConsole: Microsoft documentation.)
CONFORMANCE_TEST(ConsoleCallsOnAConsoleAFileAndAPipe) {
  // A file: not a console.
  WCHAR path[MAX_PATH];
  if (ok(conformance::MakeTempFile(TEXT("zqo"), path), "a file")) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    DWORD mode = 0xFFFF, written = 0xFFFF;
    SetLastError(conformance::Sentinel);
    ok(!GetConsoleMode(file, &mode) && GetLastError() == ERROR_INVALID_HANDLE,
       "GetConsoleMode of a file: %u", conformance::LastError());
    SetLastError(conformance::Sentinel);
    ok(!WriteConsoleW(file, TEXT("x"), 1, &written, nullptr) &&
           GetLastError() == ERROR_INVALID_HANDLE,
       "WriteConsoleW to a file: %u", conformance::LastError());
    ok(WriteFile(file, "ok\r\n", 4, &written, nullptr) && written == 4, "WriteFile: %u",
       unsigned(written));
    CloseHandle(file);
    DeleteFileW(path);
  }
  // Standard output. The simulated program is a GUI program started without standard handles;
  // this suite elsewhere is a console program whose output the runs pipe into a filter.
  SetLastError(conformance::Sentinel);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (conformance::OnSimulation) {
    ok(output == nullptr, "a GUI program has no standard output: %p", output);
  } else {
    DWORD mode = 0, written = 0;
    ok(output && output != INVALID_HANDLE_VALUE, "a standard output: %p", output);
    SetLastError(conformance::Sentinel);
    BOOL console = GetConsoleMode(output, &mode);
    ok(console || GetLastError() == ERROR_INVALID_HANDLE, "GetConsoleMode of the output: %u",
       conformance::LastError());
    std::fflush(stdout);
    ok(console ? WriteConsoleW(output, TEXT("console\n"), 8, &written, nullptr) && written == 8
               : WriteFile(output, "pipe\n", 5, &written, nullptr) && written == 5,
       "written to the %s: %u", console ? "console" : "pipe", unsigned(written));
  }
  // The parent's console: none for the simulated program (ERROR_INVALID_HANDLE); a console program
  // has one already (ERROR_ACCESS_DENIED).
  SetLastError(conformance::Sentinel);
  BOOL attached = AttachConsole(ATTACH_PARENT_PROCESS);
  ok(!attached && GetLastError() == (conformance::OnSimulation ? ERROR_INVALID_HANDLE
                                                               : ERROR_ACCESS_DENIED),
     "AttachConsole: %d, %u", attached, conformance::LastError());
  // A console: the process's own screen buffer, where it has one.
  if (!conformance::OnSimulation) {
    SetLastError(conformance::Sentinel);
    HANDLE screen = CreateFileW(TEXT("CONOUT$"), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    // CreateFile (Microsoft documentation, "Consoles"): CONOUT$ opens the console's active screen
    // buffer.
    if (ok(screen != INVALID_HANDLE_VALUE ||
               wine_differs(GetLastError() == ERROR_INVALID_HANDLE,
                            "Wine's console of a program started without a terminal has no "
                            "screen buffer to open; Windows opens the console's screen buffer"),
           "CONOUT$: %u", conformance::LastError()) &&
        screen != INVALID_HANDLE_VALUE) {
      DWORD mode = 0, written = 0;
      ok(GetConsoleMode(screen, &mode), "GetConsoleMode of a console: %u", conformance::LastError());
      ok(WriteConsoleW(screen, TEXT(" \r"), 2, &written, nullptr) && written == 2,
         "WriteConsoleW: %u", unsigned(written));
      CloseHandle(screen);
    }
  }
}
