// Per-user diagnostic settings (under HKEY_CURRENT_USER\SettingsKey) and the diagnostic log: ANSI
// records sent to the debugger output and, when LOGFILE names a file, appended to it.
#pragma once

#include <cstddef>

#include "platform/win32.h"
#include "support/handles.h"

// Capacity of a setting's text, in characters (terminator included).
inline constexpr int SettingTextCapacity = MAX_PATH;
// A record is built piece by piece: each piece cut at 255 bytes, the line at 1023.
inline constexpr int LogPieceCapacity = 256;
inline constexpr int LogLineCapacity = 1024;

// This build's date and time as the compiler renders them ("Dec  8 2026", "09:30:00"), which the
// record prefix shows so that records of two builds can be told apart.
struct BuildStampText {
  LPCSTR date;
  LPCSTR time;
};
extern const BuildStampText BuildStamp;

// The record being assembled (process-wide; records come from one thread at a time).
extern CHAR LogLine[LogLineCapacity];

// Opens (creating when missing) HKEY_CURRENT_USER\SettingsKey with full access; every settings
// reader and writer goes through here.
bool OpenSettingsKey(RegistryKey* key);
// The stored 32-bit number, or the default on any failure. Creates the settings key if missing.
int ReadSettingNumber(LPCWSTR name, int defaultValue);
// Fills `buffer` (SettingTextCapacity characters) with the stored text, terminated; leaves it as
// it was on any failure, a text that does not fit included. Returns `buffer`.
LPWSTR ReadSettingString(LPCWSTR name, LPWSTR buffer);

// A plain record, written while LOGLEVEL (default 1) is 1 or more.
void DebugLog(LPCSTR format, ...);
// An error record with the system's text for `code`, written whatever LOGLEVEL says.
void DebugLogError(DWORD code, LPCSTR format, ...);
// Sends an assembled line to the debugger output and appends it to LOGFILE (or to the file
// SetLogFilePath named for this run).
void EmitDebugLine(LPCSTR line);

// Opens the log file at `path` for appending, creating it when missing, without following a link
// there. False when it cannot be opened, or when it must not be written: then `*refusal` says why
// (a symbolic link, a junction or another reparse point at the path, or a file with more than one
// hard link), and the records go to the debugger output only.
bool OpenLogFile(LPCWSTR path, KernelHandle* file, LPCSTR* refusal);

// A record of a wide text behind its label ("label: text"), written whatever LOGLEVEL says unless
// `obeyLevel`. The text is spread over as many pieces as it needs, so that only the line's
// capacity bounds it; its line breaks are written as "\n", so a record stays one line.
void DebugLogText(LPCSTR label, LPCWSTR text, bool obeyLevel = false);
// For the rest of the run, records are appended to this file instead of the one LOGFILE names
// (none or an empty path: LOGFILE again). The path is copied; longer ones are cut at MAX_PATH - 1.
void SetLogFilePath(LPCWSTR path);

// True when the file is gone or there was no path; a missing file is logged but counts as gone.
bool SafeDeleteFile(LPCWSTR path);
// Copies exactly `bytes` bytes; logs and copies nothing when either pointer is missing.
void strCopy(LPVOID destination, LPCVOID source, size_t bytes);
