#include "support/settings_log.h"

#include <cstring>

#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/strings.h"

CHAR LogLine[LogLineCapacity];

namespace {
// The run's own log file (SetLogFilePath); empty: LOGFILE names it.
WCHAR RunLogFile[SettingTextCapacity];
// The record being assembled, in UTF-8, for the run's own log file: the same pieces as LogLine,
// each rendered in UTF-8 and cut at three times the ANSI capacities (three bytes hold any
// character of a wide text there), so the Japanese texts survive whatever the ANSI code page.
constexpr int Utf8Scale = 3;
CHAR LogLineUtf8[LogLineCapacity * Utf8Scale];
// Emits the record just assembled, in both forms.
void EmitRecord();
}  // namespace

// Opening with the right to create makes even a read create the empty key.
bool OpenSettingsKey(RegistryKey* key) {
  WCHAR noClass[1] = {0};
  return RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, noClass, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key->Put(), nullptr) == ERROR_SUCCESS;
}

const BuildStampText BuildStamp = {__DATE__, __TIME__};

namespace {

// Room for a piece's worth of wide text in the system's ANSI code page or in UTF-8 (at most
// three bytes a character in either).
constexpr int ConvertedCapacity = LogPieceCapacity * 3;

// A piece being formatted: its buffer, capacity, and the code page of its text (CP_ACP for the
// ANSI record, CP_UTF8 for the run's own log file).
struct Piece {
  LPSTR text;
  int capacity;
  UINT codePage;
};

// ----- whole characters -----

// Whether a byte starts a two-byte character of the system's ANSI code page: the lead-byte
// ranges of the double-byte code pages (932 Japanese, 936 and 950 Chinese, 949 Korean); the other
// ANSI code pages have one byte a character, and UTF-8 is judged by its own rule.
bool AnsiLeadByte(UINT ansiCodePage, BYTE byte) {
  switch (ansiCodePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

// The longest start of `text` (of `length` bytes) of at most `bound` bytes that ends after a
// whole character of the code page.
size_t WholePrefix(LPCSTR text, size_t length, size_t bound, UINT codePage) {
  if (bound >= length) return length;
  UINT page = codePage == CP_ACP ? GetACP() : codePage;
  if (page == CP_UTF8) {
    // Back to the first byte of the character the bound falls in.
    size_t end = bound;
    while (end > 0 && (static_cast<BYTE>(text[end]) & 0xC0) == 0x80) --end;
    return end;
  }
  size_t end = 0;
  while (end < bound) {
    size_t next = end + (AnsiLeadByte(page, static_cast<BYTE>(text[end])) ? 2 : 1);
    if (next > bound) break;
    end = next;
  }
  return end;
}

// "…" in the code page, or "..." where the ANSI code page has no such character.
void CutMark(UINT codePage, LPSTR mark, int capacity) {
  BoundedFormat(mark, static_cast<size_t>(capacity), "%s", "...");
  const WCHAR ellipsis[] = {0x2026, 0};
  CHAR converted[8] = {};
  BOOL usedDefault = FALSE;
  // UTF-8 has every character and takes no question about a default one.
  UINT page = codePage == CP_ACP ? GetACP() : codePage;
  int bytes = WideCharToMultiByte(codePage, 0, ellipsis, 1, converted, sizeof converted - 1,
                                  nullptr, page == CP_UTF8 ? nullptr : &usedDefault);
  if (bytes > 0 && bytes < capacity && !usedDefault) {
    converted[bytes] = 0;
    BoundedFormat(mark, static_cast<size_t>(capacity), "%s", converted);
  }
}

// Appends `source` to the text in `destination` (`capacity` bytes, terminator included). What
// does not fit is left out at a whole character, and "…" marks the place; true when something
// was left out. A destination too full for the mark keeps its text as it is.
bool AppendWhole(LPSTR destination, size_t capacity, LPCSTR source, UINT codePage) {
  size_t present = std::strlen(destination);
  size_t length = std::strlen(source);
  if (present + length < capacity) {
    std::memcpy(destination + present, source, length + 1);
    return false;
  }
  CHAR mark[8];
  CutMark(codePage, mark, sizeof mark);
  size_t markLength = std::strlen(mark);
  if (present + markLength >= capacity) return true;
  size_t keep = WholePrefix(source, length, capacity - 1 - present - markLength, codePage);
  std::memcpy(destination + present, source, keep);
  std::memcpy(destination + present + keep, mark, markLength + 1);
  return true;
}

// Appends `argument` formatted by `format`, a single conversion taking one argument.
template <class Argument>
void AppendConversion(const Piece& piece, LPCSTR format, Argument argument) {
  CHAR converted[LogPieceCapacity * Utf8Scale + 1];
  converted[0] = 0;
  BoundedFormat(converted, sizeof converted, format, argument);
  AppendWhole(piece.text, static_cast<size_t>(piece.capacity), converted, piece.codePage);
}

// Appends wide text (at most `limit` characters; -1: all) rendered in the piece's code page (in
// the ANSI one a character the code page lacks becomes its default character), laid out by the
// flags and width of `format`.
void AppendWideText(const Piece& piece, LPCSTR format, LPCWSTR text, int limit) {
  if (!text) {
    AppendConversion(piece, format, static_cast<LPCSTR>(nullptr));
    return;
  }
  int length = 0;
  while (text[length] && length < LogPieceCapacity && (limit < 0 || length < limit)) ++length;
  // A text longer than a piece ends before a surrogate pair it would split.
  if (length == LogPieceCapacity && text[length] && length > 0 && text[length - 1] >= 0xD800 &&
      text[length - 1] <= 0xDBFF)
    --length;
  CHAR converted[ConvertedCapacity + 1];
  int bytes = length == 0 ? 0
                          : WideCharToMultiByte(piece.codePage, 0, text, length, converted,
                                                ConvertedCapacity, nullptr, nullptr);
  converted[bytes > 0 ? bytes : 0] = 0;
  AppendConversion(piece, format, static_cast<LPCSTR>(converted));
}

// Appends ANSI text: as it is to an ANSI piece, converted to a UTF-8 one.
void AppendAnsiText(const Piece& piece, LPCSTR format, LPCSTR text) {
  if (!text || piece.codePage == CP_ACP) {
    AppendConversion(piece, format, text);
    return;
  }
  WCHAR wide[LogPieceCapacity];
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, LogPieceCapacity);
  if (length <= 0) {  // longer than a piece: the piece keeps what fits
    length = MultiByteToWideChar(CP_ACP, 0, text, LogPieceCapacity - 1, wide, LogPieceCapacity - 1);
    length = length > 0 ? length : 0;
    wide[length] = 0;
  }
  AppendWideText(piece, format, wide, -1);
}

// Appends one ANSI character.
void AppendCharacter(const Piece& piece, CHAR character) {
  CHAR text[2] = {character, 0};
  AppendWhole(piece.text, static_cast<size_t>(piece.capacity), text, piece.codePage);
}

// Formats one piece of a record (cut at LogPieceCapacity - 1 bytes) from an ANSI format, as the
// runtime's counted printf does, with one difference: wide text ("%ws", "%ls", "%S", and "%wc",
// "%lc", "%C" for a character) is rendered in the system's ANSI code page. The runtime converts
// it in its own "C" locale instead, which has no byte for a character above U+00FF and then
// drops the rest of the piece.
void FormatPiece(const Piece& piece, LPCSTR format, va_list arguments) {
  piece.text[0] = 0;
  va_list args;
  va_copy(args, arguments);
  for (LPCSTR f = format; *f;) {
    if (*f != '%' || f[1] == '%') {
      AppendCharacter(piece, *f);
      f += *f == '%' ? 2 : 1;
      continue;
    }
    ++f;
    // The conversion is taken apart: flags and width (a '*' filled in from the arguments), the
    // precision, the argument's size and the conversion letter.
    CHAR layout[48] = "%";
    size_t used = 1;
    auto put = [&](LPCSTR text) {
      while (*text && used + 1 < sizeof layout) layout[used++] = *text++;
      layout[used] = 0;
    };
    auto number = [](CHAR* digits, size_t capacity, int value) {
      BoundedFormat(digits, capacity, "%d", value);
      return digits;
    };
    CHAR digits[16];
    while (*f && std::strchr("-+ #0", *f)) {
      CHAR flag[2] = {*f++, 0};
      put(flag);
    }
    if (*f == '*') {
      put(number(digits, sizeof digits, va_arg(args, int)));
      ++f;
    }
    while (*f >= '0' && *f <= '9') {
      CHAR digit[2] = {*f++, 0};
      put(digit);
    }
    int precision = -1;
    if (*f == '.') {
      ++f;
      int value = 0;
      if (*f == '*') {
        value = va_arg(args, int);
        ++f;
      }
      while (*f >= '0' && *f <= '9') value = value * 10 + (*f++ - '0');
      if (value >= 0) precision = value;  // a negative one from the arguments is none
    }
    enum { Default, Short, Wide, Large } size = Default;
    if (*f == 'h') {
      size = Short, ++f;
    } else if (f[0] == 'l' && f[1] == 'l') {
      size = Large, f += 2;
    } else if (*f == 'l' || *f == 'w') {
      size = Wide, ++f;
    } else if (f[0] == 'I' && f[1] == '6' && f[2] == '4') {
      size = Large, f += 3;
    } else if (f[0] == 'I' && f[1] == '3' && f[2] == '2') {
      f += 3;
    } else if (*f == 'I' || *f == 'z' || *f == 't') {
      size = sizeof(void*) == 8 ? Large : Default, ++f;
    }
    CHAR conversion = *f;
    if (!conversion) break;
    ++f;
    // The whole conversion for the runtime: layout, precision, size, letter.
    CHAR composed[64];
    auto compose = [&](LPCSTR sizeText, CHAR letter) {
      CHAR precisionText[20] = "";
      if (precision >= 0) BoundedFormat(precisionText, sizeof precisionText, ".%d", precision);
      BoundedFormat(composed, sizeof composed, "%s%s%s%c", layout, precisionText, sizeText, letter);
      return static_cast<LPCSTR>(composed);
    };
    CHAR textFormat[52];
    BoundedFormat(textFormat, sizeof textFormat, "%ss", layout);  // converted text: layout only
    switch (conversion) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if (size == Large)
          AppendConversion(piece, compose("I64", conversion), va_arg(args, long long));
        else
          AppendConversion(piece, compose(size == Short ? "h" : "", conversion), va_arg(args, int));
        break;
      case 'p':
        AppendConversion(piece, compose("", 'p'), va_arg(args, void*));
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        AppendConversion(piece, compose("", conversion), va_arg(args, double));
        break;
      case 's':
      case 'S':
        if (size == Wide || (conversion == 'S' && size != Short))
          AppendWideText(piece, textFormat, va_arg(args, LPCWSTR), precision);
        else
          AppendAnsiText(piece, compose("", 's'), va_arg(args, LPCSTR));
        break;
      case 'c':
      case 'C': {
        int value = va_arg(args, int);
        if (size == Wide || (conversion == 'C' && size != Short)) {
          WCHAR character[2] = {static_cast<WCHAR>(value), 0};
          AppendWideText(piece, textFormat, character, 1);
        } else {
          CHAR character[2] = {static_cast<CHAR>(value), 0};
          AppendAnsiText(piece, textFormat, static_cast<LPCSTR>(character));
        }
        break;
      }
      case 'n':
        (void)va_arg(args, void*);  // stores nothing, as the runtime refuses it
        break;
      default:
        AppendCharacter(piece, conversion);  // an unknown conversion prints its letter
        break;
    }
  }
  va_end(args);
}

// Whether a piece of the record being assembled was left out: the record then ends where it was
// shortened, with its mark and CR LF (EndRecord).
bool LogLineCut;
bool LogLineUtf8Cut;
// Room kept at the end of both forms of the record for the CR LF of a shortened one.
constexpr size_t LineEndBytes = 2;

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

// A shortened record still ends in CR LF, in the room kept for it.
void EndRecord() {
  if (LogLineCut) BoundedConcat(LogLine, LogLineCapacity, "\r\n");
  if (LogLineUtf8Cut) BoundedConcat(LogLineUtf8, LogLineCapacity * Utf8Scale, "\r\n");
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
  AppendPiece("ZQPrinter2");
  AppendPiece(" [%s %s] ", BuildStamp.date, BuildStamp.time);
}

}  // namespace

