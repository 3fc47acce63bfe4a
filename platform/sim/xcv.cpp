// The port monitors' data channel of the simulated spooler: OpenPrinterW of ",XcvMonitor <monitor>"
// or ",XcvPort <port>" and XcvDataW, the silent way to add a port that the "Local Port" monitor's
// own dialog uses behind the scenes.
//
// Modelled on the local spooler and its "Local Port" monitor:
//  - The handle is a printer handle (closed with ClosePrinter) that no printer function accepts.
//    It belongs to one run of the spooler service, like every printer handle.
//  - Opening asks for access in PRINTER_DEFAULTSW; SERVER_ACCESS_ADMINISTER is granted only to an
//    elevated process (ERROR_ACCESS_DENIED otherwise). Without defaults, SERVER_ACCESS_ENUMERATE.
//  - XcvDataW returns TRUE when the monitor was asked, and the monitor's answer in *status:
//    "AddPort" (input: the port's name with its terminator) adds the port, or answers
//    ERROR_ALREADY_EXISTS for a name that is a port already (without regard to case),
//    ERROR_ACCESS_DENIED on a handle opened without SERVER_ACCESS_ADMINISTER, ERROR_INVALID_NAME
//    for an empty name. "DeletePort" removes a port of this monitor (ERROR_FILE_NOT_FOUND when
//    there is none). Any other command is answered ERROR_INVALID_PARAMETER. No window is shown.
//  - Only the "Local Port" monitor exists; another monitor's name does not open
//    (ERROR_INVALID_PRINTER_NAME), nor does a port that does not exist.
//  - SetXcvAddPortRefusal makes the monitor refuse every "AddPort" with a status of the test's
//    choosing (a print server whose policy refuses its data channel): XcvDataW still returns TRUE.
#include <algorithm>
#include <cstring>

#include "platform/sim/session.h"
#include "platform/sim/spooler.h"
#include "platform/sim/spooler_model.h"

namespace sim {
namespace spooler {
namespace {

DWORD& AddPortRefusal() {
  static DWORD status = ERROR_SUCCESS;
  return status;
}
const bool registered = (RegisterResetHook("xcv", [] { AddPortRefusal() = ERROR_SUCCESS; }), true);

constexpr char16_t kMonitorPrefix[] = u",XcvMonitor ";
constexpr char16_t kPortPrefix[] = u",XcvPort ";

bool StartsWith(const std::u16string& text, const char16_t* prefix) {
  return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

}  // namespace

bool IsXcvName(LPCWSTR name) {
  if (!name) return false;
  std::u16string text(name);
  return StartsWith(text, kMonitorPrefix) || StartsWith(text, kPortPrefix);
}

bool OpenXcv(LPCWSTR name, const PRINTER_DEFAULTSW* defaults, PrinterObject* object) {
  std::u16string text(name);
  std::u16string monitor;
  if (StartsWith(text, kMonitorPrefix)) {
    monitor = text.substr(std::char_traits<char16_t>::length(kMonitorPrefix));
  } else {
    Port* port = FindPort(text.substr(std::char_traits<char16_t>::length(kPortPrefix)));
    if (port) monitor = port->monitor;
  }
  if (!EqualNoCase(monitor, kLocalPortMonitor)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return false;
  }
  DWORD access = defaults ? defaults->DesiredAccess : SERVER_ACCESS_ENUMERATE;
  if ((access & SERVER_ACCESS_ADMINISTER) && !ProcessElevated()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  object->xcvMonitor = kLocalPortMonitor;
  object->name = text;
  object->access = access;
  return true;
}

}  // namespace spooler

void SetXcvAddPortRefusal(DWORD status) {
  std::lock_guard<MachineMutex> lock(Lock());
  spooler::AddPortRefusal() = status;
}

}  // namespace sim

using sim::Call;
using sim::Lock;
namespace sp = sim::spooler;

namespace {

// The input as a port name: the text up to its terminator within the input's bytes.
bool InputName(const BYTE* input, DWORD bytes, std::u16string* name) {
  if (!input || bytes < sizeof(WCHAR)) return false;
  const auto* text = reinterpret_cast<const char16_t*>(input);
  size_t chars = bytes / sizeof(WCHAR);
  size_t length = 0;
  while (length < chars && text[length]) ++length;
  if (length == chars) return false;  // no terminator
  name->assign(text, length);
  return true;
}

DWORD AddPortCommand(const sp::PrinterObject& xcv, const BYTE* input, DWORD bytes) {
  if (!(xcv.access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  if (sp::AddPortRefusal() != ERROR_SUCCESS) return sp::AddPortRefusal();
  std::u16string name;
  if (!InputName(input, bytes, &name)) return ERROR_INVALID_PARAMETER;
  if (name.empty()) return ERROR_INVALID_NAME;
  if (sp::FindPort(name)) return ERROR_ALREADY_EXISTS;
  sim::AddPort(name, sim::kLocalPortMonitor);
  return ERROR_SUCCESS;
}

DWORD DeletePortCommand(const sp::PrinterObject& xcv, const BYTE* input, DWORD bytes) {
  if (!(xcv.access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  std::u16string name;
  if (!InputName(input, bytes, &name)) return ERROR_INVALID_PARAMETER;
  sim::Port* port = sp::FindPort(name);
  if (!port || !sim::EqualNoCase(port->monitor, sim::kLocalPortMonitor)) return ERROR_FILE_NOT_FOUND;
  sim::RemovePort(port->name);
  return ERROR_SUCCESS;
}

}  // namespace

BOOL XcvDataW(HANDLE xcv, LPCWSTR dataName, PBYTE inputData, DWORD inputBytes, PBYTE outputData,
              DWORD outputBytes, PDWORD outputNeeded, PDWORD status) {
  std::u16string input;
  InputName(inputData, inputBytes, &input);
  Call call("XcvDataW", {sim::Ptr(xcv), sim::Utf8(dataName), sim::Utf8(input), std::to_string(inputBytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto object = sp::LiveHandle(xcv);
  if (!object) return call.Ret<BOOL>(FALSE);
  if (object->xcvMonitor.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  if (!outputNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (!dataName || !status || (!outputData && outputBytes > 0)) {
    SetLastError(RPC_X_NULL_REF_POINTER);
    return call.Ret<BOOL>(FALSE);
  }
  *outputNeeded = 0;
  std::u16string command(dataName);
  if (command == u"AddPort") {
    *status = AddPortCommand(*object, inputData, inputBytes);
  } else if (command == u"DeletePort") {
    *status = DeletePortCommand(*object, inputData, inputBytes);
  } else {
    *status = ERROR_INVALID_PARAMETER;
  }
  call.SetResult("1 status " + std::to_string(*status));
  return TRUE;
}
