// Simulated service control manager: manager and service handles with the access they were
// granted, and services as state machines on the virtual clock.
#include "platform/sim/services.h"

#include <map>
#include <memory>

#include "platform/sim/sim.h"

namespace sim {
namespace {

struct Service {
  std::u16string name;
  DWORD state = SERVICE_RUNNING;
  uint64_t since = 0;  // virtual time the pending state began
  uint64_t startMs = 1000;
  uint64_t stopMs = 400;
  uint64_t runCount = 1;  // a fresh machine's spooler has run once, since boot
};

struct ServiceModel {
  std::map<std::u16string, Service> services;  // keyed by upper-case name
};

ServiceModel Fresh() {
  ServiceModel m;
  Service spooler;
  spooler.name = kSpoolerService;
  m.services[Upper(spooler.name)] = spooler;
  return m;
}

ServiceModel& model() {
  static ServiceModel* instance = new ServiceModel(Fresh());
  return *instance;
}

const bool registered = (RegisterResetHook("services", [] { model() = Fresh(); }), true);

// Completes a pending transition whose time has passed.
void Advance(Service& s) {
  uint64_t elapsed = Now() - s.since;
  if (s.state == SERVICE_START_PENDING && s.startMs != kNever && elapsed >= s.startMs) {
    s.state = SERVICE_RUNNING;
    ++s.runCount;
  } else if (s.state == SERVICE_STOP_PENDING && s.stopMs != kNever && elapsed >= s.stopMs) {
    s.state = SERVICE_STOPPED;
  }
}

Service* Find(const std::u16string& name) {
  auto it = model().services.find(Upper(name));
  if (it == model().services.end()) return nullptr;
  Advance(it->second);
  return &it->second;
}

struct ManagerObject {
  DWORD access = 0;
};
struct ServiceObject {
  std::u16string name;
  DWORD access = 0;
};

// Generic rights as the service control manager maps them for a service object.
DWORD MapServiceAccess(DWORD access) {
  DWORD mapped = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (access & GENERIC_READ)
    mapped |= SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
              SERVICE_ENUMERATE_DEPENDENTS;
  if (access & GENERIC_WRITE) mapped |= SERVICE_CHANGE_CONFIG;
  if (access & GENERIC_EXECUTE) mapped |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE;
  if (access & GENERIC_ALL) mapped |= SERVICE_ALL_ACCESS;
  return mapped;
}

void Fill(const Service& s, LPSERVICE_STATUS status) {
  *status = SERVICE_STATUS{};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = s.state;
  status->dwControlsAccepted = s.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  bool pending = s.state == SERVICE_START_PENDING || s.state == SERVICE_STOP_PENDING;
  status->dwCheckPoint = pending ? static_cast<DWORD>((Now() - s.since) / 1000 + 1) : 0;
  status->dwWaitHint = pending ? 2000 : 0;
}

// The service behind a handle when it was opened with the right; else sets the error.
Service* Authorised(SC_HANDLE handle, DWORD right) {
  auto object = Lookup<ServiceObject>(handle, "service");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((object->access & right) != right) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  Service* s = Find(object->name);
  if (!s) SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
  return s;
}

}  // namespace

void SetServiceState(const std::u16string& name, DWORD state) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Service* s = Find(name);
  if (!s) return;
  if (state == SERVICE_RUNNING && s->state != SERVICE_RUNNING) ++s->runCount;
  s->state = state;
  s->since = Now();
}

void SetServiceTimes(const std::u16string& name, uint64_t startMs, uint64_t stopMs) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (Service* s = Find(name)) {
    s->startMs = startMs;
    s->stopMs = stopMs;
  }
}

DWORD ServiceState(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Service* s = Find(name);
  return s ? s->state : 0;
}

bool SpoolerRunning() { return ServiceState(kSpoolerService) == SERVICE_RUNNING; }

uint64_t SpoolerRunCount() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Service* s = Find(kSpoolerService);
  return s ? s->runCount : 0;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

SC_HANDLE OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD access) {
  Call call("OpenSCManagerW", {sim::Utf8(machine), sim::Utf8(database), sim::Hex(access)});
  if (call.Faulted()) return call.Ret<SC_HANDLE>(nullptr);
  if (machine && *machine) {  // only the local machine is modelled
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return call.Ret<SC_HANDLE>(nullptr);
  }
  if (database && lstrcmpiW(database, u"ServicesActive") != 0) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<SC_HANDLE>(nullptr);
  }
  auto object = std::make_shared<sim::ManagerObject>();
  object->access = access | SC_MANAGER_CONNECT;  // connecting is implied by opening
  return call.Ret(static_cast<SC_HANDLE>(sim::NewHandle("service", object)));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD access) {
  Call call("OpenServiceW", {sim::Ptr(manager), sim::Utf8(serviceName), sim::Hex(access)});
  if (call.Faulted()) return call.Ret<SC_HANDLE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sim::Lookup<sim::ManagerObject>(manager, "service")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<SC_HANDLE>(nullptr);
  }
  if (!serviceName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<SC_HANDLE>(nullptr);
  }
  sim::Service* s = sim::Find(serviceName);
  if (!s) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return call.Ret<SC_HANDLE>(nullptr);
  }
  auto object = std::make_shared<sim::ServiceObject>();
  object->name = s->name;
  object->access = sim::MapServiceAccess(access);
  return call.Ret(static_cast<SC_HANDLE>(sim::NewHandle("service", object)));
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  Call call("QueryServiceStatus", {sim::Ptr(service)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::Service* s = sim::Authorised(service, SERVICE_QUERY_STATUS);
  if (!s) return call.Ret<BOOL>(FALSE);
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  sim::Fill(*s, status);
  call.SetResult("1 state " + std::to_string(s->state));
  return TRUE;
}

BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv) {
  (void)argv;
  Call call("StartServiceW", {sim::Ptr(service), std::to_string(argc)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::Service* s = sim::Authorised(service, SERVICE_START);
  if (!s) return call.Ret<BOOL>(FALSE);
  // Any instance, running or on its way up or down, counts as running.
  if (s->state != SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return call.Ret<BOOL>(FALSE);
  }
  s->state = SERVICE_START_PENDING;
  s->since = sim::Now();
  sim::Advance(*s);
  return call.Ret<BOOL>(TRUE);
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  Call call("ControlService", {sim::Ptr(service), std::to_string(control)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (control != SERVICE_CONTROL_STOP) {
    SetLastError(ERROR_INVALID_PARAMETER);  // only the stop control is modelled
    return call.Ret<BOOL>(FALSE);
  }
  sim::Service* s = sim::Authorised(service, SERVICE_STOP);
  if (!s) return call.Ret<BOOL>(FALSE);
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (s->state == SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return call.Ret<BOOL>(FALSE);
  }
  if (s->state != SERVICE_RUNNING) {
    // A service on its way up or down accepts no control; the status is still reported.
    sim::Fill(*s, status);
    SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    return call.Ret<BOOL>(FALSE);
  }
  s->state = SERVICE_STOP_PENDING;
  s->since = sim::Now();
  sim::Advance(*s);
  sim::Fill(*s, status);
  return call.Ret<BOOL>(TRUE);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  Call call("CloseServiceHandle", {sim::Ptr(handle)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  if (!sim::ReleaseHandle(handle, "service")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  return call.Ret<BOOL>(TRUE);
}