namespace {

// Settings of another type than theirs, each recorded once a run (SetLogFilePath starts a run).
bool LogLevelTypeReported;
bool LogFileTypeReported;

// The record that says a setting's type is not its own, so that the setting counts as absent.
// It is assembled aside: the record being emitted may still be in LogLine.
void ReportSettingType(LPCWSTR name, DWORD type, LPCSTR expected, bool* reported) {
  if (*reported) return;
  *reported = true;
  CHAR record[LogLineCapacity];
  CHAR ansiName[64] = {};
  WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, sizeof ansiName - 1, nullptr, nullptr);
  BoundedFormat(record, LogLineCapacity,
                "ZQPrinter2 [%s %s] ReadSetting - the value %s is of type %u, not %s: it "
                "counts as absent\r\n",
                BuildStamp.date, BuildStamp.time, ansiName, static_cast<unsigned>(type), expected);
  OutputDebugStringA(record);
}

bool* TypeReportedFlag(LPCWSTR name) {
  return lstrcmpiW(name, TEXT("LOGFILE")) == 0 ? &LogFileTypeReported : &LogLevelTypeReported;
}

}  // namespace

int ReadSettingNumber(LPCWSTR name, int defaultValue) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return defaultValue;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return defaultValue;
  // Only a REG_DWORD is a number: the text "0" is not 48.
  if (type != REG_DWORD) {
    ReportSettingType(name, type, "REG_DWORD", TypeReportedFlag(name));
    return defaultValue;
  }
  DWORD value = static_cast<DWORD>(defaultValue);
  size = sizeof value;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<LPBYTE>(&value),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return defaultValue;
  return static_cast<int>(value);
}

