// The simulated process's console: a GUI program attaching to its parent's console and writing
// wide text there. See session.h.
#include <cstring>

#include "platform/sim/process.h"
#include "platform/sim/session.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

struct Console {
  bool parentHasConsole = false;
  bool attached = false;
  std::string text;
};

Console& console() {
  static Console* instance = new Console;
  return *instance;
}

const bool registered = (RegisterResetHook("console", [] { console() = Console{}; }), true);
// A process that has gone is no longer attached to its parent's console.
const bool processEndRegistered =
    (internal::RegisterProcessEndHook("console",
                                      [](int, const std::vector<DWORD>&) {
                                        std::lock_guard<MachineMutex> lock(Lock());
                                        console().attached = false;
                                      }),
     true);

// The attached console's output handle: a fixed value outside the handle table, as the standard
// handles belong to the process and are not closed by the program.
const HANDLE kConsoleOutput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x54));

}  // namespace

void SetParentConsole(bool present) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  console().parentHasConsole = present;
}

std::string ConsoleText() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return console().text;
}

bool ConsoleAttached() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return console().attached;
}

}  // namespace sim

using sim::Call;
using sim::Lock;


BOOL AttachConsole(DWORD processId) {
  Call call("AttachConsole", {sim::Hex(processId)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& c = sim::console();
  if (c.attached) {  // a process has one console at most
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  if (processId != ATTACH_PARENT_PROCESS || !c.parentHasConsole) {
    // Windows: the parent has no console (ERROR_INVALID_HANDLE), or no such process.
    SetLastError(processId == ATTACH_PARENT_PROCESS ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  c.attached = true;
  return call.Ret<BOOL>(TRUE);
}

HANDLE GetStdHandle(DWORD which) {
  Call call("GetStdHandle", {sim::Hex(which)});
  if (call.Faulted()) return call.Ret<HANDLE>(INVALID_HANDLE_VALUE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (which != STD_INPUT_HANDLE && which != STD_OUTPUT_HANDLE && which != STD_ERROR_HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<HANDLE>(INVALID_HANDLE_VALUE);
  }
  // A GUI program has no standard handles until it attaches to a console.
  if (!sim::console().attached) return call.Ret<HANDLE>(nullptr);
  return call.Ret<HANDLE>(which == STD_INPUT_HANDLE ? nullptr : sim::kConsoleOutput);
}

BOOL GetConsoleMode(HANDLE handle, LPDWORD mode) {
  Call call("GetConsoleMode", {sim::Ptr(handle)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sim::console().attached || handle != sim::kConsoleOutput || !mode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  *mode = 0x0003;  // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT
  return call.Ret<BOOL>(TRUE);
}

BOOL WriteConsoleW(HANDLE handle, const VOID* text, DWORD chars, LPDWORD written, LPVOID) {
  std::u16string piece = text ? std::u16string(static_cast<const char16_t*>(text), chars) : u"";
  Call call("WriteConsoleW", {sim::Ptr(handle), sim::Utf8(piece)});
  if (written) *written = 0;
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sim::console().attached || handle != sim::kConsoleOutput) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (!text) {
    SetLastError(ERROR_INVALID_ACCESS);
    return call.Ret<BOOL>(FALSE);
  }
  sim::console().text += sim::Utf8(piece);
  if (written) *written = chars;
  return call.Ret<BOOL>(TRUE);
}
