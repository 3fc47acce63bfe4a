// The screen of the simulated machine: its windows, what they showed, and the person in front of
// it. Message boxes have their own scripted user (user.h), the "Local Port" monitor's dialog its
// own script (port_dialog.h).
//
// The window manager follows Win32: window classes, windows owned by the thread that created them
// (window_core.cpp), one message queue per thread, sent messages that run on the owner thread
// while it waits for messages, posted messages (message_queues.cpp), dialogs from templates with
// a modal loop and the dialog manager's keyboard handling (dialog_manager.cpp). Those files say
// what they follow and what is simplified; screen.cpp holds what is declared here.
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

}  // namespace sim
