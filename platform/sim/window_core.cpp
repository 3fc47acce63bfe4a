// The window core of the simulated window manager: classes, windows, properties, texts and
// geometry, the system classes' default procedures, and the enumeration and search of windows.
// Queues and messages are in message_queues.cpp, dialogs in dialog_manager.cpp; window_core.h
// names the rooms.
//
// What it follows from Win32:
//  - A window belongs to the thread that created it. SetWindowTextW and SetDlgItemTextW are
//    WM_SETTEXT sends, so a cross-thread text change has happened when the call returns.
//  - DestroyWindow works only on the owner thread (elsewhere FALSE, ERROR_ACCESS_DENIED). It
//    destroys the windows the window owns first, then sends WM_DESTROY to the window and then to
//    its children, and WM_NCDESTROY to the children before the window; queued messages for the
//    destroyed windows are dropped. When a thread ends, its windows go without messages.
//  - DefWindowProcW turns SC_CLOSE into WM_CLOSE and WM_CLOSE into DestroyWindow.
//  - Geometry: a window with a caption has a 3-pixel frame and a 22-pixel caption bar, a bordered
//    child a 1-pixel border. GetWindowRect gives screen coordinates; children move with their
//    parent. CW_USEDEFAULT gives position 0, 0 and size 640 x 480.
//  - EnumThreadWindows lists a thread's top-level windows in creation order; FindWindowExW
//    compares class and title without regard to case. Whoever watches these searches registers
//    a hook (window_core.h); the core itself knows no particular window.
//
// What is simplified: no painting, focus changes, activation, Z order or WM_WINDOWPOS*;
// GetWindowTextW reads the text directly instead of sending WM_GETTEXT (so it never waits for
// another thread); SetWindowPos moves under the lock without messages; no WM_PARENTNOTIFY.
#include "platform/sim/window_core.h"

#include <algorithm>

#include "platform/sim/process.h"
#include "platform/sim/threads.h"

namespace sim::wm {
namespace {

constexpr int kFrame = 3;
constexpr int kCaption = 22;

void AddSystemClasses(Model& m) {
  for (const char16_t* name : {kDialogClass, u"Edit", u"Static", u"Button", u"IME"}) {
    ClassInfo c;
    c.name = name;
    c.proc = name == kDialogClass ? DialogClassProc : ControlProc;
    c.atom = m.nextAtom++;
    c.system = true;
    m.classes.push_back(c);
  }
}

const bool registered = (RegisterResetHook("windows",
                                           [] {
                                             model() = Model{};
                                             AddSystemClasses(model());
                                           }),
                         true);

// A process that has gone takes its windows, queues and window classes with it.
const bool processEndRegistered =
    (internal::RegisterProcessEndHook("windows",
                                      [](int, const std::vector<DWORD>& threads) {
                                        for (DWORD id : threads) internal::WindowThreadEnded(id);
                                        std::lock_guard<sim::MachineMutex> lock(Lock());
                                        auto& classes = model().classes;
                                        classes.erase(std::remove_if(classes.begin(), classes.end(),
                                                                     [](const ClassInfo& c) {
                                                                       return !c.system;
                                                                     }),
                                                      classes.end());
                                      }),
     true);

WindowSearchHook& SearchHook() {
  static auto* hook = new WindowSearchHook;
  return *hook;
}

}  // namespace

Model& model() {
  static Model* instance = [] {
    auto* m = new Model;
    AddSystemClasses(*m);
    return m;
  }();
  return *instance;
}

void SetWindowSearchHook(WindowSearchHook hook) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  SearchHook() = std::move(hook);
}

thread_local DWORD requester = 0;

// ----- lookups; the machine lock is held -----
std::shared_ptr<Window> Find(HWND hwnd) {
  auto it = model().windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == model().windows.end() ? nullptr : it->second;
}

bool IsSelfOrDescendant(HWND ancestor, HWND hwnd) {
  for (auto w = Find(hwnd); w; w = Find(w->parent))
    if (w->hwnd == ancestor) return true;
  return false;
}

HWND TopLevel(HWND hwnd) {
  auto w = Find(hwnd);
  while (w && w->parent) w = Find(w->parent);
  return w ? w->hwnd : nullptr;
}

const ClassInfo* FindClass(LPCWSTR name) {
  if (!name) return nullptr;
  // Application classes shadow the system's of the same name, as local classes do.
  const ClassInfo* found = nullptr;
  for (const auto& c : model().classes) {
    bool match = IS_INTRESOURCE(name)
                     ? c.atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))
                     : EqualNoCase(c.name, name);
    if (match && (!found || found->system)) found = &c;
  }
  return found;
}

