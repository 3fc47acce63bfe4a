// The simulated window manager: classes, windows, per-thread message queues, sent and posted
// messages, dialogs from templates with their modal loop, and the screen the tests look at.
//
// What it follows from Win32:
//  - A window belongs to the thread that created it. SendMessageW from that thread calls the
//    window procedure directly; from another thread the message waits in the owner's sent-message
//    queue and runs when the owner retrieves messages (GetMessageW, a modal loop) or itself waits
//    in SendMessageW; the sender blocks until it has run. SetWindowTextW and SetDlgItemTextW are
//    WM_SETTEXT sends, so a cross-thread text change has happened when the call returns.
//  - Posted messages queue per thread in order; WM_QUIT (PostQuitMessage) is returned once the
//    posted messages are gone; GetMessageW returns 0 for it.
//  - DestroyWindow works only on the owner thread (elsewhere FALSE, ERROR_ACCESS_DENIED). It
//    destroys the windows the window owns first, then sends WM_DESTROY to the window and then to
//    its children, and WM_NCDESTROY to the children before the window; queued messages for the
//    destroyed windows are dropped. When a thread ends, its windows go without messages.
//  - The dialog class "#32770": its procedure calls the dialog procedure and does the default
//    handling for what that returns FALSE for (WM_CLOSE posts WM_COMMAND IDCANCEL unless the
//    Cancel button is disabled; the rest goes to DefWindowProcW, which turns SC_CLOSE into
//    WM_CLOSE). The modal loop (DialogBoxParamW) is the dialog manager's: it serves sent messages,
//    turns Enter into WM_COMMAND with the default button's id (IDOK without one) and Escape into
//    WM_COMMAND IDCANCEL (BN_CLICKED, lParam the button or 0), ends on EndDialog or when the
//    window is destroyed, re-posts a WM_QUIT it meets, and disables the owner while it runs.
//    The dialog procedure receives WM_SETFONT (DS_SETFONT) and then WM_INITDIALOG; it is not
//    called for WM_NCCREATE and WM_CREATE, which come before the dialog manager has set it.
//  - Geometry: dialog units convert with a fixed base unit (dialog_templates.h); a window with a
//    caption has a 3-pixel frame and a 22-pixel caption bar, a bordered child a 1-pixel border.
//    GetWindowRect gives screen coordinates; children move with their parent. DS_CENTER centres
//    in the work area. CW_USEDEFAULT gives position 0, 0 and size 640 x 480.
//
// What is simplified: no painting, focus changes, activation, Z order or WM_WINDOWPOS*;
// GetWindowTextW reads the text directly instead of sending WM_GETTEXT (so it never waits for
// another thread); SetWindowPos moves under the lock without messages; no WM_PARENTNOTIFY.
// The machine lock is never held while a window or dialog procedure runs or a thread blocks.
#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/sim/dialog_templates.h"
#include "platform/sim/sim.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"

namespace sim {
namespace {

constexpr char16_t kDialogClass[] = u"#32770";
constexpr int kFrame = 3;
constexpr int kCaption = 22;
const HINSTANCE kModule = reinterpret_cast<HINSTANCE>(0x00400000);
const HANDLE kDialogFont = reinterpret_cast<HANDLE>(0x0A0F0001);
// The port dialog's own message for bringing in its Edit field on its thread.
constexpr UINT kPortDialogAddEdit = 0x8000 + 0x2A1;  // WM_APP range
constexpr int kPortEditId = 101;
constexpr DWORD kExNoParentNotify = 0x00000004;  // WS_EX_NOPARENTNOTIFY, which dialog items carry

using Lock_t = std::unique_lock<std::recursive_mutex>;

struct ClassInfo {
  std::u16string name;
  WNDPROC proc = nullptr;
  UINT style = 0;
  ATOM atom = 0;
  bool system = false;
};

struct Window {
  HWND hwnd = nullptr;
  std::u16string className;
  WNDPROC proc = nullptr;
  bool dialog = false;
  DLGPROC dialogProc = nullptr;
  std::u16string text;
  DWORD style = 0, exStyle = 0;
  RECT rect{};  // screen coordinates for top-level windows, parent client coordinates otherwise
  HWND parent = nullptr, owner = nullptr;
  int id = 0;
  std::map<std::u16string, HANDLE> props;
  bool enabled = true, visible = false;
  DWORD thread = 0;
  bool destroying = false;
  // Seen by enumerations and top-level searches. A dialog is listed once its controls exist:
  // to other threads it appears whole.
  bool listed = true;
  std::vector<HWND> children;
  // Dialogs.
  bool ended = false;
  INT_PTR result = 0;
  HWND focus = nullptr;
};

struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD sender = 0;
  LRESULT result = 0;
  bool done = false;
};

struct Queue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
};

struct Trigger {
  int itemId = 0;
  std::string contains;
  std::function<void(const TextRecord&)> action;
  int times = 1;
};

struct PortRun {
  PortDialogRecord record;
  PortDialogScript script;
  bool shown = false;
  int polls = 0;
  bool acted = false;
  bool editAdded = false;
  RECT editBox{};  // where the field goes, in dialog units (x, y, cx, cy)
};

struct Model {
  std::vector<ClassInfo> classes;
  ATOM nextAtom = 0xC000;
  std::map<uintptr_t, std::shared_ptr<Window>> windows;  // handle values grow: creation order
  uintptr_t nextWindow = 0x10010;
  std::map<DWORD, std::shared_ptr<Queue>> queues;
  RECT workArea{0, 0, 1280, 984};
  std::vector<TextRecord> texts;
  std::vector<Trigger> triggers;
  std::optional<std::string> script;
  PortDialogScript portScript;
  std::vector<std::shared_ptr<PortRun>> portRuns;
  std::map<DWORD, int> enumerations;  // EnumThreadWindows calls per thread
  std::map<HWND, int> searches;       // FindWindowExW calls per parent
};

