// Text for the console of whoever started the program. ZQInst is a GUI program: it has no console
// of its own, but when it was started from a command prompt it can write to that prompt's console.
#pragma once

#include "platform/win32.h"

// Writes the text and a line break to the standard output: the console (wide text, so Japanese
// shows) when there is one, attaching to the parent process's console on first use if the program
// has no standard output; a redirected standard output (file or pipe) gets the text as UTF-8.
// Without either nothing is written. Failures are ignored; the last error is left as it was.
void WriteConsoleLine(LPCWSTR text);
// Forgets which output the run writes to: the next line looks again. For the start of a run.
void ResetConsoleOutput();
