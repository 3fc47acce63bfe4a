// Control of the local "Spooler" service: is it running, stop it and wait, start it and wait until
// it runs and its print server opens, and both in a row. Failures are recorded with ReportError.
#pragma once

#include "platform/win32.h"

inline constexpr WCHAR SpoolerServiceName[] = TEXT("Spooler");

// Status polling of a start: a pause between queries, at most this many pauses per attempt, and
// this many attempts when the print server does not open after the service runs.
inline constexpr DWORD SpoolerStartPauseMs = 2000;
inline constexpr int SpoolerStartPausesPerAttempt = 10;
inline constexpr int SpoolerStartAttempts = 2;
// Status polling of a stop: a pause before every query, and the queries allowed (one minute).
inline constexpr DWORD SpoolerStopPauseMs = 500;
inline constexpr int SpoolerStopQueries = 120;

// The service's current state (SERVICE_STOPPED, SERVICE_RUNNING, ...), or 0 when it could not be
// queried. Records nothing.
DWORD QuerySpoolerState();
// True only when the service reports SERVICE_RUNNING; false on any failure. Records nothing.
bool IsSpoolerRunning();
// True when the service was brought to SERVICE_RUNNING (a print server that never opens does not
// change that). A service that cannot be opened records "スプーラの開始ができません!" with its
// code, unless the start cleans up `afterRecordedFailure`: that failure's message then stays.
[[nodiscard]] bool StartSpooler(bool afterRecordedFailure = false);
// True when the service reached SERVICE_STOPPED or could no longer be queried.
[[nodiscard]] bool StopSpooler();
// True from the moment this process asked the spooler to stop until a start brought it back.
bool SpoolerStoppedByThisRun();
// Asks the service to start and returns without waiting for it: for a process that is about to
// be ended (its console closed, the user logging off), which must not leave the spooler stopped.
// True when the start was accepted or the service runs already. Records nothing.
bool StartSpoolerAtOnce();
// Stops a running spooler, then starts it.
[[nodiscard]] bool RestartSpooler();
