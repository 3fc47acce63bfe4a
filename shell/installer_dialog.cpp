#include "shell/installer_dialog.h"

#include "support/messages.h"
#include "support/product.h"

InstallerDialogWindow::InstallerDialogWindow(HINSTANCE instance, InstallerMode mode,
                                             LPCWSTR driverFolder, LPCWSTR printerName,
                                             TargetProcessor processor)
    : DialogWindow(instance, ProgressDialogTemplate), mode_(mode) {
  worker_.SetMode(mode);
  worker_.SetDriverFolder(driverFolder ? driverFolder : TEXT("."));
  worker_.SetPrinterName(printerName ? printerName : DefaultPrinterName);
  worker_.SetOwner(this);
  worker_.SetProcessor(processor);
}

INT_PTR InstallerDialogWindow::OnInitDialog(WPARAM wParam, LPARAM lParam) {
  DialogWindow::OnInitDialog(wParam, lParam);
  CenterInWorkArea();
  SetWindowTextW(Hwnd(), ProductTitle);
  EnableWindow(Item(1002), FALSE);
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
    Destroy();
    return 0;
  }
  return 1;
}

int InstallerDialogWindow::ExitCode() const {
  // A dialog closed before the worker reported its end (or whose worker never started) has not
  // completed the operation.
  return workDone_ && worker_.failed() == 0 ? 0 : -1;
}
