// What unattended runs rely on: the "Local Port" monitor's data channel (OpenPrinterW of
// ",XcvMonitor Local Port", XcvDataW "AddPort" and "DeletePort" with the monitor's answer in the
// status), named mutexes (existing objects, ownership, abandonment by an ending thread), the
// process's window station flags and the token's elevation query.
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

  // Only a channel opened to administer the server may add ports.
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
                   &administer),
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
