#include "shell/console_events.h"

#include <atomic>

#include "platform/win32.h"
#include "spooler/service.h"
#include "support/stop_request.h"

namespace {

// Signalled when the run has ended; the handler of a close event waits for it.
HANDLE RunEnded = nullptr;
// Handlers still inside, so that the event is not closed under one of them.
std::atomic<int> HandlersInside{0};
constexpr DWORD PauseWhileHandlersLeaveMs = 10;
// Windows ends the process about five seconds after a close, logoff or shutdown event reaches
// it, whatever its handler does; the handler keeps within that.
constexpr DWORD EndingEventBudgetMs = 4000;
// A stop under way accepts no start: it is asked again after this pause.
constexpr DWORD PauseBeforeNextStartMs = 250;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ++HandlersInside;
  RequestStop();
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && RunEnded) {
    // The process ends when this returns, or a few seconds later at the latest, while a stopped
    // spooler may take a minute to stop: one this run stopped is started at once, then the step in
    // progress may finish within the time left.
    DWORD started = GetTickCount();
    while (SpoolerStoppedByThisRun() && !StartSpoolerAtOnce() &&
           GetTickCount() - started < EndingEventBudgetMs)
      Sleep(PauseBeforeNextStartMs);
    DWORD spent = GetTickCount() - started;
    WaitForSingleObject(RunEnded, spent < EndingEventBudgetMs ? EndingEventBudgetMs - spent : 0);
  }
  --HandlersInside;
  return TRUE;
}

}  // namespace

bool WatchConsoleEvents() {
  RunEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!RunEnded) return false;
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    CloseHandle(RunEnded);
    RunEnded = nullptr;
    return false;
  }
  return true;
}

void StopWatchingConsoleEvents() {
  if (!RunEnded) return;
  SetEvent(RunEnded);
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  while (HandlersInside.load() > 0) Sleep(PauseWhileHandlersLeaveMs);
  CloseHandle(RunEnded);
  RunEnded = nullptr;
}