LRESULT ControlProc(HWND, UINT, WPARAM, LPARAM);
LRESULT DialogClassProc(HWND, UINT, WPARAM, LPARAM);
void DestroyInternal(HWND hwnd);

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

Model& model() {
  static Model* instance = [] {
    auto* m = new Model;
    AddSystemClasses(*m);
    return m;
  }();
  return *instance;
}

const bool registered = (RegisterResetHook("windows",
                                           [] {
                                             model() = Model{};
                                             AddSystemClasses(model());
                                           }),
                         true);

// The thread whose request a window procedure is running (the sender of a sent message, or the
// thread itself); what the text history names as the setter.
thread_local DWORD requester = 0;

// Destroys the windows of a thread that exits without having asked the window manager to.
struct QueueGuard {
  DWORD id = 0;
  ~QueueGuard() {
    if (id) internal::WindowThreadEnded(id);
  }
};
thread_local QueueGuard queueGuard;

// ----- lookups; the machine lock is held -----
std::shared_ptr<Window> Find(HWND hwnd) {
  auto it = model().windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == model().windows.end() ? nullptr : it->second;
}

std::shared_ptr<Queue> QueueOf(DWORD thread) {
  auto& q = model().queues[thread];
  if (!q) q = std::make_shared<Queue>();
  if (thread == GetCurrentThreadId()) queueGuard.id = thread;
  return q;
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

// ----- message delivery; called without the machine lock -----
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto w = Find(hwnd);
    if (!w) return 0;
    proc = w->proc;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

// Runs a message another thread sent, then releases its sender.
void Serve(const std::shared_ptr<SentMessage>& s) {
  DWORD previous = requester;
  requester = s->sender;
  LRESULT result = Deliver(s->hwnd, s->message, s->wParam, s->lParam);
  requester = previous;
  std::lock_guard<std::recursive_mutex> lock(Lock());
  s->result = result;
  s->done = true;
  internal::NotifyAll();
}

// Parks the calling thread when it was terminated; `lock` is released first.
void StopIfTerminated(Lock_t& lock) {
  if (!internal::CurrentThreadTerminated()) return;
  lock.unlock();
  internal::Park();
}

LRESULT SendInternal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD me = GetCurrentThreadId();
  Lock_t lock(Lock());
  auto w = Find(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->thread == me) {
    lock.unlock();
    DWORD previous = requester;
    requester = me;
    LRESULT result = Deliver(hwnd, message, wParam, lParam);
    requester = previous;
    return result;
  }
  auto s = std::make_shared<SentMessage>();
  *s = SentMessage{hwnd, message, wParam, lParam, me, 0, false};
  QueueOf(w->thread)->sent.push_back(s);
  internal::NotifyAll();
  auto mine = QueueOf(me);
  while (!s->done) {
    StopIfTerminated(lock);
    // A thread waiting for its own sent message still serves those sent to it, as on Windows,
    // so that two threads sending to each other do not deadlock.
    if (!mine->sent.empty()) {
      auto incoming = mine->sent.front();
      mine->sent.pop_front();
      lock.unlock();
      Serve(incoming);
      lock.lock();
      continue;
    }
    internal::Wait(lock);
  }
  return s->result;
}

bool PostInternal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  DWORD thread = GetCurrentThreadId();
  if (hwnd) {
    auto w = Find(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return false;
    }
    thread = w->thread;
  }
  MSG msg{hwnd, message, wParam, lParam, static_cast<DWORD>(Now()), {0, 0}};
  QueueOf(thread)->posted.push_back(msg);
  internal::NotifyAll();
  return true;
}

bool InRange(UINT message, UINT low, UINT high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

enum class Next { kMessage, kQuit, kStopped };

// The heart of GetMessageW and the modal loops: serves sent messages, then returns the first
// posted message that passes the filters, then WM_QUIT; blocks until one of them comes or
// `stop` holds.
Next NextMessage(MSG* out, HWND filter, UINT low, UINT high, const std::function<bool()>& stop) {
  DWORD me = GetCurrentThreadId();
  Lock_t lock(Lock());
  for (;;) {
    StopIfTerminated(lock);
    auto q = QueueOf(me);  // anew each time: a reset replaces the queues
    if (!q->sent.empty()) {
      auto s = q->sent.front();
      q->sent.pop_front();
      lock.unlock();
      Serve(s);
      lock.lock();
      continue;
    }
    if (stop && stop()) return Next::kStopped;
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
      if (filter && !IsSelfOrDescendant(filter, it->hwnd)) continue;
      if (!InRange(it->message, low, high)) continue;
      *out = *it;
      q->posted.erase(it);
      return Next::kMessage;
    }
    if (q->quit && InRange(WM_QUIT, low, high)) {
      q->quit = false;
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, static_cast<DWORD>(Now()),
                 {0, 0}};
      return Next::kQuit;
    }
    internal::Wait(lock);
  }
}

// ----- texts -----
void SetTextInternal(HWND hwnd, const std::u16string& text, bool atCreation) {
  std::vector<std::pair<std::function<void(const TextRecord&)>, TextRecord>> actions;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
                    bool listed = true) {
  auto w = std::make_shared<Window>();
  CREATESTRUCTW cs{};
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
  std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Remove(h);
  }
  std::lock_guard<std::recursive_mutex> lock(Lock());
  internal::NotifyAll();
}

bool EnableInternal(HWND hwnd, bool enable) {
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
        std::lock_guard<std::recursive_mutex> lock(Lock());
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
      std::lock_guard<std::recursive_mutex> lock(Lock());
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

HWND ChildById(HWND dialog, int id) {
  auto d = Find(dialog);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    auto c = Find(child);
    if (c && c->id == id) return child;
  }
  return nullptr;
}