LPWSTR ReadSettingString(LPCWSTR name, LPWSTR buffer) {
  RegistryKey key;
  if (!OpenSettingsKey(&key)) return buffer;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return buffer;
  // Only a text is a text: a number's bytes make no path.
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    ReportSettingType(name, type, "REG_SZ or REG_EXPAND_SZ", TypeReportedFlag(name));
    return buffer;
  }
  // Read aside, one character more than the caller has, so that the caller's buffer is touched
  // only by a text that fits with its terminator.
  WCHAR text[SettingTextCapacity + 1] = {0};
  size = SettingTextCapacity * sizeof(WCHAR);
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return buffer;
  size_t stored = (size + 1) / sizeof(WCHAR);
  size_t length = 0;
  while (length < stored && text[length]) ++length;
  if (length >= static_cast<size_t>(SettingTextCapacity)) return buffer;  // no room to terminate
  text[length] = 0;
  if (type == REG_EXPAND_SZ) {
    // "%TEMP%\\zq.log": the variables are filled in; an expansion that does not fit is no path.
    WCHAR expanded[SettingTextCapacity] = {0};
    DWORD needed = ExpandEnvironmentStringsW(text, expanded, SettingTextCapacity);
    if (needed == 0 || needed > static_cast<DWORD>(SettingTextCapacity)) return buffer;
    std::memcpy(buffer, expanded, needed * sizeof(WCHAR));
    buffer[needed - 1] = 0;
    return buffer;
  }
  std::memcpy(buffer, text, length * sizeof(WCHAR));
  buffer[length] = 0;
  return buffer;
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