int FrameWidth(DWORD style) {
  if ((style & WS_CAPTION) == WS_CAPTION || (style & (DS_MODALFRAME | WS_THICKFRAME | 0x00400000)))
    return kFrame;
  return (style & WS_BORDER) ? 1 : 0;
}
int CaptionHeight(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION ? kCaption : 0; }

RECT ScreenRect(const Window& w) {
  RECT r = w.rect;
  if (auto p = Find(w.parent)) {
    RECT pr = ScreenRect(*p);
    int dx = pr.left + FrameWidth(p->style),
        dy = pr.top + FrameWidth(p->style) + CaptionHeight(p->style);
    r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
  }
  return r;
}

HWND ChildById(HWND dialog, int id) {
  auto d = Find(dialog);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    auto c = Find(child);
    if (c && c->id == id) return child;
  }
  return nullptr;
}

// ----- texts -----
void SetTextInternal(HWND hwnd, const std::u16string& text, bool atCreation) {
  std::vector<std::pair<std::function<void(const TextRecord&)>, TextRecord>> actions;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = Find(hwnd);
    if (!w) return;
    w->text = text;
    TextRecord r;
    r.window = hwnd;
    r.dialog = TopLevel(hwnd);
    r.id = w->parent ? w->id : 0;
    r.text = text;
    r.thread = requester ? requester : GetCurrentThreadId();
    r.atCreation = atCreation;
    model().texts.push_back(r);
    std::string utf8 = Utf8(text);
    for (auto& t : model().triggers) {
      if (t.times == 0) continue;
      if (t.itemId != 0 && t.itemId != r.id) continue;
      if (utf8.find(t.contains) == std::string::npos) continue;
      if (t.times > 0) --t.times;
      actions.emplace_back(t.action, r);
    }
  }
  for (auto& a : actions) a.first(a.second);
}

// ----- creation and destruction -----
HWND CreateInternal(DWORD exStyle, LPCWSTR className, LPCWSTR name, DWORD style, int x, int y,
                    int cx, int cy, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param,
                    bool listed) {
  auto w = std::make_shared<Window>();
  CREATESTRUCTW cs{};
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    const ClassInfo* c = FindClass(className);
    if (!c) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    auto p = parent ? Find(parent) : nullptr;
    if (parent && !p) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if ((style & WS_CHILD) && !p) {
      SetLastError(ERROR_TLW_WITH_WSCHILD);
      return nullptr;
    }
    if (x == CW_USEDEFAULT) x = 0, y = 0;
    if (cx == CW_USEDEFAULT) cx = 640, cy = 480;
    Model& m = model();
    w->hwnd = reinterpret_cast<HWND>(m.nextWindow);
    m.nextWindow += 2;
    w->className = c->name;
    w->proc = c->proc;
    w->dialog = c->name == kDialogClass;
    w->style = style;
    w->exStyle = exStyle;
    w->rect = RECT{x, y, x + cx, y + cy};
    if (style & WS_CHILD) {
      w->parent = parent;
      w->id = static_cast<int>(reinterpret_cast<intptr_t>(menu));
      p->children.push_back(w->hwnd);
    } else if (p) {
      w->owner = TopLevel(parent);  // a top-level window's "parent" is its owner
    }
    w->visible = (style & WS_VISIBLE) != 0;
    w->enabled = (style & WS_DISABLED) == 0;
    w->thread = GetCurrentThreadId();
    w->listed = listed;
    QueueOf(w->thread);
    m.windows[reinterpret_cast<uintptr_t>(w->hwnd)] = w;
    cs = CREATESTRUCTW{param, instance,  menu,   parent, cy, cx, y, x, static_cast<LONG>(style),
                       name,  className, exStyle};
  }
  HWND hwnd = w->hwnd;
  SetTextInternal(hwnd, name && !IS_INTRESOURCE(name) ? name : u"", true);
  LPARAM create = reinterpret_cast<LPARAM>(&cs);
  if (!Deliver(hwnd, WM_NCCREATE, 0, create) || Deliver(hwnd, WM_CREATE, 0, create) == -1) {
    DestroyInternal(hwnd);
    return nullptr;
  }
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return Find(hwnd) ? hwnd : nullptr;
}

// Postorder (children before their parent) and preorder lists of a window's tree.
void Tree(HWND hwnd, std::vector<HWND>* pre, std::vector<HWND>* post) {
  auto w = Find(hwnd);
  if (!w) return;
  pre->push_back(hwnd);
  for (HWND child : w->children) Tree(child, pre, post);
  post->push_back(hwnd);
}

