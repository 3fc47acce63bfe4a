// Simulated print spooler, read side: the model, its staging API, and the queries with Windows'
// two-call protocol. The write side (drivers, printers, jobs and ports being changed) lives in its
// own file over the same model (spooler_model.h).
#include <algorithm>
#include <cstring>

#include "platform/sim/machine.h"
#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"

namespace sim {
namespace spooler {
namespace {

State Fresh() {
  State s;
  for (const char16_t* name :
       {u"LPT1:", u"LPT2:", u"LPT3:", u"COM1:", u"COM2:", u"COM3:", u"COM4:", u"FILE:"}) {
    s.ports.push_back(Port{name, kLocalPortMonitor, u"Local Port"});
  }
  return s;
}

const bool registered = (RegisterResetHook("spooler", [] { Model() = Fresh(); }), true);

struct KnownEnvironment {
  const char16_t* name;
  const char16_t* directory;
};
constexpr KnownEnvironment kEnvironments[] = {
    {kEnvironmentX64, u"C:\\Windows\\System32\\spool\\drivers\\x64"},
    {kEnvironmentX86, u"C:\\Windows\\System32\\spool\\drivers\\w32x86"},
    {kEnvironmentArm64, u"C:\\Windows\\System32\\spool\\drivers\\arm64"},
};

// Server names: only the local machine is modelled (null or empty).
bool LocalServer(LPCWSTR server) { return !server || !*server; }

}  // namespace

State& Model() {
  static State* instance = new State(Fresh());
  return *instance;
}

std::u16string OwnEnvironment() { return EnvironmentOfMachine(NativeMachine()); }

std::u16string Environment(LPCWSTR environment) {
  if (!environment) return EnvironmentOfMachine(ProcessMachine());
  for (auto& e : kEnvironments)
    if (EqualNoCase(e.name, environment)) return e.name;
  return u"";
}

Printer* FindPrinter(const std::u16string& name) {
  for (auto& p : Model().printers)
    if (EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

Port* FindPort(const std::u16string& name) {
  for (auto& p : Model().ports)
    if (EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

Driver* FindDriver(const std::u16string& name, const std::u16string& environment) {
  for (auto& d : Model().drivers)
    if (EqualNoCase(d.name, name) && EqualNoCase(d.environment, environment)) return &d;
  return nullptr;
}

bool Available() {
  if (SpoolerRunning()) return true;
  SetLastError(RPC_S_SERVER_UNAVAILABLE);
  return false;
}

std::shared_ptr<PrinterObject> LiveHandle(HANDLE handle) {
  auto object = Lookup<PrinterObject>(handle, "printer");
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!Available()) return nullptr;
  if (object->spoolerRun != SpoolerRunCount()) {  // opened before the spooler restarted
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return object;
}

Printer* HandlePrinter(HANDLE handle, std::shared_ptr<PrinterObject>* objectOut) {
  auto object = LiveHandle(handle);
  if (!object) return nullptr;
  if (object->server || !object->xcvMonitor.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  Printer* p = FindPrinter(object->name);
  if (!p) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);  // deleted while the handle was open
    return nullptr;
  }
  if (objectOut) *objectOut = object;
  return p;
}

LPWSTR Packer::MultiText(const std::vector<std::u16string>& texts) {
  if (texts.empty()) return nullptr;
  std::u16string joined;
  for (auto& t : texts) joined += t + u'\0';
  return Raw(joined.c_str(), (joined.size() + 1) * 2, 2);  // the final empty string
}

LPWSTR Packer::Raw(const void* data, size_t bytes, size_t alignment) {
  offset_ = (offset_ + alignment - 1) & ~(alignment - 1);
  BYTE* at = block_ ? block_ + offset_ : nullptr;
  if (at) std::memcpy(at, data, bytes);
  offset_ += bytes;
  return reinterpret_cast<LPWSTR>(at);
}

}  // namespace spooler

// ----- staging -----
std::vector<BYTE> MakeDevMode(const std::u16string& deviceName, WORD driverVersion,
                              WORD privateBytes) {
  std::vector<BYTE> bytes(sizeof(DEVMODEW) + privateBytes, 0);
  DEVMODEW dm{};
  size_t n = std::min<size_t>(deviceName.size(), CCHDEVICENAME - 1);
  std::memcpy(dm.dmDeviceName, deviceName.data(), n * 2);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmDriverVersion = driverVersion;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = privateBytes;
  dm.dmCopies = 1;
  std::memcpy(bytes.data(), &dm, sizeof dm);
  for (WORD i = 0; i < privateBytes; ++i) bytes[sizeof dm + i] = static_cast<BYTE>(0xA0 + i);
  return bytes;
}

PrinterValue TextValue(const std::u16string& text) {
  PrinterValue v;
  v.type = REG_SZ;
  v.bytes.resize((text.size() + 1) * 2);
  std::memcpy(v.bytes.data(), text.c_str(), v.bytes.size());
  return v;
}

void AddDriver(const Driver& driver) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  spooler::Model().drivers.push_back(driver);
}

void AddPrinter(const Printer& printer) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Printer p = printer;
  for (auto& job : p.jobs)
    if (job.id == 0) job.id = spooler::Model().nextJobId++;
  spooler::Model().printers.push_back(p);
}

void AddPort(const std::u16string& name, const std::u16string& monitor) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  spooler::Model().ports.push_back(Port{name, monitor, monitor});
}

void RemovePort(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  auto& ports = spooler::Model().ports;
  ports.erase(std::remove_if(ports.begin(), ports.end(),
                             [&](const Port& p) { return EqualNoCase(p.name, name); }),
              ports.end());
}

DWORD AddJob(const std::u16string& printerName, const std::u16string& document) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Printer* p = spooler::FindPrinter(printerName);
  if (!p) return 0;
  Job job;
  job.id = spooler::Model().nextJobId++;
  job.document = document;
  p->jobs.push_back(job);
  return job.id;
}

