#include "shell/installer_dialog.h"

#include "support/messages.h"
#include "support/product.h"

namespace {

// How often the dialog tries to destroy itself at the end of the work before it leaves its
// closing to the person (the close box still works).
constexpr int MaxDestroyAttempts = 10;

}  // namespace

InstallerDialogWindow::InstallerDialogWindow(HINSTANCE instance, InstallerMode mode,
                                             LPCWSTR driverFolder, LPCWSTR printerName,
                                             TargetProcessor processor)
    : DialogWindow(instance, ProgressDialogTemplate), mode_(mode) {
  worker_.SetMode(mode);
  folderCopied_ = worker_.SetDriverFolder(driverFolder ? driverFolder : TEXT("."));
  printerNameCopied_ = worker_.SetPrinterName(printerName ? printerName : DefaultPrinterName);
  worker_.SetOwner(this);
  worker_.SetProcessor(processor);
}

INT_PTR InstallerDialogWindow::OnInitDialog(WPARAM wParam, LPARAM lParam) {
  DialogWindow::OnInitDialog(wParam, lParam);
  CenterInWorkArea();
  SetWindowTextW(Hwnd(), ProductTitle);
  EnableWindow(Item(1002), FALSE);
  if (!RequestComplete()) {
    // Refused before anything on the machine changes: an operation without its folder or printer
    // name could remove the installed driver and then fail to install the new one.
    ShowErrorBox(Hwnd(), ProductTitle, TEXT("メモリが不足しています!"));
    Destroy();
    return FALSE;
  }
  if (!worker_.Start()) {
    ShowErrorBox(Hwnd(), ProductTitle, TEXT("インストーラが開始できません!"));
    return FALSE;
  }
  return TRUE;
}

// No command ends the dialog: Enter, Escape and buttons are all swallowed.
INT_PTR InstallerDialogWindow::OnCommand(WPARAM, LPARAM) { return TRUE; }

INT_PTR InstallerDialogWindow::OnMessage(UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) {
    Destroy();
  } else if (message == WM_NCDESTROY) {
    PostQuitMessage(0);
  }
  return 0;
}

INT_PTR InstallerDialogWindow::OnUserMessage(UINT message, WPARAM, LPARAM) {
  if (message == WorkDoneMessage) {
    workDone_ = true;
    // A window that refuses to go now is tried again once the queue has moved on.
    if (!Destroy() && Hwnd() && ++destroyAttempts_ < MaxDestroyAttempts)
      PostMessageW(Hwnd(), WorkDoneMessage, 0, 0);
    return 0;
  }
  return 1;
}

bool InstallerDialogWindow::RequestComplete() const {
  // Uninstalling reads neither the folder nor the printer name.
  if (mode_ == Uninstall) return true;
  return folderCopied_ && printerNameCopied_;
}

RunOutcome InstallerDialogWindow::Outcome() const {
  if (!workDone_) return StoppedOnRequest;
  return worker_.failed() == 0 ? Done : worker_.outcome();
}

int InstallerDialogWindow::ExitCode() const {
  // A dialog closed before the worker reported its end (or whose worker never started) has not
  // completed the operation.
  return workDone_ && worker_.failed() == 0 ? 0 : -1;
}
