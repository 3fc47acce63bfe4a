// Path rules for driver files: plain absolute forms, folders, and the drivers that list a file.
#include "installation/driver_paths.h"

#include "support/handles.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

bool IsSeparator(WCHAR c) { return c == TEXT('\\') || c == TEXT('/'); }

// True when `listed`, a path another registration lists, names the same file as `file`.
bool SameFile(LPCWSTR listed, LPCWSTR file) {
  if (!listed || !*listed) return false;
  WCHAR normal[DriverPathCapacity];
  return lstrcmpiW(NormalizePath(listed, normal, DriverPathCapacity) ? normal : listed, file) == 0;
}

bool SameName(LPCWSTR a, LPCWSTR b) { return a && b && lstrcmpW(a, b) == 0; }

}  // namespace

bool NormalizePath(LPCWSTR path, LPWSTR out, int capacity) {
  if (!path) return false;
  int used = 0;
  auto put = [&](WCHAR c) {
    if (used + 1 >= capacity) return false;
    out[used++] = c;
    out[used] = 0;
    return true;
  };
  LPCWSTR rest = nullptr;
  if (((path[0] >= TEXT('A') && path[0] <= TEXT('Z')) ||
       (path[0] >= TEXT('a') && path[0] <= TEXT('z'))) &&
      path[1] == TEXT(':') && IsSeparator(path[2])) {
    if (!put(path[0]) || !put(TEXT(':'))) return false;
    rest = path + 3;
  } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    // "\\server\share": two names that belong to the root.
    LPCWSTR p = path + 2;
    if (!put(TEXT('\\')) || !put(TEXT('\\'))) return false;
    for (int names = 0; names < 2; ++names) {
      if (names == 1 && !put(TEXT('\\'))) return false;
      LPCWSTR start = p;
      while (*p && !IsSeparator(*p)) {
        if (*p == TEXT('?') || *p == TEXT('*') || *p == TEXT(':')) return false;
        if (!put(*p++)) return false;
      }
      if (p == start || (p - start == 1 && *start == TEXT('.'))) return false;
      if (*p) ++p;
    }
    rest = p;
  } else {
    return false;
  }
  const int root = used;
  LPCWSTR p = rest;
  while (*p) {
    while (IsSeparator(*p)) ++p;
    LPCWSTR start = p;
    while (*p && !IsSeparator(*p)) ++p;
    int length = static_cast<int>(p - start);
    if (length == 0 || (length == 1 && start[0] == TEXT('.'))) continue;
    if (length == 2 && start[0] == TEXT('.') && start[1] == TEXT('.')) {
      while (used > root && out[used - 1] != TEXT('\\')) --used;
      if (used > root) --used;  // the backslash before the name
      out[used] = 0;
      continue;
    }
    WCHAR last = start[length - 1];
    if (last == TEXT('.') || last == TEXT(' ')) return false;
    if (!put(TEXT('\\'))) return false;
    for (int i = 0; i < length; ++i) {
      WCHAR c = start[i];
      if (c == TEXT(':') || c == TEXT('*') || c == TEXT('?') || c == TEXT('"') || c == TEXT('<') ||
          c == TEXT('>') || c == TEXT('|') || c < 0x20)
        return false;
      if (!put(c)) return false;
    }
  }
  if (used == root && !put(TEXT('\\'))) return false;  // the root itself: "C:\"
  return true;
}

bool LiesInside(LPCWSTR file, LPCWSTR folder) {
  int length = lstrlenW(folder);
  if (length > 0 && folder[length - 1] == TEXT('\\')) --length;  // a root such as "C:\"
  if (lstrlenW(file) <= length + 1 || file[length] != TEXT('\\')) return false;
  WCHAR head[DriverPathCapacity];
  BoundedCopy(head, length + 1, file);
  WCHAR base[DriverPathCapacity];
  BoundedCopy(base, length + 1, folder);
  return lstrcmpiW(head, base) == 0;
}

