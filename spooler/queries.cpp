#include "spooler/queries.h"

#include <cstring>

#include "support/handles.h"

namespace {

// Releases a block without disturbing the last-error code of the call that failed before.
void FreeKeepingError(HLOCAL block) {
  LastErrorKeeper keep;
  LocalFree(block);
}

// The spooler's two-call protocol: a size query with no buffer, a zero-filled block of exactly
// the size reported, then the fill call. `query(buffer, bytes, needed, returned)` is one call.
// A size query that succeeds means there is nothing to return: with `emptyIsAnswer` that is an
// empty list (still allocated and filled, so the caller gets a block and a count of 0), otherwise
// there is no answer.
template <class Query>
BYTE* TwoCallQuery(Query query, bool emptyIsAnswer, DWORD* count) {
  DWORD needed = 0;
  DWORD returned = 0;
  if (query(nullptr, 0, &needed, &returned)) {
    if (!emptyIsAnswer) return nullptr;
  } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return nullptr;
  }
  BYTE* block = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
  if (!block) return nullptr;
  if (!query(block, needed, &needed, &returned)) {
    FreeKeepingError(block);
    return nullptr;
  }
  if (count) *count = returned;
  return block;
}

}  // namespace

DRIVER_INFO_3W* EnumerateDrivers(DWORD* count, LPCWSTR environment) {
  auto query = [environment](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD returned) {
    return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 3, buffer, bytes, needed,
                               returned);
  };
  return reinterpret_cast<DRIVER_INFO_3W*>(TwoCallQuery(query, true, count));
}

DRIVER_INFO_3W* EnumerateDriversOf(LPCWSTR environment, DWORD* count) {
  auto query = [environment](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD returned) {
    return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 3, buffer, bytes, needed,
                               returned);
  };
  return reinterpret_cast<DRIVER_INFO_3W*>(TwoCallQuery(query, true, count));
}

PRINTER_INFO_2W* EnumeratePrinters(DWORD* count) {
  auto query = [](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD returned) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer, bytes,
                         needed, returned);
  };
  return reinterpret_cast<PRINTER_INFO_2W*>(TwoCallQuery(query, true, count));
}

PORT_INFO_1W* EnumeratePorts(DWORD* count) {
  auto query = [](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD returned) {
    return EnumPortsW(nullptr, 1, buffer, bytes, needed, returned);
  };
  return reinterpret_cast<PORT_INFO_1W*>(TwoCallQuery(query, true, count));
}

JOB_INFO_1W* EnumerateJobs(HANDLE printer, DWORD jobCount, DWORD* count) {
  auto query = [printer, jobCount](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD returned) {
    return EnumJobsW(printer, 0, jobCount, 1, buffer, bytes, needed, returned);
  };
  return reinterpret_cast<JOB_INFO_1W*>(TwoCallQuery(query, true, count));
}

LPWSTR GetDriverDirectory(LPCWSTR environment) {
  auto query = [environment](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD) {
    return GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(environment), 1, buffer, bytes,
                                      needed);
  };
  return reinterpret_cast<LPWSTR>(TwoCallQuery(query, false, nullptr));
}

PRINTER_INFO_2W* GetPrinterInfo2(LPCWSTR printerName) {
  PrinterHandle printer;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), printer.Put(), nullptr) || !printer)
    return nullptr;
  HANDLE handle = printer.Get();
  auto query = [handle](LPBYTE buffer, DWORD bytes, LPDWORD needed, LPDWORD) {
    return GetPrinterW(handle, 2, buffer, bytes, needed);
  };
  return reinterpret_cast<PRINTER_INFO_2W*>(TwoCallQuery(query, false, nullptr));
}

DEVMODEW* CopyPrinterDevMode(LPCWSTR printerName) {
  LocalBlock<PRINTER_INFO_2W> info(GetPrinterInfo2(printerName));
  if (!info || !info->pDevMode) return nullptr;
  const DEVMODEW* source = info->pDevMode;
  DWORD size = static_cast<DWORD>(source->dmSize) + static_cast<DWORD>(source->dmDriverExtra);
  void* copy = LocalAlloc(LPTR, size);
  if (!copy) return nullptr;
  std::memcpy(copy, source, size);
  return static_cast<DEVMODEW*>(copy);
}

bool FindDriver(DRIVER_INFO_3W** list, DWORD* position, LPCWSTR name) {
  DWORD count = 0;
  DRIVER_INFO_3W* drivers = EnumerateDrivers(&count);
  if (!drivers) return false;
  for (DWORD i = 0; i < count; ++i) {
    if (drivers[i].pName && lstrcmpiW(drivers[i].pName, name) == 0) {
      if (position) *position = i;
      *list = drivers;
      return true;
    }
  }
  LocalFree(drivers);
  *list = nullptr;
  return true;
}

bool PrinterExists(bool* exists, LPCWSTR name) {
  *exists = false;
  // Only a printer's own name finds it: the empty name opens the print server, and names with a
  // comma open the spooler's own objects (",XcvMonitor Local Port", ",XcvPort ...").
  if (!name || !*name) return true;
  for (LPCWSTR c = name; *c; ++c)
    if (*c == ',') return true;
  PrinterHandle printer;
  if (OpenPrinterW(const_cast<LPWSTR>(name), printer.Put(), nullptr) && printer) *exists = true;
  return true;
}

bool PortExists(bool* exists, LPCWSTR name) {
  DWORD count = 0;
  LocalBlock<PORT_INFO_1W> ports(EnumeratePorts(&count));
  if (!ports) return false;
  bool found = false;
  for (DWORD i = 0; i < count && !found; ++i)
    found = ports[i].pName && lstrcmpiW(ports[i].pName, name) == 0;
  *exists = found;
  return true;
}
