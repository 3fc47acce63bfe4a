// The log file: which one a run writes, opening it without following a link, its byte-order
// mark, and writing the records.
#include <cstring>

#include "support/log_record.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// The run's own log file (SetLogFilePath); empty: LOGFILE names it.
WCHAR RunLogFile[SettingTextCapacity];
// The last log path refused, so that the reason is recorded once per path.
WCHAR RefusedLogFile[SettingTextCapacity];

constexpr CHAR LinkRefusal[] = "it is a symbolic link, a junction or another reparse point";

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

bool OpenLogFile(LPCWSTR path, KernelHandle* file, LPCSTR* refusal) {
  *refusal = nullptr;
  file->Reset();
  // A link at the path is looked at, not followed: the attributes are the link's own.
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    *refusal = LinkRefusal;
    return false;
  }
  // Appending only (every write lands at the end, as "a+" does, also beside another writer),
  // created when missing; a link that appeared since is opened as itself and judged below.
  KernelHandle opened(CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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
    (void)OpenLogFile(path, &file, &refusal);
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
  ForgetSettingTypeReports();
  RefusedLogFile[0] = 0;  // a refused path is reported again for this setting
  if (path) BoundedCopy(RunLogFile, SettingTextCapacity, path);
}