void Remove(HWND hwnd) {
  Model& m = model();
  auto w = Find(hwnd);
  if (!w) return;
  if (auto p = Find(w->parent)) {
    auto& c = p->children;
    c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
  }
  for (auto& entry : m.queues) {
    auto& posted = entry.second->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [hwnd](const MSG& msg) { return msg.hwnd == hwnd; }),
                 posted.end());
  }
  m.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
}

// On the owner thread (the caller checked).
void DestroyInternal(HWND hwnd) {
  std::vector<HWND> owned;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = Find(hwnd);
    if (!w || w->destroying) return;
    w->destroying = true;
    for (auto& entry : model().windows) {
      const auto& o = entry.second;
      if (o->owner == hwnd && o->thread == w->thread && !o->destroying) owned.push_back(o->hwnd);
    }
  }
  for (HWND o : owned) DestroyInternal(o);
  std::vector<HWND> pre, post;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    Tree(hwnd, &pre, &post);
    for (HWND h : pre) {
      auto w = Find(h);
      w->destroying = true;
      w->visible = false;
    }
  }
  for (HWND h : pre) Deliver(h, WM_DESTROY, 0, 0);
  for (HWND h : post) {
    Deliver(h, WM_NCDESTROY, 0, 0);
    std::lock_guard<sim::MachineMutex> lock(Lock());
    Remove(h);
  }
  std::lock_guard<sim::MachineMutex> lock(Lock());
  internal::NotifyAll();
}

bool EnableInternal(HWND hwnd, bool enable) {
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = Find(hwnd);
    if (!w) return false;
    bool wasDisabled = !w->enabled;
    if (w->enabled == enable) return wasDisabled;
    w->enabled = enable;
  }
  SendInternal(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return enable;  // it was disabled exactly when it is enabled now
}

bool ShowInternal(HWND hwnd, bool show) {
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = Find(hwnd);
    if (!w) return false;
    if (w->visible == show) return show;
    w->visible = show;
  }
  SendInternal(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  return !show;
}

// ----- window procedures of the system classes -----
LRESULT DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) Deliver(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_SETTEXT: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      SetTextInternal(hwnd, text ? text : u"", false);
      return TRUE;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      std::u16string text;
      {
        std::lock_guard<sim::MachineMutex> lock(Lock());
        auto w = Find(hwnd);
        if (w) text = w->text;
      }
      if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(text.size());
      auto* buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!buffer || wParam == 0) return 0;
      size_t n = std::min(text.size(), static_cast<size_t>(wParam) - 1);
      text.copy(buffer, n);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    default:
      return 0;
  }
}

LRESULT ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == BM_CLICK) {
    HWND parent = nullptr;
    int id = 0;
    {
      std::lock_guard<sim::MachineMutex> lock(Lock());
      auto w = Find(hwnd);
      if (!w || w->className != u"Button" || !w->enabled) return 0;
      parent = w->parent, id = w->id;
    }
    if (parent)
      SendInternal(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    return 0;
  }
  return DefaultProc(hwnd, message, wParam, lParam);
}

// SetWindowTextW's work: a WM_SETTEXT sent to the window's thread.
BOOL SetText(HWND window, LPCWSTR text) {
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    if (!wm::Find(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
  }
  return wm::SendInternal(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u""))
             ? TRUE
             : FALSE;
}

int GetText(HWND window, LPWSTR text, int capacity) {
  if (text && capacity > 0) text[0] = 0;
  std::u16string value;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    auto w = wm::Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    value = w->text;
  }
  if (!text || capacity <= 0) return 0;
  size_t n = std::min(value.size(), static_cast<size_t>(capacity) - 1);
  value.copy(text, n);
  text[n] = 0;
  return static_cast<int>(n);
}
}  // namespace sim::wm

namespace sim::internal {
void WindowThreadEnded(DWORD threadId) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  wm::Model& m = wm::model();
  std::vector<HWND> gone;
  for (auto& entry : m.windows)
    if (entry.second->thread == threadId) gone.push_back(entry.second->hwnd);
  for (HWND h : gone) wm::Remove(h);
  auto q = m.queues.find(threadId);
  if (q != m.queues.end()) {
    // Senders waiting for this thread get 0, as when a receiving thread ends on Windows.
    for (auto& s : q->second->sent) s->done = true;
    m.queues.erase(q);
  }
  NotifyAll();
}
}  // namespace sim::internal

using sim::Call;
namespace wm = sim::wm;

