#include "shell/worker_thread.h"

#include "installation/operations.h"
#include "shell/dialog_window.h"
#include "support/strings.h"

namespace {

// The dialog closes only on WorkDoneMessage. A post that fails (a full queue) is tried again after
// a pause; when every post fails the message is sent instead, which needs no room in the queue.
constexpr int WorkDonePostAttempts = 5;
constexpr DWORD WorkDoneRetryPauseMs = 100;

}  // namespace

WorkerThread::~WorkerThread() {
  // A thread still running here belongs to a derived worker that chose not to wait; its handle
  // must not be left open.
  if (HANDLE thread = thread_.exchange(nullptr)) CloseHandle(thread);
}

unsigned __stdcall WorkerThread::ThreadEntry(void* worker) {
  static_cast<WorkerThread*>(worker)->Run();
  return 0;
}

bool WorkerThread::Start() {
  // _beginthreadex rather than _beginthread: the handle stays valid until Wait closes it, so a
  // wait can never meet a closed (or reused) handle.
  uintptr_t thread = _beginthreadex(nullptr, 0, ThreadEntry, this, 0, nullptr);
  if (thread == 0) return false;
  thread_ = reinterpret_cast<HANDLE>(thread);
  return true;
}

bool WorkerThread::Wait(DWORD milliseconds) {
  HANDLE thread = thread_.load();
  if (!thread) return true;
  if (WaitForSingleObject(thread, milliseconds) == WAIT_TIMEOUT) return false;
  if (thread_.exchange(nullptr) == thread) CloseHandle(thread);
  return true;
}

bool WorkerThread::WaitFor(DWORD slice, DWORD total) {
  DWORD start = GetTickCount();
  bool ended = false;
  while (!(ended = Wait(slice))) {
    if (total != INFINITE && GetTickCount() - start >= total) break;
  }
  return ended;
}

InstallWorkerThread::~InstallWorkerThread() {
  // The thread reads both copies while it runs: they are released (with the members) only after
  // it has ended.
  WaitFor(50, INFINITE);
}

bool InstallWorkerThread::SetDriverFolder(LPCWSTR folder) {
  driverFolder_.Reset(DuplicateString(folder));
  return static_cast<bool>(driverFolder_);
}

bool InstallWorkerThread::SetPrinterName(LPCWSTR name) {
  printerName_.Reset(DuplicateString(name));
  return static_cast<bool>(printerName_);
}

void InstallWorkerThread::Run() {
  failed_ = 0;
  OperationRequest request = {owner_ ? owner_->Hwnd() : nullptr, driverFolder_.Get(),
                              printerName_.Get(), processor_};
  RunOutcome outcome = StepFailed;
  failed_ = !RunMode(mode_, request, &outcome);
  outcome_ = outcome;
  ReportDone();
}

void InstallWorkerThread::ReportDone() {
  // The dialog may already be gone when the person closed it; then nobody waits for the news.
  for (int attempt = 0; attempt < WorkDonePostAttempts; ++attempt) {
    HWND owner = owner_ ? owner_->Hwnd() : nullptr;
    if (!owner) return;
    if (attempt > 0) Sleep(WorkDoneRetryPauseMs);
    if (PostMessageW(owner, WorkDoneMessage, 0, 0)) return;
  }
  if (HWND owner = owner_ ? owner_->Hwnd() : nullptr) SendMessageW(owner, WorkDoneMessage, 0, 0);
}
