// The error record of the failing step, and the user's messages: error box, question,
// information box and the progress dialog's status line.
#pragma once

#include "platform/win32.h"
#include "resources/resource.h"

inline constexpr int MessageTextCapacity = 1024;
inline constexpr int StatusTextCapacity = 255;
inline constexpr int StatusItemId = IDC_STATUS;

// The message and last-error code of the latest ReportError call (worker thread only).
extern WCHAR LastErrorMessage[MessageTextCapacity];
extern DWORD LastErrorCode;

// Captures GetLastError() first, formats the message into LastErrorMessage and writes
// "\n", the message, "\n", the code's system text and "\n\n" to the debugger output.
void ReportError(LPCWSTR format, ...);
// The same for a failure that answers with a code instead of the last error (registry and
// printer-data statuses, a wait given up): the code is recorded, and left as the thread's last
// error as a failing call would leave it.
void ReportErrorCode(DWORD code, LPCWSTR format, ...);
// The system's text for an error code, in a local-heap block the receiver releases (LocalFree).
LPWSTR SystemErrorText(DWORD code);

void ShowErrorBox(HWND owner, LPCWSTR caption, LPCWSTR text);
[[nodiscard]] bool AskConfirm(HWND owner, LPCWSTR format, ...);
void ShowInfo(HWND owner, LPCWSTR format, ...);
BOOL SetStatus(HWND dialog, LPCWSTR format, ...);
BOOL SetItemTextFormatted(HWND dialog, int itemId, LPCWSTR format, ...);
// The failure box text from the error record, into a buffer of MessageTextCapacity characters.
void FailureReport(LPWSTR text);
