// Inside the simulated window manager: what the dialog manager (dialog_manager.cpp) offers the
// screen's person and dialogs of the system's own (port_dialog.cpp). Not for tests.
#pragma once

#include "platform/sim/dialog_templates.h"
#include "platform/sim/window_core.h"

namespace sim::wm {

// The dialog manager's default for a dialog button: WM_COMMAND id/BN_CLICKED to the dialog
// unless the button exists and is disabled.
void ClickDialogButton(HWND dialog, int id);
// What Enter presses: the default push button, or IDOK when there is none (DM_GETDEFID).
int DefaultButtonId(HWND dialog);
// Creates the dialog and its items, sends WM_SETFONT and WM_INITDIALOG. The dialog is listed
// when it is complete, or left to the caller to list (listNow false).
HWND CreateFromTemplate(const DialogTemplate& t, HINSTANCE instance, HWND parent, DLGPROC proc,
                        LPARAM initParam, bool listNow = true);
// Runs the dialog's modal loop until EndDialog or its destruction; destroys it; its result.
INT_PTR ModalLoop(HWND dialog);

}  // namespace sim::wm