// The dialog manager's default for a dialog button: WM_COMMAND id/BN_CLICKED to the dialog
// unless the button exists and is disabled.
void ClickDialogButton(HWND dialog, int id) {
  HWND button = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    button = ChildById(dialog, id);
    auto b = Find(button);
    if (b && !b->enabled) return;
  }
  SendInternal(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

LRESULT DialogClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC dialogProc = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto w = Find(hwnd);
    if (w) dialogProc = w->dialogProc;
  }
  if (dialogProc) {
    INT_PTR handled = dialogProc(hwnd, message, wParam, lParam);
    if (handled) return handled;
  }
  switch (message) {
    case WM_CLOSE: {
      HWND cancel = nullptr;
      {
        std::lock_guard<std::recursive_mutex> lock(Lock());
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

// ----- dialogs -----
std::optional<std::string> ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::optional<DialogTemplate> LoadTemplate(HINSTANCE instance, LPCWSTR name) {
  if (instance && instance != kModule) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return std::nullopt;
  }
  std::optional<std::string> text;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    text = model().script;
  }
  const std::string dir = ZQ_RESOURCE_DIR;
  if (!text) text = ReadHostFile(dir + "/installer.rc");
  if (text) {
    ResourceScript script = ParseResourceScript(
        *text, [&](const std::string& file) { return ReadHostFile(dir + "/" + file); });
    if (const DialogTemplate* t = script.FindDialog(name)) return *t;
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return std::nullopt;
}

// The dialog is listed when it is complete, or left to the caller to list (listNow false).
HWND CreateFromTemplate(const DialogTemplate& t, HINSTANCE instance, HWND parent, DLGPROC proc,
                        LPARAM initParam, bool listNow = true) {
  int cx = DialogUnitsToPixelsX(t.cx) + 2 * FrameWidth(t.style);
  int cy = DialogUnitsToPixelsY(t.cy) + 2 * FrameWidth(t.style) + CaptionHeight(t.style);
  int x = DialogUnitsToPixelsX(t.x), y = DialogUnitsToPixelsY(t.y);
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
    owner = TopLevel(parent);
  }
  HWND dialog = CreateInternal(t.exStyle, kDialogClass, t.caption.c_str(), t.style & ~WS_VISIBLE, x,
                               y, cx, cy, owner, nullptr, instance, nullptr, false);
  if (!dialog) return nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
    Find(dialog)->focus = focus;
  }
  Deliver(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto w = Find(dialog);
  if (!w) return nullptr;  // the dialog procedure destroyed it
  if ((t.style & WS_VISIBLE) && !w->ended) w->visible = true;
  if (listNow) w->listed = true;
  return dialog;
}

// What Enter presses: the default push button, or IDOK when there is none (DM_GETDEFID).
int DefaultButtonId(HWND dialog) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto d = Find(dialog);
  if (!d) return IDOK;
  for (HWND child : d->children) {
    auto c = Find(child);
    if (c && c->className == u"Button" && (c->style & 0xF) == 0x1)
      return c->id;  // BS_DEFPUSHBUTTON
  }
  return IDOK;
}

// The dialog manager's keyboard handling (IsDialogMessage): true when it took the message.
bool DialogKeys(HWND dialog, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE))
    return false;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    if (!IsSelfOrDescendant(dialog, msg.hwnd)) return false;
  }
  ClickDialogButton(dialog, msg.wParam == VK_RETURN ? DefaultButtonId(dialog) : IDCANCEL);
  return true;
}

INT_PTR ModalLoop(HWND dialog) {
  std::shared_ptr<Window> w;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
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
      std::lock_guard<std::recursive_mutex> lock(Lock());
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
    std::lock_guard<std::recursive_mutex> lock(Lock());
    alive = Find(dialog) == w;
    result = w->ended ? w->result : 0;
  }
  if (alive) DestroyInternal(dialog);
  return result;
}

// ----- the Local Port monitor's dialog -----
const char kPortDialogScript[] =
    "1 DIALOGEX 0, 0, 210, 60\n"
    "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
    "CAPTION \"Add a Local Port\"\n"
    "FONT 8, \"MS Shell Dlg\", 400, 0, 1\n"
    "BEGIN\n"
    "    LTEXT           \"&Enter a port name:\", -1, 7, 7, 196, 8\n"
    "    EDITTEXT        101, 7, 19, 196, 12, ES_AUTOHSCROLL\n"
    "    DEFPUSHBUTTON   \"OK\", IDOK, 99, 39, 50, 14\n"
    "    PUSHBUTTON      \"Cancel\", IDCANCEL, 153, 39, 50, 14\n"
    "END\n";

// The run of the calling thread's port dialog, if one is open. The machine lock is held.
std::shared_ptr<PortRun> PortRunOf(DWORD thread) {
  for (auto& run : model().portRuns)
    if (run->record.thread == thread && !run->record.finished) return run;
  return nullptr;
}

void AddPortEdit(PortRun& run, HWND dialog) {
  HWND edit = CreateInternal(
      kExNoParentNotify, u"Edit", u"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | 0x80,
      DialogUnitsToPixelsX(run.editBox.left), DialogUnitsToPixelsY(run.editBox.top),
      DialogUnitsToPixelsX(run.editBox.right), DialogUnitsToPixelsY(run.editBox.bottom), dialog,
      reinterpret_cast<HMENU>(static_cast<intptr_t>(kPortEditId)), kModule, nullptr);
  std::lock_guard<std::recursive_mutex> lock(Lock());
  run.record.edit = edit;
  run.editAdded = true;
  if (auto d = Find(dialog)) d->focus = edit;
}

