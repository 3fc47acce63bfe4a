// MINIMAL FIRST VERSION of the simulated windowing: only SetDlgItemTextW and GetDlgItemTextW, with
// item texts kept per (window, item id). There are no windows yet: any non-null HWND is taken as
// a dialog, and every item exists once a text was set on it. This file is to be replaced by the
// full windowing model (classes, windows, messages, dialogs from templates).
#include <algorithm>
#include <map>
#include <utility>

#include "platform/sim/sim.h"
#include "platform/sim/windowing.h"

namespace sim {
namespace {

constexpr DWORD kErrorControlIdNotFound = 1421;

std::map<std::pair<HWND, int>, std::u16string>& itemTexts() {
  static auto* texts = new std::map<std::pair<HWND, int>, std::u16string>;
  return *texts;
}

const bool registered = (RegisterResetHook("windowing", [] { itemTexts().clear(); }), true);

}  // namespace

std::u16string DialogItemText(HWND dialog, int itemId) {
  std::lock_guard<std::recursive_mutex> lock(Lock());
  auto it = itemTexts().find({dialog, itemId});
  return it == itemTexts().end() ? std::u16string() : it->second;
}

}  // namespace sim

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  sim::Call call("SetDlgItemTextW", {sim::Ptr(dialog), std::to_string(id), sim::Utf8(text)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  if (!dialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  sim::itemTexts()[{dialog, id}] = text ? text : u"";
  return call.Ret<BOOL>(TRUE);
}

// Copies at most capacity - 1 characters and always terminates; returns the characters copied.
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int capacity) {
  sim::Call call("GetDlgItemTextW",
                 {sim::Ptr(dialog), std::to_string(id), std::to_string(capacity)});
  if (text && capacity > 0) text[0] = 0;
  if (call.Faulted()) return call.Ret<DWORD>(0);
  if (!dialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<DWORD>(0);
  }
  std::lock_guard<std::recursive_mutex> lock(sim::Lock());
  auto it = sim::itemTexts().find({dialog, id});
  if (it == sim::itemTexts().end()) {
    SetLastError(sim::kErrorControlIdNotFound);
    return call.Ret<DWORD>(0);
  }
  if (!text || capacity <= 0) return call.Ret<DWORD>(0);
  size_t n = std::min(it->second.size(), static_cast<size_t>(capacity) - 1);
  it->second.copy(text, n);
  text[n] = 0;
  return call.Ret<DWORD>(static_cast<DWORD>(n));
}
