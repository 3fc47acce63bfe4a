// The log file: which one a run writes, opened without following a link, its mark, the writes.
#include <cstring>

#include "support/elevation.h"
#include "support/log_record.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// The run's own log file (SetLogFilePath); empty: LOGFILE names it.
WCHAR RunLogFile[SettingTextCapacity];
// The last log path refused, so that the reason is recorded once per path.
WCHAR RefusedLogFile[SettingTextCapacity];

constexpr CHAR LinkRefusal[] = "it is a symbolic link, a junction or another reparse point";
constexpr CHAR PathRefusal[] = "its final path is another: a folder on the way is a link";
constexpr CHAR ForeignRefusal[] =
    "it is no log of ours: an elevated run appends LOGFILE's records only to an empty file or one "
    "that begins with a record of ours";

// Whether the process is elevated, asked once per run (SetLogFilePath forgets it); one that cannot
// be told counts as elevated.
int Elevated = -1;
bool ElevatedRun() {
  if (Elevated < 0) Elevated = CountsAsElevated() ? 1 : 0;
  return Elevated == 1;
}

// True when the handle reached the file at `path` made absolute: its final path is that path,
// letter case aside, so no folder on the way was a link.
bool ReachedAsAsked(HANDLE file, LPCWSTR path) {
  WCHAR asked[MAX_PATH];
  WCHAR reached[MAX_PATH + 8];
  DWORD askedLength = GetFullPathNameW(path, MAX_PATH, asked, nullptr);
  DWORD reachedLength = GetFinalPathNameByHandleW(file, reached, MAX_PATH + 8,
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (askedLength == 0 || askedLength >= MAX_PATH || reachedLength == 0 ||
      reachedLength >= MAX_PATH + 8)
    return false;
  // "\\?\C:\..." for a drive, "\\?\UNC\server\share\..." for a share.
  auto startsWith = [&reached](LPCWSTR prefix) {
    int i = 0;
    while (prefix[i] && reached[i] == prefix[i]) ++i;
    return prefix[i] == 0;
  };
  if (startsWith(TEXT("\\\\?\\UNC\\")))
    return asked[0] == TEXT('\\') && asked[1] == TEXT('\\') &&
           lstrcmpiW(reached + 8, asked + 2) == 0;
  if (startsWith(TEXT("\\\\?\\"))) return lstrcmpiW(reached + 4, asked) == 0;
  return false;
}

// True when the file is empty or begins with a record of ours: "MM/DD/YY HH:MM:SS - ZQPrinter2 [",
// after the UTF-8 mark of a run's own log.
bool HoldsOurLog(HANDLE file) {
  CHAR head[48] = {};
  DWORD read = 0;
  if (!ReadFile(file, head, sizeof head - 1, &read, nullptr)) return false;
  if (read == 0) return true;
  LPCSTR text = std::strncmp(head, "\xEF\xBB\xBF", 3) == 0 ? head + 3 : head;
  return std::strlen(text) >= 32 && text[2] == '/' && text[5] == '/' && text[11] == ':' &&
         text[14] == ':' && std::strncmp(text + 17, " - ZQPrinter2 [", 15) == 0;
}

// Records on the debugger output, once per path, why the log file is not written.
void ReportRefusedLogFile(LPCWSTR path, LPCSTR ansiPath, LPCSTR reason) {
  if (lstrcmpiW(RefusedLogFile, path) == 0) return;
  BoundedCopy(RefusedLogFile, SettingTextCapacity, path);
  EmitAsideRecord(
      "EmitDebugLine - the log file '%s' is not written: %s; the records go to the "
      "debugger output only",
      ansiPath, reason);
}

// The UTF-8 byte-order mark that starts a run's own log file, so that editors and viewers on any
// code page read it as UTF-8.
constexpr CHAR Utf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Writes the mark into a file opened for appending that is still empty: a file this run creates.
// A file that already holds records (of earlier runs) gets none in its middle.
void MarkNewUtf8File(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(file, &information)) return;
  if (information.nFileSizeLow != 0 || information.nFileSizeHigh != 0) return;
  DWORD written = 0;
  WriteFile(file, Utf8ByteOrderMark, sizeof Utf8ByteOrderMark - 1, &written, nullptr);
}