INT_PTR PortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  std::shared_ptr<PortRun> run;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    run = PortRunOf(GetCurrentThreadId());
  }
  if (!run) return FALSE;
  bool confirm =
      (message == WM_COMMAND && LOWORD(wParam) == IDOK) || (message == WM_CHAR && wParam == '\r');
  if (confirm) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto edit = Find(ChildById(dialog, kPortEditId));
    run->record.name = edit ? edit->text : u"";
    run->record.confirmed = true;
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  if (message == kPortDialogAddEdit) {
    AddPortEdit(*run, dialog);
    return TRUE;
  }
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The person's act on the port dialog, from whichever thread counted the poll that calls for it.
void PortPersonActs(const PortRun& run) {
  HWND dialog = run.record.dialog;
  if (run.script.person == PortDialogScript::Person::kCancels) {
    ClickDialogButton(dialog, IDCANCEL);
  } else if (run.script.person == PortDialogScript::Person::kConfirms) {
    HWND edit = nullptr;
    {
      std::lock_guard<std::recursive_mutex> lock(Lock());
      edit = ChildById(dialog, kPortEditId);
    }
    if (edit)
      SendInternal(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(run.script.typedName.c_str()));
    ClickDialogButton(dialog, IDOK);
  }
}

// A poll of the port thread's windows: EnumThreadWindows for `thread`, or FindWindowExW under
// `parent`, one of that thread's windows. Brings in what the script lets appear after this many
// polls, and lets the person act.
// `sawDialog`: an enumeration that listed the thread's windows while its port dialog was shown.
void PortPoll(DWORD thread, HWND parent, bool sawDialog) {
  Lock_t lock(Lock());
  std::shared_ptr<PortRun> run = PortRunOf(thread);
  if (!run || !run->shown || (!parent && !sawDialog)) {
    // The k-th look at a thread whose dialog is to appear late returns only once the dialog is
    // there (or the thread ended without one), even when the program looked before the thread
    // got as far as its dialog: so the next look is the first to see it.
    const PortDialogScript& script = run ? run->script : model().portScript;
    if (parent || script.appearAfterEnumerations == 0 ||
        model().enumerations[thread] != script.appearAfterEnumerations)
      return;
    size_t runsBefore = 0;
    for (auto& r : model().portRuns) runsBefore += r->record.thread == thread && r != run;
    internal::NotifyAll();
    for (;;) {
      std::shared_ptr<PortRun> latest;
      size_t runs = 0;
      for (auto& r : model().portRuns)
        if (r->record.thread == thread) latest = r, ++runs;
      bool newRun = latest && runs > runsBefore;
      if (newRun && (latest->shown || latest->record.finished)) return;
      if (!newRun && !internal::IsRunningThread(thread)) return;
      internal::Wait(lock);
    }
  }
  HWND dialog = run->record.dialog;
  if (parent && parent == dialog) {
    run->record.searches = model().searches[parent];
    if (run->script.hasEdit && !run->editAdded &&
        run->record.searches >= run->script.editAfterSearches) {
      lock.unlock();
      SendInternal(dialog, kPortDialogAddEdit, 0, 0);
      lock.lock();
    }
  }
  ++run->polls;
  if (!run->acted && run->script.person != PortDialogScript::Person::kWaits &&
      run->polls >= run->script.actAfterPolls) {
    run->acted = true;
    PortRun copy = *run;
    lock.unlock();
    PortPersonActs(copy);
  }
}

}  // namespace

// ----- test API -----
std::optional<WindowInfo> Inspect(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto w = Find(window);
  if (!w) return std::nullopt;
  WindowInfo info;
  info.hwnd = w->hwnd;
  info.className = w->className;
  info.text = w->text;
  info.id = w->id;
  info.style = w->style;
  info.exStyle = w->exStyle;
  info.rect = ScreenRect(*w);
  info.parent = w->parent;
  info.owner = w->owner;
  info.enabled = w->enabled;
  info.visible = w->visible;
  info.thread = w->thread;
  return info;
}

std::vector<WindowInfo> Windows() {
  std::vector<HWND> all;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    for (auto& entry : model().windows) all.push_back(entry.second->hwnd);
  }
  std::vector<WindowInfo> out;
  for (HWND h : all)
    if (auto info = Inspect(h)) out.push_back(*info);
  return out;
}

size_t LiveWindows() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  return model().windows.size();
}

void SetWorkArea(const RECT& area) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  model().workArea = area;
}

void UseResourceScript(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  model().script = text;
}

std::vector<TextRecord> TextHistory() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  return model().texts;
}

std::vector<std::u16string> ItemTextHistory(int itemId) {
  std::vector<std::u16string> out;
  for (const auto& r : TextHistory())
    if (r.id == itemId && r.window != r.dialog && !r.atCreation) out.push_back(r.text);
  return out;
}

std::u16string DialogItemText(HWND dialog, int itemId) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto item = Find(ChildById(dialog, itemId));
  return item ? item->text : std::u16string();
}

void ClickCloseBox(HWND window) { PostInternal(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void PressKey(HWND window, UINT virtualKey) {
  HWND target = window;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto w = Find(window);
    if (w && w->dialog && Find(w->focus)) target = w->focus;
  }
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  PostInternal(target, WM_KEYDOWN, virtualKey, scan | 1);
  PostInternal(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM{3} << 30));
}

void ClickButton(HWND dialog, int buttonId) {
  HWND button = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    button = ChildById(dialog, buttonId);
  }
  if (button) PostInternal(button, BM_CLICK, 0, 0);
}

void WhenTextShown(int itemId, const std::string& contains,
                   std::function<void(const TextRecord&)> action, int times) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  model().triggers.push_back(Trigger{itemId, contains, std::move(action), times});
}

