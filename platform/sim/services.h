// The simulated service control manager: what tests stage and inspect.
//
// One service exists, "Spooler". Its state moves on the virtual clock: StartServiceW puts it in
// START_PENDING and it reports RUNNING once its start time has passed; the stop control puts it in
// STOP_PENDING and it reports STOPPED once its stop time has passed. A time of kNever leaves it
// pending for good (a spooler that hangs while starting or stopping). A fresh machine's spooler is
// RUNNING, starts in 1000 ms and stops in 400 ms.
//
// While the spooler is not RUNNING the print spooler functions fail with RPC_S_SERVER_UNAVAILABLE,
// and printer handles opened before it stopped stay dead after it starts again.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/windows.h"

namespace sim {

inline constexpr char16_t kSpoolerService[] = u"Spooler";
inline constexpr uint64_t kNever = UINT64_MAX;

// Puts the service in a state now. A pending state completes after the service's start or stop
// time, counted from this moment.
void SetServiceState(const std::u16string& name, DWORD state);
// Virtual milliseconds from the start request to RUNNING and from the stop control to STOPPED.
void SetServiceTimes(const std::u16string& name, uint64_t startMs, uint64_t stopMs);
// The state the service reports now (pending states completed by the clock first).
DWORD ServiceState(const std::u16string& name);

// For the spooler model: RUNNING now, and how many times it has reached RUNNING since the reset
// (handles from an earlier run are stale).
bool SpoolerRunning();
uint64_t SpoolerRunCount();

}  // namespace sim
