// Path rules for driver files: plain absolute forms, folders, and the drivers that list a file.
//
// Every deletion of a driver file is judged by these rules first.
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

// The folder a registration's files lie in as the spooler reports it: the folder of its driver
// file (`driverPath`), when that is the environment's driver folder `environmentFolder`
// (normalised) or a sub-folder of it named by a number (the version folder, "x64\3"). Empty when
// it is neither: none of the registration's files is then judged to lie in its folder.
void VersionFolderOf(LPCWSTR driverPath, LPCWSTR environmentFolder, LPWSTR out, int capacity);
// Deletes `file` (normalised) through one handle opened without following a link at its end,
// once the handle's final path is found to lie in `folder` (normalised): no path is resolved
// twice, and a link on the way that leads elsewhere is caught. True when the file is gone, was
// not there (recorded), or is left because it leads outside the folder (recorded); false, with a
// record, when it cannot be deleted.
bool DeleteFileWithin(LPCWSTR file, LPCWSTR folder);
