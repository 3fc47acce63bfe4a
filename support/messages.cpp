// The error record and the user's messages.
#include "support/messages.h"

#include <cstdarg>

#include "support/handles.h"
#include "support/quiet_run.h"
#include "support/strings.h"

WCHAR LastErrorMessage[MessageTextCapacity];
DWORD LastErrorCode;

namespace {

constexpr WCHAR ConfirmCaption[] = TEXT("Confirm");
constexpr WCHAR FailureReportFormat[] =
    TEXT("%ws\nインストールの中断します.\n\nError code: %d\n詳細エラー: %ws");
// The error record as a quiet run's log keeps it: the message, the code and the system's text.
constexpr WCHAR ErrorRecordFormat[] = TEXT("%ws\nError code: %d\n詳細エラー: %ws");

// A heap text that is never null to read: the system's texts come and go with it.
LPCWSTR TextOrEmpty(const LocalBlock<WCHAR>& text) { return text ? text.Get() : TEXT(""); }

// The text of `format` (the message, then the code and the system's text) for the error record,
// into MessageTextCapacity characters: the code and the system's text always survive, the
// message gives up what they need, shortened as any text that does not fit is.
void FormatErrorText(LPWSTR text, LPCWSTR format) {
  LocalBlock<WCHAR> systemText(SystemErrorText(LastErrorCode));
  WCHAR frame[MessageTextCapacity] = {};
  BoundedFormat(frame, MessageTextCapacity, format, TEXT(""), static_cast<int>(LastErrorCode),
                TextOrEmpty(systemText));
  size_t frameLength = static_cast<size_t>(lstrlenW(frame));
  WCHAR message[MessageTextCapacity] = {};
  if (frameLength < MessageTextCapacity - 1) {
    FitText(message, MessageTextCapacity - frameLength, LastErrorMessage);
  }
  FormatToFit(text, MessageTextCapacity, format, message, static_cast<int>(LastErrorCode),
              TextOrEmpty(systemText));
}

// The error record: the code, the message, and both in the debugger output; in a quiet run also
// an "Error" record of the log, as nobody reads the debugger output there.
void RecordError(DWORD code, LPCWSTR format, va_list arguments) {
  LastErrorCode = code;
  FormatToFitArgs(LastErrorMessage, MessageTextCapacity, format, arguments);
  OutputDebugStringW(TEXT("\n"));
  OutputDebugStringW(LastErrorMessage);
  OutputDebugStringW(TEXT("\n"));
  LocalBlock<WCHAR> systemText(SystemErrorText(LastErrorCode));
  OutputDebugStringW(TextOrEmpty(systemText));
  OutputDebugStringW(TEXT("\n\n"));
  if (IsQuietRun()) {
    WCHAR record[MessageTextCapacity];
    FormatErrorText(record, ErrorRecordFormat);
    RecordShownText("Error", record);
  }
}

}  // namespace

void ReportError(LPCWSTR format, ...) {
  // Before anything else: every platform call below may change the thread's last error.
  DWORD code = GetLastError();
  va_list arguments;
  va_start(arguments, format);
  RecordError(code, format, arguments);
  va_end(arguments);
}

void ReportErrorCode(DWORD code, LPCWSTR format, ...) {
  SetLastError(code);
  va_list arguments;
  va_start(arguments, format);
  RecordError(code, format, arguments);
  va_end(arguments);
}

LPWSTR SystemErrorText(DWORD code) {
  LPWSTR text = nullptr;
  // Some system texts hold an insert ("%1 is not a valid Win32 application."): without arguments
  // to fill it in, the text is kept as the system gives it.
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length != 0 && text) return text;
  if (text) LocalFree(text);
  // No text for this code: an empty one, so that every receiver has a block to release. Only an
  // exhausted heap yields none, which receivers read as an empty text.
  return AllocZeroedChars(1);
}

void ShowErrorBox(HWND owner, LPCWSTR caption, LPCWSTR text) {
  if (IsQuietRun()) {
    RecordShownText("Error", text);
    return;
  }
  MessageBoxW(owner, text, caption, MB_ICONERROR);
}

bool AskConfirm(HWND owner, LPCWSTR format, ...) {
  WCHAR text[MessageTextCapacity] = {};
  va_list arguments;
  va_start(arguments, format);
  FormatToFitArgs(text, MessageTextCapacity, format, arguments);
  va_end(arguments);
  // No is the default button, the answer of a person pressing Enter; a quiet run takes it, and
  // a box that could not be shown counts as No as well.
  if (IsQuietRun()) {
    RecordShownText("Question (answer taken: No)", text);
    return false;
  }
  return MessageBoxW(owner, text, ConfirmCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
         IDYES;
}

void ShowInfo(HWND owner, LPCWSTR format, ...) {
  WCHAR text[MessageTextCapacity] = {};
  va_list arguments;
  va_start(arguments, format);
  FormatToFitArgs(text, MessageTextCapacity, format, arguments);
  va_end(arguments);
  if (IsQuietRun()) {
    RecordShownText("Information", text);
    return;
  }
  MessageBoxW(owner, text, ConfirmCaption, MB_ICONINFORMATION);
}

namespace {

// Formats into a status-sized text and sets it as the item's text.
BOOL SetItemTextArgs(HWND dialog, int itemId, LPCWSTR format, va_list arguments) {
  WCHAR text[StatusTextCapacity] = {};
  FormatToFitArgs(text, StatusTextCapacity, format, arguments);
  if (IsQuietRun()) {
    RecordShownText("Status", text);
    return TRUE;
  }
  return SetDlgItemTextW(dialog, itemId, text);
}

}  // namespace

BOOL SetStatus(HWND dialog, LPCWSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  BOOL result = SetItemTextArgs(dialog, StatusItemId, format, arguments);
  va_end(arguments);
  return result;
}

BOOL SetItemTextFormatted(HWND dialog, int itemId, LPCWSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  BOOL result = SetItemTextArgs(dialog, itemId, format, arguments);
  va_end(arguments);
  return result;
}

void FailureReport(LPWSTR text) {
  // The abort notice, the code and the system's text always survive.
  FormatErrorText(text, FailureReportFormat);
}
