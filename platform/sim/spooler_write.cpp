// Simulated print spooler, write side: drivers registered and deleted, printers added and deleted,
// printer data read, jobs controlled, and ports added through the "Local Port" monitor.
//
// Modelled on the local spooler of Windows, with these simplifications (each documented where it
// applies):
//  - AddPrinterDriverW keeps the record as given: the files are checked at the paths named, not
//    copied into the driver directory's version folder, and cVersion is stored unchanged (its
//    registry key, with the value "Driver", under the environment's Drivers\Version-<cVersion>).
//  - DeletePrinterDriverW removes the registration only; the files stay, as on Windows.
//  - DeletePrinter removes the printer at once, with its pending jobs and its registry key (Windows
//    marks a printer with jobs "pending deletion" and removes it when they are gone).
//  - Only the local machine is modelled; a server name other than none or "" is an invalid name.
// Every function fails with RPC_S_SERVER_UNAVAILABLE while the spooler service is not running.
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/sim/files.h"
#include "platform/sim/port_dialog.h"
#include "platform/sim/registry.h"
#include "platform/sim/services.h"
#include "platform/sim/security.h"
#include "platform/sim/spooler_model.h"

namespace sim {
namespace {

struct WriteKnobs {
  // A new printer's own data holds no spool folder unless its driver stores one.
  std::optional<PrinterValue> newPrinterSpoolDirectory;
  std::optional<PrinterValue> serverSpoolDirectory = TextValue(kDefaultSpoolDirectory);
  bool localPortUnlisted = false;
};

WriteKnobs& knobs() {
  static WriteKnobs* instance = new WriteKnobs;
  return *instance;
}

const bool registered = (RegisterResetHook("spooler_write", [] { knobs() = WriteKnobs{}; }), true);

}  // namespace

void SetNewPrinterSpoolDirectory(std::optional<PrinterValue> value) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  knobs().newPrinterSpoolDirectory = std::move(value);
}

void SetServerSpoolDirectory(std::optional<PrinterValue> value) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  knobs().serverSpoolDirectory = std::move(value);
}

void SetLocalPortSucceedsUnlisted(bool unlisted) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  knobs().localPortUnlisted = unlisted;
}

void SetDriverDirectory(const std::u16string& environment, const std::u16string& directory) {
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::u16string env = spooler::Environment(environment.c_str());
  if (!env.empty()) spooler::Model().driverDirectories[env] = directory;
}

}  // namespace sim

using sim::Call;
using sim::Lock;
namespace sp = sim::spooler;

namespace {

// DELETE, one of the standard rights that PRINTER_ALL_ACCESS carries; DeletePrinter needs it.
constexpr DWORD kDeleteRight = 0x00010000;

bool LocalServer(LPCWSTR server) { return !server || !*server; }

std::u16string Text(LPCWSTR text) { return text ? text : u""; }

// A multi-string (null-terminated texts ended by an empty one) as a list; none gives an empty list.
std::vector<std::u16string> MultiText(LPCWSTR texts) {
  std::vector<std::u16string> out;
  for (LPCWSTR t = texts; t && *t; t += lstrlenW(t) + 1) out.push_back(t);
  return out;
}

std::string JoinedUtf8(LPCWSTR texts) {
  if (!texts) return "(null)";
  std::string out;
  for (auto& t : MultiText(texts)) out += (out.empty() ? "" : ";") + sim::Utf8(t);
  return out;
}

// Printer names are keys of the registry and of the spooler's name space: the separators of
// "\\server\printer" and of port lists may not appear in them, and Windows takes at most 220
// characters (MS-RPRN 2.2.4.14 and its product behaviour note).
constexpr size_t MaxPrinterNameLength = 220;

bool ValidPrinterName(const std::u16string& name) {
  return !name.empty() && name.size() <= MaxPrinterNameLength &&
         name.find_first_of(u"\\,") == std::u16string::npos;
}

// The data types the "WinPrint" print processor accepts.
bool WinPrintDataType(const std::u16string& type) {
  for (const char16_t* known : {u"RAW", u"RAW [FF appended]", u"RAW [FF auto]", u"NT EMF 1.003",
                                u"NT EMF 1.006", u"NT EMF 1.007", u"NT EMF 1.008", u"TEXT"})
    if (sim::EqualNoCase(type, known)) return true;
  return false;
}

std::u16string PrinterKey(const std::u16string& name) {
  return std::u16string(sim::kPrintersKey) + u"\\" + name;
}

// A registration's key: under its environment and the version folder of its cVersion.
std::u16string DriverKey(const sim::Driver& driver) {
  return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" + driver.environment +
         u"\\Drivers\\Version-" + sim::Utf16(std::to_string(driver.version)) + u"\\" + driver.name;
}

}  // namespace