namespace {

// The last log path refused, so that the reason is recorded once per path.
WCHAR RefusedLogFile[SettingTextCapacity];

// Records on the debugger output, once per path, why the log file is not written: the record is
// assembled aside, as the line being emitted is still in LogLine.
void ReportRefusedLogFile(LPCWSTR path, LPCSTR ansiPath, LPCSTR reason) {
  if (lstrcmpiW(RefusedLogFile, path) == 0) return;
  BoundedCopy(RefusedLogFile, SettingTextCapacity, path);
  CHAR record[LogLineCapacity];
  BoundedFormat(record, LogLineCapacity,
                "ZQPrinter2 [%s %s] EmitDebugLine - the log file '%s' is not written: %s; the "
                "records go to the debugger output only\r\n",
                BuildStamp.date, BuildStamp.time, ansiPath, reason);
  OutputDebugStringA(record);
}

}  // namespace

bool OpenLogFile(LPCWSTR path, KernelHandle* file, LPCSTR* refusal) {
  *refusal = nullptr;
  file->Reset();
  // A link at the path is looked at, not followed: the attributes are the link's own.
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    *refusal = "it is a symbolic link, a junction or another reparse point";
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
    *refusal = "it is a symbolic link, a junction or another reparse point";
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

namespace {

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

// Sends the ANSI line to the debugger output and appends the record to its file: to the run's
// own file (/log) in UTF-8 (`utf8Line`, or the ANSI line converted when none is given), to the
// file LOGFILE names in the ANSI code page, as readers of that file have always had it.
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
    OpenLogFile(path, &file, &refusal);
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
  // The record's own CR LF reaches the file as it is.
  // Lives as long as the record that may point at it.
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

void EmitRecord() {
  EndRecord();
  EmitLines(LogLine, LogLineUtf8);
}

}  // namespace

void EmitDebugLine(LPCSTR line) { EmitLines(line, nullptr); }

bool SafeDeleteFile(LPCWSTR path) {
  if (!path) return true;
  if (lstrlenW(path) == 0) return false;
  if (DeleteFileW(path)) return true;
  if (GetLastError() == ERROR_FILE_NOT_FOUND) {
    DebugLog("SafeDeleteFile - file '%ws' does not already exist", path);
    return true;
  }
  DebugLog("SafeDeleteFile - Cannot delete file '%ws'", path);
  return false;
}

void strCopy(LPVOID destination, LPCVOID source, size_t bytes) {
  if (!destination || !source) {
    DebugLog("strCopy - invalid pointers!!");
    return;
  }
  std::memcpy(destination, source, bytes);
}

void SetLogFilePath(LPCWSTR path) {
  RunLogFile[0] = 0;
  LogLevelTypeReported = false;
  LogFileTypeReported = false;
  RefusedLogFile[0] = 0;  // a refused path is reported again for this setting
  if (path) BoundedCopy(RunLogFile, SettingTextCapacity, path);
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
