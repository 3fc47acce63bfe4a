// Further library functions of the same making as the settings and the log: the settings writers,
// a length, a copy, a file write and a file deletion that log their failures, a temporary-file
// namer, the common-controls version probe and conversions between ANSI and wide text. The
// installer itself calls none of them.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// The first three characters name every temporary file ("zqp1A.tmp").
inline constexpr WCHAR TempFilePrefix[] = TEXT("zqpr");
// A temporary file's full name needs room for a whole path and its terminator.
inline constexpr size_t TempFileNameCapacity = MAX_PATH + 1;

// Store a REG_DWORD / REG_SZ under the settings key. True when stored; failures are not reported.
[[nodiscard]] bool WriteSettingNumber(LPCWSTR name, int value);
// Stores the text with its terminator. A missing text stores the empty text (its terminator
// alone, 2 bytes) after LoggedLength's record.
[[nodiscard]] bool WriteSettingString(LPCWSTR name, LPCWSTR text);

// True when the file is gone or there was no path; a missing file is logged but counts as gone.
[[nodiscard]] bool SafeDeleteFile(LPCWSTR path);
// Copies exactly `bytes` bytes; logs and copies nothing when either pointer is missing.
void strCopy(LPVOID destination, LPCVOID source, size_t bytes);

// Length in characters; 0, with a record, for a missing or unterminated text.
size_t LoggedLength(LPCWSTR text);
// True when every byte was written; a plain record then, an error record otherwise.
[[nodiscard]] bool LoggedWriteFile(HANDLE file, LPCVOID buffer, DWORD bytes);
// Makes (and creates, empty) a uniquely named file in the user's temporary folder and puts its
// full name in `buffer`. A capacity below TempFileNameCapacity is a programming error.
[[nodiscard]] bool GetFullTempFileName(LPWSTR buffer, size_t capacity);
// major * 100 + minor of the common-controls library (e.g. 610, or 400/470/471 for libraries too
// old to report it); 0 when it cannot be loaded. Computed once per process; the library stays
// loaded.
int CommonControlsVersion();

// Convert a terminated text into `destination` (capacity in its own units, terminator included).
// The source must be terminated within `capacity` of its own units. The result is terminated
// after the units actually converted; none (nullptr) when anything is missing or the converted
// text with its terminator does not fit. Nothing is ever written past the capacity.
LPWSTR ToWide(LPWSTR destination, size_t capacity, LPCSTR source);
LPSTR ToNarrow(LPSTR destination, size_t capacity, LPCWSTR source);
