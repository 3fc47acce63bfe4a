// The "Local Port" monitor's port-name dialog on the simulated machine: what the spooler's
// AddPortW shows (RunLocalPortDialog), and how tests script the person at it and inspect its runs.
// The dialog lives in port_dialog.cpp and watches other threads' searches for windows through the
// window manager's search hook.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

// RunLocalPortDialog asks for a port name as the monitor does inside AddPortW: on the calling
// thread it shows a top-level dialog of class "#32770" captioned "Add a Local Port" with an "Edit"
// child of id 101 and OK and Cancel buttons, and runs its modal loop. IDOK (a WM_COMMAND, the
// Enter key, or a WM_CHAR carriage return posted to the dialog, which the monitor's dialog takes
// as confirmation) returns true with the text of the Edit field; IDCANCEL, the close box and
// Escape return false. The windows are gone when it returns.
bool RunLocalPortDialog(std::u16string* portName);

// Polls are the searches another thread makes for the dialog: EnumThreadWindows on the dialog's
// thread and FindWindowExW under any window of that thread (the dialog, or the wrong window a
// careless search took for it). Counting them keeps late appearances deterministic.
struct PortDialogScript {
  // The dialog appears only after this many EnumThreadWindows calls for its thread (counted
  // from the thread's start or its previous port dialog): the k-th call does not see it and
  // returns once the dialog is there, so the next one does. Until then the thread waits without
  // spinning. While this is set, the k-th enumeration of any simulated thread waits until that
  // thread shows a port dialog or ends.
  int appearAfterEnumerations = 0;
  // The thread's hidden "Default IME" window (class "IME") is created just before the dialog, so
  // that an enumeration of the thread's windows reports it first.
  bool imeWindowFirst = false;
  bool hasEdit = true;
  // The Edit field appears only after this many FindWindowExW calls under the dialog.
  int editAfterSearches = 0;
  enum class Person { kWaits, kCancels, kConfirms };
  // What the person does, and after how many polls since the dialog appeared (0: as soon as it
  // is shown). kConfirms types `typedName` into the field (when there is one) and presses OK.
  // kWaits leaves the dialog to the program: nothing ends it but the program's input.
  Person person = Person::kWaits;
  int actAfterPolls = 0;
  std::u16string typedName;
};
void SetPortDialogScript(const PortDialogScript& script);  // reset restores the defaults

struct PortDialogRecord {
  DWORD thread = 0;
  HWND dialog = nullptr;
  HWND edit = nullptr;
  bool confirmed = false;
  std::u16string name;   // the field's text when confirmed
  int enumerations = 0;  // EnumThreadWindows calls for the thread while it ran
  int searches = 0;      // FindWindowExW calls under the dialog
  bool finished = false;
};
// Every port dialog run since the reset, in order.
std::vector<PortDialogRecord> PortDialogs();

}  // namespace sim