void WhenTextShown(int itemId, const std::string& contains, UserAction action, int times) {
  WhenTextShown(
      itemId, contains,
      // Runs on the window's thread inside the text change: the input is handled right there, as
      // the dialog manager would handle it, so that nothing the program does next comes first.
      [action](const TextRecord& r) {
        if (action == UserAction::kCloseBox) Deliver(r.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (action == UserAction::kEnter) ClickDialogButton(r.dialog, DefaultButtonId(r.dialog));
        if (action == UserAction::kEscape) ClickDialogButton(r.dialog, IDCANCEL);
      },
      times);
}

void SetPortDialogScript(const PortDialogScript& script) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  model().portScript = script;
}

std::vector<PortDialogRecord> PortDialogs() {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  std::vector<PortDialogRecord> out;
  for (auto& run : model().portRuns) {
    PortDialogRecord r = run->record;
    if (!r.finished) r.enumerations = model().enumerations[r.thread];
    if (!r.finished && r.dialog) r.searches = model().searches[r.dialog];
    out.push_back(r);
  }
  return out;
}

bool RunLocalPortDialog(std::u16string* portName) {
  DWORD me = GetCurrentThreadId();
  auto run = std::make_shared<PortRun>();
  {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    run->script = model().portScript;
    run->record.thread = me;
    model().portRuns.push_back(run);
  }
  HWND ime = nullptr;
  if (run->script.imeWindowFirst) {
    ime = CreateInternal(0, u"IME", u"Default IME", WS_POPUP | WS_DISABLED, 0, 0, 1, 1, nullptr,
                         nullptr, kModule, nullptr);
  }
  auto finish = [&](bool confirmed) {
    if (ime) DestroyInternal(ime);
    std::lock_guard<std::recursive_mutex> lock(Lock());
    if (confirmed && portName) *portName = run->record.name;
    // Enumerations count from the thread's last port dialog on.
    run->record.enumerations = model().enumerations[me];
    model().enumerations.erase(me);
    if (run->record.dialog) run->record.searches = model().searches[run->record.dialog];
    run->record.finished = true;
    internal::NotifyAll();
    return confirmed;
  };
  {
    // The dialog is late: wait, without spinning, until the program has looked often enough.
    Lock_t lock(Lock());
    while (model().enumerations[me] < run->script.appearAfterEnumerations) {
      if (internal::CurrentThreadTerminated()) {
        run->record.finished = true;
        lock.unlock();
        internal::Park();
      }
      internal::Wait(lock);
    }
  }
  ResourceScript script = ParseResourceScript(kPortDialogScript);
  DialogTemplate t = script.dialogs.at(0);
  for (auto it = t.items.begin(); it != t.items.end(); ++it) {
    if (it->id != kPortEditId) continue;
    run->editBox = RECT{it->x, it->y, it->cx, it->cy};
    if (!run->script.hasEdit || run->script.editAfterSearches > 0) t.items.erase(it);
    break;
  }
  HWND dialog = CreateFromTemplate(t, kModule, nullptr, PortDialogProc, 0, false);
  if (!dialog) return finish(false);
  {
    // Listed and shown at once, so that a search either sees the dialog and counts as a poll,
    // or does neither.
    std::lock_guard<std::recursive_mutex> lock(Lock());
    if (auto w = Find(dialog)) w->listed = true;
    run->record.dialog = dialog;
    run->record.edit = ChildById(dialog, kPortEditId);
    run->editAdded = run->record.edit != nullptr;
    run->shown = true;
    internal::NotifyAll();
  }
  if (run->script.person != PortDialogScript::Person::kWaits && run->script.actAfterPolls == 0) {
    run->acted = true;
    PortPersonActs(*run);
  }
  INT_PTR result = ModalLoop(dialog);
  return finish(result == IDOK);
}

namespace internal {

void WindowThreadEnded(DWORD threadId) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  Model& m = model();
  std::vector<HWND> gone;
  for (auto& entry : m.windows)
    if (entry.second->thread == threadId) gone.push_back(entry.second->hwnd);
  for (HWND h : gone) Remove(h);
  auto q = m.queues.find(threadId);
  if (q != m.queues.end()) {
    // Senders waiting for this thread get 0, as when a receiving thread ends on Windows.
    for (auto& s : q->second->sent) s->done = true;
    m.queues.erase(q);
  }
  NotifyAll();
}

}  // namespace internal
}  // namespace sim

using sim::Call;

// ----- classes and windows -----
ATOM RegisterClassW(const WNDCLASSW* windowClass) {
  Call call("RegisterClassW",
            {windowClass ? sim::Utf8(windowClass->lpszClassName) : std::string("(null)")});
  if (call.Faulted()) return 0;
  if (!windowClass || !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto& m = sim::model();
  for (const auto& c : m.classes) {
    if (!c.system && sim::EqualNoCase(c.name, windowClass->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      call.SetResult("0");
      return 0;
    }
  }
  sim::ClassInfo c;
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
  return call.Ret(sim::CreateInternal(exStyle, className, windowName, style, x, y, width, height,
                                      parent, menu, instance, parameter));
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("DefWindowProcW", {sim::Ptr(window), sim::Hex(message)});
  return call.Ret<int64_t>(sim::DefaultProc(window, message, wParam, lParam));
}

BOOL DestroyWindow(HWND window) {
  Call call("DestroyWindow", {sim::Ptr(window)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    auto w = sim::Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(FALSE);
    }
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<BOOL>(FALSE);
    }
  }
  sim::DestroyInternal(window);
  return call.Ret<BOOL>(TRUE);
}

BOOL IsWindow(HWND window) {
  Call call("IsWindow", {sim::Ptr(window)});
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  return call.Ret<BOOL>(sim::Find(window) ? TRUE : FALSE);
}

namespace {
std::u16string PropKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name))
    return sim::Utf16("#" + std::to_string(reinterpret_cast<uintptr_t>(name)));
  return sim::Upper(name);  // property names are atoms: case does not matter
}
}  // namespace

