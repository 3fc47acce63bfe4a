#include "spooler/service.h"

#include <atomic>

#include "support/handles.h"
#include "support/messages.h"

namespace {

// Set by a stop this process asked for, cleared by a start; read by a console event's handler.
std::atomic<bool> StoppedByThisRun{false};

}  // namespace

bool SpoolerStoppedByThisRun() { return StoppedByThisRun.load(); }

bool StartSpoolerAtOnce() {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
  if (!manager) return false;
  ServiceHandle service(OpenServiceW(manager.Get(), SpoolerServiceName, SERVICE_START));
  if (!service) return false;
  if (!StartServiceW(service.Get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
    return false;
  StoppedByThisRun = false;
  return true;
}

DWORD QuerySpoolerState() {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
  if (!manager) return 0;
  // Declared after the manager so that it is closed first.
  ServiceHandle service(OpenServiceW(manager.Get(), SpoolerServiceName, SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS status{};
  return QueryServiceStatus(service.Get(), &status) ? status.dwCurrentState : 0;
}

bool IsSpoolerRunning() { return QuerySpoolerState() == SERVICE_RUNNING; }

bool StartSpooler(bool afterRecordedFailure) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
  if (!manager) {
    ReportError(TEXT("サービスマネージャがオープンできません．"));
    return false;
  }
  ServiceHandle service(
      OpenServiceW(manager.Get(), SpoolerServiceName, SERVICE_QUERY_STATUS | SERVICE_START));
  if (!service) {
    // A start that cleans up after a recorded failure keeps that failure's message; any other
    // names its own, so that no report shows a failure without one.
    if (!afterRecordedFailure) ReportError(TEXT("スプーラの開始ができません!"));
    return false;
  }

  bool result = false;
  DWORD lastState = SERVICE_STOPPED;  // carried into a second attempt
  bool serverOpened = false;
  for (int attempt = 0; attempt < SpoolerStartAttempts && !serverOpened; ++attempt) {
    if (!StartServiceW(service.Get(), 0, nullptr) &&
        GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
      ReportError(TEXT("スプーラの開始ができません!"));
      return false;
    }
    SERVICE_STATUS status{};
    int pauses = 0;
    while (QueryServiceStatus(service.Get(), &status)) {
      lastState = status.dwCurrentState;
      if (lastState == SERVICE_RUNNING || pauses >= SpoolerStartPausesPerAttempt) break;
      Sleep(SpoolerStartPauseMs);
      ++pauses;
    }
    if (lastState != SERVICE_RUNNING) {
      ReportError(TEXT("スプーラの開始ができません!"));
      return false;
    }
    result = true;
    StoppedByThisRun = false;
    // The service can report RUNNING before its print server takes connections.
    PrinterHandle server;
    serverOpened = OpenPrinterW(nullptr, server.Put(), nullptr) && server;
  }
  return result;
}

bool StopSpooler() {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
  if (!manager) {
    ReportError(TEXT("サービスマネージャがオープンできません．"));
    return false;
  }
  ServiceHandle service(OpenServiceW(manager.Get(), SpoolerServiceName,
                                     SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP));
  if (!service) {
    ReportError(TEXT("スプーラサービスのオープンができません!"));
    return false;
  }
  SERVICE_STATUS status{};
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) &&
      GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
    ReportError(TEXT("スプーラの停止ができません!"));
    return false;
  }
  StoppedByThisRun = true;
  // A spooler that never reports STOPPED would hold the removal forever: give it one minute.
  for (int queries = 0; queries < SpoolerStopQueries; ++queries) {
    Sleep(SpoolerStopPauseMs);
    if (!QueryServiceStatus(service.Get(), &status)) return true;  // gone: as good as stopped
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
  }
  ReportErrorCode(ERROR_SERVICE_REQUEST_TIMEOUT, TEXT("スプーラの停止ができません!"));
  return false;
}

bool RestartSpooler() {
  if (IsSpoolerRunning() && !StopSpooler()) return false;
  return StartSpooler();
}
