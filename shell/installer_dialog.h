// The progress dialog: shows the status line while its embedded worker carries out the mode.
#pragma once

#include <atomic>

#include "resources/resource.h"
#include "shell/dialog_window.h"
#include "shell/worker_thread.h"

inline constexpr WORD ProgressDialogTemplate = IDD_PROGRESS;

class InstallerDialogWindow : public DialogWindow {
 public:
  InstallerDialogWindow(HINSTANCE instance, InstallerMode mode, LPCWSTR driverFolder,
                        LPCWSTR printerName, TargetProcessor processor);
  ~InstallerDialogWindow() override = default;

  INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnCommand(WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The run's exit code: 0 only when the worker reported its end and its operation succeeded.
  int ExitCode() const;
  // How the run ended: the worker's outcome once it reported its end; StoppedOnRequest for a
  // dialog closed before that (or whose worker never started).
  RunOutcome Outcome() const;
  // Whether the worker's end was reported (WorkDoneMessage handled).
  bool WorkDone() const { return workDone_.load(); }
  InstallWorkerThread& Worker() { return worker_; }

 private:
  // Whether the worker holds everything its mode reads from the request.
  bool RequestComplete() const;

  InstallerMode mode_;
  InstallWorkerThread worker_;
  std::atomic<bool> workDone_{false};
  bool folderCopied_ = false;
  bool printerNameCopied_ = false;
  int destroyAttempts_ = 0;  // after the work is done
};
