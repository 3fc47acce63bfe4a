// A background thread running one operation, and the installer's worker that carries the
// request, runs the mode's operation, records whether it failed and tells its dialog it is done.
#pragma once

#include <atomic>

#include "installation/outcome.h"
#include "installation/request.h"
#include "platform/win32.h"
#include "support/strings.h"

class DialogWindow;

// Posted to the owning dialog when the work is done, whatever its outcome (wParam 0, lParam 0).
inline constexpr UINT WorkDoneMessage = WM_USER + 1;

class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  virtual ~WorkerThread();  // slot 0
  virtual void Run() = 0;   // slot 1

  // Starts the thread (the runtime's thread start, default stack); false when none was created.
  bool Start();
  // True at once without a thread; otherwise waits up to the given time. Any result but a
  // timeout means the thread has ended: the handle is closed and forgotten.
  bool Wait(DWORD milliseconds);
  // Repeats Wait(slice) until it succeeds or, unless total is INFINITE, the elapsed ticks reach
  // total. Returns the last Wait result.
  bool WaitFor(DWORD slice, DWORD total);

 private:
  static unsigned __stdcall ThreadEntry(void* worker);
  std::atomic<HANDLE> thread_{nullptr};
};

class InstallWorkerThread : public WorkerThread {
 public:
  InstallWorkerThread() = default;
  ~InstallWorkerThread() override;
  void Run() override;

  void SetMode(InstallerMode mode) { mode_ = mode; }
  void SetOwner(DialogWindow* owner) { owner_ = owner; }
  void SetProcessor(TargetProcessor processor) { processor_ = processor; }
  // Keeps heap copies; false when a copy could not be made.
  bool SetDriverFolder(LPCWSTR folder);
  bool SetPrinterName(LPCWSTR name);

  int failed() const { return failed_.load(); }
  // How the operation ended; meaningful once the worker has reported its end.
  RunOutcome outcome() const { return static_cast<RunOutcome>(outcome_.load()); }

 private:
  // Tells the owner that the work is done (WorkDoneMessage), whatever the queue does.
  void ReportDone();

  std::atomic<int> failed_{0};            // written by the worker, read by the entry routine
  std::atomic<int> outcome_{StepFailed};  // likewise
  InstallerMode mode_ = Install;
  DialogWindow* owner_ = nullptr;
  HeapString driverFolder_;
  HeapString printerName_;
  TargetProcessor processor_ = X86;
};