BOOL SetPropW(HWND window, LPCWSTR name, HANDLE data) {
  Call call("SetPropW",
            {sim::Ptr(window), IS_INTRESOURCE(name) ? "#" : sim::Utf8(name), sim::Ptr(data)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(window);
  if (!w || !name) {
    SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  w->props[PropKey(name)] = data;
  return call.Ret<BOOL>(TRUE);
}

HANDLE GetPropW(HWND window, LPCWSTR name) {
  Call call("GetPropW", {sim::Ptr(window), IS_INTRESOURCE(name) ? "#" : sim::Utf8(name)});
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(window);
  if (!w || !name) return call.Ret<HANDLE>(nullptr);
  auto it = w->props.find(PropKey(name));
  return call.Ret<HANDLE>(it == w->props.end() ? nullptr : it->second);
}

HANDLE RemovePropW(HWND window, LPCWSTR name) {
  Call call("RemovePropW", {sim::Ptr(window), IS_INTRESOURCE(name) ? "#" : sim::Utf8(name)});
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(window);
  if (!w || !name) return call.Ret<HANDLE>(nullptr);
  auto it = w->props.find(PropKey(name));
  if (it == w->props.end()) return call.Ret<HANDLE>(nullptr);
  HANDLE data = it->second;
  w->props.erase(it);
  return call.Ret(data);
}

int GetClassNameW(HWND window, LPWSTR className, int capacity) {
  Call call("GetClassNameW", {sim::Ptr(window)});
  std::u16string name;
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    auto w = sim::Find(window);
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
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  // Visible only when it and every ancestor are.
  bool visible = sim::Find(window) != nullptr;
  for (auto w = sim::Find(window); w; w = sim::Find(w->parent)) visible = visible && w->visible;
  return call.Ret<BOOL>(visible ? TRUE : FALSE);
}

BOOL IsWindowEnabled(HWND window) {
  Call call("IsWindowEnabled", {sim::Ptr(window)});
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(window);
  return call.Ret<BOOL>(w && w->enabled ? TRUE : FALSE);
}

// ----- dialogs -----
namespace {
std::string TemplateName(LPCWSTR name) {
  return IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name))
                              : sim::Utf8(name);
}
}  // namespace

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  Call call("DialogBoxParamW", {sim::Ptr(instance), TemplateName(templateName), sim::Ptr(parent),
                                sim::Hex(static_cast<uint64_t>(initParam))});
  if (call.Faulted()) return call.Ret<int64_t>(-1);
  HWND owner = nullptr;
  if (parent) {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    owner = sim::TopLevel(parent);
    if (!owner) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<int64_t>(0);  // an invalid owner gives 0, every other failure -1
    }
  }
  auto t = sim::LoadTemplate(instance, templateName);
  if (!t) return call.Ret<int64_t>(-1);
  // The owner is disabled while the dialog is up, and enabled again afterwards.
  bool ownerWasEnabled = owner && !sim::EnableInternal(owner, false);
  HWND dialog =
      sim::CreateFromTemplate(*t, instance ? instance : sim::kModule, owner, dialogProc, initParam);
  INT_PTR result = -1;
  if (dialog) result = sim::ModalLoop(dialog);
  if (ownerWasEnabled) sim::EnableInternal(owner, true);
  return call.Ret<int64_t>(result);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  Call call("CreateDialogParamW", {sim::Ptr(instance), TemplateName(templateName), sim::Ptr(parent),
                                   sim::Hex(static_cast<uint64_t>(initParam))});
  if (call.Faulted()) return call.Ret<HWND>(nullptr);
  if (parent) {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    if (!sim::Find(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<HWND>(nullptr);
    }
  }
  auto t = sim::LoadTemplate(instance, templateName);
  if (!t) return call.Ret<HWND>(nullptr);
  return call.Ret(sim::CreateFromTemplate(*t, instance ? instance : sim::kModule, parent,
                                          dialogProc, initParam));
}

