// Console events during a run that may be attached to its starter's console (a quiet run): Ctrl+C,
// Ctrl+Break, closing the console, logoff and shutdown are requests to stop (stop_request.h).
// Windows ends the process as soon as the handler of a close, logoff or shutdown event returns, so
// that handler holds on until the run has ended; the process then ends with the spooler as the
// run left it, running.
#pragma once

// Installs the handler for this run. False when it could not be installed (the run goes on as
// before: a console event then ends the process at once).
[[nodiscard]] bool WatchConsoleEvents();
// The run has ended: a handler holding on lets go, and the handler is removed.
void StopWatchingConsoleEvents();
