#include "support/settings_log.h"

#include <cstring>

#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/strings.h"

CHAR LogLine[LogLineCapacity];

// Opening with the right to create makes even a read create the empty key.
bool OpenSettingsKey(RegistryKey* key) {
  WCHAR noClass[1] = {0};
  return RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, noClass, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key->Put(), nullptr) == ERROR_SUCCESS;
}

const BuildStampText BuildStamp = {__DATE__, __TIME__};

namespace {

void AppendPiece(LPCSTR format, ...) {
  CHAR piece[LogPieceCapacity];
  piece[0] = 0;
  va_list arguments;
  va_start(arguments, format);
  BoundedFormatArgs(piece, LogPieceCapacity, format, arguments);
  va_end(arguments);
  BoundedConcat(LogLine, LogLineCapacity, piece);
}

void AppendMessage(LPCSTR format, va_list arguments) {
  CHAR piece[LogPieceCapacity];
  piece[0] = 0;
  BoundedFormatArgs(piece, LogPieceCapacity, format, arguments);
  BoundedConcat(LogLine, LogLineCapacity, piece);
}

void StartRecord() {
  LogLine[0] = 0;
  AppendPiece("ZQPrinter2");
  AppendPiece(" [%s %s] ", BuildStamp.date, BuildStamp.time);
}

}  // namespace

int ReadSettingNumber(LPCWSTR name, int defaultValue) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return defaultValue;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return defaultValue;
  DWORD value = static_cast<DWORD>(defaultValue);
  size = sizeof value;
  if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value),
                       &size) != ERROR_SUCCESS)
    return defaultValue;
  return static_cast<int>(value);
}

LPWSTR ReadSettingString(LPCWSTR name, LPWSTR buffer) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return buffer;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return buffer;
  // Read aside, one character more than the caller has, so that the caller's buffer is touched
  // only by a text that fits with its terminator.
  WCHAR text[SettingTextCapacity + 1] = {0};
  size = SettingTextCapacity * sizeof(WCHAR);
  if (RegQueryValueExW(key.Get(), name, nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size) !=
      ERROR_SUCCESS)
    return buffer;
  size_t stored = (size + 1) / sizeof(WCHAR);
  size_t length = 0;
  while (length < stored && text[length]) ++length;
  if (length >= static_cast<size_t>(SettingTextCapacity)) return buffer;  // no room to terminate
  std::memcpy(buffer, text, length * sizeof(WCHAR));
  buffer[length] = 0;
  return buffer;
}

void DebugLog(LPCSTR format, ...) {
  // Logging must not change what a failing call left for its caller to report.
  LastErrorKeeper keep;
  if (ReadSettingNumber(TEXT("LOGLEVEL"), 1) >= 1) {
    StartRecord();
    va_list arguments;
    va_start(arguments, format);
    AppendMessage(format, arguments);
    va_end(arguments);
    AppendPiece("\r\n");
    EmitDebugLine(LogLine);
  }
}

void DebugLogError(DWORD code, LPCSTR format, ...) {
  LastErrorKeeper keep;
  StartRecord();
  va_list arguments;
  va_start(arguments, format);
  AppendMessage(format, arguments);
  va_end(arguments);
  AppendPiece("\r\n");
  AppendPiece("Last error was: ");
  {
    LocalBlock<WCHAR> systemText(SystemErrorText(code));
    AppendPiece("%ws", systemText ? systemText.Get() : TEXT(""));
  }
  AppendPiece("\r\n");
  EmitDebugLine(LogLine);
}

void EmitDebugLine(LPCSTR line) {
  OutputDebugStringA(line);
  WCHAR path[SettingTextCapacity] = {0};
  ReadSettingString(TEXT("LOGFILE"), path);
  CHAR ansiPath[SettingTextCapacity];
  FILE* file = nullptr;
  if (path[0] && WideCharToMultiByte(CP_ACP, 0, path, -1, ansiPath, SettingTextCapacity, nullptr,
                                     nullptr) > 0) {
    file = fopen(ansiPath, "a+");
  }
  if (!file) {
    OutputDebugStringA("Could not open the debug logging file.");
    return;
  }
  CHAR date[16];
  CHAR time[16];
  _strdate(date);
  _strtime(time);
  fprintf(file, "%s %s - %s", date, time, line);
  fclose(file);
}

bool SafeDeleteFile(LPCWSTR path) {
  if (!path) return true;
  if (lstrlenW(path) == 0) return false;
  if (DeleteFileW(path)) return true;
  if (GetLastError() == ERROR_FILE_NOT_FOUND) {
    DebugLog("SafeDeleteFile - file '%ws' does not already exist", path);
    return true;
  }
  DebugLog("SafeDeleteFile - Cannot delete file '%ws'", path);
  return false;
}

void strCopy(LPVOID destination, LPCVOID source, size_t bytes) {
  if (!destination || !source) {
    DebugLog("strCopy - invalid pointers!!");
    return;
  }
  std::memcpy(destination, source, bytes);
}
