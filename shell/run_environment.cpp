#include "shell/run_environment.h"

#include "spooler/service.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// Elevated, not elevated, or not known (the token could not be read).
LPCWSTR ElevationText() {
  KernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return TEXT("unknown");
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size))
    return TEXT("unknown");
  return elevation.TokenIsElevated ? TEXT("yes") : TEXT("no");
}

LPCWSTR SpoolerStateText() {
  switch (QuerySpoolerState()) {
    case SERVICE_RUNNING:
      return TEXT("running");
    case SERVICE_STOPPED:
      return TEXT("stopped");
    case SERVICE_START_PENDING:
      return TEXT("starting");
    case SERVICE_STOP_PENDING:
      return TEXT("stopping");
    case 0:
      return TEXT("not known (the service cannot be queried)");
    default:
      return TEXT("paused or pausing");
  }
}

LPCWSTR InteractiveText(const RunSwitches& switches, bool stationVisible) {
  if (!stationVisible) return TEXT("no: the window station is not visible, the run is quiet");
  return switches.quiet ? TEXT("yes, the run is quiet (/quiet)") : TEXT("yes");
}

void WriteRunRecord(LPCWSTR text) { DebugLogText("Run", text, !IsQuietRun()); }

}  // namespace

bool WindowStationVisible() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  DWORD size = 0;
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &size))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void LogRunStart(LPCWSTR commandLine, const RunSwitches& switches, bool stationVisible) {
  WCHAR text[MessageTextCapacity] = {};
  BoundedFormat(text, MessageTextCapacity,
                TEXT("ZQInst %ws; command line: %ws; elevated: %ws; interactive: %ws; spooler: %ws"),
                ProductVersion, commandLine ? commandLine : TEXT(""), ElevationText(),
                InteractiveText(switches, stationVisible), SpoolerStateText());
  WriteRunRecord(text);
}

void LogRunEnd(int exitCode, LPCSTR meaning) {
  WCHAR text[128] = {};
  BoundedFormat(text, 128, TEXT("exit code %d (%hs)"), exitCode, meaning ? meaning : "");
  WriteRunRecord(text);
}
