#include "shell/run_environment.h"

#include "installation/driver_manifest.h"
#include "installation/machine_checks.h"
#include "spooler/service.h"
#include "support/elevation.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// Elevated, not elevated, or not known (the token could not be read).
LPCWSTR ElevationText() {
  bool elevated = false;
  if (!QueryElevation(&elevated)) return TEXT("unknown");
  return elevated ? TEXT("yes") : TEXT("no");
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

// "native x64, process x86 (IsWow64Process2)", or why it is not known.
void MachineRecordText(LPWSTR text, size_t capacity) {
  MachineArchitecture machine = {};
  if (!QueryMachineArchitecture(&machine)) {
    BoundedCopy(text, capacity, TEXT("not known"));
    return;
  }
  BoundedFormat(text, capacity, TEXT("native %ws, process %ws (%ws)"), MachineText(machine.native),
                MachineText(machine.process),
                machine.fromIsWow64Process2 ? TEXT("IsWow64Process2")
                                            : TEXT("IsWow64Process, GetNativeSystemInfo"));
}

// The policy's number, or "absent" (also for a value that is no number).
void PolicyRecordText(LPWSTR text, size_t capacity, LPCWSTR subKey, LPCWSTR valueName,
                      LPCWSTR absentMeans) {
  DWORD value = 0;
  if (ReadPolicyNumber(subKey, valueName, &value))
    BoundedFormat(text, capacity, TEXT("%u"), value);
  else
    BoundedFormat(text, capacity, TEXT("absent%ws"), absentMeans);
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

void LogRunStart(LPCWSTR commandLine, const RunSwitches& switches, bool stationVisible,
                 LPCWSTR driverFolder) {
  WCHAR manifest[64] = {};
  DescribeDriverManifest(manifest, 64);
  WCHAR machine[96] = {};
  MachineRecordText(machine, 96);
  WCHAR protectedPrint[32] = {};
  PolicyRecordText(protectedPrint, 32, ProtectedPrintPolicyKey, ProtectedPrintPolicyValue,
                   TEXT(""));
  WCHAR restrictDrivers[48] = {};
  PolicyRecordText(restrictDrivers, 48, PointAndPrintPolicyKey, RestrictDriverInstallationValue,
                   TEXT(" (administrators only)"));
  // Who answered whether protected print mode is on: the runtime class, or the policy after it.
  ProtectedPrintAnswer mode = AskProtectedPrintMode();
  WCHAR modeText[96] = {};
  if (mode.fromWindowsRuntime)
    BoundedFormat(modeText, 96, TEXT("%ws (WindowsProtectedPrintInfo)"),
                  mode.on ? TEXT("on") : TEXT("off"));
  else
    BoundedFormat(modeText, 96, TEXT("%ws (the policy; WindowsProtectedPrintInfo: 0x%08X)"),
                  mode.on ? TEXT("on") : TEXT("off"), static_cast<unsigned>(mode.runtimeResult));
  WCHAR text[MessageTextCapacity] = {};
  BoundedFormat(text, MessageTextCapacity,
                TEXT("ZQInst %ws; command line: %ws; elevated: %ws; interactive: %ws; spooler: %ws; ")
                    TEXT("machine: %ws; protected print policy: %ws; ")
                        TEXT("RestrictDriverInstallationToAdministrators: %ws; ")
                            TEXT("protected print mode: %ws; driver folder: %ws; driver manifest: %ws"),
                ProductVersion, commandLine ? commandLine : TEXT(""), ElevationText(),
                InteractiveText(switches, stationVisible), SpoolerStateText(), machine,
                protectedPrint, restrictDrivers, modeText, driverFolder ? driverFolder : TEXT("none"),
                manifest);
  WriteRunRecord(text);
}

void LogRunEnd(int exitCode, LPCSTR meaning) {
  WCHAR text[128] = {};
  BoundedFormat(text, 128, TEXT("exit code %d (%hs)"), exitCode, meaning ? meaning : "");
  WriteRunRecord(text);
}
