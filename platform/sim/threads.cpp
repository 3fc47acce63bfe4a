// Threads of the simulated machine over real host threads; see threads.h for what is modelled.
#include "platform/sim/threads.h"
#include "platform/sim/events.h"

#include <algorithm>
#include <condition_variable>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/sim/mutexes.h"
#include "platform/sim/process.h"
#include "platform/sim/files.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

// Guarded by the machine lock.
struct ThreadState {
  DWORD id = 0;
  bool returned = false;    // the body has returned (or was never started)
  bool terminated = false;  // TerminateThread was called before it returned
  bool parked = false;      // terminated and stopped at a blocking point
  DWORD exitCode = STILL_ACTIVE;
  HANDLE runtimeHandle = nullptr;  // _beginthread: closed by the runtime when the body returns
  bool Signalled() const { return returned || terminated; }
};

struct Threads {
  // Every thread that has not returned, across resets, so that JoinAllThreads also covers threads
  // a previous test left behind.
  std::vector<std::shared_ptr<ThreadState>> running;
  size_t startedSinceReset = 0;
  size_t parkedSinceReset = 0;
  std::vector<std::string> kernelKinds{"thread", "file"};
};

Threads& threads() {
  static Threads* instance = new Threads;
  return *instance;
}

std::condition_variable_any& changed() {
  static auto* instance = new std::condition_variable_any;
  return *instance;
}

thread_local std::shared_ptr<ThreadState> currentThread;

const bool registered = (RegisterResetHook("threads",
                                           [] {
                                             threads().startedSinceReset = 0;
                                             threads().parkedSinceReset = 0;
                                             threads().kernelKinds = {"thread", "file"};
                                             // Handle values start again after a reset: a
                                             // thread left over must not close a new one.
                                             for (auto& t : threads().running)
                                               t->runtimeHandle = nullptr;
                                           }),
                         true);

// What the runtime's and the kernel's thread starts share: a running host thread whose first act
// is to take its thread id (so the creator can report it) and whose last is to mark itself ended.
// `body` returns the exit code.
HANDLE StartThread(std::function<DWORD()> body, bool closeHandleAtEnd, DWORD* threadId) {
  auto state = std::make_shared<ThreadState>();
  HANDLE handle = NewHandle("thread", state);
  if (closeHandleAtEnd) state->runtimeHandle = handle;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    threads().running.push_back(state);
    ++threads().startedSinceReset;
  }
  const int process = internal::CurrentProcess();
  try {
    std::thread([state, process, body = std::move(body)] {
      currentThread = state;
      DWORD id = GetCurrentThreadId();
      internal::JoinProcess(process);
      {
        std::lock_guard<sim::MachineMutex> lock(Lock());
        state->id = id;
        internal::NotifyAll();
      }
      DWORD code = body();
      // As on Windows: the thread's windows and queue go before the thread counts as ended.
      internal::WindowThreadEnded(id);
      std::lock_guard<sim::MachineMutex> lock(Lock());
      if (!state->terminated) state->exitCode = code;
      state->returned = true;
      if (state->runtimeHandle) ReleaseHandle(state->runtimeHandle, "thread");
      auto& list = threads().running;
      list.erase(std::remove(list.begin(), list.end(), state), list.end());
      internal::ThreadReturned();
      internal::NotifyAll();
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto& list = threads().running;
    list.erase(std::remove(list.begin(), list.end(), state), list.end());
    ReleaseHandle(handle, "thread");
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::unique_lock<sim::MachineMutex> lock(Lock());
  while (state->id == 0) internal::Wait(lock);
  if (threadId) *threadId = state->id;
  return handle;
}

}  // namespace

bool JoinAllThreads(DWORD timeoutMilliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  std::unique_lock<sim::MachineMutex> lock(Lock());
  for (;;) {
    bool allDone = std::all_of(threads().running.begin(), threads().running.end(),
                               [](const auto& t) { return t->parked; });
    if (allDone) return true;
    if (!internal::WaitUntil(lock, deadline)) {
      return std::all_of(threads().running.begin(), threads().running.end(),
                         [](const auto& t) { return t->parked; });
    }
  }
}

size_t LiveThreads() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return static_cast<size_t>(std::count_if(threads().running.begin(), threads().running.end(),
                                           [](const auto& t) { return !t->parked; }));
}

size_t ThreadsStarted() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return threads().startedSinceReset;
}

size_t ParkedThreads() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return threads().parkedSinceReset;
}

void RegisterKernelHandleKind(const std::string& kind) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& kinds = threads().kernelKinds;
  if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
}

namespace internal {

void NotifyAll() { changed().notify_all(); }

// A thread of a killed process that comes to wait, or wakes here, stops without going back to what
// it waited for.
void Wait(std::unique_lock<sim::MachineMutex>& lock) {
  if (CurrentThreadDead()) StopDeadThread();
  changed().wait(lock);
  if (CurrentThreadDead()) StopDeadThread();
}

bool WaitUntil(std::unique_lock<sim::MachineMutex>& lock,
               std::chrono::steady_clock::time_point deadline) {
  if (CurrentThreadDead()) StopDeadThread();
  bool woken = changed().wait_until(lock, deadline) == std::cv_status::no_timeout;
  if (CurrentThreadDead()) StopDeadThread();
  return woken;
}

void MarkCurrentThreadStopped() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (currentThread) currentThread->parked = true;
}

bool CurrentThreadTerminated() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return currentThread && currentThread->terminated;
}

bool IsRunningThread(DWORD threadId) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  for (const auto& t : threads().running)
    if (t->id == threadId && !t->terminated) return true;
  return false;
}