// Marks the dialog ended and hides it; its modal loop destroys it and returns the result. Any
// thread may end a dialog.
BOOL EndDialog(HWND dialog, INT_PTR result) {
  Call call("EndDialog", {sim::Ptr(dialog), std::to_string(static_cast<int64_t>(result))});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(dialog);
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

HWND GetDlgItem(HWND dialog, int id) {
  Call call("GetDlgItem", {sim::Ptr(dialog), std::to_string(id)});
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  if (!sim::Find(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<HWND>(nullptr);
  }
  HWND item = sim::ChildById(dialog, id);
  if (!item) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return call.Ret(item);
}

namespace {
// SetWindowTextW's work: a WM_SETTEXT sent to the window's thread.
BOOL SetText(HWND window, LPCWSTR text) {
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    if (!sim::Find(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
  }
  return sim::SendInternal(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u""))
             ? TRUE
             : FALSE;
}

int GetText(HWND window, LPWSTR text, int capacity) {
  if (text && capacity > 0) text[0] = 0;
  std::u16string value;
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    auto w = sim::Find(window);
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

HWND Item(HWND dialog, int id) {
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  if (!sim::Find(dialog)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND item = sim::ChildById(dialog, id);
  if (!item) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return item;
}
}  // namespace

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  Call call("SetDlgItemTextW", {sim::Ptr(dialog), std::to_string(id), sim::Utf8(text)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  HWND item = Item(dialog, id);
  if (!item) return call.Ret<BOOL>(FALSE);
  return call.Ret(SetText(item, text));
}

// Copies at most capacity - 1 characters and always terminates; returns the characters copied.
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int capacity) {
  Call call("GetDlgItemTextW", {sim::Ptr(dialog), std::to_string(id), std::to_string(capacity)});
  if (text && capacity > 0) text[0] = 0;
  if (call.Faulted()) return call.Ret<DWORD>(0);
  HWND item = Item(dialog, id);
  if (!item) return call.Ret<DWORD>(0);
  return call.Ret(static_cast<DWORD>(GetText(item, text, capacity)));
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  Call call("SetWindowTextW", {sim::Ptr(window), sim::Utf8(text)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  return call.Ret(SetText(window, text));
}

int GetWindowTextW(HWND window, LPWSTR text, int capacity) {
  Call call("GetWindowTextW", {sim::Ptr(window), std::to_string(capacity)});
  if (call.Faulted()) {
    if (text && capacity > 0) text[0] = 0;
    return 0;
  }
  return static_cast<int>(call.Ret<int64_t>(GetText(window, text, capacity)));
}

// Nonzero when the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable) {
  Call call("EnableWindow", {sim::Ptr(window), std::to_string(enable)});
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    if (!sim::Find(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(FALSE);
    }
  }
  return call.Ret<BOOL>(sim::EnableInternal(window, enable != FALSE) ? TRUE : FALSE);
}

// Nonzero when the window was visible before.
BOOL ShowWindow(HWND window, int command) {
  Call call("ShowWindow", {sim::Ptr(window), std::to_string(command)});
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    if (!sim::Find(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(FALSE);
    }
  }
  return call.Ret<BOOL>(sim::ShowInternal(window, command != SW_HIDE) ? TRUE : FALSE);
}

BOOL SystemParametersInfoW(UINT action, UINT param, PVOID value, UINT winIni) {
  Call call("SystemParametersInfoW", {sim::Hex(action), std::to_string(param), sim::Hex(winIni)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  if (action != SPI_GETWORKAREA || !value) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  *static_cast<RECT*>(value) = sim::model().workArea;
  return call.Ret<BOOL>(TRUE);
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  Call call("GetWindowRect", {sim::Ptr(window)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(window);
  if (!w || !rect) {
    SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  *rect = sim::ScreenRect(*w);
  return call.Ret<BOOL>(TRUE);
}

// Position and size only; the Z order is not modelled, so insertAfter is not used.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Call call("SetWindowPos",
            {sim::Ptr(window), sim::Ptr(insertAfter), std::to_string(x), std::to_string(y),
             std::to_string(cx), std::to_string(cy), sim::Hex(flags)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto w = sim::Find(window);
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

// ----- messages -----
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("PostMessageW", {sim::Ptr(window), sim::Hex(message), sim::Hex(wParam),
                             sim::Hex(static_cast<uint64_t>(lParam))});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  return call.Ret<BOOL>(sim::PostInternal(window, message, wParam, lParam) ? TRUE : FALSE);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("SendMessageW", {sim::Ptr(window), sim::Hex(message), sim::Hex(wParam),
                             sim::Hex(static_cast<uint64_t>(lParam))});
  if (call.Faulted()) return call.Ret<int64_t>(0);
  return call.Ret<int64_t>(sim::SendInternal(window, message, wParam, lParam));
}

// Only a thread that has a message queue (it has used the window manager) can receive.
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("PostThreadMessageW", {std::to_string(threadId), sim::Hex(message), sim::Hex(wParam),
                                   sim::Hex(static_cast<uint64_t>(lParam))});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto it = sim::model().queues.find(threadId);
  if (it == sim::model().queues.end()) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return call.Ret<BOOL>(FALSE);
  }
  it->second->posted.push_back(
      MSG{nullptr, message, wParam, lParam, static_cast<DWORD>(sim::Now()), {0, 0}});
  sim::internal::NotifyAll();
  return call.Ret<BOOL>(TRUE);
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  Call call("GetMessageW", {sim::Ptr(window), sim::Hex(filterMin), sim::Hex(filterMax)});
  if (call.Faulted()) return call.Ret<BOOL>(-1);
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(-1);
  }
  if (window) {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    auto w = sim::Find(window);
    if (!w || w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(-1);
    }
  }
  sim::Next next = sim::NextMessage(msg, window, filterMin, filterMax, {});
  call.SetResult(sim::Hex(msg->message) + " " + sim::Ptr(msg->hwnd));
  return next == sim::Next::kQuit ? FALSE : TRUE;
}

// Keys that make characters: Enter, Escape, Backspace, Tab, space, digits and (unshifted)
// letters. Nonzero for every key message, whether it made a character or not, as on Windows.
BOOL TranslateMessage(const MSG* msg) {
  Call call("TranslateMessage", {msg ? sim::Hex(msg->message) : std::string("(null)")});
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP))
    return call.Ret<BOOL>(FALSE);
  if (msg->message == WM_KEYDOWN) {
    WPARAM key = msg->wParam, ch = 0;
    if (key == VK_RETURN || key == VK_ESCAPE || key == 0x08 || key == 0x09 || key == 0x20 ||
        (key >= '0' && key <= '9'))
      ch = key;
    else if (key >= 'A' && key <= 'Z')
      ch = key + ('a' - 'A');
    if (ch) sim::PostInternal(msg->hwnd, WM_CHAR, ch, msg->lParam);
  }
  return call.Ret<BOOL>(TRUE);
}

LRESULT DispatchMessageW(const MSG* msg) {
  Call call("DispatchMessageW", {msg ? sim::Ptr(msg->hwnd) : std::string("(null)"),
                                 msg ? sim::Hex(msg->message) : std::string()});
  if (!msg || !msg->hwnd) return call.Ret<int64_t>(0);
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    auto w = sim::Find(msg->hwnd);
    if (!w || w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<int64_t>(0);
    }
  }
  return call.Ret<int64_t>(sim::Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam));
}

void PostQuitMessage(int exitCode) {
  Call call("PostQuitMessage", {std::to_string(exitCode)});
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto q = sim::QueueOf(GetCurrentThreadId());
  q->quit = true;
  q->quitCode = exitCode;
  sim::internal::NotifyAll();
}

// Top-level windows of the thread in creation order. FALSE when the callback stopped the
// enumeration or the thread has no windows.
BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC callback, LPARAM lParam) {
  Call call("EnumThreadWindows", {std::to_string(threadId)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::vector<HWND> list;
  bool sawPortDialog = false;
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    for (auto& entry : sim::model().windows) {
      const auto& w = entry.second;
      if (w->thread == threadId && !w->parent && !w->destroying && w->listed)
        list.push_back(w->hwnd);
    }
    ++sim::model().enumerations[threadId];
    auto run = sim::PortRunOf(threadId);
    sawPortDialog = run && run->shown;
  }
  bool all = !list.empty();
  for (HWND h : list) {
    {
      std::lock_guard<std::recursive_mutex> lock(sim::Lock());
      if (!sim::Find(h)) continue;  // gone meanwhile
    }
    if (callback && !callback(h, lParam)) {
      all = false;
      break;
    }
  }
  sim::PortPoll(threadId, nullptr, sawPortDialog);
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
  {
    std::lock_guard<std::recursive_mutex> lock(sim::Lock());
    std::vector<HWND> candidates;
    if (parent) {
      auto p = sim::Find(parent);
      if (!p) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return call.Ret<HWND>(nullptr);
      }
      parentThread = p->thread;
      candidates = p->children;
      ++sim::model().searches[parent];
    } else {
      for (auto& entry : sim::model().windows)
        if (!entry.second->parent && entry.second->listed) candidates.push_back(entry.second->hwnd);
    }
    auto start = candidates.begin();
    if (childAfter) {
      start = std::find(candidates.begin(), candidates.end(), childAfter);
      if (start != candidates.end()) ++start;
    }
    const sim::ClassInfo* wanted = className ? sim::FindClass(className) : nullptr;
    for (auto it = start; it != candidates.end() && !found; ++it) {
      auto w = sim::Find(*it);
      if (!w) continue;
      if (className &&
          !(wanted ? sim::EqualNoCase(w->className, wanted->name)
                   : !IS_INTRESOURCE(className) && sim::EqualNoCase(w->className, className)))
        continue;
      if (windowName && !sim::EqualNoCase(w->text, windowName)) continue;
      found = w->hwnd;
    }
  }
  if (parent) sim::PortPoll(parentThread, parent, false);
  return call.Ret(found);
}

UINT MapVirtualKeyW(UINT code, UINT mapType) {
  Call call("MapVirtualKeyW", {sim::Hex(code), std::to_string(mapType)});
  UINT scan = 0;
  if (mapType == MAPVK_VK_TO_VSC) {
    switch (code) {
      case VK_RETURN:
        scan = 0x1C;
        break;
      case VK_ESCAPE:
        scan = 0x01;
        break;
      case 0x08:
        scan = 0x0E;
        break;  // Backspace
      case 0x09:
        scan = 0x0F;
        break;  // Tab
      case 0x20:
        scan = 0x39;
        break;  // space
      default:
        break;
    }
  }
  return call.Ret<DWORD>(scan);
}

// ----- module, icons, cursors, common controls -----
// The program is the one module with resources; the system's icons and cursors are shared
// objects that are never released.
HMODULE GetModuleHandleW(LPCWSTR name) {
  Call call("GetModuleHandleW", {sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HMODULE>(nullptr);
  if (!name || sim::EqualNoCase(name, u"ZQInst.exe") || sim::EqualNoCase(name, u"ZQInst"))
    return call.Ret(sim::kModule);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return call.Ret<HMODULE>(nullptr);
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  Call call("LoadIconW", {sim::Ptr(instance), TemplateName(name)});
  if (call.Faulted()) return call.Ret<HICON>(nullptr);
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (!instance) {
    if (IS_INTRESOURCE(name) && id >= 32512 && id <= 32518)  // IDI_APPLICATION..IDI_SHIELD
      return call.Ret(reinterpret_cast<HICON>(0x00010000 + id));
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return call.Ret<HICON>(nullptr);
  }
  if (instance == sim::kModule && IS_INTRESOURCE(name)) {
    std::optional<std::string> text;
    {
      std::lock_guard<std::recursive_mutex> lock(sim::Lock());
      text = sim::model().script;
    }
    const std::string dir = ZQ_RESOURCE_DIR;
    if (!text) text = sim::ReadHostFile(dir + "/installer.rc");
    if (text) {
      auto script = sim::ParseResourceScript(
          *text, [&](const std::string& file) { return sim::ReadHostFile(dir + "/" + file); });
      for (int icon : script.icons)
        if (static_cast<uintptr_t>(icon) == id)
          return call.Ret(reinterpret_cast<HICON>(0x00020000 + id));
    }
  }
  SetLastError(instance == sim::kModule ? ERROR_RESOURCE_NAME_NOT_FOUND
                                        : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return call.Ret<HICON>(nullptr);
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  Call call("LoadCursorW", {sim::Ptr(instance), TemplateName(name)});
  if (call.Faulted()) return call.Ret<HCURSOR>(nullptr);
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (!instance && IS_INTRESOURCE(name) && id >= 32512 && id <= 32651)  // the IDC_ cursors
    return call.Ret(reinterpret_cast<HCURSOR>(0x00030000 + id));
  SetLastError(instance ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
  return call.Ret<HCURSOR>(nullptr);
}

void InitCommonControls() { Call call("InitCommonControls"); }
