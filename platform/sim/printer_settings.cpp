// Simulated print spooler: a printer's settings changed (SetPrinterW), a connection to another
// machine's printer removed from this machine (DeletePrinterConnectionW), and the running user's
// default printer (GetDefaultPrinterW, SetDefaultPrinterW).
//
// Modelled on Windows with these simplifications:
//  - SetPrinterW takes level 2 with command 0 only; of the record it applies the share name,
//    comment, location, attributes and, when given, the security descriptor and device mode.
//  - The default printer is one name per machine (Windows keeps it per user).
// Every spooler function fails with RPC_S_SERVER_UNAVAILABLE while the spooler service is not
// running.
#include "platform/sim/security.h"
#include "platform/sim/spooler_model.h"

namespace sp = sim::spooler;
using sim::Call;
using sim::Lock;

namespace sim {

void SetDefaultPrinter(const std::u16string& name) {
  std::lock_guard<MachineMutex> lock(Lock());
  sp::Model().defaultPrinter = name;
}

std::u16string DefaultPrinter() {
  std::lock_guard<MachineMutex> lock(Lock());
  return sp::Model().defaultPrinter;
}

std::vector<std::u16string> RemovedConnections() {
  std::lock_guard<MachineMutex> lock(Lock());
  return sp::Model().removedConnections;
}

}  // namespace sim

namespace {

// The rights SetPrinterW needs: PRINTER_ACCESS_ADMINISTER, and WRITE_DAC for a security
// descriptor.
constexpr DWORD kWriteDac = 0x00040000;

std::u16string Text(LPCWSTR text) { return text ? text : u""; }

}  // namespace

BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE printerInfo, DWORD command) {
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(printerInfo);
  std::vector<std::string> args = {sim::Ptr(printer), std::to_string(level),
                                   std::to_string(command)};
  if (info && level == 2)
    args.insert(args.end(), {sim::Utf8(info->pShareName), sim::Utf8(info->pComment),
                             sim::Utf8(info->pLocation), sim::Hex(info->Attributes)});
  Call call("SetPrinterW", args);
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::shared_ptr<sp::PrinterObject> object;
  sim::Printer* p = sp::HandlePrinter(printer, &object);
  if (!p) return call.Ret<BOOL>(FALSE);
  if (level != 2 || command != 0) {
    SetLastError(level != 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  if (!(object->access & PRINTER_ACCESS_ADMINISTER) ||
      (info->pSecurityDescriptor && !(object->access & kWriteDac))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  p->shareName = Text(info->pShareName);
  p->comment = Text(info->pComment);
  p->location = Text(info->pLocation);
  p->attributes = info->Attributes;
  if (info->pSecurityDescriptor)
    p->security = sim::internal::DescriptorBytes(info->pSecurityDescriptor);
  if (info->pDevMode) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(info->pDevMode);
    p->devMode.assign(bytes, bytes + info->pDevMode->dmSize + info->pDevMode->dmDriverExtra);
  }
  return call.Ret<BOOL>(TRUE);
}

BOOL DeletePrinterConnectionW(LPWSTR name) {
  Call call("DeletePrinterConnectionW", {sim::Utf8(name)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  auto& printers = sp::Model().printers;
  for (auto it = printers.begin(); name && it != printers.end(); ++it) {
    if (!it->connection || !sim::EqualNoCase(it->name, name)) continue;
    if (sim::EqualNoCase(sp::Model().defaultPrinter, it->name)) sp::Model().defaultPrinter.clear();
    sp::Model().removedConnections.push_back(it->name);
    printers.erase(it);
    return call.Ret<BOOL>(TRUE);
  }
  SetLastError(ERROR_INVALID_PRINTER_NAME);
  return call.Ret<BOOL>(FALSE);
}

// The size is in characters, the terminator included; a short buffer gives
// ERROR_INSUFFICIENT_BUFFER with the size needed, no default printer ERROR_FILE_NOT_FOUND.
BOOL GetDefaultPrinterW(LPWSTR buffer, LPDWORD size) {
  Call call("GetDefaultPrinterW", {sim::Ptr(buffer)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  const std::u16string& name = sp::Model().defaultPrinter;
  if (name.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return call.Ret<BOOL>(FALSE);
  }
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return call.Ret<BOOL>(FALSE);
  }
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  *size = needed;
  return call.Ret<BOOL>(TRUE);
}

// The printer must exist; none or "" chooses none (Windows would choose one of its own).
BOOL SetDefaultPrinterW(LPCWSTR printer) {
  Call call("SetDefaultPrinterW", {sim::Utf8(printer)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  std::u16string name = Text(printer);
  const sim::Printer* p = name.empty() ? nullptr : sp::FindPrinter(name);
  if (!name.empty() && !p) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  sp::Model().defaultPrinter = p ? p->name : u"";
  return call.Ret<BOOL>(TRUE);
}