void Park() {
  // As with a real termination, the thread's windows and queue go with it.
  WindowThreadEnded(GetCurrentThreadId());
  std::unique_lock<sim::MachineMutex> lock(Lock());
  if (currentThread) {
    currentThread->parked = true;
    ++threads().parkedSinceReset;
  }
  NotifyAll();
  for (;;) Wait(lock);
}

}  // namespace internal
}  // namespace sim

using sim::Call;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
  Call call("CreateThread",
            {sim::Ptr(security), std::to_string(stackSize), sim::Ptr(parameter), sim::Hex(flags)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HANDLE>(nullptr);
  }
  if (flags & CREATE_SUSPENDED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return call.Ret<HANDLE>(nullptr);
  }
  DWORD id = 0;
  HANDLE handle = sim::StartThread([start, parameter] { return start(parameter); }, false, &id);
  if (handle && threadId) *threadId = id;
  if (handle) call.SetResult(sim::Ptr(handle) + " id " + std::to_string(id));
  return handle;
}

uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*),
                         void* argument, unsigned flags, unsigned* threadId) {
  Call call("_beginthreadex",
            {sim::Ptr(security), std::to_string(stackSize), sim::Ptr(argument), sim::Hex(flags)});
  if (call.Faulted()) return call.Ret<uint64_t>(0);
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<uint64_t>(0);
  }
  if (flags & CREATE_SUSPENDED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return call.Ret<uint64_t>(0);
  }
  DWORD id = 0;
  HANDLE handle = sim::StartThread(
      [start, argument] { return static_cast<DWORD>(start(argument)); }, false, &id);
  if (handle && threadId) *threadId = id;
  call.SetResult(sim::Ptr(handle));
  return reinterpret_cast<uintptr_t>(handle);
}

// The runtime's simple thread start: failure is -1, not 0, and the handle belongs to the runtime,
// which closes it when the thread returns. The handle handed back may already be closed by then,
// exactly as with the Microsoft runtime.
uintptr_t _beginthread(void (*start)(void*), unsigned stackSize, void* argument) {
  Call call("_beginthread", {std::to_string(stackSize), sim::Ptr(argument)});
  const uintptr_t failed = static_cast<uintptr_t>(-1);
  if (call.Faulted()) return call.Ret<uint64_t>(failed);
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<uint64_t>(failed);
  }
  HANDLE handle = sim::StartThread(
      [start, argument] {
        start(argument);
        return DWORD{0};
      },
      true, nullptr);
  if (!handle) return call.Ret<uint64_t>(failed);
  call.SetResult(sim::Ptr(handle));
  return reinterpret_cast<uintptr_t>(handle);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  Call call("WaitForSingleObject", {sim::Ptr(handle), std::to_string(milliseconds)});
  if (call.Faulted()) return call.Ret<DWORD>(WAIT_FAILED);
  if (sim::internal::CurrentThreadTerminated()) sim::internal::Park();
  if (sim::internal::IsMutexHandle(handle))
    return call.Ret<DWORD>(sim::internal::WaitForMutex(handle, milliseconds));
  if (sim::internal::IsEventHandle(handle))
    return call.Ret<DWORD>(sim::internal::WaitForEvent(handle, milliseconds));
  auto state = sim::Lookup<sim::ThreadState>(handle, "thread");
  if (!state) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<DWORD>(WAIT_FAILED);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<sim::MachineMutex> lock(sim::Lock());
  while (!state->Signalled()) {
    if (sim::currentThread && sim::currentThread->terminated) {
      lock.unlock();
      sim::internal::Park();
    }
    if (milliseconds == INFINITE) {
      sim::internal::Wait(lock);
    } else if (!sim::internal::WaitUntil(lock, deadline) && !state->Signalled()) {
      return call.Ret<DWORD>(WAIT_TIMEOUT);
    }
  }
  return call.Ret<DWORD>(WAIT_OBJECT_0);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  Call call("GetExitCodeThread", {sim::Ptr(thread)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  auto state = sim::Lookup<sim::ThreadState>(thread, "thread");
  if (!state || !exitCode) {
    SetLastError(state ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  *exitCode = state->exitCode;
  call.SetResult("TRUE code " + std::to_string(state->exitCode));
  return TRUE;
}

// A thread that has already ended keeps its exit code; the call still succeeds.
BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
  Call call("TerminateThread", {sim::Ptr(thread), std::to_string(exitCode)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  auto state = sim::Lookup<sim::ThreadState>(thread, "thread");
  if (!state) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  std::unique_lock<sim::MachineMutex> lock(sim::Lock());
  if (!state->Signalled()) {
    state->terminated = true;
    state->exitCode = exitCode;
    sim::internal::NotifyAll();  // wakes the thread where it blocks, so that it parks
    // The call returns once the thread has stopped (parked, or returned from code it was running
    // outside the machine), so nothing it does can come after the caller's next step.
    if (state != sim::currentThread) {
      while (!state->parked && !state->returned) sim::internal::Wait(lock);
    }
  }
  return call.Ret<BOOL>(TRUE);
}

BOOL CloseHandle(HANDLE handle) {
  // A file handle's path is journalled too: what its closing completes (a deletion) is told by it.
  std::string path = sim::FileHandlePath(handle);
  Call call("CloseHandle", path.empty() ? std::vector<std::string>{sim::Ptr(handle)}
                                        : std::vector<std::string>{sim::Ptr(handle), path});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::vector<std::string> kinds;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    kinds = sim::threads().kernelKinds;
  }
  for (const auto& kind : kinds)
    if (sim::ReleaseHandle(handle, kind)) return call.Ret<BOOL>(TRUE);
  SetLastError(ERROR_INVALID_HANDLE);
  return call.Ret<BOOL>(FALSE);
}
