// The dialog manager of the simulated window manager: the dialog class "#32770", dialogs from
// the program's templates (dialog_templates.h), the modal loop and its keys, and the calls on
// dialog items.
//
// What it follows from Win32:
//  - The dialog class's procedure calls the dialog procedure and does the default handling for
//    what that returns FALSE for (WM_CLOSE posts WM_COMMAND IDCANCEL unless the Cancel button is
//    disabled; the rest goes to DefWindowProcW, which turns SC_CLOSE into WM_CLOSE).
//  - The modal loop (DialogBoxParamW) serves sent messages, turns Enter into WM_COMMAND with the
//    default button's id (IDOK without one) and Escape into WM_COMMAND IDCANCEL (BN_CLICKED,
//    lParam the button or 0), ends on EndDialog or when the window is destroyed, re-posts a
//    WM_QUIT it meets, and disables the owner while it runs.
//  - The dialog procedure receives WM_SETFONT (DS_SETFONT) and then WM_INITDIALOG; it is not
//    called for WM_NCCREATE and WM_CREATE, which come before the dialog manager has set it.
//  - Dialog units convert with a fixed base unit (dialog_templates.h); DS_CENTER centres in the
//    work area.
// The machine lock is never held while a dialog procedure runs or a thread blocks.
#include "platform/sim/dialog_manager.h"

#include "platform/sim/modules.h"
#include "platform/sim/threads.h"

namespace sim::wm {
namespace {

const HANDLE kDialogFont = reinterpret_cast<HANDLE>(0x0A0F0001);

std::optional<DialogTemplate> LoadTemplate(HINSTANCE instance, LPCWSTR name) {
  if (instance && instance != ProgramModule()) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return std::nullopt;
  }
  ResourceScript script = ProgramResources();
  if (const DialogTemplate* t = script.FindDialog(name)) return *t;
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return std::nullopt;
}

// The dialog manager's keyboard handling (IsDialogMessage): true when it took the message.
bool DialogKeys(HWND dialog, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE))
    return false;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (!IsSelfOrDescendant(dialog, msg.hwnd)) return false;
  }
  ClickDialogButton(dialog, msg.wParam == VK_RETURN ? DefaultButtonId(dialog) : IDCANCEL);
  return true;
}

}  // namespace