bool UpdatePrinter(const std::u16string& printerName, void (*change)(Printer&)) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  Printer* p = spooler::FindPrinter(printerName);
  if (!p) return false;
  change(*p);
  return true;
}

void FailPrintServerOpens(int count, DWORD error) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  spooler::Model().printServerFailures = count;
  spooler::Model().printServerError = error;
}

std::vector<Driver> Drivers() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return spooler::Model().drivers;
}
std::vector<Printer> Printers() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return spooler::Model().printers;
}
std::vector<Port> Ports() {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return spooler::Model().ports;
}
const Printer* FindPrinter(const std::u16string& name) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return spooler::FindPrinter(name);
}

std::u16string DriverDirectory(const std::u16string& environment) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  for (auto& staged : spooler::Model().driverDirectories)
    if (EqualNoCase(staged.first, environment)) return staged.second;
  for (auto& e : spooler::kEnvironments)
    if (EqualNoCase(e.name, environment)) return e.directory;
  return u"";
}

}  // namespace sim

// ----- the spooler API, read side -----
using sim::Call;
using sim::Lock;
namespace sp = sim::spooler;

namespace {

// What the answer's journal entry shows: the result and, for a short block, the size needed.
void NoteAnswer(Call& call, BOOL ok, LPDWORD needed, LPDWORD returned) {
  std::string text = std::to_string(ok);
  if (needed) text += " needed " + std::to_string(*needed);
  if (returned) text += " returned " + std::to_string(*returned);
  call.SetResult(text);
}

void WriteDriver(sp::Packer& pack, const sim::Driver& d, DWORD level, BYTE* record) {
  if (level == 1) {
    DRIVER_INFO_1W info{};
    info.pName = pack.Text(d.name);
    if (record) std::memcpy(record, &info, sizeof info);
    return;
  }
  DRIVER_INFO_3W info{};
  info.cVersion = d.version;
  info.pName = pack.Text(d.name);
  info.pEnvironment = pack.Text(d.environment);
  info.pDriverPath = pack.Text(d.driverPath);
  info.pDataFile = pack.Text(d.dataFile);
  info.pConfigFile = pack.Text(d.configFile);
  info.pHelpFile = pack.OptionalText(d.helpFile);
  info.pDependentFiles = pack.MultiText(d.dependentFiles);
  info.pMonitorName = pack.OptionalText(d.monitorName);
  info.pDefaultDataType = pack.OptionalText(d.defaultDataType);
  if (record) std::memcpy(record, &info, sizeof info);
}

void WritePrinter(sp::Packer& pack, const sim::Printer& p, BYTE* record) {
  PRINTER_INFO_2W info{};
  info.pServerName = nullptr;  // local printers
  info.pPrinterName = pack.Text(p.name);
  info.pShareName = pack.Text(p.shareName);
  info.pPortName = pack.Text(p.port);
  info.pDriverName = pack.Text(p.driver);
  info.pComment = pack.Text(p.comment);
  info.pLocation = pack.Text(p.location);
  info.pDevMode = pack.DevMode(p.devMode);
  info.pSepFile = pack.Text(u"");
  info.pPrintProcessor = pack.Text(p.printProcessor);
  info.pDatatype = pack.Text(p.dataType);
  info.pParameters = pack.Text(u"");
  info.pSecurityDescriptor = pack.Bytes(p.security);
  info.Attributes = p.attributes;
  info.Priority = 1;
  info.DefaultPriority = 0;
  info.cJobs = static_cast<DWORD>(p.jobs.size());
  if (record) std::memcpy(record, &info, sizeof info);
}

}  // namespace

