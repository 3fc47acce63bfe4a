// Per-user diagnostic settings (under HKEY_CURRENT_USER\SettingsKey) and the diagnostic log: ANSI
// records sent to the debugger output and, when LOGFILE names a file, appended to it.
#pragma once

#include "platform/win32.h"
#include "support/handles.h"
#include "support/log_format.h"
#include "support/settings.h"

// This build's date and time as the compiler renders them ("Dec  8 2026", "09:30:00"), which the
// record prefix shows so that records of two builds can be told apart.
struct BuildStampText {
  LPCSTR date;
  LPCSTR time;
};
extern const BuildStampText BuildStamp;

// The record being assembled by this thread. Each thread has its own: a worker left running
// when the person closes the dialog still logs while the main thread writes the run's last record.
extern thread_local CHAR LogLine[LogLineCapacity];

// A plain record, written while LOGLEVEL (default 1) is 1 or more.
void DebugLog(LPCSTR format, ...);
// An error record with the system's text for `code`, written whatever LOGLEVEL says.
void DebugLogError(DWORD code, LPCSTR format, ...);
// Sends an assembled line to the debugger output and appends it to LOGFILE (or to the file
// SetLogFilePath named for this run).
void EmitDebugLine(LPCSTR line);

// Opens the log file at `path` for appending, creating it when missing, without following a link
// there or on the way. False when it cannot be opened, or when it must not be written: then
// `*refusal` says why (a symbolic link, a junction or another reparse point at the path, a file
// with more than one hard link, a final path that is not `path` made absolute, because a folder
// on the way is a link; with `ownLogOnly`, an existing file that is neither empty nor begins with
// a record of ours), and the records go to the debugger output only. A file it created and then
// refused is deleted again.
[[nodiscard]] bool OpenLogFile(LPCWSTR path, KernelHandle* file, LPCSTR* refusal,
                               bool ownLogOnly = false);

// A record of a wide text behind its label ("label: text"), written whatever LOGLEVEL says unless
// `obeyLevel`. The text is spread over as many pieces as it needs, so that only the line's
// capacity bounds it; its line breaks are written as "\n", so a record stays one line.
void DebugLogText(LPCSTR label, LPCWSTR text, bool obeyLevel = false);
// For the rest of the run, records are appended to this file instead of the one LOGFILE names
// (none or an empty path: LOGFILE again). The path is copied; longer ones are cut at MAX_PATH - 1.
void SetLogFilePath(LPCWSTR path);
