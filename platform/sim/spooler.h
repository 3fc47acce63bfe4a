// The simulated print spooler: what tests stage and inspect.
//
// A fresh machine has no drivers and no printers, the standard local ports ("LPT1:" to "LPT3:",
// "COM1:" to "COM4:", "FILE:", all of the "Local Port" monitor) and a driver directory per
// environment. Names of drivers, printers and ports compare without regard to case, as the
// spooler does; listings keep the order things were added in.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

inline constexpr char16_t kEnvironmentX64[] = u"Windows x64";
inline constexpr char16_t kEnvironmentX86[] = u"Windows NT x86";
inline constexpr char16_t kEnvironmentArm64[] = u"Windows ARM64";
inline constexpr char16_t kLocalPortMonitor[] = u"Local Port";

struct Driver {
  std::u16string name;
  std::u16string environment = kEnvironmentX64;
  DWORD version = 3;
  std::u16string driverPath, dataFile, configFile, helpFile;  // full paths
  std::vector<std::u16string> dependentFiles;
  std::u16string monitorName;
  std::u16string defaultDataType;
  // What the driver's configuration module reports when the spooler builds a new printer's
  // device mode (AddPrinterW): dmDriverVersion and the size of the driver-private part.
  WORD devModeVersion = 0x0500;
  WORD devModePrivateBytes = 16;
};

struct Job {
  DWORD id = 0;  // given by AddJob when 0
  std::u16string document;
  std::u16string user = u"user";
  DWORD status = 0;
};

struct PrinterValue {  // printer data, e.g. "DefaultSpoolDirectory"
  DWORD type = REG_SZ;
  std::vector<BYTE> bytes;
};

struct Printer {
  std::u16string name;
  std::u16string port;
  std::u16string driver;
  std::u16string printProcessor = u"WinPrint";
  std::u16string dataType = u"RAW";
  std::u16string shareName, comment, location;
  DWORD attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;
  // A connection to another machine's printer ("\\\\server\\name"), not a local one: deleting it
  // (DeletePrinter) deletes the server's printer, DeletePrinterConnectionW only the connection.
  bool connection = false;
  std::vector<BYTE> security;  // its security descriptor (security.h's form); empty: none
  // The whole device mode: the public part (dmSize bytes) then dmDriverExtra private bytes.
  // Empty: the printer has no device mode.
  std::vector<BYTE> devMode;
  std::map<std::u16string, PrinterValue> data;  // keyed as given; looked up without case
  std::vector<Job> jobs;
  // Knobs.
  bool refusesOpen = false;           // OpenPrinterW fails with ERROR_ACCESS_DENIED
  bool jobsEndAfterListing = false;   // the jobs finish right after the next EnumPrintersW
};

struct Port {
  std::u16string name;
  std::u16string monitor = kLocalPortMonitor;
  std::u16string description = u"Local Port";
};

// A device mode of the given driver version with `privateBytes` driver-private bytes after the
// public part, filled with 0xA0, 0xA1, ... so that copies can be told apart from zeroes.
std::vector<BYTE> MakeDevMode(const std::u16string& deviceName, WORD driverVersion,
                              WORD privateBytes);
// A REG_SZ printer value holding the text and its terminator.
PrinterValue TextValue(const std::u16string& text);

void AddDriver(const Driver& driver);
void AddPrinter(const Printer& printer);
void AddPort(const std::u16string& name, const std::u16string& monitor = kLocalPortMonitor);
void RemovePort(const std::u16string& name);
// Queues a job on a printer; returns its id (0 when there is no such printer).
DWORD AddJob(const std::u16string& printerName, const std::u16string& document);
// Changes a staged printer in place (knobs, device mode, data); false when there is none.
bool UpdatePrinter(const std::u16string& printerName, void (*change)(Printer&));
// The next `count` opens of the local print server (OpenPrinterW with no name) fail with `error`.
void FailPrintServerOpens(int count, DWORD error = RPC_S_SERVER_UNAVAILABLE);

// The running user's default printer ("" : none). Deleting it leaves the user without one.
void SetDefaultPrinter(const std::u16string& name);
std::u16string DefaultPrinter();
// Connections removed from this machine by DeletePrinterConnectionW, in order.
std::vector<std::u16string> RemovedConnections();

std::vector<Driver> Drivers();
std::vector<Printer> Printers();
std::vector<Port> Ports();
const Printer* FindPrinter(const std::u16string& name);  // valid until the model next changes
std::u16string DriverDirectory(const std::u16string& environment);  // "" for an unknown one

// ----- write side (spooler_write.cpp) -----
// Where the spooler keeps each printer's settings: AddPrinterW creates the key kPrintersKey plus
// "\\<printer name>" under HKEY_LOCAL_MACHINE, DeletePrinter removes it with everything below.
inline constexpr char16_t kPrintersKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers";
inline constexpr char16_t kDefaultSpoolDirectory[] = u"C:\\Windows\\System32\\spool\\PRINTERS";
// The "DefaultSpoolDirectory" printer data AddPrinterW gives a new printer, as a driver that
// stores it would. By default none (a printer's data is its driver's); a value without bytes gives
// them an empty one.
void SetNewPrinterSpoolDirectory(std::optional<PrinterValue> value);
// The print server's predefined value "DefaultSpoolDirectory" (GetPrinterDataW on the handle of
// OpenPrinterW with no name). By default the text kDefaultSpoolDirectory with its terminator;
// std::nullopt makes it missing.
void SetServerSpoolDirectory(std::optional<PrinterValue> value);
// The "Local Port" monitor confirms a port name in its dialog and AddPortW returns TRUE, but the
// port is never added (a monitor that lost the port on the way). An AddPortW that fails at once,
// before its dialog exists, is an injected fault on "AddPortW".
void SetLocalPortSucceedsUnlisted(bool unlisted);
// The "Local Port" monitor answers every XcvDataW "AddPort" with this status (XcvDataW itself
// returns TRUE); ERROR_SUCCESS, the default, adds the port as usual.
void SetXcvAddPortRefusal(DWORD status);
// The driver directory GetPrinterDriverDirectoryW reports for a known environment (the folder is
// not made).
void SetDriverDirectory(const std::u16string& environment, const std::u16string& directory);

}  // namespace sim
