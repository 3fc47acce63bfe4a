// The installer's domain: the modes, the target processors with what each one means, and the
// request a command line stands for. The shell parses into these; the operations work from them.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Numeric values are stored by the worker and select the operation.
enum InstallerMode { Install = 0, Check, Uninstall, Reinstall, Add, Verify, InstallerModeCount };
// Selects the source sub-folder, the destination folder and the driver's environment
// (ProcessorTable). ProcessorCount counts the processors; it is none itself.
enum TargetProcessor { X86 = 0, X64, Arm64, ProcessorCount };

// The strings point into the argument vector; consumers copy what they keep.
struct InstallerRequest {
  InstallerMode mode;
  LPCWSTR driverFolder;       // nullptr: not given
  LPCWSTR printerName;        // nullptr: not given
  TargetProcessor processor;  // X86 for Uninstall, which never reads it
};

// What a processor means, everywhere: its command-line keyword and where its files come from and
// go to. Adding a processor is one enumerator and one row here (plus the environment in the
// simulated spooler, for the tests).
struct ProcessorRow {
  TargetProcessor processor;
  LPCWSTR keyword;          // on the command line, in any letter case
  LPCWSTR sourceSubFolder;  // appended to the driver folder
  LPCWSTR driverSubFolder;  // appended to the spooler's driver directory, cut to its parent
  LPCWSTR environment;      // the driver registration's environment
  USHORT machine;           // the machine type (IMAGE_FILE_MACHINE_*) whose own driver this is
};
// One row per processor, in the order of TargetProcessor.
inline constexpr ProcessorRow ProcessorTable[] = {
    {X86, TEXT("x86"), TEXT("\\x86"), TEXT("w32x86"), TEXT("Windows NT x86"),
     IMAGE_FILE_MACHINE_I386},
    {X64, TEXT("x64"), TEXT("\\x64"), TEXT("x64"), TEXT("Windows x64"), IMAGE_FILE_MACHINE_AMD64},
    {Arm64, TEXT("arm64"), TEXT("\\arm64"), TEXT("arm64"), TEXT("Windows ARM64"),
     IMAGE_FILE_MACHINE_ARM64},
};

constexpr bool ProcessorTableInOrder() {
  size_t row = 0;
  for (const ProcessorRow& entry : ProcessorTable) {
    if (entry.processor != static_cast<TargetProcessor>(row)) return false;
    ++row;
  }
  return row == ProcessorCount;
}
static_assert(ProcessorTableInOrder(), "every processor has its row, in enumeration order");

// The row of a processor.
inline const ProcessorRow& RowOf(TargetProcessor processor) { return ProcessorTable[processor]; }