// Level 3 only. The three main files must exist where the record says (the help file and the
// dependent files too, when named); an existing registration of that name and environment is
// replaced in place, keeping its position in the listings.
BOOL AddPrinterDriverW(LPWSTR server, DWORD level, LPBYTE driverInfo) {
  auto* info = reinterpret_cast<DRIVER_INFO_3W*>(driverInfo);
  std::vector<std::string> args = {sim::Utf8(server), std::to_string(level)};
  if (info && level == 3) {
    args.insert(args.end(), {std::to_string(info->cVersion), sim::Utf8(info->pName),
                             sim::Utf8(info->pEnvironment), sim::Utf8(info->pDriverPath),
                             sim::Utf8(info->pDataFile), sim::Utf8(info->pConfigFile),
                             sim::Utf8(info->pHelpFile), JoinedUtf8(info->pDependentFiles),
                             sim::Utf8(info->pMonitorName), sim::Utf8(info->pDefaultDataType)});
  }
  Call call("AddPrinterDriverW", args);
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  if (!LocalServer(server)) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  if (level != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  if (!info || !info->pName || !*info->pName || !info->pDriverPath || !info->pDataFile ||
      !info->pConfigFile) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  std::u16string environment = sp::Environment(info->pEnvironment);
  if (environment.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return call.Ret<BOOL>(FALSE);
  }
  std::vector<std::u16string> files = {info->pDriverPath, info->pDataFile, info->pConfigFile};
  if (info->pHelpFile && *info->pHelpFile) files.push_back(info->pHelpFile);
  auto dependents = MultiText(info->pDependentFiles);
  files.insert(files.end(), dependents.begin(), dependents.end());
  for (auto& file : files) {
    if (!sim::FileExists(file)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return call.Ret<BOOL>(FALSE);
    }
  }
  sim::Driver driver;
  driver.name = info->pName;
  driver.environment = environment;
  driver.version = info->cVersion;
  driver.driverPath = info->pDriverPath;
  driver.dataFile = info->pDataFile;
  driver.configFile = info->pConfigFile;
  driver.helpFile = Text(info->pHelpFile);
  driver.dependentFiles = dependents;
  driver.monitorName = Text(info->pMonitorName);
  driver.defaultDataType = Text(info->pDefaultDataType);
  sim::SetRegistryText(HKEY_LOCAL_MACHINE, DriverKey(driver), u"Driver", driver.driverPath);
  if (sim::Driver* existing = sp::FindDriver(driver.name, environment)) {
    // What the configuration module reports stays with the driver: a staged version survives.
    driver.devModeVersion = existing->devModeVersion;
    driver.devModePrivateBytes = existing->devModePrivateBytes;
    *existing = driver;
  } else {
    sp::Model().drivers.push_back(driver);
  }
  return call.Ret<BOOL>(TRUE);
}

namespace {

// The files a registration names: its three main files, the help file, the dependent files.
std::vector<std::u16string> FilesOf(const sim::Driver& driver) {
  std::vector<std::u16string> files = {driver.driverPath, driver.dataFile, driver.configFile};
  if (!driver.helpFile.empty()) files.push_back(driver.helpFile);
  files.insert(files.end(), driver.dependentFiles.begin(), driver.dependentFiles.end());
  return files;
}

// Removes the registration of `driverName` in `environment` (none: the caller's), after the checks
// both deletion calls make. A driver of the machine's own environment is in use while any printer
// names it; registrations for other environments serve only clients and can go. With
// DPD_DELETE_UNUSED_FILES (or DPD_DELETE_ALL_FILES) the files no other registration names go too.
BOOL DeleteRegistration(Call& call, LPWSTR server, LPWSTR environment, LPWSTR driverName,
                        DWORD deleteFlags) {
  if (!sp::Available()) return call.Ret<BOOL>(FALSE);
  if (!LocalServer(server)) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  std::u16string env = sp::Environment(environment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return call.Ret<BOOL>(FALSE);
  }
  if (!driverName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  sim::Driver* driver = sp::FindDriver(driverName, env);
  if (!driver) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return call.Ret<BOOL>(FALSE);
  }
  if (env == sp::OwnEnvironment()) {
    for (auto& p : sp::Model().printers) {
      if (sim::EqualNoCase(p.driver, driver->name)) {
        SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
        return call.Ret<BOOL>(FALSE);
      }
    }
  }
  std::vector<std::u16string> files = FilesOf(*driver);
  sim::DeleteRegistryKey(HKEY_LOCAL_MACHINE, DriverKey(*driver));
  auto& drivers = sp::Model().drivers;
  drivers.erase(drivers.begin() + (driver - drivers.data()));
  if (deleteFlags & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES)) {
    for (auto& file : files) {
      bool listed = false;
      for (auto& other : drivers)
        for (auto& used : FilesOf(other)) listed = listed || sim::EqualNoCase(used, file);
      if (!listed) sim::RemoveFile(file);
    }
  }
  return call.Ret<BOOL>(TRUE);
}

}  // namespace

