// Events of the simulated machine: unnamed manual-reset and auto-reset events (CreateEventW,
// SetEvent, and the wait for one through WaitForSingleObject), with real waits.
#pragma once

#include "platform/sim/windows.h"

namespace sim {
namespace internal {
// Whether the handle is an event handle, and the wait for it (WaitForSingleObject's share).
bool IsEventHandle(HANDLE handle);
DWORD WaitForEvent(HANDLE handle, DWORD milliseconds);
// True while the thread waits for an event (a thread that blocked, as a handler waiting for the
// run's end does).
bool WaitsForEvent(DWORD threadId);
}  // namespace internal
}  // namespace sim
