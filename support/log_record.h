// Inside the diagnostic log: what the record assembly and the log file share.
#pragma once

#include "support/log_format.h"

// Writes a record beside the one being assembled (which may still be in LogLine), to the debugger
// output only: the prefix, the text `format` gives, CR LF.
void EmitAsideRecord(LPCSTR format, ...);
// Sends the ANSI line to the debugger output and appends the record to the log file: the run's
// own (/log) in UTF-8 (`utf8Line`, or the ANSI line converted when none is given), the one
// LOGFILE names in the ANSI code page.
void EmitLines(LPCSTR line, LPCSTR utf8Line);
