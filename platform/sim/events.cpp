// Events of the simulated machine. See events.h.
#include "platform/sim/events.h"

#include <chrono>
#include <memory>
#include <set>

#include "platform/sim/sim.h"
#include "platform/sim/threads.h"

namespace sim {
namespace {

// Guarded by the machine lock.
struct EventObject {
  bool manualReset = true;
  bool signalled = false;
};

std::multiset<DWORD>& waiting() {
  static auto* instance = new std::multiset<DWORD>;
  return *instance;
}

}  // namespace

namespace internal {

bool IsEventHandle(HANDLE handle) { return Lookup<EventObject>(handle, "event") != nullptr; }

bool WaitsForEvent(DWORD threadId) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return waiting().count(threadId) != 0;
}

DWORD WaitForEvent(HANDLE handle, DWORD milliseconds) {
  auto event = Lookup<EventObject>(handle, "event");
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const DWORD self = GetCurrentThreadId();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<sim::MachineMutex> lock(Lock());
  DWORD result = WAIT_OBJECT_0;
  auto mark = waiting().insert(self);
  NotifyAll();  // whoever waits for this thread to block
  while (!event->signalled) {
    if (milliseconds == INFINITE) {
      Wait(lock);
    } else if (!WaitUntil(lock, deadline) && !event->signalled) {
      result = WAIT_TIMEOUT;
      break;
    }
  }
  if (result == WAIT_OBJECT_0 && !event->manualReset) event->signalled = false;
  waiting().erase(mark);
  return result;
}

}  // namespace internal
}  // namespace sim

using sim::Call;
using sim::Lock;

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  Call call("CreateEventW", {std::to_string(manualReset), std::to_string(initialState),
                             sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  sim::RegisterKernelHandleKind("event");
  if (name) {  // named events are not modelled
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HANDLE>(nullptr);
  }
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto event = std::make_shared<sim::EventObject>();
  event->manualReset = manualReset != FALSE;
  event->signalled = initialState != FALSE;
  SetLastError(ERROR_SUCCESS);
  return call.Ret(sim::NewHandle("event", event));
}

BOOL SetEvent(HANDLE handle) {
  Call call("SetEvent", {sim::Ptr(handle)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto event = sim::Lookup<sim::EventObject>(handle, "event");
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  event->signalled = true;
  sim::internal::NotifyAll();
  return call.Ret<BOOL>(TRUE);
}
