// The per-user settings under HKEY_CURRENT_USER\SettingsKey, read by their own type, and the one
// way registry values are read (also for the machine's policies).
#pragma once

#include "platform/win32.h"
#include "support/handles.h"

// Capacity of a setting's text, in characters (terminator included).
inline constexpr int SettingTextCapacity = MAX_PATH;

// How a registry value read ended.
enum RegistryRead { ValueAbsent, ValueOfOtherType, ValueRead };
// The bit of a value type in a mask of accepted types.
constexpr DWORD RegistryTypeBit(DWORD type) { return 1u << type; }

// Reads a value of an open key in two calls: its type and size, then, when the type is one of
// `types` (RegistryTypeBit masks) and the data fits `capacity` bytes, the data into `data`.
// `*type` is the value's type whenever it exists, `*bytes` the size read. A value that does not
// fit, or that changed its type between the two calls, counts as absent.
[[nodiscard]] RegistryRead ReadRegistryValue(HKEY key, LPCWSTR name, DWORD types, LPVOID data,
                                             DWORD capacity, DWORD* type, DWORD* bytes);

// Opens (creating when missing) HKEY_CURRENT_USER\SettingsKey with full access; every settings
// reader and writer goes through here.
[[nodiscard]] bool OpenSettingsKey(RegistryKey* key);
// The stored 32-bit number, or the default on any failure. Creates the settings key if missing.
int ReadSettingNumber(LPCWSTR name, int defaultValue);
// Fills `buffer` (SettingTextCapacity characters) with the stored text, terminated; leaves it as
// it was on any failure, a text that does not fit included. Returns `buffer`.
LPWSTR ReadSettingString(LPCWSTR name, LPWSTR buffer);
// A new run: a setting of another type than its own is recorded again.
void ForgetSettingTypeReports();
