// Window properties of the simulated window manager: SetPropW, GetPropW and RemovePropW. Names
// are atoms on Windows, so case does not matter; a MAKEINTATOM name is its own key.
#include "platform/sim/window_core.h"

using sim::Call;
namespace wm = sim::wm;

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
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(window);
  if (!w || !name) {
    SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  w->props[PropKey(name)] = data;
  return call.Ret<BOOL>(TRUE);
}

HANDLE GetPropW(HWND window, LPCWSTR name) {
  Call call("GetPropW", {sim::Ptr(window), IS_INTRESOURCE(name) ? "#" : sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(window);
  if (!w || !name) return call.Ret<HANDLE>(nullptr);
  auto it = w->props.find(PropKey(name));
  return call.Ret<HANDLE>(it == w->props.end() ? nullptr : it->second);
}

HANDLE RemovePropW(HWND window, LPCWSTR name) {
  Call call("RemovePropW", {sim::Ptr(window), IS_INTRESOURCE(name) ? "#" : sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);  // the property stays
  std::lock_guard<sim::MachineMutex> lock(sim::Lock());
  auto w = wm::Find(window);
  if (!w || !name) return call.Ret<HANDLE>(nullptr);
  auto it = w->props.find(PropKey(name));
  if (it == w->props.end()) return call.Ret<HANDLE>(nullptr);
  HANDLE data = it->second;
  w->props.erase(it);
  return call.Ret(data);
}
