// The rules by which driver files are judged before one is deleted: a path's plain absolute form,
// whether it lies in a folder, and whether a driver lists it.
#pragma once

#include "platform/win32.h"

// Paths as long as the spooler's own: a longer one is not a file this installer wrote.
inline constexpr int DriverPathCapacity = MAX_PATH;

// The plain absolute form of a path: "X:\" or "\\server\share\" followed by its names, with "/"
// read as "\", empty names and "." dropped and ".." taking the name before it away (never the
// root). False for anything that is not such a path: a relative name, a device path ("\\?\",
// "\\.\"), a name holding ':' or a wildcard, or a name ending in a dot or a blank, which Windows
// would trim to another name.
bool NormalizePath(LPCWSTR path, LPWSTR out, int capacity);
// True when `file` (normalised) lies below `folder` (normalised), letter case aside.
bool LiesInside(LPCWSTR file, LPCWSTR folder);
// The first driver of `drivers` that lists `file` (normalised) among its driver, data,
// configuration, help or dependent files, each listed path compared in its plain form, letter
// case aside; nullptr when none does. The registration named exactly `exceptName` for
// `exceptEnvironment` (none: any environment) is passed over: it is the one being removed.
const DRIVER_INFO_3W* DriverListing(LPCWSTR file, const DRIVER_INFO_3W* drivers, DWORD count,
                                    LPCWSTR exceptName = nullptr,
                                    LPCWSTR exceptEnvironment = nullptr);
