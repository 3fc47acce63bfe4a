#include "support/quiet_run.h"

#include "support/console_output.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {
// Set once by the entry routine before anything is shown; read by every thread afterwards.
bool QuietRunFlag = false;
}  // namespace

void SetQuietRun(bool quiet) {
  QuietRunFlag = quiet;
  ResetConsoleOutput();  // a new run: its console is looked for anew
}

bool IsQuietRun() { return QuietRunFlag; }

void RecordShownText(LPCSTR kind, LPCWSTR text) {
  DebugLogText(kind, text);
  // The console line carries the same kind, as wide text.
  WCHAR line[1100] = {};
  BoundedFormat(line, 1100, TEXT("%hs: %ws"), kind, text ? text : TEXT(""));
  WriteConsoleLine(line);
}
