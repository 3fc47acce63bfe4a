// The simulated machine's processor and the process's: what tests stage about the architecture.
//
// A machine has a native machine type (IMAGE_FILE_MACHINE_I386, _AMD64 or _ARM64) and the program
// runs as one process machine type: the same, or an x86 process under WoW64 (on x64 or ARM64), or
// an x64 process under emulation on ARM64. A reset gives an x64 process on an x64 machine whose
// kernel32 exports IsWow64Process2.
//
// What the calls report, after Microsoft's documentation of each:
//  - IsWow64Process2 (reached through GetProcAddress on "kernel32.dll"; absent before Windows 10
//    1511): the process machine, IMAGE_FILE_MACHINE_UNKNOWN when the process is not a WoW64
//    process (x64 emulation on ARM64 is not WoW64), and the native machine;
//  - IsWow64Process: TRUE only for a WoW64 process (x86 on x64 or on ARM64);
//  - GetNativeSystemInfo: the native processor as the process is let see it: an x64 process
//    emulated on ARM64 is told AMD64 (only IsWow64Process2 tells the truth there);
//  - GetSystemInfo: the process's own processor (x86 under WoW64, x64 under emulation).
// The spooler's environment follows: the service runs as the native machine, and a call that
// names no environment takes the calling process's (spooler.cpp).
#pragma once

#include "platform/sim/windows.h"

namespace sim {

void SetMachines(USHORT nativeMachine, USHORT processMachine);
// False: GetProcAddress(kernel32, "IsWow64Process2") fails with ERROR_PROC_NOT_FOUND, as on
// Windows before 10 (1511).
void SetIsWow64Process2Exported(bool exported);
USHORT NativeMachine();
USHORT ProcessMachine();
// The spooler environment of a machine type: "Windows NT x86", "Windows x64", "Windows ARM64".
const char16_t* EnvironmentOfMachine(USHORT machine);

// The pseudo module handle of kernel32 (GetModuleHandleW("kernel32.dll")), always loaded.
inline HMODULE Kernel32Module() { return reinterpret_cast<HMODULE>(0x7FFB0000); }
// Kernel32's exports the program may ask for by name: IsWow64Process2 when exported; else null.
FARPROC Kernel32Export(const char* name);

}  // namespace sim
