// Runs that nobody watches: started with /quiet, or on a window station no person sees (a
// service, session 0). Such a run shows no window: every text a person would have seen is written
// as a record of the diagnostic log, whatever LOGLEVEL says, and to the console of whoever
// started the run, if there is one.
#pragma once

#include "platform/win32.h"

// Set by the entry routine at the start of a run, before anything is shown.
void SetQuietRun(bool quiet);
bool IsQuietRun();
// "<kind>: <text>" as a record and as a console line.
void RecordShownText(LPCSTR kind, LPCWSTR text);