const DRIVER_INFO_3W* DriverListing(LPCWSTR file, const DRIVER_INFO_3W* drivers, DWORD count,
                                    LPCWSTR exceptName, LPCWSTR exceptEnvironment) {
  for (DWORD i = 0; i < count; ++i) {
    const DRIVER_INFO_3W& other = drivers[i];
    LPCWSTR otherEnvironment = other.pEnvironment ? other.pEnvironment : TEXT("");
    LPCWSTR environment = exceptEnvironment ? exceptEnvironment : otherEnvironment;
    if (exceptName && SameName(other.pName, exceptName) &&
        lstrcmpiW(otherEnvironment, environment) == 0)
      continue;
    LPCWSTR fields[] = {other.pDriverPath, other.pDataFile, other.pConfigFile, other.pHelpFile};
    for (LPCWSTR listed : fields)
      if (SameFile(listed, file)) return &other;
    for (LPCWSTR listed = other.pDependentFiles; listed && *listed; listed += lstrlenW(listed) + 1)
      if (SameFile(listed, file)) return &other;
  }
  return nullptr;
}

void VersionFolderOf(LPCWSTR driverPath, LPCWSTR environmentFolder, LPWSTR out, int capacity) {
  out[0] = 0;
  WCHAR folder[DriverPathCapacity];
  if (!environmentFolder[0] || !driverPath || !NormalizePath(driverPath, folder, DriverPathCapacity))
    return;
  int cut = lstrlenW(folder);
  while (cut > 0 && folder[cut - 1] != TEXT('\\')) --cut;
  if (cut <= 1) return;
  folder[cut - 1] = 0;  // the driver file's folder
  if (lstrcmpiW(folder, environmentFolder) != 0) {
    if (!LiesInside(folder, environmentFolder)) return;
    int length = lstrlenW(environmentFolder);
    LPCWSTR name = folder + length + (environmentFolder[length - 1] == TEXT('\\') ? 0 : 1);
    for (LPCWSTR c = name; *c; ++c)
      if (*c < TEXT('0') || *c > TEXT('9')) return;  // a deeper folder, or one not a version
  }
  BoundedCopy(out, static_cast<size_t>(capacity), folder);
}

bool DeleteFileWithin(LPCWSTR file, LPCWSTR folder) {
  // DELETE access and every sharing, as DeleteFileW asks; a link at the end is opened as itself.
  KernelHandle handle(CreateFileW(file, DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
      DebugLog("SafeDeleteFile - file '%ws' does not already exist", file);
      return true;
    }
    LastErrorKeeper keep;
    DebugLog("SafeDeleteFile - Cannot delete file '%ws'", file);
    return false;
  }
  WCHAR final[DriverPathCapacity + 8];
  WCHAR normal[DriverPathCapacity];
  DWORD length = GetFinalPathNameByHandleW(handle.Get(), final, DriverPathCapacity + 8,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  // "\\?\C:\...": the plain form follows the prefix; any other form is no file of the folder.
  bool inside = length > 4 && length < DriverPathCapacity + 8 && final[0] == TEXT('\\') &&
                final[1] == TEXT('\\') && final[2] == TEXT('?') && final[3] == TEXT('\\') &&
                NormalizePath(final + 4, normal, DriverPathCapacity) && LiesInside(normal, folder);
  if (!inside) {
    DebugLog("RemoveDriver - file '%ws' is left: it leads to '%ws', outside the driver folder '%ws'",
             file, length ? final : TEXT(""), folder);
    return true;
  }
  FILE_DISPOSITION_INFO gone = {TRUE};
  if (!SetFileInformationByHandle(handle.Get(), FileDispositionInfo, &gone, sizeof gone)) {
    LastErrorKeeper keep;
    DebugLog("SafeDeleteFile - Cannot delete file '%ws'", file);
    return false;
  }
  return true;  // gone when the handle is closed, now
}
