// The simulated registry: what tests stage and inspect.
//
// Two hives, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, both empty on a fresh machine. Key and
// value names compare without regard to case and keep the spelling they were created with. Values
// keep their type and bytes exactly as written (a REG_SZ written without a terminator stays so).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// Stage values; missing keys on the path are created. `path` is relative to the root
// ("SOFTWARE\\ZQPrinter2").
void SetRegistryValue(HKEY root, const std::u16string& path, const std::u16string& name,
                      const RegistryValue& value);
void SetRegistryText(HKEY root, const std::u16string& path, const std::u16string& name,
                     const std::u16string& text);  // REG_SZ with its terminator
void SetRegistryNumber(HKEY root, const std::u16string& path, const std::u16string& name,
                       DWORD number);  // REG_DWORD
void CreateRegistryKey(HKEY root, const std::u16string& path);

bool RegistryKeyExists(HKEY root, const std::u16string& path);
std::optional<RegistryValue> GetRegistryValue(HKEY root, const std::u16string& path,
                                              const std::u16string& name);
// Removes a key with everything below it (what the spooler does with a deleted printer's key).
// Handles still open on it keep working on the detached key. False when there is no such key.
bool DeleteRegistryKey(HKEY root, const std::u16string& path);
// Knob: opening or creating this key fails with ERROR_ACCESS_DENIED (a key the user may not touch).
void DenyRegistryKey(HKEY root, const std::u16string& path);

}  // namespace sim