// The ANSI line in UTF-8, for a line that was not assembled here.
void AnsiLineToUtf8(LPCSTR line, LPSTR utf8, int capacity) {
  utf8[0] = 0;
  WCHAR wide[LogLineCapacity];
  int length = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, LogLineCapacity);
  if (length <= 0) return;
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, capacity, nullptr, nullptr) <= 0) utf8[0] = 0;
}

}  // namespace

bool OpenLogFile(LPCWSTR path, KernelHandle* file, LPCSTR* refusal, bool ownLogOnly) {
  *refusal = nullptr;
  file->Reset();
  // A link at the path is looked at, not followed: the attributes are the link's own.
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    *refusal = LinkRefusal;
    return false;
  }
  // Appending only (every write lands at the end, as "a+" does, also beside another writer),
  // created when missing; a link that appeared since is opened as itself and judged below. A
  // file this call creates may have to go again: it is opened with the right to delete it.
  const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE |
                       (ownLogOnly ? GENERIC_READ : 0);
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  KernelHandle opened(CreateFileW(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr));
  bool created = false;
  if (!opened && GetLastError() == ERROR_FILE_NOT_FOUND) {
    opened.Reset(CreateFileW(path, access | DELETE, share, nullptr, CREATE_NEW, flags, nullptr));
    created = static_cast<bool>(opened);
  }
  if (!opened) return false;
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(opened.Get(), &information)) return false;
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    *refusal = LinkRefusal;
    return false;
  }
  if (information.nNumberOfLinks > 1) {
    // Another name of the same file may lie anywhere on the volume.
    *refusal = "the file has more than one hard link";
    return false;
  }
  if (!ReachedAsAsked(opened.Get(), path)) {
    if (created) {
      FILE_DISPOSITION_INFO gone = {TRUE};
      SetFileInformationByHandle(opened.Get(), FileDispositionInfo, &gone, sizeof gone);
    }
    *refusal = PathRefusal;
    return false;
  }
  if (ownLogOnly && !created && !HoldsOurLog(opened.Get())) {
    *refusal = ForeignRefusal;
    return false;
  }
  file->Reset(opened.Release());
  return true;
}

void EmitLines(LPCSTR line, LPCSTR utf8Line) {
  OutputDebugStringA(line);
  WCHAR path[SettingTextCapacity] = {0};
  const bool utf8 = RunLogFile[0] != 0;
  if (utf8) {
    BoundedCopy(path, SettingTextCapacity, RunLogFile);
  } else {
    ReadSettingString(TEXT("LOGFILE"), path);
  }
  CHAR ansiPath[SettingTextCapacity];
  KernelHandle file;
  LPCSTR refusal = nullptr;
  if (path[0] && WideCharToMultiByte(CP_ACP, 0, path, -1, ansiPath, SettingTextCapacity, nullptr,
                                     nullptr) > 0) {
    // LOGFILE (and the %TEMP% it may name) is the unelevated user's to set: an elevated run
    // appends only to a log of ours there. The /log path is the administrator's own.
    (void)OpenLogFile(path, &file, &refusal, !utf8 && ElevatedRun());
  }
  if (refusal) {
    ReportRefusedLogFile(path, ansiPath, refusal);
    return;
  }
  if (!file) {
    OutputDebugStringA("Could not open the debug logging file.");
    return;
  }
  RefusedLogFile[0] = 0;  // written to again: a later link there is reported anew
  CHAR date[16];
  CHAR time[16];
  _strdate(date);
  _strtime(time);
  // The record's own CR LF reaches the file as it is. The converted line lives as long as the
  // record that may point at it.
  CHAR converted[LogLineCapacity * Utf8Scale];
  if (utf8) {
    MarkNewUtf8File(file.Get());
    if (!utf8Line) {
      AnsiLineToUtf8(line, converted, LogLineCapacity * Utf8Scale);
      utf8Line = converted;
    }
  }
  CHAR record[LogLineCapacity * Utf8Scale + 32];
  BoundedFormat(record, sizeof record, "%s %s - %s", date, time, utf8 ? utf8Line : line);
  DWORD written = 0;
  WriteFile(file.Get(), record, static_cast<DWORD>(std::strlen(record)), &written, nullptr);
}

void EmitDebugLine(LPCSTR line) { EmitLines(line, nullptr); }

void SetLogFilePath(LPCWSTR path) {
  RunLogFile[0] = 0;
  Elevated = -1;
  ForgetSettingTypeReports();
  RefusedLogFile[0] = 0;  // a refused path is reported again for this setting
  if (path) BoundedCopy(RunLogFile, SettingTextCapacity, path);
}