// The dialog manager's default for a dialog button: WM_COMMAND id/BN_CLICKED to the dialog
// unless the button exists and is disabled.
void ClickDialogButton(HWND dialog, int id) {
  HWND button = nullptr;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    button = ChildById(dialog, id);
    auto b = Find(button);
    if (b && !b->enabled) return;
  }
  SendInternal(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

LRESULT DialogClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC dialogProc = nullptr;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = Find(hwnd);
    if (w) dialogProc = w->dialogProc;
  }
  if (dialogProc) {
    INT_PTR handled = dialogProc(hwnd, message, wParam, lParam);
    // DialogProc (Microsoft documentation): TRUE means handled, and the message's result is the
    // dialog's DWLP_MSGRESULT (not modelled: 0), except for the few messages whose result is
    // what the procedure returns.
    if (handled) {
      switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
          return handled;
        default:
          return 0;
      }
    }
  }
  switch (message) {
    case WM_CLOSE: {
      HWND cancel = nullptr;
      {
        std::lock_guard<sim::MachineMutex> lock(Lock());
        cancel = ChildById(hwnd, IDCANCEL);
        auto c = Find(cancel);
        if (c && !c->enabled) return 0;
      }
      PostInternal(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case WM_INITDIALOG:
    case WM_COMMAND:
      return 0;
    default:
      return DefaultProc(hwnd, message, wParam, lParam);
  }
}

HWND CreateFromTemplate(const DialogTemplate& t, HINSTANCE instance, HWND parent, DLGPROC proc,
                        LPARAM initParam, bool listNow) {
  int cx = DialogUnitsToPixelsX(t.cx) + 2 * FrameWidth(t.style);
  int cy = DialogUnitsToPixelsY(t.cy) + 2 * FrameWidth(t.style) + CaptionHeight(t.style);
  int x = DialogUnitsToPixelsX(t.x), y = DialogUnitsToPixelsY(t.y);
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (t.style & DS_CENTER) {
      const RECT& wa = model().workArea;
      x = wa.left + ((wa.right - wa.left) - cx) / 2;
      y = wa.top + ((wa.bottom - wa.top) - cy) / 2;
    } else if (auto p = Find(TopLevel(parent))) {
      RECT pr = ScreenRect(*p);
      x += pr.left + FrameWidth(p->style);
      y += pr.top + FrameWidth(p->style) + CaptionHeight(p->style);
    }
  }
  HWND owner = nullptr;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    owner = TopLevel(parent);
  }
  HWND dialog = CreateInternal(t.exStyle, kDialogClass, t.caption.c_str(), t.style & ~WS_VISIBLE, x,
                               y, cx, cy, owner, nullptr, instance, nullptr, false);
  if (!dialog) return nullptr;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    Find(dialog)->dialogProc = proc;
  }
  if (t.style & DS_SETFONT) Deliver(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(kDialogFont), 0);
  HWND focus = nullptr;
  for (const auto& item : t.items) {
    HWND control = CreateInternal(
        item.exStyle | kExNoParentNotify, item.className.c_str(), item.text.c_str(),
        item.style | WS_CHILD, DialogUnitsToPixelsX(item.x), DialogUnitsToPixelsY(item.y),
        DialogUnitsToPixelsX(item.cx), DialogUnitsToPixelsY(item.cy), dialog,
        reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), instance, nullptr);
    if (!control) {
      DWORD error = GetLastError();
      DestroyInternal(dialog);
      SetLastError(error);
      return nullptr;
    }
    if (!focus && (item.style & WS_TABSTOP) && !(item.style & WS_DISABLED)) focus = control;
  }
  {
    // Complete now: other threads find it from here on, during WM_INITDIALOG too, as on Windows
    // (where a worker started by WM_INITDIALOG can look the dialog up at once).
    std::lock_guard<sim::MachineMutex> lock(Lock());
    Find(dialog)->focus = focus;
    if (listNow) Find(dialog)->listed = true;
  }
  Deliver(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto w = Find(dialog);
  if (!w) return nullptr;  // the dialog procedure destroyed it
  if ((t.style & WS_VISIBLE) && !w->ended) w->visible = true;
  return dialog;
}

// What Enter presses: the default push button, or IDOK when there is none (DM_GETDEFID).
int DefaultButtonId(HWND dialog) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto d = Find(dialog);
  if (!d) return IDOK;
  for (HWND child : d->children) {
    auto c = Find(child);
    if (c && c->className == u"Button" && (c->style & 0xF) == 0x1)
      return c->id;  // BS_DEFPUSHBUTTON
  }
  return IDOK;
}

INT_PTR ModalLoop(HWND dialog) {
  std::shared_ptr<Window> w;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    w = Find(dialog);
    if (!w) return 0;
    if (!w->ended) w->visible = true;
  }
  // Holding the window object keeps its end flag and result readable after it has gone.
  auto over = [&] { return w->ended || Find(dialog) != w; };
  for (;;) {
    MSG msg{};
    Next next = NextMessage(&msg, nullptr, 0, 0, over);
    if (next == Next::kStopped) break;
    if (next == Next::kQuit) {
      // The loop ends and leaves the quit message for the loop outside it.
      std::lock_guard<sim::MachineMutex> lock(Lock());
      auto q = QueueOf(GetCurrentThreadId());
      q->quit = true;
      q->quitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (DialogKeys(dialog, msg)) continue;
    if (msg.hwnd) Deliver(msg.hwnd, msg.message, msg.wParam, msg.lParam);
  }
  bool alive = false;
  INT_PTR result = 0;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    alive = Find(dialog) == w;
    result = w->ended ? w->result : 0;
  }
  if (alive) DestroyInternal(dialog);
  return result;
}

}  // namespace sim::wm

