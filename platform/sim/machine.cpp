// The simulated machine's processor and the process's (machine.h): IsWow64Process2, its older
// companions IsWow64Process and GetNativeSystemInfo, and kernel32's exports.
#include "platform/sim/machine.h"

#include <cstring>

#include "platform/sim/sim.h"

namespace sim {
namespace {

struct MachineModel {
  USHORT native = IMAGE_FILE_MACHINE_AMD64;
  USHORT process = IMAGE_FILE_MACHINE_AMD64;
  bool isWow64Process2Exported = true;
};

MachineModel& model() {
  static MachineModel* instance = new MachineModel;
  return *instance;
}

const bool registered = (RegisterResetHook("machine", [] { model() = MachineModel{}; }), true);

WORD ArchitectureOf(USHORT machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
      return PROCESSOR_ARCHITECTURE_INTEL;
    case IMAGE_FILE_MACHINE_AMD64:
      return PROCESSOR_ARCHITECTURE_AMD64;
    case IMAGE_FILE_MACHINE_ARM64:
      return PROCESSOR_ARCHITECTURE_ARM64;
    default:
      return PROCESSOR_ARCHITECTURE_UNKNOWN;
  }
}

bool Wow64() {
  return model().process == IMAGE_FILE_MACHINE_I386 && model().native != IMAGE_FILE_MACHINE_I386;
}

std::string MachineName(USHORT machine) { return Hex(machine); }

BOOL WINAPI ExportIsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine) {
  Call call("IsWow64Process2", {Ptr(process)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (!processMachine) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  *processMachine = Wow64() ? model().process : static_cast<USHORT>(IMAGE_FILE_MACHINE_UNKNOWN);
  if (nativeMachine) *nativeMachine = model().native;
  call.SetResult("1 process " + MachineName(*processMachine) + " native " +
                 MachineName(model().native));
  return TRUE;
}

}  // namespace

void SetMachines(USHORT nativeMachine, USHORT processMachine) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().native = nativeMachine;
  model().process = processMachine;
}

void SetIsWow64Process2Exported(bool exported) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  model().isWow64Process2Exported = exported;
}

USHORT NativeMachine() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return model().native;
}

USHORT ProcessMachine() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return model().process;
}

const char16_t* EnvironmentOfMachine(USHORT machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
      return u"Windows NT x86";
    case IMAGE_FILE_MACHINE_ARM64:
      return u"Windows ARM64";
    default:
      return u"Windows x64";
  }
}

FARPROC Kernel32Export(const char* name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (name && std::strcmp(name, "IsWow64Process2") == 0 && model().isWow64Process2Exported)
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&ExportIsWow64Process2));
  return nullptr;
}

}  // namespace sim

using sim::Call;

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
  Call call("IsWow64Process", {sim::Ptr(process)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (!wow64) {
    SetLastError(ERROR_NOACCESS);
    return call.Ret<BOOL>(FALSE);
  }
  *wow64 = sim::Wow64() ? TRUE : FALSE;
  call.SetResult(std::string("1 wow64 ") + (*wow64 ? "1" : "0"));
  return TRUE;
}

namespace {

void FillSystemInfo(Call& call, LPSYSTEM_INFO info, USHORT machine) {
  if (!info) return;
  std::memset(info, 0, sizeof *info);
  info->wProcessorArchitecture = sim::ArchitectureOf(machine);
  info->dwPageSize = 4096;
  info->dwNumberOfProcessors = 2;
  info->dwAllocationGranularity = 65536;
  call.SetResult("architecture " + std::to_string(info->wProcessorArchitecture));
}

}  // namespace

// Windows documents no failure for either: a faulted call only shows in the journal.
void GetNativeSystemInfo(LPSYSTEM_INFO info) {
  Call call("GetNativeSystemInfo");
  call.Faulted();
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  USHORT seen = sim::model().native;
  // Emulation hides the machine from an x64 process: it is told it runs on x64.
  if (seen == IMAGE_FILE_MACHINE_ARM64 && sim::model().process == IMAGE_FILE_MACHINE_AMD64)
    seen = IMAGE_FILE_MACHINE_AMD64;
  FillSystemInfo(call, info, seen);
}

// The processor as the process sees it: its own machine (x86 under WoW64, x64 under emulation).
void GetSystemInfo(LPSYSTEM_INFO info) {
  Call call("GetSystemInfo");
  call.Faulted();
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  FillSystemInfo(call, info, sim::model().process);
}