// ----- classes and windows -----
ATOM RegisterClassW(const WNDCLASSW* windowClass) {
  Call call("RegisterClassW",
            {windowClass ? sim::Utf8(windowClass->lpszClassName) : std::string("(null)")});
  if (call.Faulted()) return 0;
  if (!windowClass || !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto& m = wm::model();
  for (const auto& c : m.classes) {
    if (!c.system && sim::EqualNoCase(c.name, windowClass->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      call.SetResult("0");
      return 0;
    }
  }
  wm::ClassInfo c;
  c.name = windowClass->lpszClassName;
  c.proc = windowClass->lpfnWndProc;
  c.style = windowClass->style;
  c.atom = m.nextAtom++;
  m.classes.push_back(c);
  call.SetResult(sim::Hex(c.atom));
  return c.atom;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter) {
  Call call("CreateWindowExW",
            {IS_INTRESOURCE(className) ? sim::Hex(reinterpret_cast<uintptr_t>(className))
                                       : sim::Utf8(className),
             sim::Utf8(windowName), sim::Hex(style), sim::Ptr(parent)});
  if (call.Faulted()) return call.Ret<HWND>(nullptr);
  return call.Ret(wm::CreateInternal(exStyle, className, windowName, style, x, y, width, height,
                                     parent, menu, instance, parameter));
}

// A faulted call does none of the default handling and returns 0 (so a WM_NCCREATE passed on
// fails the window's creation).
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("DefWindowProcW", {sim::Ptr(window), sim::Hex(message)});
  if (call.Faulted()) return call.Ret<int64_t>(0);
  return call.Ret<int64_t>(wm::DefaultProc(window, message, wParam, lParam));
}

BOOL DestroyWindow(HWND window) {
  Call call("DestroyWindow", {sim::Ptr(window)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    auto w = wm::Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(FALSE);
    }
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<BOOL>(FALSE);
    }
  }
  wm::DestroyInternal(window);
  return call.Ret<BOOL>(TRUE);
}

BOOL IsWindow(HWND window) {
  Call call("IsWindow", {sim::Ptr(window)});
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  return call.Ret<BOOL>(wm::Find(window) ? TRUE : FALSE);
}

int GetClassNameW(HWND window, LPWSTR className, int capacity) {
  Call call("GetClassNameW", {sim::Ptr(window)});
  if (call.Faulted()) {
    if (className && capacity > 0) className[0] = 0;
    return call.Ret<int64_t>(0);
  }
  std::u16string name;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    auto w = wm::Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<int64_t>(0);
    }
    name = w->className;
  }
  if (!className || capacity <= 0) return call.Ret<int64_t>(0);
  size_t n = std::min(name.size(), static_cast<size_t>(capacity) - 1);
  name.copy(className, n);
  className[n] = 0;
  call.SetResult(sim::Utf8(name.substr(0, n)));
  return static_cast<int>(n);
}

BOOL IsWindowVisible(HWND window) {
  Call call("IsWindowVisible", {sim::Ptr(window)});
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  // Visible only when it and every ancestor are.
  bool visible = wm::Find(window) != nullptr;
  for (auto w = wm::Find(window); w; w = wm::Find(w->parent)) visible = visible && w->visible;
  return call.Ret<BOOL>(visible ? TRUE : FALSE);
}

