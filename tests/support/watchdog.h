// Whole runs of the installer under a watchdog: a run that hangs becomes a failure with the
// journal's tail instead of a test that never ends.
#pragma once

#include <chrono>

namespace watchdog {

// Wall time a whole run may take before it counts as a hang. Runs take milliseconds (the
// spooler's pauses run on the virtual clock); the margin covers sanitized builds on a busy machine.
inline constexpr std::chrono::seconds kRunLimit{20};

// Runs RunInstallerMain with the machine's command line on a main thread of its own. False when
// it has not returned within the limit; the stuck run then still uses the machine, so the caller
// reports and ends the process (see HangAndExit). An exception that leaves RunInstallerMain is
// the process crashing: *crashed (when given) says so, and the exit code is -1.
bool RunInstallerWithin(std::chrono::milliseconds limit, int* exitCode, bool* crashed = nullptr);

// Prints what the stuck run was doing (the journal's tail) and ends the test process with a
// failure: nothing more can run on the machine.
[[noreturn]] void HangAndExit(const char* what);

}  // namespace watchdog
