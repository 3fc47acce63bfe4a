// The screen of the simulated machine: its windows, what they showed, and the person in front of
// it. Message boxes have their own scripted user (user.h).
//
// The window manager (window_manager.cpp) follows Win32: window classes, windows owned by the
// thread that created them, one message queue per thread, sent messages that run on the owner
// thread while it waits for messages, posted messages, dialogs from templates with a modal loop
// and the dialog manager's keyboard handling. See window_manager.cpp for the details and for what
// is simplified.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

// ----- windows -----
struct WindowInfo {
  HWND hwnd = nullptr;
  std::u16string className, text;
  int id = 0;  // child windows: the control id
  DWORD style = 0, exStyle = 0;
  RECT rect{};  // screen coordinates, as GetWindowRect gives them
  HWND parent = nullptr, owner = nullptr;
  bool enabled = true, visible = false;
  DWORD thread = 0;  // the creator, which owns it
};
std::optional<WindowInfo> Inspect(HWND window);
std::vector<WindowInfo> Windows();  // every live window, in creation order
size_t LiveWindows();

// The desktop work area SystemParametersInfoW(SPI_GETWORKAREA) reports; 0, 0, 1280, 984 after a
// reset (a 1280 x 1024 screen with a 40-pixel task bar).
void SetWorkArea(const RECT& area);
// Dialog templates come from this script text instead of the shipped resources/installer.rc until
// the next reset ("#include" files are still looked for beside installer.rc).
void UseResourceScript(const std::string& text);

// ----- what the screen showed -----
struct TextRecord {
  HWND window = nullptr;
  HWND dialog = nullptr;  // its top-level window (itself when top-level)
  int id = 0;             // the control id of a child window, 0 for a top-level window
  std::u16string text;
  DWORD thread = 0;  // the thread that asked for the text (the setter, or the creator)
  bool atCreation = false;
};
// Every text a window received, in order: creation texts and every WM_SETTEXT that the window
// took (SetWindowTextW, SetDlgItemTextW, WM_SETTEXT sent directly).
std::vector<TextRecord> TextHistory();
// The texts set on items of this id after their creation, in order (the status line's texts).
std::vector<std::u16string> ItemTextHistory(int itemId);
// The current text of the dialog's item; empty when there is no such item.
std::u16string DialogItemText(HWND dialog, int itemId);

// ----- the person at the screen -----
// Each of these is posted to the window's thread, as the input would arrive there.
void ClickCloseBox(HWND window);              // WM_SYSCOMMAND SC_CLOSE: the close box, Alt+F4
void PressKey(HWND window, UINT virtualKey);  // WM_KEYDOWN + WM_KEYUP to the window's focus
void ClickButton(HWND dialog, int buttonId);  // BM_CLICK on the dialog's button
// What a trigger does.
enum class UserAction { kCloseBox, kEnter, kEscape };
// When an item of that id (0: any window) receives a text containing `contains` (UTF-8), the
// person acts on its top-level window. The action is handled inside the text change, on the
// window's thread, before the call that set the text returns (the close box as WM_SYSCOMMAND
// SC_CLOSE delivered to the window; Enter and Escape as the dialog manager's clicks of the default
// button and of IDCANCEL), so nothing the program does next comes first. `times` limits how often
// the trigger fires (-1: always).
void WhenTextShown(int itemId, const std::string& contains, UserAction action, int times = 1);
// The same with a callback of the test's own. It runs without the machine lock; it must not wait
// for the window's thread (that thread is the one running it).
void WhenTextShown(int itemId, const std::string& contains,
                   std::function<void(const TextRecord&)> action, int times = 1);

// ----- the "Local Port" monitor's port-name dialog -----
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
