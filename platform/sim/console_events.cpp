// Console control handlers of the simulated process and the events a console delivers to them.
// See session.h.
#include <algorithm>
#include <thread>
#include <vector>

#include "platform/sim/events.h"
#include "platform/sim/session.h"
#include "platform/sim/sim.h"
#include "platform/sim/threads.h"

namespace sim {
namespace {

// Guarded by the machine lock.
struct ConsoleEvents {
  std::vector<PHANDLER_ROUTINE> handlers;
  bool ignoresCtrlC = false;  // SetConsoleCtrlHandler(nullptr, TRUE)
  int running = 0;            // handler threads not yet returned
  bool processEnded = false;
};

ConsoleEvents& events() {
  static auto* instance = new ConsoleEvents;
  return *instance;
}

const bool registered = (RegisterResetHook("console_events", [] {
                           int running = events().running;
                           events() = ConsoleEvents{};
                           events().running = running;  // threads still out there count
                         }),
                         true);

}  // namespace

void DeliverConsoleEvent(DWORD event, std::function<void()> atProcessEnd) {
  std::vector<PHANDLER_ROUTINE> handlers;
  bool ignored = false;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    handlers.assign(events().handlers.rbegin(), events().handlers.rend());
    ignored = event == CTRL_C_EVENT && events().ignoresCtrlC;
    ++events().running;
  }
  struct Shared {
    DWORD thread = 0;
    bool done = false;
  };
  auto shared = std::make_shared<Shared>();
  std::thread([=] {
    {
      std::lock_guard<sim::MachineMutex> lock(Lock());
      shared->thread = GetCurrentThreadId();
      internal::NotifyAll();
    }
    bool handled = ignored;
    for (PHANDLER_ROUTINE handler : handlers) {
      if (handled) break;
      handled = handler(event) != FALSE;
    }
    bool ends = !handled || event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
                event == CTRL_SHUTDOWN_EVENT;
    if (ends && atProcessEnd) atProcessEnd();
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (ends) events().processEnded = true;
    shared->done = true;
    --events().running;
    internal::NotifyAll();
  }).detach();
  std::unique_lock<sim::MachineMutex> lock(Lock());
  while (!shared->done && !(shared->thread && internal::WaitsForEvent(shared->thread)))
    internal::Wait(lock);
}

void WaitForConsoleHandlers() {
  std::unique_lock<sim::MachineMutex> lock(Lock());
  while (events().running > 0) internal::Wait(lock);
}

size_t ConsoleHandlerCount() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return events().handlers.size();
}

bool ProcessEndedByConsoleEvent() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return events().processEnded;
}

}  // namespace sim

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  sim::Call call("SetConsoleCtrlHandler", {sim::Ptr(reinterpret_cast<void*>(handler)),
                                           std::to_string(add)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto& e = sim::events();
  if (!handler) {
    e.ignoresCtrlC = add != FALSE;
    return call.Ret<BOOL>(TRUE);
  }
  if (add) {
    e.handlers.push_back(handler);
    return call.Ret<BOOL>(TRUE);
  }
  auto found = std::find(e.handlers.rbegin(), e.handlers.rend(), handler);
  if (found == e.handlers.rend()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  e.handlers.erase(std::next(found).base());
  return call.Ret<BOOL>(TRUE);
}
