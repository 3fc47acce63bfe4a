// The service control manager as the spooler control uses it: access rights, the codes of a
// start while running (1056) and a stop while stopped (1062), and the states in between.
#include "tests/conformance/conformance.h"

namespace {

constexpr DWORD kControlRights = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;

// Polls until the service reaches `state` (at most 200 polls of 50 ms, on the clock of the
// system, which the simulated Windows runs virtually).
bool WaitForState(SC_HANDLE service, DWORD state, SERVICE_STATUS* status) {
  for (int i = 0; i < 200; ++i) {
    if (!QueryServiceStatus(service, status)) return false;
    if (status->dwCurrentState == state) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace

CONFORMANCE_TEST(ServiceManagerOpensTheSpooler) {
  SetLastError(conformance::Sentinel);
  // The spooler query's rights: the manager to read.
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_READ);
  ok(manager != nullptr, "OpenSCManagerW: %u", conformance::LastError());
  if (!manager) return;
  SetLastError(conformance::Sentinel);
  SC_HANDLE missing = OpenServiceW(manager, TEXT("ZqNoSuchService"), SERVICE_QUERY_STATUS);
  ok(!missing && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST, "missing service: %p %u",
     static_cast<void*>(missing), conformance::LastError());
  SC_HANDLE service = OpenServiceW(manager, TEXT("Spooler"), kControlRights);
  ok(service != nullptr, "OpenServiceW(Spooler): %u", conformance::LastError());
  // The name is not case-sensitive.
  SC_HANDLE again = OpenServiceW(manager, TEXT("spooler"), SERVICE_QUERY_STATUS);
  ok(again != nullptr, "OpenServiceW(spooler): %u", conformance::LastError());
  if (again) CloseServiceHandle(again);
  if (service) {
    SERVICE_STATUS status = {};
    ok(QueryServiceStatus(service, &status), "QueryServiceStatus");
    ok(status.dwCurrentState == SERVICE_RUNNING, "the spooler runs: state %u",
       unsigned(status.dwCurrentState));
    ok((status.dwServiceType & SERVICE_WIN32_OWN_PROCESS) != 0, "type %#x",
       unsigned(status.dwServiceType));
    ok(CloseServiceHandle(service), "CloseServiceHandle");
  }
  ok(CloseServiceHandle(manager), "CloseServiceHandle(manager)");
  SetLastError(conformance::Sentinel);
  ok(!CloseServiceHandle(nullptr) && GetLastError() == ERROR_INVALID_HANDLE,
     "closing no handle: %u", conformance::LastError());
}

CONFORMANCE_TEST(ServiceRightsAreChecked) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager ? OpenServiceW(manager, TEXT("Spooler"), SERVICE_QUERY_STATUS) : nullptr;
  ok(service != nullptr, "OpenServiceW(query only): %u", conformance::LastError());
  if (service) {
    SetLastError(conformance::Sentinel);
    ok(!StartServiceW(service, 0, nullptr) && GetLastError() == ERROR_ACCESS_DENIED,
       "start without the right: %u", conformance::LastError());
    SERVICE_STATUS status = {};
    SetLastError(conformance::Sentinel);
    ok(!ControlService(service, SERVICE_CONTROL_STOP, &status) &&
           GetLastError() == ERROR_ACCESS_DENIED,
       "stop without the right: %u", conformance::LastError());
    CloseServiceHandle(service);
  }
  if (manager) CloseServiceHandle(manager);
}

// With the spooler control's own rights: the manager opened with GENERIC_EXECUTE, the service to
// query and start, or to query and stop.
CONFORMANCE_TEST(ServiceStopAndStartCodes) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE);
  SC_HANDLE service = manager ? OpenServiceW(manager, TEXT("Spooler"), kControlRights) : nullptr;
  SC_HANDLE starter =
      manager ? OpenServiceW(manager, TEXT("Spooler"), SERVICE_QUERY_STATUS | SERVICE_START) : nullptr;
  SC_HANDLE stopper =
      manager ? OpenServiceW(manager, TEXT("Spooler"), SERVICE_QUERY_STATUS | SERVICE_STOP) : nullptr;
  ok(starter && stopper, "the service to start and to stop: %u", conformance::LastError());
  if (!starter || !stopper) {
    if (starter) CloseServiceHandle(starter);
    if (stopper) CloseServiceHandle(stopper);
    starter = stopper = nullptr;
  }
  ok(service != nullptr, "OpenServiceW: %u", conformance::LastError());
  if (!service) {
    if (manager) CloseServiceHandle(manager);
    return;
  }
  SERVICE_STATUS status = {};
  // Start while running.
  SetLastError(conformance::Sentinel);
  ok(!StartServiceW(starter ? starter : service, 0, nullptr) &&
         GetLastError() == ERROR_SERVICE_ALREADY_RUNNING,
     "start while running: %u", conformance::LastError());
  // Stop: accepted, pending or stopped at once, then stopped.
  SetLastError(conformance::Sentinel);
  BOOL stopped = ControlService(stopper ? stopper : service, SERVICE_CONTROL_STOP, &status);
  ok(stopped, "stop: %u", conformance::LastError());
  ok(status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED,
     "state after the stop: %u", unsigned(status.dwCurrentState));
  ok(WaitForState(service, SERVICE_STOPPED, &status), "stopped: state %u",
     unsigned(status.dwCurrentState));
  // Stop while stopped.
  SetLastError(conformance::Sentinel);
  ok(!ControlService(stopper ? stopper : service, SERVICE_CONTROL_STOP, &status) &&
         GetLastError() == ERROR_SERVICE_NOT_ACTIVE,
     "stop while stopped: %u", conformance::LastError());
  ok(status.dwCurrentState == SERVICE_STOPPED, "the status still tells stopped: %u",
     unsigned(status.dwCurrentState));
  // Start again.
  SetLastError(conformance::Sentinel);
  ok(StartServiceW(starter ? starter : service, 0, nullptr), "start: %u", conformance::LastError());
  ok(WaitForState(service, SERVICE_RUNNING, &status), "running again: state %u",
     unsigned(status.dwCurrentState));
  if (starter) CloseServiceHandle(starter);
  if (stopper) CloseServiceHandle(stopper);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}
