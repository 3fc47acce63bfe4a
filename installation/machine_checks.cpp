#include "installation/machine_checks.h"

#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// IsWow64Process2 exists from Windows 10 (1511) on; the program also runs where it does not.
using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

USHORT MachineOfArchitecture(WORD architecture) {
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      return IMAGE_FILE_MACHINE_I386;
    case PROCESSOR_ARCHITECTURE_AMD64:
      return IMAGE_FILE_MACHINE_AMD64;
    case PROCESSOR_ARCHITECTURE_ARM64:
      return IMAGE_FILE_MACHINE_ARM64;
    default:
      return IMAGE_FILE_MACHINE_UNKNOWN;
  }
}

// The process's own machine as the process sees it (x86 under WoW64, x64 under emulation).
USHORT OwnProcessMachine() {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  return MachineOfArchitecture(info.wProcessorArchitecture);
}

bool QueryThroughIsWow64Process2(MachineArchitecture* machine) {
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
  if (!kernel) return false;
  FARPROC address = GetProcAddress(kernel, "IsWow64Process2");
  if (!address) return false;
  // Called through its real type; the detour through void (*)() is "any function pointer".
  auto isWow64Process2 =
      reinterpret_cast<IsWow64Process2Function>(reinterpret_cast<void (*)()>(address));
  USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
  USHORT native = IMAGE_FILE_MACHINE_UNKNOWN;
  if (!isWow64Process2(GetCurrentProcess(), &process, &native)) return false;
  if (native == IMAGE_FILE_MACHINE_UNKNOWN) return false;
  machine->native = native;
  // Unknown: not a WoW64 process, which an x64 process emulated on ARM64 is not either.
  machine->process = process != IMAGE_FILE_MACHINE_UNKNOWN ? process : OwnProcessMachine();
  if (machine->process == IMAGE_FILE_MACHINE_UNKNOWN) machine->process = native;
  machine->fromIsWow64Process2 = true;
  return true;
}

bool QueryThroughIsWow64Process(MachineArchitecture* machine) {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64)) return false;
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  USHORT native = MachineOfArchitecture(info.wProcessorArchitecture);
  if (native == IMAGE_FILE_MACHINE_UNKNOWN) return false;
  machine->native = native;
  machine->process = wow64 ? static_cast<USHORT>(IMAGE_FILE_MACHINE_I386) : native;
  machine->fromIsWow64Process2 = false;
  return true;
}

bool ProtectedPrintModeOn() {
  DWORD state = 0;
  return ReadPolicyNumber(ProtectedPrintPolicyKey, ProtectedPrintPolicyValue, &state) && state == 1;
}

}  // namespace

bool QueryMachineArchitecture(MachineArchitecture* machine) {
  return QueryThroughIsWow64Process2(machine) || QueryThroughIsWow64Process(machine);
}

const ProcessorRow* ProcessorOfMachine(USHORT machine) {
  for (const ProcessorRow& row : ProcessorTable)
    if (row.machine == machine) return &row;
  return nullptr;
}

LPCWSTR MachineText(USHORT machine) {
  const ProcessorRow* row = ProcessorOfMachine(machine);
  return row ? row->keyword : TEXT("unknown");
}

bool ReadPolicyNumber(LPCWSTR subKey, LPCWSTR valueName, DWORD* value) {
  // The policies key is shared by the 32-bit and 64-bit views of the registry.
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
    return false;
  DWORD type = 0;
  DWORD number = 0;
  DWORD bytes = 0;
  if (ReadRegistryValue(key.Get(), valueName, RegistryTypeBit(REG_DWORD), &number, sizeof number,
                        &type, &bytes) != ValueRead ||
      bytes != sizeof number)
    return false;
  *value = number;
  return true;
}

RunRefusal CheckBeforeChange(InstallerMode mode, TargetProcessor processor) {
  if (mode != Install && mode != Reinstall && mode != Add) return NotRefused;
  MachineArchitecture machine = {};
  // A machine that cannot be told is left to the spooler to judge.
  if (QueryMachineArchitecture(&machine) && RowOf(processor).machine != machine.native) {
    if (mode != Add) return ProcessorNotOfMachine;
    DebugLog(
        "processor %ws is not this machine's own (%ws): its driver is registered as an "
        "additional driver, for clients of this print server",
        RowOf(processor).keyword, MachineText(machine.native));
  }
  if (ProtectedPrintModeOn()) return ProtectedPrintMode;
  return NotRefused;
}

void ShowRefusal(HWND owner, RunRefusal refusal, TargetProcessor processor) {
  WCHAR text[MessageTextCapacity] = {};
  switch (refusal) {
    case ProcessorNotOfMachine: {
      MachineArchitecture machine = {};
      LPCWSTR native =
          QueryMachineArchitecture(&machine) ? MachineText(machine.native) : TEXT("unknown");
      BoundedFormat(text, MessageTextCapacity,
                    TEXT("プロセッサ '%ws' のドライバはこのコンピュータ（%ws）では使用できません!"),
                    RowOf(processor).keyword, native);
      break;
    }
    case ProtectedPrintMode:
      BoundedCopy(
          text, MessageTextCapacity,
          TEXT("Windowsの保護された印刷モードが有効なため、ドライバをインストールできません!"));
      break;
    default:
      return;
  }
  ShowErrorBox(owner, ProductTitle, text);
}

bool PrinterNameUsable(LPCWSTR name) {
  if (!name) return false;
  bool onlySpaces = true;
  int length = 0;
  for (LPCWSTR c = name; *c; ++c) {
    if (++length > MaxPrinterNameLength) return false;
    if (*c == '\\' || *c == ',') return false;
    if (*c != ' ') onlySpaces = false;
  }
  return !onlySpaces;
}

bool RefusePrinterName(HWND owner, InstallerMode mode, LPCWSTR name) {
  if (mode != Install && mode != Reinstall && mode != Add) return false;
  if (PrinterNameUsable(name)) return false;
  WCHAR text[MessageTextCapacity] = {};
  FormatToFit(text, MessageTextCapacity, TEXT("プリンタ名 '%ws' は使用できません!"),
              name ? name : TEXT(""));
  ShowErrorBox(owner, ProductTitle, text);
  return true;
}
