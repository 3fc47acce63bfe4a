#include "support/console_output.h"

#include "support/handles.h"


namespace {

// Decided on first use and kept for the run: the handle written to and whether it is a console.
struct ConsoleTarget {
  bool decided;
  HANDLE output;
  bool console;
};
ConsoleTarget Target = {false, nullptr, false};

bool Usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

void Decide() {
  if (Target.decided) return;
  Target.decided = true;
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  // A GUI program started from a prompt has no standard output of its own unless it was
  // redirected; the prompt's console is its parent's.
  if (!Usable(output) && AttachConsole(ATTACH_PARENT_PROCESS)) output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!Usable(output)) return;
  DWORD mode = 0;
  Target.output = output;
  Target.console = GetConsoleMode(output, &mode) != FALSE;
}

void WriteWide(LPCWSTR text, int length) {
  if (length <= 0) return;
  if (Target.console) {
    DWORD written = 0;
    WriteConsoleW(Target.output, text, static_cast<DWORD>(length), &written, nullptr);
    return;
  }
  // A file or a pipe: UTF-8, converted in slices that fit a small buffer.
  constexpr int SliceChars = 256;
  CHAR bytes[SliceChars * 3];
  int position = 0;
  while (position < length) {
    int chars = length - position < SliceChars ? length - position : SliceChars;
    // A surrogate pair is never split across slices.
    WCHAR last = text[position + chars - 1];
    if (chars > 1 && position + chars < length && last >= 0xD800 && last < 0xDC00) --chars;
    int size = WideCharToMultiByte(CP_UTF8, 0, text + position, chars, bytes, sizeof bytes, nullptr,
                                   nullptr);
    DWORD written = 0;
    if (size > 0) WriteFile(Target.output, bytes, static_cast<DWORD>(size), &written, nullptr);
    position += chars;
  }
}

}  // namespace

void WriteConsoleLine(LPCWSTR text) {
  LastErrorKeeper keep;  // what a failing call left for its caller to report stays
  Decide();
  if (Target.output) {
    // Line breaks as a console and a text file expect them.
    LPCWSTR start = text ? text : TEXT("");
    for (LPCWSTR c = start;; ++c) {
      if (*c == TEXT('\n') || *c == 0) {
        int length = static_cast<int>(c - start);
        if (length > 0 && start[length - 1] == TEXT('\r')) --length;
        WriteWide(start, length);
        WriteWide(TEXT("\r\n"), 2);
        if (*c == 0) break;
        start = c + 1;
      }
    }
  }
}

void ResetConsoleOutput() { Target = {false, nullptr, false}; }
