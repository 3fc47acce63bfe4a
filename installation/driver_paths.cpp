// Path rules for driver files: plain absolute forms, folders, and the drivers that list a file.
#include "installation/driver_paths.h"

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