BOOL DeletePrinterDriverW(LPWSTR server, LPWSTR environment, LPWSTR driverName) {
  Call call("DeletePrinterDriverW",
            {sim::Utf8(server), sim::Utf8(environment), sim::Utf8(driverName)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return DeleteRegistration(call, server, environment, driverName, 0);
}

// The version flag only matters with DPD_DELETE_SPECIFIC_VERSION; the model keeps one version
// per name and environment.
BOOL DeletePrinterDriverExW(LPWSTR server, LPWSTR environment, LPWSTR driverName,
                            DWORD deleteFlags, DWORD versionFlag) {
  Call call("DeletePrinterDriverExW",
            {sim::Utf8(server), sim::Utf8(environment), sim::Utf8(driverName),
             sim::Hex(deleteFlags), std::to_string(versionFlag)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  return DeleteRegistration(call, server, environment, driverName, deleteFlags);
}

// Level 2. The printer takes the driver of the machine's own environment; its device mode is the
// one that driver's configuration module reports, its "DefaultSpoolDirectory" data the spool
// folder, and its settings key is created. The handle returned carries PRINTER_ALL_ACCESS.
HANDLE AddPrinterW(LPWSTR server, DWORD level, LPBYTE printerInfo) {
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(printerInfo);
  std::vector<std::string> args = {sim::Utf8(server), std::to_string(level)};
  if (info && level == 2) {
    args.insert(args.end(), {sim::Utf8(info->pPrinterName), sim::Utf8(info->pPortName),
                             sim::Utf8(info->pDriverName), sim::Utf8(info->pPrintProcessor),
                             sim::Utf8(info->pDatatype), sim::Hex(info->Attributes)});
  }
  Call call("AddPrinterW", args);
  if (call.Faulted()) return call.Ret<HANDLE>(nullptr);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  if (!sp::Available()) return call.Ret<HANDLE>(nullptr);
  if (!LocalServer(server)) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<HANDLE>(nullptr);
  }
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<HANDLE>(nullptr);
  }
  if (!info || !info->pPortName || !info->pDriverName || !info->pPrintProcessor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<HANDLE>(nullptr);
  }
  std::u16string name = Text(info->pPrinterName);
  if (!ValidPrinterName(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return call.Ret<HANDLE>(nullptr);
  }
  if (sp::FindPrinter(name)) {
    SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
    return call.Ret<HANDLE>(nullptr);
  }
  if (!sp::FindPort(info->pPortName)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return call.Ret<HANDLE>(nullptr);
  }
  sim::Driver* driver = sp::FindDriver(info->pDriverName, sp::OwnEnvironment());
  if (!driver) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return call.Ret<HANDLE>(nullptr);
  }
  if (!sim::EqualNoCase(info->pPrintProcessor, u"WinPrint")) {
    SetLastError(ERROR_UNKNOWN_PRINTPROCESSOR);
    return call.Ret<HANDLE>(nullptr);
  }
  std::u16string dataType = info->pDatatype ? info->pDatatype : u"RAW";
  if (!WinPrintDataType(dataType)) {
    SetLastError(ERROR_INVALID_DATATYPE);
    return call.Ret<HANDLE>(nullptr);
  }

  sim::Printer p;
  p.name = name;
  p.port = info->pPortName;
  p.driver = driver->name;  // the spooler refers to the driver by its registered spelling
  p.printProcessor = info->pPrintProcessor;
  p.dataType = dataType;
  p.shareName = Text(info->pShareName);
  p.comment = Text(info->pComment);
  p.location = Text(info->pLocation);
  p.attributes = info->Attributes;
  p.security = sim::internal::DescriptorBytes(info->pSecurityDescriptor);
  p.devMode = sim::MakeDevMode(name, driver->devModeVersion, driver->devModePrivateBytes);
  if (sim::knobs().newPrinterSpoolDirectory)
    p.data[u"DefaultSpoolDirectory"] = *sim::knobs().newPrinterSpoolDirectory;
  sp::Model().printers.push_back(p);

  std::u16string key = PrinterKey(name);
  sim::CreateRegistryKey(HKEY_LOCAL_MACHINE, key);
  sim::SetRegistryText(HKEY_LOCAL_MACHINE, key, u"Name", name);
  sim::SetRegistryText(HKEY_LOCAL_MACHINE, key, u"Port", p.port);
  sim::SetRegistryText(HKEY_LOCAL_MACHINE, key, u"Printer Driver", p.driver);

  auto object = std::make_shared<sp::PrinterObject>();
  object->name = name;
  object->access = PRINTER_ALL_ACCESS;
  object->spoolerRun = sim::SpoolerRunCount();
  return call.Ret<HANDLE>(sim::NewHandle("printer", object));
}

// Needs a handle opened with the DELETE right (PRINTER_ALL_ACCESS has it). The printer, its
// pending jobs and its settings key go at once; the handle stays open until ClosePrinter, and
// other calls on it find no printer (ERROR_INVALID_PRINTER_NAME).
BOOL DeletePrinter(HANDLE printer) {
  Call call("DeletePrinter", {sim::Ptr(printer)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::shared_ptr<sp::PrinterObject> object;
  sim::Printer* p = sp::HandlePrinter(printer, &object);
  if (!p) return call.Ret<BOOL>(FALSE);
  if (!(object->access & kDeleteRight)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return call.Ret<BOOL>(FALSE);
  }
  std::u16string key = PrinterKey(p->name);
  if (sim::EqualNoCase(sp::Model().defaultPrinter, p->name)) sp::Model().defaultPrinter.clear();
  auto& printers = sp::Model().printers;
  printers.erase(printers.begin() + (p - printers.data()));
  sim::DeleteRegistryKey(HKEY_LOCAL_MACHINE, key);
  return call.Ret<BOOL>(TRUE);
}

// Returns the status and leaves it as the thread's last error too, as the spooler's client does.
// A buffer smaller than the value (a size query passes none and 0) gives ERROR_MORE_DATA with the
// size in *needed; a value of 0 bytes answers even the size query with success.
DWORD GetPrinterDataW(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD bytes,
                      LPDWORD needed) {
  Call call("GetPrinterDataW",
            {sim::Ptr(printer), sim::Utf8(valueName), sim::Ptr(data), std::to_string(bytes)});
  auto finish = [&call](DWORD status) {
    SetLastError(status);
    return call.Ret<DWORD>(status);
  };
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  std::lock_guard<sim::MachineMutex> lock(Lock());
  // The print server answers its predefined values; of them only "DefaultSpoolDirectory" is
  // modelled. A printer answers from its own data (its "PrinterDriverData").
  auto object = sp::LiveHandle(printer);
  if (!object) return finish(GetLastError());
  const bool server = object->server;
  sim::Printer* p = server ? nullptr : sp::HandlePrinter(printer);
  if (!server && !p) return finish(GetLastError());
  if (!valueName || !needed || (!data && bytes)) return finish(ERROR_INVALID_PARAMETER);
  const sim::PrinterValue* value = nullptr;
  if (server) {
    if (sim::EqualNoCase(valueName, u"DefaultSpoolDirectory") && sim::knobs().serverSpoolDirectory)
      value = &*sim::knobs().serverSpoolDirectory;
  } else {
    for (auto& entry : p->data)
      if (sim::EqualNoCase(entry.first, valueName)) value = &entry.second;
  }
  if (!value) return finish(ERROR_FILE_NOT_FOUND);
  DWORD size = static_cast<DWORD>(value->bytes.size());
  *needed = size;
  if (type) *type = value->type;
  if (bytes < size) {
    call.SetResult("234 needed " + std::to_string(size));
    SetLastError(ERROR_MORE_DATA);
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(data, value->bytes.data(), size);
  call.SetResult("0 needed " + std::to_string(size));
  SetLastError(ERROR_SUCCESS);
  return ERROR_SUCCESS;
}

// Levels 0 (command only) and 1; the record's own fields are not applied. JOB_CONTROL_DELETE and
// JOB_CONTROL_CANCEL remove the job, PAUSE and RESUME set and clear its paused status, RESTART
// leaves it as it is. A job id the printer does not hold is an invalid parameter.
BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) {
  auto* record = reinterpret_cast<JOB_INFO_1W*>(job);
  Call call("SetJobW", {sim::Ptr(printer), std::to_string(jobId), std::to_string(level),
                        record && level == 1 ? sim::Utf8(record->pDocument) : std::string("-"),
                        std::to_string(command)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  sim::Printer* p = sp::HandlePrinter(printer);
  if (!p) return call.Ret<BOOL>(FALSE);
  if (level > 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<BOOL>(FALSE);
  }
  if (level == 1 && !record) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  auto it = std::find_if(p->jobs.begin(), p->jobs.end(),
                         [jobId](const sim::Job& j) { return j.id == jobId; });
  if (it == p->jobs.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  constexpr DWORD kPaused = JOB_STATUS_PAUSED;
  switch (command) {
    case 0:
    case JOB_CONTROL_RESTART:
      break;
    case JOB_CONTROL_PAUSE:
      it->status |= kPaused;
      break;
    case JOB_CONTROL_RESUME:
      it->status &= ~kPaused;
      break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
      p->jobs.erase(it);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return call.Ret<BOOL>(FALSE);
  }
  return call.Ret<BOOL>(TRUE);
}

// Level 1. A document begun on a printer handle is a job at the end of the printer's queue, listed
// with JOB_STATUS_SPOOLING until EndDocPrinter; the result is its id. The data written is not
// modelled, and nothing prints: an ended document stays queued as a pending job. One document per
// handle at a time (a second start is refused with ERROR_INVALID_PARAMETER, a simplification).
DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo) {
  auto* info = reinterpret_cast<DOC_INFO_1W*>(docInfo);
  Call call("StartDocPrinterW", {sim::Ptr(printer), std::to_string(level),
                                 info && level == 1 ? sim::Utf8(info->pDocName) : std::string("-")});
  if (call.Faulted()) return call.Ret<DWORD>(0);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::shared_ptr<sp::PrinterObject> object;
  sim::Printer* p = sp::HandlePrinter(printer, &object);
  if (!p) return call.Ret<DWORD>(0);
  if (level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return call.Ret<DWORD>(0);
  }
  if (!info || object->documentJob != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<DWORD>(0);
  }
  sim::Job job;
  job.id = sp::Model().nextJobId++;
  job.document = Text(info->pDocName);
  job.status = JOB_STATUS_SPOOLING;
  p->jobs.push_back(job);
  object->documentJob = job.id;
  return call.Ret<DWORD>(job.id);
}

BOOL EndDocPrinter(HANDLE printer) {
  Call call("EndDocPrinter", {sim::Ptr(printer)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::lock_guard<sim::MachineMutex> lock(Lock());
  std::shared_ptr<sp::PrinterObject> object;
  sim::Printer* p = sp::HandlePrinter(printer, &object);
  if (!p) return call.Ret<BOOL>(FALSE);
  if (object->documentJob == 0) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return call.Ret<BOOL>(FALSE);
  }
  for (auto& job : p->jobs)
    if (job.id == object->documentJob) job.status &= ~static_cast<DWORD>(JOB_STATUS_SPOOLING);
  object->documentJob = 0;
  return call.Ret<BOOL>(TRUE);
}

// Only the "Local Port" monitor is modelled. It asks for the new port's name in its own modal
// dialog on the calling thread (sim::RunLocalPortDialog; the owner window is not used) and adds a
// port of the name confirmed there. Cancelling gives FALSE with ERROR_CANCELLED. A name that is
// already a port is not added twice: as the monitor does on Windows, it tells the person in a
// box on the same thread ("Local Port", MB_OK) and AddPortW gives FALSE with ERROR_ALREADY_EXISTS
// once the box is closed. An empty name is refused with ERROR_INVALID_NAME.
BOOL AddPortW(LPWSTR server, HWND window, LPWSTR monitorName) {
  Call call("AddPortW", {sim::Utf8(server), sim::Ptr(window), sim::Utf8(monitorName)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (!sp::Available()) return call.Ret<BOOL>(FALSE);
    if (!LocalServer(server)) {
      SetLastError(ERROR_INVALID_NAME);
      return call.Ret<BOOL>(FALSE);
    }
    if (!monitorName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return call.Ret<BOOL>(FALSE);
    }
    if (!sim::EqualNoCase(monitorName, sim::kLocalPortMonitor)) {
      SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
      return call.Ret<BOOL>(FALSE);
    }
  }
  // The dialog's modal loop blocks this thread: no lock is held across it.
  std::u16string name;
  if (!sim::RunLocalPortDialog(&name)) {
    SetLastError(ERROR_CANCELLED);
    return call.Ret<BOOL>(FALSE);
  }
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return call.Ret<BOOL>(FALSE);
  }
  bool exists = false;
  {
    std::lock_guard<sim::MachineMutex> lock(Lock());
    if (!sp::Available()) return call.Ret<BOOL>(FALSE);  // the spooler stopped meanwhile
    exists = sp::FindPort(name) != nullptr;
    if (!exists) {
      if (!sim::knobs().localPortUnlisted) sim::AddPort(name, sim::kLocalPortMonitor);
      return call.Ret<BOOL>(TRUE);
    }
  }
  std::u16string text = u"Port " + name + u" already exists.";
  MessageBoxW(nullptr, text.c_str(), sim::kLocalPortMonitor, MB_OK | MB_ICONERROR);
  SetLastError(ERROR_ALREADY_EXISTS);
  return call.Ret<BOOL>(FALSE);
}
