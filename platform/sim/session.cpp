// The simulated process's window station and access token. See session.h.
#include "platform/sim/session.h"

#include <cstring>

#include "platform/sim/sim.h"
#include "platform/sim/threads.h"

namespace sim {
namespace {

struct Session {
  std::u16string station = u"WinSta0";
  bool visible = true;
  bool elevated = true;
};

Session& session() {
  static Session* instance = new Session;
  return *instance;
}

const bool registered = (RegisterResetHook("session", [] { session() = Session{}; }), true);

// The window station's pseudo handle: a fixed value outside the handle table, as the process's
// window station is never closed by the program.
const HWINSTA kStationHandle = reinterpret_cast<HWINSTA>(static_cast<uintptr_t>(0x7C));

struct TokenObject {
  bool elevated = false;
};

}  // namespace

void SetWindowStation(const std::u16string& name, bool visible) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  session().station = name;
  session().visible = visible;
}

void SetElevated(bool elevated) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  session().elevated = elevated;
}

bool ProcessElevated() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return session().elevated;
}

}  // namespace sim

using sim::Call;
using sim::Lock;

HWINSTA GetProcessWindowStation() {
  Call call("GetProcessWindowStation");
  if (call.Faulted()) return call.Ret<HWINSTA>(nullptr);
  return call.Ret(sim::kStationHandle);
}

BOOL GetUserObjectInformationW(HANDLE object, int index, PVOID info, DWORD bytes, LPDWORD needed) {
  Call call("GetUserObjectInformationW", {sim::Ptr(object), std::to_string(index), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (object != static_cast<HANDLE>(sim::kStationHandle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  const sim::Session& s = sim::session();
  if (index == UOI_FLAGS) {
    if (needed) *needed = sizeof(USEROBJECTFLAGS);
    if (!info || bytes < sizeof(USEROBJECTFLAGS)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return call.Ret<BOOL>(FALSE);
    }
    USEROBJECTFLAGS flags = {};
    flags.dwFlags = s.visible ? WSF_VISIBLE : 0;
    std::memcpy(info, &flags, sizeof flags);
    return call.Ret<BOOL>(TRUE);
  }
  if (index == UOI_NAME) {
    DWORD size = static_cast<DWORD>((s.station.size() + 1) * sizeof(WCHAR));
    if (needed) *needed = size;
    if (!info || bytes < size) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return call.Ret<BOOL>(FALSE);
    }
    std::memcpy(info, s.station.c_str(), size);
    return call.Ret<BOOL>(TRUE);
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return call.Ret<BOOL>(FALSE);
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  Call call("OpenProcessToken", {sim::Ptr(process), sim::Hex(access)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  if (!token) {
    SetLastError(ERROR_NOACCESS);
    return call.Ret<BOOL>(FALSE);
  }
  *token = nullptr;
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  sim::RegisterKernelHandleKind("token");
  auto object = std::make_shared<sim::TokenObject>();
  object->elevated = sim::ProcessElevated();
  *token = sim::NewHandle("token", object);
  return call.Ret<BOOL>(TRUE);
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                         DWORD bytes, PDWORD needed) {
  Call call("GetTokenInformation",
            {sim::Ptr(token), std::to_string(static_cast<int>(informationClass)), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  auto object = sim::Lookup<sim::TokenObject>(token, "token");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (informationClass != TokenElevation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (needed) *needed = sizeof(TOKEN_ELEVATION);
  if (!information || bytes < sizeof(TOKEN_ELEVATION)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return call.Ret<BOOL>(FALSE);
  }
  TOKEN_ELEVATION elevation = {object->elevated ? 1u : 0u};
  std::memcpy(information, &elevation, sizeof elevation);
  return call.Ret<BOOL>(TRUE);
}
