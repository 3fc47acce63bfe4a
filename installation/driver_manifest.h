// The manifest of the driver files a release carries inside its signed program: for every
// processor sub-folder the release ships, the size and SHA-256 of each file of DriverFileSet.
// tools/release.sh writes it as the resource RCDATA "DRIVERMANIFEST"; builds without a driver
// (development, tests) carry none. Its text, one line each, ASCII, lines ended by LF:
//
//   ZQInst driver manifest 1
//   <processor keyword> <file name> <size in bytes> <SHA-256, 64 lower-case hex digits>
//
// The hashes are the system's own SHA-256 (BCrypt, from System32).
#pragma once

#include <cstddef>

#include "installation/request.h"
#include "platform/win32.h"

// The resource's name (type RCDATA).
inline constexpr WCHAR DriverManifestResource[] = TEXT("DRIVERMANIFEST");

// True when this program carries a driver manifest.
bool HasDriverManifest();
// The processors the manifest lists, as their keywords separated by ", " ("x64, x86"), into
// `text`; "none" when the program carries no manifest or it lists none.
void DescribeDriverManifest(LPWSTR text, size_t capacity);
// Verifies the file at `path` (a copy where the spooler loads it) against the manifest's entry
// for `processor` and `fileName` (one of DriverFileSet). True only when the manifest has that
// entry and the file's size and SHA-256 are the ones it states. False otherwise, with the last
// error: ERROR_NOT_FOUND when the program carries no manifest or it has no such entry,
// ERROR_INVALID_DATA when the size or the hash differs, or the platform's error when the file
// cannot be read or hashed. Records nothing: the caller decides what a failure means.
bool VerifyDriverFile(TargetProcessor processor, LPCWSTR fileName, LPCWSTR path);
