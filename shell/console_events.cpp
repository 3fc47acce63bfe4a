#include "shell/console_events.h"

#include <atomic>

#include "platform/win32.h"
#include "support/stop_request.h"

namespace {

// Signalled when the run has ended; the handler of a close event waits for it.
HANDLE RunEnded = nullptr;
// Handlers still inside, so that the event is not closed under one of them.
std::atomic<int> HandlersInside{0};
constexpr DWORD PauseWhileHandlersLeaveMs = 10;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ++HandlersInside;
  RequestStop();
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && RunEnded) {
    // The process ends when this returns: not before the step in progress has finished and the
    // spooler runs again.
    WaitForSingleObject(RunEnded, INFINITE);
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
