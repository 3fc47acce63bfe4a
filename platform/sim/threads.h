// Threads of the simulated machine: what tests inspect, and the hooks the window manager shares.
//
// CreateThread, _beginthreadex and _beginthread start real, detached host threads. Each thread is
// one shared object (exit code, ended and terminated flags) behind a "thread" handle from the
// machine's handle table, so an open thread handle is accounted like every other handle.
//
//  - WaitForSingleObject on a thread handle waits for real, with a real timeout. A wait that times
//    out does not move the virtual clock: the clock shows the product's own pauses (Sleep) only.
//  - _beginthread's handle is closed by the runtime when the thread returns, as the Microsoft
//    runtime does; a later wait on it fails with ERROR_INVALID_HANDLE.
//  - TerminateThread cannot stop a host thread. The thread is reported ended at once (its handle
//    is signalled, GetExitCodeThread gives the code passed), and the thread itself is parked for
//    good at its next blocking point in the simulated Windows (a message wait, a modal loop, a
//    thread wait, a sent message): nothing it would have done after that point happens, as
//    nothing happens after a real termination. Product code it runs before reaching such a point
//    still runs; TerminateThread returns only once the thread has parked or returned, so that
//    code never overlaps what the caller does next. (Windows stops a thread asynchronously: a
//    caller that shares memory with it waits for its handle before reusing that memory.)
//  - CREATE_SUSPENDED is refused with ERROR_NOT_SUPPORTED: nothing in the simulated Windows can
//    resume a thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sim/sim.h"
#include "platform/sim/windows.h"

namespace sim {

// Waits (real time) until every thread started through the simulated Windows has returned or
// been parked after termination. False when some thread still runs when the time is up.
bool JoinAllThreads(DWORD timeoutMilliseconds = 5000);
// Threads started and not yet returned, parked threads excluded.
size_t LiveThreads();
// Threads started since the last reset, and those parked after a TerminateThread since then.
size_t ThreadsStarted();
size_t ParkedThreads();

// Lets CloseHandle close handles of another kind (files, events) that an area of the machine
// hands out; "thread" and "file" are known already.
void RegisterKernelHandleKind(const std::string& kind);

namespace internal {

// One condition for everything a simulated thread can block on (queues, thread ends, dialogs
// ending), used with the machine lock. Whoever changes such state notifies it.
void NotifyAll();
// Waits on the shared condition; the caller holds the machine lock exactly once, through `lock`.
void Wait(std::unique_lock<sim::MachineMutex>& lock);
bool WaitUntil(std::unique_lock<sim::MachineMutex>& lock,
               std::chrono::steady_clock::time_point deadline);
// True when the calling thread was terminated; it must then stop at once: call Park.
bool CurrentThreadTerminated();
// True while a thread started through the simulated Windows with this id runs (not returned,
// not terminated).
bool IsRunningThread(DWORD threadId);
// Never returns. The caller must not hold the machine lock.
[[noreturn]] void Park();
// A thread of a killed process has stopped for good: it counts as parked (process.h).
void MarkCurrentThreadStopped();
// Called by the window manager (message_queues.cpp) when a thread ends: its windows and queue go.
void WindowThreadEnded(DWORD threadId);

}  // namespace internal
}  // namespace sim
