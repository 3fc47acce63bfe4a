#include "support/stop_request.h"

#include <atomic>

namespace {
// Written by a console handler's thread, read by the run's.
std::atomic<bool> Requested{false};
}  // namespace

void RequestStop() { Requested.store(true); }
bool StopRequested() { return Requested.load(); }
void ClearStopRequest() { Requested.store(false); }
