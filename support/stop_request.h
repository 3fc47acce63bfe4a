// A request to stop the run, made from outside the run's own thread: a console event (Ctrl+C,
// Ctrl+Break, the console closed) while a run is attached to a console. The run looks at it
// between its steps: the step in progress finishes, a stopped spooler is started again, and the
// run ends as a progress dialog closed before the work was done ends it (-1).
#pragma once

void RequestStop();
bool StopRequested();
// For the start of a run.
void ClearStopRequest();
