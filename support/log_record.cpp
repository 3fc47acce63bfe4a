// Record assembly: both forms of the record being built, its prefix, and the DebugLog family.
#include <cstring>

#include "support/log_record.h"
#include "support/messages.h"
#include "support/settings_log.h"
#include "support/strings.h"

const BuildStampText BuildStamp = {__DATE__, __TIME__};

thread_local CHAR LogLine[LogLineCapacity];

namespace {

// The record this thread is assembling, in UTF-8, for the run's own log file: the same pieces as
// LogLine, each rendered in UTF-8.
thread_local CHAR LogLineUtf8[LogLineCapacity * Utf8Scale];
// Whether a piece of the record being assembled was left out: the record then ends where it was
// shortened, with its mark and CR LF (EndRecord).
thread_local bool LogLineCut;
thread_local bool LogLineUtf8Cut;
// Room kept at the end of both forms of the record for the CR LF of a shortened one.
constexpr size_t LineEndBytes = 2;

// What starts every record: the program and the build that wrote it.
void FormatPrefix(LPSTR prefix, size_t capacity) {
  BoundedFormat(prefix, capacity, "ZQPrinter2 [%s %s] ", BuildStamp.date, BuildStamp.time);
}

// Appends a piece to one form of the record; a record already shortened takes no more.
void AppendToRecord(LPSTR record, size_t capacity, bool* cut, LPCSTR piece, UINT codePage) {
  if (*cut) return;
  *cut = AppendWhole(record, capacity - LineEndBytes, piece, codePage);
}

// Appends the formatted piece to both forms of the record.
void AppendMessage(LPCSTR format, va_list arguments) {
  CHAR piece[LogPieceCapacity];
  FormatPiece(Piece{piece, LogPieceCapacity, CP_ACP}, format, arguments);
  AppendToRecord(LogLine, LogLineCapacity, &LogLineCut, piece, CP_ACP);
  CHAR utf8[LogPieceCapacity * Utf8Scale];
  FormatPiece(Piece{utf8, LogPieceCapacity * Utf8Scale, CP_UTF8}, format, arguments);
  AppendToRecord(LogLineUtf8, LogLineCapacity * Utf8Scale, &LogLineUtf8Cut, utf8, CP_UTF8);
}

void AppendPiece(LPCSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  AppendMessage(format, arguments);
  va_end(arguments);
}

void StartRecord() {
  LogLine[0] = 0;
  LogLineUtf8[0] = 0;
  LogLineCut = false;
  LogLineUtf8Cut = false;
  CHAR prefix[64];
  FormatPrefix(prefix, sizeof prefix);
  AppendPiece("%s", prefix);
}

// Ends the record and emits it in both forms; a shortened record still ends in CR LF, in the
// room kept for it.
void EmitRecord() {
  if (LogLineCut) BoundedConcat(LogLine, LogLineCapacity, "\r\n");
  if (LogLineUtf8Cut) BoundedConcat(LogLineUtf8, LogLineCapacity * Utf8Scale, "\r\n");
  EmitLines(LogLine, LogLineUtf8);
}

}  // namespace

void EmitAsideRecord(LPCSTR format, ...) {
  CHAR record[LogLineCapacity];
  FormatPrefix(record, LogLineCapacity);
  size_t used = std::strlen(record);
  va_list arguments;
  va_start(arguments, format);
  BoundedFormatArgs(record + used, LogLineCapacity - LineEndBytes - used, format, arguments);
  va_end(arguments);
  BoundedConcat(record, LogLineCapacity, "\r\n");
  OutputDebugStringA(record);
}

void DebugLog(LPCSTR format, ...) {
  // Logging must not change what a failing call left for its caller to report.
  LastErrorKeeper keep;
  if (ReadSettingNumber(TEXT("LOGLEVEL"), 1) >= 1) {
    StartRecord();
    va_list arguments;
    va_start(arguments, format);
    AppendMessage(format, arguments);
    va_end(arguments);
    AppendPiece("\r\n");
    EmitRecord();
  }
}

void DebugLogError(DWORD code, LPCSTR format, ...) {
  LastErrorKeeper keep;
  StartRecord();
  va_list arguments;
  va_start(arguments, format);
  AppendMessage(format, arguments);
  va_end(arguments);
  AppendPiece("\r\n");
  AppendPiece("Last error was: ");
  {
    LocalBlock<WCHAR> systemText(SystemErrorText(code));
    AppendPiece("%ws", systemText ? systemText.Get() : TEXT(""));
  }
  AppendPiece("\r\n");
  EmitRecord();
}

void DebugLogText(LPCSTR label, LPCWSTR text, bool obeyLevel) {
  LastErrorKeeper keep;
  if (!obeyLevel || ReadSettingNumber(TEXT("LOGLEVEL"), 1) >= 1) {
    StartRecord();
    AppendPiece("%s: ", label);
    // Pieces of a few dozen characters each fit a piece in any ANSI rendering of them.
    constexpr int ChunkChars = 60;
    WCHAR chunk[ChunkChars + 4];
    int used = 0;
    for (LPCWSTR c = text ? text : TEXT(""); *c; ++c) {
      if (*c == TEXT('\r')) continue;
      if (*c == TEXT('\n')) {
        chunk[used++] = TEXT('\\');
        chunk[used++] = TEXT('n');
      } else {
        chunk[used++] = *c;
      }
      // A surrogate pair stays in one piece: it converts only as a whole.
      if (used >= ChunkChars && !(chunk[used - 1] >= 0xD800 && chunk[used - 1] <= 0xDBFF)) {
        chunk[used] = 0;
        AppendPiece("%ws", chunk);
        used = 0;
      }
    }
    chunk[used] = 0;
    if (used) AppendPiece("%ws", chunk);
    AppendPiece("\r\n");
    EmitRecord();
  }
}