BOOL EnumPrinterDriversW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD bytes,
                         LPDWORD needed, LPDWORD returned) {
  Call call("EnumPrinterDriversW",
            {sim::Utf8(server), sim::Utf8(environment), std::to_string(level), sim::Ptr(buffer),
             std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  if (!sp::LocalServer(server)) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  if (level != 1 && level != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  bool all = environment && sim::EqualNoCase(environment, u"all");
  std::u16string env = all ? u"all" : sp::Environment(environment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return call.Ret<BOOL>(FALSE);
  }
  std::vector<const sim::Driver*> list;
  for (auto& d : sp::Model().drivers)
    if (all || sim::EqualNoCase(d.environment, env)) list.push_back(&d);
  size_t recordSize = level == 1 ? sizeof(DRIVER_INFO_1W) : sizeof(DRIVER_INFO_3W);
  auto layout = [&](BYTE* block) {
    sp::Packer pack(block, recordSize * list.size());
    for (size_t i = 0; i < list.size(); ++i)
      WriteDriver(pack, *list[i], level, block ? block + i * recordSize : nullptr);
    return pack.Size();
  };
  BOOL ok = sp::Answer(layout, static_cast<DWORD>(list.size()), buffer, bytes, needed, returned);
  NoteAnswer(call, ok, needed, returned);
  return ok;
}

BOOL GetPrinterDriverDirectoryW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer,
                                DWORD bytes, LPDWORD needed) {
  Call call("GetPrinterDriverDirectoryW",
            {sim::Utf8(server), sim::Utf8(environment), std::to_string(level), sim::Ptr(buffer),
             std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  if (!sp::LocalServer(server)) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  if (level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  std::u16string env = sp::Environment(environment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return call.Ret<BOOL>(FALSE);
  }
  if (!needed) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  std::u16string directory = sim::DriverDirectory(env);
  DWORD size = static_cast<DWORD>((directory.size() + 1) * 2);
  *needed = size;
  if (bytes < size || !buffer) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    NoteAnswer(call, FALSE, needed, nullptr);
    return FALSE;
  }
  std::memcpy(buffer, directory.c_str(), size);
  NoteAnswer(call, TRUE, needed, nullptr);
  return TRUE;
}

BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD bytes,
                   LPDWORD needed, LPDWORD returned) {
  Call call("EnumPrintersW", {sim::Hex(flags), sim::Utf8(name), std::to_string(level),
                              sim::Ptr(buffer), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  if (name && *name) {  // only this machine's printers are modelled
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  std::vector<sim::Printer*> list;
  for (auto& p : sp::Model().printers) {
    bool wanted = p.connection ? (flags & PRINTER_ENUM_CONNECTIONS) : (flags & PRINTER_ENUM_LOCAL);
    if (wanted) list.push_back(&p);
  }
  auto layout = [&](BYTE* block) {
    sp::Packer pack(block, sizeof(PRINTER_INFO_2W) * list.size());
    for (size_t i = 0; i < list.size(); ++i)
      WritePrinter(pack, *list[i], block ? block + i * sizeof(PRINTER_INFO_2W) : nullptr);
    return pack.Size();
  };
  BOOL ok = sp::Answer(layout, static_cast<DWORD>(list.size()), buffer, bytes, needed, returned);
  if (ok) {
    // Jobs that were printing when the list was taken finish now.
    for (auto* p : list) {
      if (p->jobsEndAfterListing) {
        p->jobs.clear();
        p->jobsEndAfterListing = false;
      }
    }
  }
  NoteAnswer(call, ok, needed, returned);
  return ok;
}

BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  Call call("OpenPrinterW", {sim::Utf8(printerName), defaults ? sim::Hex(defaults->DesiredAccess)
                                                              : std::string("no defaults")});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!printer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  *printer = nullptr;
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  auto object = std::make_shared<sp::PrinterObject>();
  object->spoolerRun = sim::SpoolerRunCount();
  if (sp::IsXcvName(printerName)) {
    if (!sp::OpenXcv(printerName, defaults, object.get())) return call.Ret<BOOL>(FALSE);
  } else if (!printerName || !*printerName) {
    sp::State& m = sp::Model();
    if (m.printServerFailures > 0) {
      --m.printServerFailures;
      SetLastError(m.printServerError);
      return call.Ret<BOOL>(FALSE);
    }
    object->server = true;
    object->access = defaults ? defaults->DesiredAccess : SERVER_ACCESS_ENUMERATE;
  } else {
    sim::Printer* p = sp::FindPrinter(printerName);
    if (!p) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return call.Ret<BOOL>(FALSE);
    }
    if (p->refusesOpen) {
      SetLastError(ERROR_ACCESS_DENIED);
      return call.Ret<BOOL>(FALSE);
    }
    object->name = p->name;
    object->access = defaults ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
  }
  *printer = sim::NewHandle("printer", object);
  return call.Ret<BOOL>(TRUE);
}

BOOL ClosePrinter(HANDLE printer) {
  Call call("ClosePrinter", {sim::Ptr(printer)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  // The client side lets go of the handle whether or not the spooler still knows it.
  if (!sim::ReleaseHandle(printer, "printer")) {
    SetLastError(ERROR_INVALID_HANDLE);
    return call.Ret<BOOL>(FALSE);
  }
  return call.Ret<BOOL>(TRUE);
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD bytes, LPDWORD needed) {
  Call call("GetPrinterW",
            {sim::Ptr(printer), std::to_string(level), sim::Ptr(buffer), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::Printer* p = sp::HandlePrinter(printer);
  if (!p) return call.Ret<BOOL>(FALSE);
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  auto layout = [&](BYTE* block) {
    sp::Packer pack(block, sizeof(PRINTER_INFO_2W));
    WritePrinter(pack, *p, block);
    return pack.Size();
  };
  DWORD returned = 0;
  BOOL ok = sp::Answer(layout, 1, buffer, bytes, needed, &returned);
  NoteAnswer(call, ok, needed, nullptr);
  return ok;
}

BOOL EnumJobsW(HANDLE printer, DWORD firstJob, DWORD jobCount, DWORD level, LPBYTE buffer,
               DWORD bytes, LPDWORD needed, LPDWORD returned) {
  Call call("EnumJobsW", {sim::Ptr(printer), std::to_string(firstJob), std::to_string(jobCount),
                          std::to_string(level), sim::Ptr(buffer), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::Printer* p = sp::HandlePrinter(printer);
  if (!p) return call.Ret<BOOL>(FALSE);
  if (level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  std::vector<const sim::Job*> list;
  for (size_t i = firstJob; i < p->jobs.size() && list.size() < jobCount; ++i)
    list.push_back(&p->jobs[i]);
  sim::DateTime now = sim::CurrentDateTime();
  auto layout = [&](BYTE* block) {
    sp::Packer pack(block, sizeof(JOB_INFO_1W) * list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      JOB_INFO_1W info{};
      info.JobId = list[i]->id;
      info.pPrinterName = pack.Text(p->name);
      info.pMachineName = pack.Text(u"\\\\LOCALHOST");
      info.pUserName = pack.Text(list[i]->user);
      info.pDocument = pack.Text(list[i]->document);
      info.pDatatype = pack.Text(p->dataType);
      info.pStatus = nullptr;
      info.Status = list[i]->status;
      info.Priority = 1;
      info.Position = static_cast<DWORD>(firstJob + i + 1);
      info.Submitted.wYear = static_cast<WORD>(now.year);
      info.Submitted.wMonth = static_cast<WORD>(now.month);
      info.Submitted.wDay = static_cast<WORD>(now.day);
      info.Submitted.wHour = static_cast<WORD>(now.hour);
      info.Submitted.wMinute = static_cast<WORD>(now.minute);
      info.Submitted.wSecond = static_cast<WORD>(now.second);
      if (block) std::memcpy(block + i * sizeof info, &info, sizeof info);
    }
    return pack.Size();
  };
  BOOL ok = sp::Answer(layout, static_cast<DWORD>(list.size()), buffer, bytes, needed, returned);
  NoteAnswer(call, ok, needed, returned);
  return ok;
}

BOOL EnumPortsW(LPWSTR server, DWORD level, LPBYTE buffer, DWORD bytes, LPDWORD needed,
                LPDWORD returned) {
  Call call("EnumPortsW",
            {sim::Utf8(server), std::to_string(level), sim::Ptr(buffer), std::to_string(bytes)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  if (!sp::LocalServer(server)) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  const auto& ports = sp::Model().ports;
  size_t recordSize = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  auto layout = [&](BYTE* block) {
    sp::Packer pack(block, recordSize * ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
      BYTE* record = block ? block + i * recordSize : nullptr;
      if (level == 1) {
        PORT_INFO_1W info{};
        info.pName = pack.Text(ports[i].name);
        if (record) std::memcpy(record, &info, sizeof info);
      } else {
        PORT_INFO_2W info{};
        info.pPortName = pack.Text(ports[i].name);
        info.pMonitorName = pack.Text(ports[i].monitor);
        info.pDescription = pack.Text(ports[i].description);
        info.fPortType = 0x3;  // write and read
        if (record) std::memcpy(record, &info, sizeof info);
      }
    }
    return pack.Size();
  };
  BOOL ok = sp::Answer(layout, static_cast<DWORD>(ports.size()), buffer, bytes, needed, returned);
  NoteAnswer(call, ok, needed, returned);
  return ok;
}
