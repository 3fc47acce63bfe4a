#include "shell/dialog_window.h"

namespace {

// Window messages that reach OnMessage; everything else outside the table gets no handler.
bool IsRoutedWindowMessage(UINT message) {
  switch (message) {
    case WM_NULL: case WM_CREATE: case WM_DESTROY: case WM_MOVE: case WM_SIZE: case WM_ENABLE:
    case WM_CLOSE: case WM_QUERYOPEN: case WM_SHOWWINDOW: case WM_ACTIVATEAPP:
    case WM_CANCELMODE: case WM_CHILDACTIVATE: case WM_GETMINMAXINFO: case WM_QUERYDRAGICON:
    case WM_COMPACTING: case WM_WINDOWPOSCHANGING: case WM_WINDOWPOSCHANGED:
    case WM_INPUTLANGCHANGEREQUEST: case WM_INPUTLANGCHANGE: case WM_USERCHANGED:
    case WM_STYLECHANGING: case WM_STYLECHANGED: case WM_GETICON: case WM_NCCREATE:
    case WM_NCDESTROY: case WM_NCCALCSIZE: case WM_NCACTIVATE: case WM_PARENTNOTIFY:
    case WM_SIZING: case WM_MOVING: case WM_ENTERSIZEMOVE: case WM_EXITSIZEMOVE:
      return true;
    default:
      return false;
  }
}

// The dialogs of this thread by window. The window property is the link the framework reads
// first; this list is its stand-in when the property could not be set or read, so that a dialog
// whose property failed still receives its messages and can be closed. A dialog's messages all
// run on the thread that created it, so each thread keeps its own list.
struct DialogLink {
  HWND window;
  DialogWindow* dialog;
};
constexpr int MaxDialogsPerThread = 8;
thread_local DialogLink DialogLinks[MaxDialogsPerThread] = {};

void Link(HWND window, DialogWindow* dialog) {
  for (DialogLink& link : DialogLinks) {
    if (!link.window || link.window == window) {
      link = {window, dialog};
      return;
    }
  }
}

void Unlink(HWND window) {
  for (DialogLink& link : DialogLinks)
    if (link.window == window) link = {nullptr, nullptr};
}

DialogWindow* Linked(HWND window) {
  for (const DialogLink& link : DialogLinks)
    if (link.window == window) return link.dialog;
  return nullptr;
}

}  // namespace

DialogWindow::DialogWindow(HINSTANCE instance, WORD templateId)
    : instance_(instance), templateId_(templateId) {}

DialogWindow::~DialogWindow() {
  if (Hwnd()) Destroy();
}

INT_PTR DialogWindow::OnInitDialog(WPARAM, LPARAM) { return TRUE; }
INT_PTR DialogWindow::OnCommand(WPARAM, LPARAM) { return 0; }
INT_PTR DialogWindow::OnCtlColor(UINT, WPARAM, LPARAM) { return 0; }
INT_PTR DialogWindow::OnMessage(UINT, WPARAM, LPARAM) { return 0; }
INT_PTR DialogWindow::OnNotify(WPARAM, LPARAM) { return 0; }
INT_PTR DialogWindow::OnScroll(UINT, WPARAM, LPARAM) { return 0; }
INT_PTR DialogWindow::OnTimer(WPARAM, LPARAM) { return 0; }
INT_PTR DialogWindow::OnUserMessage(UINT, WPARAM, LPARAM) { return 0; }

INT_PTR DialogWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog(wParam, lParam);
  if (message == WM_COMMAND) return OnCommand(wParam, lParam);
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
    return OnCtlColor(message, wParam, lParam);
  if (message == WM_NOTIFY) return OnNotify(wParam, lParam);
  if (message == WM_HSCROLL || message == WM_VSCROLL) return OnScroll(message, wParam, lParam);
  if (message == WM_TIMER) return OnTimer(wParam, lParam);
  if (message >= WM_USER + 1 && message <= WM_USER + 3)
    return OnUserMessage(message, wParam, lParam);
  if (IsRoutedWindowMessage(message)) return OnMessage(message, wParam, lParam);
  return 0;
}

INT_PTR CALLBACK DialogWindow::DialogProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* dialog = static_cast<DialogWindow*>(GetPropW(window, PropertyName));
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<DialogWindow*>(lParam);
    dialog->hwnd_ = window;
    Link(window, dialog);
    SetPropW(window, PropertyName, dialog);  // when this fails the thread's list still links them
  } else if (!dialog) {
    dialog = Linked(window);
  }
  if (!dialog) return 0;  // messages before WM_INITDIALOG are not handled
  INT_PTR result = dialog->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window is gone now, and the links with it: the system would drop the property too, but
    // a window must not leave its properties behind.
    RemovePropW(window, PropertyName);
    Unlink(window);
    dialog->hwnd_.compare_exchange_strong(window, nullptr);
  }
  return result;
}

INT_PTR DialogWindow::ShowModal(HWND parent) {
  return DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId_), parent, DialogProcedure,
                         reinterpret_cast<LPARAM>(this));
}

bool DialogWindow::CreateModeless(HWND parent) {
  HWND window = CreateDialogParamW(instance_, MAKEINTRESOURCEW(templateId_), parent,
                                   DialogProcedure, reinterpret_cast<LPARAM>(this));
  hwnd_ = window;
  return window != nullptr;
}

BOOL DialogWindow::Show(int command) { return ShowWindow(Hwnd(), command); }

HWND DialogWindow::Item(int id) const { return GetDlgItem(Hwnd(), id); }

BOOL DialogWindow::SetItemText(int id, LPCWSTR text) { return SetDlgItemTextW(Hwnd(), id, text); }

void DialogWindow::CenterInWorkArea() {
  RECT work = {};
  RECT window = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(Hwnd(), &window);
  LONG x = ((work.right - work.left) - (window.right - window.left)) / 2;
  LONG y = ((work.bottom - work.top) - (window.bottom - window.top)) / 2;
  SetWindowPos(Hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

BOOL DialogWindow::Destroy() {
  // The handle is forgotten only when the window has gone (here, or already at its final
  // message): a window that refused to go must stay reachable, or nothing could close it later.
  HWND window = Hwnd();
  BOOL result = DestroyWindow(window);
  if (result) hwnd_.compare_exchange_strong(window, nullptr);
  return result;
}
