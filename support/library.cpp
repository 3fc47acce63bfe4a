#include "support/library.h"

#include <cstring>

#include "support/handles.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// -1 until the first probe; afterwards the probe's answer for the life of the process.
int commonControlsVersion = -1;

// The conversion APIs count in int; every bound here has already passed BoundedLength, which
// refuses anything above MaxStringCapacity, so the narrowing is safe.
int Units(size_t count) { return static_cast<int>(count); }

}  // namespace

bool WriteSettingNumber(LPCWSTR name, int value) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return false;
  DWORD number = static_cast<DWORD>(value);
  return RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof number) == ERROR_SUCCESS;
}

bool WriteSettingString(LPCWSTR name, LPCWSTR text) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return false;
  size_t length = LoggedLength(text);
  // A missing text has been logged by LoggedLength; what is stored for it is the empty text, so
  // the value's bytes always come from a real, terminated string.
  LPCWSTR stored = text ? text : TEXT("");
  size_t bytes = (length + 1) * sizeof(WCHAR);
  if (bytes > 0xFFFFFFFFu) return false;  // more than a registry value can describe
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(stored),
                        static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

size_t LoggedLength(LPCWSTR text) {
  size_t length = 0;
  if (FAILED(BoundedLength(text, MaxStringCapacity, &length))) {
    DebugLog("StringCchLength failed for '%ws'", text);
    return 0;
  }
  return length;
}

bool LoggedWriteFile(HANDLE file, LPCVOID buffer, DWORD bytes) {
  DWORD written = 0;
  if (WriteFile(file, buffer, bytes, &written, nullptr) && written == bytes) {
    DebugLog("WriteFile - wrote %d bytes", static_cast<int>(bytes));
    return true;
  }
  // A short write that the platform calls a success leaves whatever last error was there; the
  // record shows it as it is.
  DWORD code = GetLastError();
  DebugLogError(code, "WriteFile - problem writing %d bytes from %p to %p", static_cast<int>(bytes),
                buffer, file);
  return false;
}

bool GetFullTempFileName(LPWSTR buffer, size_t capacity) {
  if (!buffer || capacity < TempFileNameCapacity) {
    // A caller's mistake: stop in the debugger. Going on would let the platform write a whole
    // path into a buffer too small for it, so refuse instead.
    DebugBreak();
    return false;
  }
  WCHAR folder[TempFileNameCapacity];
  DWORD length = GetTempPathW(TempFileNameCapacity, folder);
  if (length == 0 || length > MAX_PATH) {  // above MAX_PATH: the size the folder would need
    DebugLog("GetFullTempFileName - FAILED TO GET TEMP PATH");
    return false;
  }
  return GetTempFileNameW(folder, TempFilePrefix, 0, buffer) != 0;
}

int CommonControlsVersion() {
  if (commonControlsVersion != -1) return commonControlsVersion;
  commonControlsVersion = 0;
  HMODULE library = LoadLibraryW(TEXT("comctl32.dll"));
  if (!library) return 0;

  FARPROC getVersion = GetProcAddress(library, "DllGetVersion");
  if (getVersion) {
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info;
    // The export is called through its real type; the detour through void (*)() is the accepted
    // spelling of "any function pointer" and keeps the compilers' cast warnings quiet.
    auto dllGetVersion =
        reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void (*)()>(getVersion));
    HRESULT result = dllGetVersion(&info);
    if (FAILED(result)) {
      DWORD code = GetLastError();
      DebugLogError(code, "DllGetVersion");
    } else {
      // Unsigned arithmetic: an absurd version wraps instead of overflowing.
      commonControlsVersion = static_cast<int>(info.dwMajorVersion * 100 + info.dwMinorVersion);
    }
  }
  // Libraries that cannot tell their version are known by what they export.
  if (commonControlsVersion == 0) {
    if (!GetProcAddress(library, "InitCommonControlsEx"))
      commonControlsVersion = 400;
    else if (!GetProcAddress(library, "InitializeFlatSB"))
      commonControlsVersion = 470;
    else
      commonControlsVersion = 471;
  }
  // The library stays loaded for the rest of the process.
  return commonControlsVersion;
}

LPWSTR ToWide(LPWSTR destination, size_t capacity, LPCSTR source) {
  size_t length = 0;
  if (!destination || FAILED(BoundedLength(source, capacity, &length))) return nullptr;
  // Converting nothing is not a conversion to the platform; the result is simply empty.
  int converted = 0;
  if (length > 0) {
    converted =
        MultiByteToWideChar(CP_ACP, 0, source, Units(length), destination, Units(capacity - 1));
    if (converted == 0) {  // did not fit with its terminator, or could not be converted
      destination[0] = 0;
      return nullptr;
    }
  }
  destination[converted] = 0;
  return destination;
}

LPSTR ToNarrow(LPSTR destination, size_t capacity, LPCWSTR source) {
  size_t length = 0;
  if (!destination || FAILED(BoundedLength(source, capacity, &length))) return nullptr;
  int converted = 0;
  if (length > 0) {
    converted = WideCharToMultiByte(CP_ACP, 0, source, Units(length), destination,
                                    Units(capacity - 1), nullptr, nullptr);
    if (converted == 0) {
      destination[0] = 0;
      return nullptr;
    }
  }
  destination[converted] = 0;
  return destination;
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