BOOL IsWindowEnabled(HWND window) {
  Call call("IsWindowEnabled", {sim::Ptr(window)});
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(window);
  return call.Ret<BOOL>(w && w->enabled ? TRUE : FALSE);
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  Call call("SetWindowTextW", {sim::Ptr(window), sim::Utf8(text)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  return call.Ret(wm::SetText(window, text));
}

int GetWindowTextW(HWND window, LPWSTR text, int capacity) {
  Call call("GetWindowTextW", {sim::Ptr(window), std::to_string(capacity)});
  if (call.Faulted()) {
    if (text && capacity > 0) text[0] = 0;
    return 0;
  }
  return static_cast<int>(call.Ret<int64_t>(wm::GetText(window, text, capacity)));
}

// Nonzero when the window was disabled before. A faulted call leaves the window as it was and
// returns FALSE.
BOOL EnableWindow(HWND window, BOOL enable) {
  Call call("EnableWindow", {sim::Ptr(window), std::to_string(enable)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    if (!wm::Find(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(FALSE);
    }
  }
  return call.Ret<BOOL>(wm::EnableInternal(window, enable != FALSE) ? TRUE : FALSE);
}

// Nonzero when the window was visible before.
BOOL ShowWindow(HWND window, int command) {
  Call call("ShowWindow", {sim::Ptr(window), std::to_string(command)});
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    if (!wm::Find(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(FALSE);
    }
  }
  return call.Ret<BOOL>(wm::ShowInternal(window, command != SW_HIDE) ? TRUE : FALSE);
}

BOOL SystemParametersInfoW(UINT action, UINT param, PVOID value, UINT winIni) {
  Call call("SystemParametersInfoW", {sim::Hex(action), std::to_string(param), sim::Hex(winIni)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  if (action != SPI_GETWORKAREA || !value) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  *static_cast<RECT*>(value) = wm::model().workArea;
  return call.Ret<BOOL>(TRUE);
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  Call call("GetWindowRect", {sim::Ptr(window)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(window);
  if (!w || !rect) {
    SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  *rect = wm::ScreenRect(*w);
  return call.Ret<BOOL>(TRUE);
}

// Position and size only; the Z order is not modelled, so insertAfter is not used.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Call call("SetWindowPos",
            {sim::Ptr(window), sim::Ptr(insertAfter), std::to_string(x), std::to_string(y),
             std::to_string(cx), std::to_string(cy), sim::Hex(flags)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  RECT& r = w->rect;
  int width = r.right - r.left, height = r.bottom - r.top;
  if (!(flags & SWP_NOMOVE)) r.left = x, r.top = y;
  if (!(flags & SWP_NOSIZE)) width = cx, height = cy;
  r.right = r.left + width;
  r.bottom = r.top + height;
  return call.Ret<BOOL>(TRUE);
}

// Top-level windows of the thread in creation order. FALSE when the callback stopped the
// enumeration or the thread has no windows.
BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC callback, LPARAM lParam) {
  Call call("EnumThreadWindows", {std::to_string(threadId)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::vector<HWND> list;
  wm::WindowSearchHook hook;
  bool begun = false;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    for (auto& entry : wm::model().windows) {
      const auto& w = entry.second;
      if (w->thread == threadId && !w->parent && !w->destroying && w->listed)
        list.push_back(w->hwnd);
    }
    hook = wm::SearchHook();
    if (hook.begins) begun = hook.begins(threadId, nullptr);
  }
  bool all = !list.empty();
  for (HWND h : list) {
    {
      std::lock_guard<sim::MachineMutex> lock(sim::Lock());
      if (!wm::Find(h)) continue;  // gone meanwhile
    }
    if (callback && !callback(h, lParam)) {
      all = false;
      break;
    }
  }
  if (hook.ended) hook.ended(threadId, nullptr, begun);
  return call.Ret<BOOL>(all ? TRUE : FALSE);
}

// Children of `parent` (top-level windows when it is null) after `childAfter`, by class and
// title, both compared without regard to case.
HWND FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName) {
  Call call("FindWindowExW",
            {sim::Ptr(parent), sim::Ptr(childAfter),
             IS_INTRESOURCE(className) ? sim::Hex(reinterpret_cast<uintptr_t>(className))
                                       : sim::Utf8(className),
             sim::Utf8(windowName)});
  if (call.Faulted()) return call.Ret<HWND>(nullptr);
  HWND found = nullptr;
  DWORD parentThread = 0;
  wm::WindowSearchHook hook;
  bool begun = false;
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    std::vector<HWND> candidates;
    if (parent) {
      auto p = wm::Find(parent);
      if (!p) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return call.Ret<HWND>(nullptr);
      }
      parentThread = p->thread;
      candidates = p->children;
      hook = wm::SearchHook();
      if (hook.begins) begun = hook.begins(parentThread, parent);
    } else {
      for (auto& entry : wm::model().windows)
        if (!entry.second->parent && entry.second->listed) candidates.push_back(entry.second->hwnd);
    }
    auto start = candidates.begin();
    if (childAfter) {
      start = std::find(candidates.begin(), candidates.end(), childAfter);
      if (start != candidates.end()) ++start;
    }
    const wm::ClassInfo* wanted = className ? wm::FindClass(className) : nullptr;
    for (auto it = start; it != candidates.end() && !found; ++it) {
      auto w = wm::Find(*it);
      if (!w) continue;
      if (className &&
          !(wanted ? sim::EqualNoCase(w->className, wanted->name)
                   : !IS_INTRESOURCE(className) && sim::EqualNoCase(w->className, className)))
        continue;
      if (windowName && !sim::EqualNoCase(w->text, windowName)) continue;
      found = w->hwnd;
    }
  }
  if (parent && hook.ended) hook.ended(parentThread, parent, begun);
  return call.Ret(found);
}
