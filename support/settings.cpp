// The per-user settings and the two-call registry read behind every value the program reads.
#include "support/settings.h"

#include <cstring>

#include "support/log_record.h"
#include "support/product.h"

RegistryRead ReadRegistryValue(HKEY key, LPCWSTR name, DWORD types, LPVOID data, DWORD capacity,
                               DWORD* type, DWORD* bytes) {
  *type = REG_NONE;
  *bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, type, nullptr, bytes) != ERROR_SUCCESS)
    return ValueAbsent;
  if (*type >= 32 || !(types & RegistryTypeBit(*type))) return ValueOfOtherType;
  if (*bytes > capacity) return ValueAbsent;
  DWORD first = *type;
  *bytes = capacity;
  if (RegQueryValueExW(key, name, nullptr, type, static_cast<LPBYTE>(data), bytes) !=
          ERROR_SUCCESS ||
      *type != first)
    return ValueAbsent;
  return ValueRead;
}

// Opening with the right to create makes even a read create the empty key.
bool OpenSettingsKey(RegistryKey* key) {
  WCHAR noClass[1] = {0};
  return RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, noClass, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key->Put(), nullptr) == ERROR_SUCCESS;
}

namespace {

// Settings of another type than theirs, each recorded once a run.
bool LogLevelTypeReported;
bool LogFileTypeReported;

// The record that says a setting's type is not its own, so that the setting counts as absent.
void ReportSettingType(LPCWSTR name, DWORD type, LPCSTR expected) {
  bool* reported =
      lstrcmpiW(name, TEXT("LOGFILE")) == 0 ? &LogFileTypeReported : &LogLevelTypeReported;
  if (*reported) return;
  *reported = true;
  CHAR ansiName[64] = {};
  WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, sizeof ansiName - 1, nullptr, nullptr);
  EmitAsideRecord("ReadSetting - the value %s is of type %u, not %s: it counts as absent", ansiName,
                  static_cast<unsigned>(type), expected);
}

}  // namespace

void ForgetSettingTypeReports() {
  LogLevelTypeReported = false;
  LogFileTypeReported = false;
}

int ReadSettingNumber(LPCWSTR name, int defaultValue) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return defaultValue;
  DWORD type = REG_NONE;
  DWORD size = 0;
  DWORD value = 0;
  // Only a REG_DWORD is a number: the text "0" is not 48.
  switch (ReadRegistryValue(key.Get(), name, RegistryTypeBit(REG_DWORD), &value, sizeof value,
                            &type, &size)) {
    case ValueOfOtherType:
      ReportSettingType(name, type, "REG_DWORD");
      return defaultValue;
    case ValueRead:
      return size == sizeof value ? static_cast<int>(value) : defaultValue;
    default:
      return defaultValue;
  }
}

LPWSTR ReadSettingString(LPCWSTR name, LPWSTR buffer) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return buffer;
  // Read aside, one character more than the caller has, so that the caller's buffer is touched
  // only by a text that fits with its terminator.
  WCHAR text[SettingTextCapacity + 1] = {0};
  DWORD type = REG_NONE;
  DWORD size = 0;
  // Only a text is a text: a number's bytes make no path.
  switch (ReadRegistryValue(key.Get(), name,
                            RegistryTypeBit(REG_SZ) | RegistryTypeBit(REG_EXPAND_SZ), text,
                            SettingTextCapacity * sizeof(WCHAR), &type, &size)) {
    case ValueOfOtherType:
      ReportSettingType(name, type, "REG_SZ or REG_EXPAND_SZ");
      return buffer;
    case ValueRead:
      break;
    default:
      return buffer;
  }
  size_t stored = (size + 1) / sizeof(WCHAR);
  size_t length = 0;
  while (length < stored && text[length]) ++length;
  if (length >= static_cast<size_t>(SettingTextCapacity)) return buffer;  // no room to terminate
  text[length] = 0;
  if (type == REG_EXPAND_SZ) {
    // "%TEMP%\\zq.log": the variables are filled in; an expansion that does not fit is no path.
    WCHAR expanded[SettingTextCapacity] = {0};
    DWORD needed = ExpandEnvironmentStringsW(text, expanded, SettingTextCapacity);
    if (needed == 0 || needed > static_cast<DWORD>(SettingTextCapacity)) return buffer;
    std::memcpy(buffer, expanded, needed * sizeof(WCHAR));
    buffer[needed - 1] = 0;
    return buffer;
  }
  std::memcpy(buffer, text, length * sizeof(WCHAR));
  buffer[length] = 0;
  return buffer;
}
