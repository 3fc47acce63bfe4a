// Message queues of the simulated window manager: one per thread, sent and posted messages, and
// the message loop's calls (GetMessageW, TranslateMessage, DispatchMessageW, PostQuitMessage).
//
// What it follows from Win32:
//  - SendMessageW from the window's thread calls the window procedure directly; from another
//    thread the message waits in the owner's sent-message queue and runs when the owner
//    retrieves messages (GetMessageW, a modal loop) or itself waits in SendMessageW; the sender
//    blocks until it has run.
//  - Posted messages queue per thread in order; WM_QUIT (PostQuitMessage) is returned once the
//    posted messages are gone; GetMessageW returns 0 for it.
//  - A thread has a queue once it has used the window manager; PostThreadMessageW to a thread
//    without one fails.
// The machine lock is never held while a window procedure runs or a thread blocks.
#include <algorithm>

#include "platform/sim/threads.h"
#include "platform/sim/window_core.h"

namespace sim::wm {
namespace {

// Destroys the windows of a thread that exits without having asked the window manager to.
struct QueueGuard {
  DWORD id = 0;
  ~QueueGuard() {
    if (id) internal::WindowThreadEnded(id);
  }
};
thread_local QueueGuard queueGuard;

// Runs a message another thread sent, then releases its sender.
void Serve(const std::shared_ptr<SentMessage>& s) {
  DWORD previous = requester;
  requester = s->sender;
  LRESULT result = Deliver(s->hwnd, s->message, s->wParam, s->lParam);
  requester = previous;
  std::lock_guard<sim::MachineMutex> lock(Lock());
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

bool InRange(UINT message, UINT low, UINT high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

}  // namespace

std::shared_ptr<Queue> QueueOf(DWORD thread) {
  auto& q = model().queues[thread];
  if (!q) q = std::make_shared<Queue>();
  if (thread == GetCurrentThreadId()) queueGuard.id = thread;
  return q;
}

// ----- message delivery; called without the machine lock -----
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    auto w = Find(hwnd);
    if (!w) return 0;
    proc = w->proc;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
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
  std::lock_guard<sim::MachineMutex> lock(Lock());
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

}  // namespace sim::wm

using sim::Call;
namespace wm = sim::wm;

// ----- messages -----
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("PostMessageW", {sim::Ptr(window), sim::Hex(message), sim::Hex(wParam),
                             sim::Hex(static_cast<uint64_t>(lParam))});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  return call.Ret<BOOL>(wm::PostInternal(window, message, wParam, lParam) ? TRUE : FALSE);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("SendMessageW", {sim::Ptr(window), sim::Hex(message), sim::Hex(wParam),
                             sim::Hex(static_cast<uint64_t>(lParam))});
  if (call.Faulted()) return call.Ret<int64_t>(0);
  return call.Ret<int64_t>(wm::SendInternal(window, message, wParam, lParam));
}

// Only a thread that has a message queue (it has used the window manager) can receive.
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  Call call("PostThreadMessageW", {std::to_string(threadId), sim::Hex(message), sim::Hex(wParam),
                                   sim::Hex(static_cast<uint64_t>(lParam))});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto it = wm::model().queues.find(threadId);
  if (it == wm::model().queues.end()) {
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
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    auto w = wm::Find(window);
    if (!w || w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<BOOL>(-1);
    }
  }
  wm::Next next = wm::NextMessage(msg, window, filterMin, filterMax, {});
  call.SetResult(sim::Hex(msg->message) + " " + sim::Ptr(msg->hwnd));
  return next == wm::Next::kQuit ? FALSE : TRUE;
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
    if (ch) wm::PostInternal(msg->hwnd, WM_CHAR, ch, msg->lParam);
  }
  return call.Ret<BOOL>(TRUE);
}

LRESULT DispatchMessageW(const MSG* msg) {
  Call call("DispatchMessageW", {msg ? sim::Ptr(msg->hwnd) : std::string("(null)"),
                                 msg ? sim::Hex(msg->message) : std::string()});
  if (!msg || !msg->hwnd) return call.Ret<int64_t>(0);
  {
    std::lock_guard<sim::MachineMutex> lock(sim::Lock());
    auto w = wm::Find(msg->hwnd);
    if (!w || w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return call.Ret<int64_t>(0);
    }
  }
  return call.Ret<int64_t>(wm::Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam));
}

// Windows documents no failure; a faulted call stands for a quit request that is lost: the
// thread's queue never reports WM_QUIT for it.
void PostQuitMessage(int exitCode) {
  Call call("PostQuitMessage", {std::to_string(exitCode)});
  if (call.Faulted()) return;
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto q = wm::QueueOf(GetCurrentThreadId());
  q->quit = true;
  q->quitCode = exitCode;
  sim::internal::NotifyAll();
}

UINT MapVirtualKeyW(UINT code, UINT mapType) {
  Call call("MapVirtualKeyW", {sim::Hex(code), std::to_string(mapType)});
  if (call.Faulted()) return call.Ret<DWORD>(0);  // "no translation"
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
