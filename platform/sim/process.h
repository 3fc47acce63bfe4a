// The program's process on the simulated machine: which threads belong to it, its end by a kill,
// and the next process on the same machine.
//
// The machine runs one program at a time; tests stand outside it. A thread belongs to the current
// process when it calls EnterProcess (a test's stand-in for the process's main thread) or when a
// thread of the process starts it through the simulated Windows (CreateThread, _beginthreadex,
// _beginthread). Threads of the tests themselves belong to none, and so do the handles they open.
//
// A kill (KillProcessAt) ends the process at one call of its threads, as Task Manager, a
// deployment tool's time limit or a power cut would: from that call on nothing of the process
// reaches the machine.
//  - The call itself has no effect, except CopyFileW, which leaves its target partly written
//    (the first half of the source's bytes, the rest missing), as a copy cut off midway does.
//  - Every thread of the process stops at its next simulated call, or where it waits inside one,
//    without any effect: it gives up the machine lock and stays parked for good on a wait of its
//    own. Its stack stays as it was: no destructor runs, no release it would have made happens.
//  - Mutexes its threads own are abandoned at once: the next wait takes them over with
//    WAIT_ABANDONED.
// StartNextProcess then does what the system does when a process has gone: the handles it held are
// closed (a named object lives on while another handle holds it), its heap, windows, message
// queues, window classes, loaded libraries and console go; the machine (spooler, services,
// registry, files, other processes' objects) stays as the process left it. The next process's
// journal starts empty and no fault or kill is armed for it.
#pragma once

#include <string>

#include "platform/sim/sim.h"

namespace sim {

// The calling thread is the current process's main thread from now on.
void EnterProcess();
// The calling thread, the process's main thread, has returned from the program.
void LeaveProcess();

// Ends the current process when one of its threads makes the nth call (1-based) named `name`.
void KillProcessAt(const std::string& name, int nth);
// True once the current process has been killed; the call it was killed at.
bool ProcessKilled();
CallRecord KillPoint();

// Waits (real time) until no thread of the current process runs any more: all have returned, or
// the process was killed and all have stopped. False when one still runs after the timeout.
bool WaitForProcessEnd(DWORD timeoutMilliseconds);

// A new process on the same machine, after the current one has ended (returned or killed).
void StartNextProcess();

namespace internal {

// The calling thread's process: 0 for threads outside any process (the tests').
int CurrentProcess();
// For a thread the simulated Windows starts: it belongs to its creator's process.
void JoinProcess(int process);
// The calling thread has returned (a thread the simulated Windows started).
void ThreadReturned();

// What a call's entry means for its thread (the machine lock is held).
enum class CallEntry { kRuns, kStops, kKilledMidway };
CallEntry OnCallEntry(CallRecord& record);
// True when the calling thread belongs to a killed process.
bool CurrentThreadDead();
// Stops the calling thread of a killed process for good: it lets go of the machine lock however
// often it holds it and never returns.
[[noreturn]] void StopDeadThread();

// What an area of the machine takes back from a process that has ended: `threads` are the ids of
// its threads.
void RegisterProcessEndHook(const char* area,
                            std::function<void(int process, const std::vector<DWORD>& threads)> hook);

}  // namespace internal
}  // namespace sim
