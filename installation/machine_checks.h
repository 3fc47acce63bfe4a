// What the machine is and what it allows, checked before a run reads or changes anything: the
// native machine and the process's, the protected print policy, and the refusals they lead to.
#pragma once

#include "installation/request.h"
#include "platform/win32.h"

// The machine types (IMAGE_FILE_MACHINE_*) of the machine and of this process. An x86 process on
// x64 or ARM64 runs under WoW64; an x64 process on ARM64 runs under emulation and is told by
// GetNativeSystemInfo that the machine is x64: only IsWow64Process2 tells the truth there.
struct MachineArchitecture {
  USHORT native;
  USHORT process;
  bool fromIsWow64Process2;  // false: IsWow64Process and GetNativeSystemInfo (older Windows)
};
// False when neither way tells the machine.
[[nodiscard]] bool QueryMachineArchitecture(MachineArchitecture* machine);
// The processor whose driver is the machine's own (the spooler creates local printers only with
// a driver of its own environment); null for a machine type no processor row names.
const ProcessorRow* ProcessorOfMachine(USHORT machine);
// "x86", "x64", "arm64" (the rows' keywords), or "unknown".
LPCWSTR MachineText(USHORT machine);

// A policy number under HKEY_LOCAL_MACHINE: false when the key or value is absent or is no
// REG_DWORD.
[[nodiscard]] bool ReadPolicyNumber(LPCWSTR subKey, LPCWSTR valueName, DWORD* value);
// Windows protected print mode: while it is on, third-party printer drivers cannot be installed.
inline constexpr const WCHAR* ProtectedPrintPolicyKey =
    TEXT("Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP");
inline constexpr const WCHAR* ProtectedPrintPolicyValue =
    TEXT("WindowsProtectedPrintGroupPolicyState");
// Who may install printer drivers; absent means administrators only.
inline constexpr const WCHAR* PointAndPrintPolicyKey =
    TEXT("Software\\Policies\\Microsoft\\Windows NT\\Printers\\PointAndPrint");
inline constexpr const WCHAR* RestrictDriverInstallationValue =
    TEXT("RestrictDriverInstallationToAdministrators");

// Why a run is refused before anything is read or changed.
enum RunRefusal {
  NotRefused = 0,
  ProcessorNotOfMachine,  // install or reinstall with another processor than the machine's own
  ProtectedPrintMode,     // install, reinstall or add while protected print mode is on
};
// Decides whether the mode may run on this machine with this processor. `add` with a processor
// that is not the machine's own is allowed (it registers an additional driver, which a plain
// record says); `check` and `uninstall` are never refused.
[[nodiscard]] RunRefusal CheckBeforeChange(InstallerMode mode, TargetProcessor processor);
// Shows the refusal's text in the operations' error box (a record in a quiet run).
void ShowRefusal(HWND owner, RunRefusal refusal, TargetProcessor processor);

// Longest printer name Windows accepts, in UTF-16 units.
inline constexpr int MaxPrinterNameLength = 220;
// Whether Windows can make a printer of this name: not empty nor only spaces, at most
// MaxPrinterNameLength characters, and neither '\' (the server separator) nor ',' (the separator
// of the spooler's own names, such as ",XcvPort ...").
bool PrinterNameUsable(LPCWSTR name);
// Whether the mode would use the printer name; false also when the name is usable or the mode
// does not need one (check, uninstall). Shows "プリンタ名 '...' は使用できません!" when refused.
[[nodiscard]] bool RefusePrinterName(HWND owner, InstallerMode mode, LPCWSTR name);
