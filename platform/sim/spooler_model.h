// Internal to the simulated spooler: the model's state and the helpers that both its read side
// (spooler.cpp) and its write side share. Tests use spooler.h instead.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/sim/spooler.h"

namespace sim {
namespace spooler {

struct State {
  std::vector<Driver> drivers;
  std::vector<Printer> printers;
  std::vector<Port> ports;
  DWORD nextJobId = 1;
  int printServerFailures = 0;
  DWORD printServerError = RPC_S_SERVER_UNAVAILABLE;
  // Driver directories staged in place of the standard ones, by canonical environment name.
  std::map<std::u16string, std::u16string> driverDirectories;
  std::u16string defaultPrinter;
  std::vector<std::u16string> removedConnections;
};

// The object behind a "printer" handle. A handle names its printer (printers can go while it is
// open) and belongs to one run of the spooler service.
struct PrinterObject {
  bool server = false;  // the local print server (opened with no name)
  std::u16string name;
  DWORD access = 0;
  uint64_t spoolerRun = 0;
  // A port monitor's data channel (",XcvMonitor <monitor>"): the monitor's name; empty otherwise.
  std::u16string xcvMonitor;
  // The job of the document StartDocPrinterW began on this handle, until EndDocPrinter; 0 when none.
  DWORD documentJob = 0;
};

// The machine's own environment: the spooler service runs as the native machine (machine.h).
std::u16string OwnEnvironment();

State& Model();  // callers hold Lock()

// The canonical spelling of a known environment ("" when unknown). Null means the calling
// process's environment, not the server's ("the current environment of the caller/client", as
// Microsoft documents EnumPrinterDrivers and GetPrinterDriverDirectory): "Windows NT x86" for a
// WoW64 process.
std::u16string Environment(LPCWSTR environment);

Printer* FindPrinter(const std::u16string& name);
Port* FindPort(const std::u16string& name);
// Drivers of an environment by name, first match.
Driver* FindDriver(const std::u16string& name, const std::u16string& environment);

// Names of the form ",XcvMonitor <monitor>" or ",XcvPort <port>" open a port monitor's data
// channel (xcv.cpp). OpenXcv fills in the handle's object, or sets the error and gives false.
bool IsXcvName(LPCWSTR name);
bool OpenXcv(LPCWSTR name, const PRINTER_DEFAULTSW* defaults, PrinterObject* object);

// False with RPC_S_SERVER_UNAVAILABLE while the spooler service is not RUNNING.
bool Available();
// The open handle's object when it is a live printer handle of the running spooler; else sets
// the error (RPC_S_SERVER_UNAVAILABLE, ERROR_INVALID_HANDLE) and gives null.
std::shared_ptr<PrinterObject> LiveHandle(HANDLE handle);
// The printer behind a live printer handle (not the print server's); else sets the error
// (also ERROR_INVALID_PRINTER_NAME for a printer deleted while the handle was open).
Printer* HandlePrinter(HANDLE handle, std::shared_ptr<PrinterObject>* objectOut = nullptr);

// Lays out a spooler answer the way Windows does: an array of records at the start of the
// caller's block, the strings and device modes they point to after it. Run once without a block
// to measure (Size()), then with the block to write.
class Packer {
 public:
  Packer(BYTE* block, size_t recordBytes) : block_(block), offset_(Align(recordBytes)) {}
  size_t Size() const { return offset_; }
  LPWSTR Text(const std::u16string& text) { return Raw(text.c_str(), (text.size() + 1) * 2, 2); }
  LPWSTR OptionalText(const std::u16string& text) { return text.empty() ? nullptr : Text(text); }
  LPWSTR MultiText(const std::vector<std::u16string>& texts);
  void* Bytes(const std::vector<BYTE>& bytes) {
    return bytes.empty() ? nullptr : Raw(bytes.data(), bytes.size(), 8);
  }
  LPDEVMODEW DevMode(const std::vector<BYTE>& bytes) {
    if (bytes.empty()) return nullptr;
    return reinterpret_cast<LPDEVMODEW>(Raw(bytes.data(), bytes.size(), 8));
  }

 private:
  static size_t Align(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }
  LPWSTR Raw(const void* data, size_t bytes, size_t alignment);
  BYTE* block_;
  size_t offset_;
};

// The two-call protocol of the enumerations: `layout(block)` writes the records (block null: only
// measures) and returns the bytes used. Sets *needed, *returned and the last error as Windows does:
// a short block gives FALSE and ERROR_INSUFFICIENT_BUFFER; nothing to return succeeds with 0.
template <class Layout>
BOOL Answer(Layout layout, DWORD records, LPBYTE buffer, DWORD bytes, LPDWORD needed,
            LPDWORD returned) {
  if (!needed || !returned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returned = 0;
  size_t size = records ? layout(nullptr) : 0;
  *needed = static_cast<DWORD>(size);
  if (size > bytes) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!buffer && bytes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (records) layout(buffer);
  *returned = records;
  return TRUE;
}

}  // namespace spooler
}  // namespace sim
