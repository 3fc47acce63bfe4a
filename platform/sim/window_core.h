// Inside the simulated window manager: the model its files share (classes, windows, queues, the
// screen's text history) and the internal calls between them. Not for tests: they use ui.h.
//
// The rooms:
//  - window_core.cpp: classes, windows (creation, destruction, texts, geometry, enable and show),
//    the system classes' default procedures, enumeration and search of windows;
//  - window_properties.cpp: window properties;
//  - message_queues.cpp: per-thread queues, sent and posted messages, the message loop's calls;
//  - dialog_manager.cpp: the dialog class, dialogs from templates, the modal loop and its keys;
//  - screen.cpp: what tests inspect on the screen and what the person at it does;
//  - port_dialog.cpp: the "Local Port" monitor's dialog, which watches searches through the
//    search hook below.
// The machine lock is never held while a window or dialog procedure runs or a thread blocks.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/sim/ui.h"

namespace sim::wm {

constexpr char16_t kDialogClass[] = u"#32770";
constexpr DWORD kExNoParentNotify = 0x00000004;  // WS_EX_NOPARENTNOTIFY, which dialog items carry

using Lock_t = std::unique_lock<sim::MachineMutex>;

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

struct Model {
  std::vector<ClassInfo> classes;
  ATOM nextAtom = 0xC000;
  std::map<uintptr_t, std::shared_ptr<Window>> windows;  // handle values grow: creation order
  uintptr_t nextWindow = 0x10010;
  std::map<DWORD, std::shared_ptr<Queue>> queues;
  RECT workArea{0, 0, 1280, 984};
  std::vector<TextRecord> texts;
  std::vector<Trigger> triggers;
};
Model& model();

// The thread whose request a window procedure is running (the sender of a sent message, or the
// thread itself); what the text history names as the setter.
extern thread_local DWORD requester;

// ----- lookups; the machine lock is held -----
std::shared_ptr<Window> Find(HWND hwnd);
std::shared_ptr<Queue> QueueOf(DWORD thread);  // created on first use
bool IsSelfOrDescendant(HWND ancestor, HWND hwnd);
HWND TopLevel(HWND hwnd);
const ClassInfo* FindClass(LPCWSTR name);
HWND ChildById(HWND dialog, int id);
// Geometry: a window with a caption has a 3-pixel frame and a 22-pixel caption bar, a bordered
// child a 1-pixel border; children move with their parent.
int FrameWidth(DWORD style);
int CaptionHeight(DWORD style);
RECT ScreenRect(const Window& w);

// ----- messages (message_queues.cpp); called without the machine lock -----
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendInternal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool PostInternal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
enum class Next { kMessage, kQuit, kStopped };
// The heart of GetMessageW and the modal loops: serves sent messages, then returns the first
// posted message that passes the filters, then WM_QUIT; blocks until one of them comes or
// `stop` holds.
Next NextMessage(MSG* out, HWND filter, UINT low, UINT high, const std::function<bool()>& stop);

// ----- windows (window_core.cpp); called without the machine lock -----
void SetTextInternal(HWND hwnd, const std::u16string& text, bool atCreation);
HWND CreateInternal(DWORD exStyle, LPCWSTR className, LPCWSTR name, DWORD style, int x, int y,
                    int cx, int cy, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param,
                    bool listed = true);
void DestroyInternal(HWND hwnd);  // on the owner thread (the caller checked)
void Remove(HWND hwnd);           // the machine lock is held
bool EnableInternal(HWND hwnd, bool enable);
bool ShowInternal(HWND hwnd, bool show);
// SetWindowTextW's work (a WM_SETTEXT sent to the window's thread) and GetWindowTextW's.
BOOL SetText(HWND window, LPCWSTR text);
int GetText(HWND window, LPWSTR text, int capacity);

// ----- window procedures of the system classes -----
LRESULT DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DialogClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // dialogs

// ----- searches for windows -----
// Whoever needs to watch other threads look for windows registers here (one watcher; the port
// dialog does). `begins` runs under the machine lock when EnumThreadWindows starts for `thread`
// (parent null) or FindWindowExW starts under the window `parent` of `thread`; `ended` runs
// without the lock once that search is over, with what `begins` returned.
struct WindowSearchHook {
  std::function<bool(DWORD thread, HWND parent)> begins;
  std::function<void(DWORD thread, HWND parent, bool begun)> ended;
};
void SetWindowSearchHook(WindowSearchHook hook);

}  // namespace sim::wm
