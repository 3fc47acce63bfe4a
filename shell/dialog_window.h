// A dialog created from a template resource, bound to one object whose virtual handlers receive
// the dialog's messages through a fixed routing table.
#pragma once

#include <atomic>

#include "platform/win32.h"

class DialogWindow {
 public:
  DialogWindow(HINSTANCE instance, WORD templateId);
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // The handlers, in their fixed slot order. Each returns what the dialog procedure returns.
  virtual ~DialogWindow();                                                    // slot 0
  virtual INT_PTR OnInitDialog(WPARAM wParam, LPARAM lParam);                 // slot 1
  virtual INT_PTR OnCommand(WPARAM wParam, LPARAM lParam);                    // slot 2
  virtual INT_PTR OnCtlColor(UINT message, WPARAM wParam, LPARAM lParam);     // slot 3
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);      // slot 4
  virtual INT_PTR OnNotify(WPARAM wParam, LPARAM lParam);                     // slot 5
  virtual INT_PTR OnScroll(UINT message, WPARAM wParam, LPARAM lParam);       // slot 6
  virtual INT_PTR OnTimer(WPARAM wParam, LPARAM lParam);                      // slot 7
  virtual INT_PTR OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam);  // slot 8
  virtual INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);       // slot 9

  INT_PTR ShowModal(HWND parent);
  bool CreateModeless(HWND parent);
  BOOL Show(int command);
  HWND Item(int id) const;
  BOOL SetItemText(int id, LPCWSTR text);
  // Centres the window in the desktop work area's size; the work area's own origin is not added.
  void CenterInWorkArea();
  // DestroyWindow on the stored handle. The handle is cleared when the window has gone (at its
  // final message); a window that could not be destroyed keeps it, so it can be closed later.
  BOOL Destroy();
  // May be read from other threads (the worker posts to it and owns message boxes by it).
  HWND Hwnd() const { return hwnd_.load(); }

  // Name of the window property that links a dialog window to its object.
  static constexpr const WCHAR* PropertyName = TEXT("hwndDialogWindow");

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  DWORD templateId_;  // a 16-bit resource number
  std::atomic<HWND> hwnd_{nullptr};
};