using sim::Call;
namespace wm = sim::wm;

// ----- dialogs -----
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  Call call("DialogBoxParamW", {sim::Ptr(instance), sim::ResourceName(templateName),
                                sim::Ptr(parent), sim::Hex(static_cast<uint64_t>(initParam))});
  if (call.Faulted()) return call.Ret<int64_t>(-1);
  HWND owner = nullptr;
  if (parent) {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    owner = wm::TopLevel(parent);
    if (!owner) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<int64_t>(0);  // an invalid owner gives 0, every other failure -1
    }
  }
  auto t = wm::LoadTemplate(instance, templateName);
  if (!t) return call.Ret<int64_t>(-1);
  // The owner is disabled while the dialog is up, and enabled again afterwards.
  bool ownerWasEnabled = owner && !wm::EnableInternal(owner, false);
  HWND dialog = wm::CreateFromTemplate(*t, instance ? instance : sim::ProgramModule(), owner,
                                       dialogProc, initParam);
  INT_PTR result = -1;
  if (dialog) result = wm::ModalLoop(dialog);
  if (ownerWasEnabled) wm::EnableInternal(owner, true);
  return call.Ret<int64_t>(result);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  Call call("CreateDialogParamW", {sim::Ptr(instance), sim::ResourceName(templateName),
                                   sim::Ptr(parent), sim::Hex(static_cast<uint64_t>(initParam))});
  if (call.Faulted()) return call.Ret<HWND>(nullptr);
  if (parent) {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    if (!wm::Find(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<HWND>(nullptr);
    }
  }
  auto t = wm::LoadTemplate(instance, templateName);
  if (!t) return call.Ret<HWND>(nullptr);
  return call.Ret(wm::CreateFromTemplate(*t, instance ? instance : sim::ProgramModule(), parent,
                                         dialogProc, initParam));
}

// Marks the dialog ended and hides it; its modal loop destroys it and returns the result. Any
// thread may end a dialog.
BOOL EndDialog(HWND dialog, INT_PTR result) {
  Call call("EndDialog", {sim::Ptr(dialog), std::to_string(static_cast<int64_t>(result))});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(dialog);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  w->ended = true;
  w->result = result;
  w->visible = false;
  sim::internal::NotifyAll();
  return call.Ret<BOOL>(TRUE);
}

namespace {
// A dialog's item by id: ERROR_INVALID_WINDOW_HANDLE without the dialog,
// ERROR_CONTROL_ID_NOT_FOUND without the item.
HWND Item(HWND dialog, int id) {
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  if (!wm::Find(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND item = wm::ChildById(dialog, id);
  if (!item) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return item;
}
}  // namespace

HWND GetDlgItem(HWND dialog, int id) {
  Call call("GetDlgItem", {sim::Ptr(dialog), std::to_string(id)});
  if (call.Faulted()) return call.Ret<HWND>(nullptr);
  return call.Ret(Item(dialog, id));
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  Call call("SetDlgItemTextW", {sim::Ptr(dialog), std::to_string(id), sim::Utf8(text)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  HWND item = Item(dialog, id);
  if (!item) return call.Ret<BOOL>(FALSE);
  return call.Ret(wm::SetText(item, text));
}

// Copies at most capacity - 1 characters and always terminates; returns the characters copied.
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int capacity) {
  Call call("GetDlgItemTextW", {sim::Ptr(dialog), std::to_string(id), std::to_string(capacity)});
  if (text && capacity > 0) text[0] = 0;
  if (call.Faulted()) return call.Ret<DWORD>(0);
  HWND item = Item(dialog, id);
  if (!item) return call.Ret<DWORD>(0);
  return call.Ret(static_cast<DWORD>(wm::GetText(item, text, capacity)));
}
