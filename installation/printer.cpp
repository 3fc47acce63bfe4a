// Printer creation and verification: the local printer on the port with DriverName, its spool
// folder recorded in its registry key, the spooler restarted, and the driver version checked.
#include "installation/steps.h"

#include "spooler/queries.h"
#include "spooler/service.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// Ends in a backslash: the printer name follows directly.
constexpr WCHAR PrintersKeyPrefix[] =
    TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\");
constexpr WCHAR SpoolFolderData[] = TEXT("DefaultSpoolDirectory");
constexpr WCHAR SpoolFolderValue[] = TEXT("SpoolDirectory");

}  // namespace

bool IsUnfinishedOwnPrinter(LPCWSTR printerName) {
  {
    LocalBlock<PRINTER_INFO_2W> printer(GetPrinterInfo2(printerName));
    if (!printer || !printer->pDriverName || !printer->pPortName ||
        lstrcmpW(printer->pDriverName, DriverName) != 0 ||
        lstrcmpiW(printer->pPortName, PortName) != 0)
      return false;
  }
  LocalBlock<WCHAR> keyPath(JoinStrings(PrintersKeyPrefix, printerName, static_cast<LPCWSTR>(nullptr)));
  if (!keyPath) return false;
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.Get(), 0, KEY_QUERY_VALUE, key.Put()) !=
          ERROR_SUCCESS ||
      !key)
    return false;
  return RegQueryValueExW(key.Get(), SpoolFolderValue, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_FILE_NOT_FOUND;
}

bool CreatePrinter(LPCWSTR printerName, LPCWSTR portName) {
  PrinterHandle printer;
  if (OpenPrinterW(const_cast<LPWSTR>(printerName), printer.Put(), nullptr) && printer) {
    if (!IsUnfinishedOwnPrinter(printerName)) {
      ReportError(TEXT("プリンタ名が既に使用されています!"));
      return false;
    }
    // Added by a run that ended before its work was done: its spool folder, the restart and the
    // version check follow as for a new one.
    DebugLog("CreatePrinter - the printer '%ws' of an earlier run is completed", printerName);
  } else {
    printer.Reset();
    PRINTER_INFO_2W record = {};
    record.pPrinterName = const_cast<LPWSTR>(printerName);
    record.pPortName = const_cast<LPWSTR>(portName);
    record.pDriverName = const_cast<LPWSTR>(DriverName);
    WCHAR printProcessor[] = TEXT("WinPrint");
    WCHAR dataType[] = TEXT("NT EMF 1.006");
    record.pPrintProcessor = printProcessor;
    record.pDatatype = dataType;
    record.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;
    printer.Reset(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&record)));
    if (!printer) {
      ReportError(TEXT("プリンタ '%ws' の追加ができません!"), printerName);
      return false;
    }
  }

  {
    LocalBlock<WCHAR> keyPath(
        JoinStrings(PrintersKeyPrefix, printerName, static_cast<LPCWSTR>(nullptr)));
    if (!keyPath) {
      // Without the path there is no printer key to open; HKEY_LOCAL_MACHINE itself never is.
      ReportError(TEXT("メモリが不足しています!"));
      return false;
    }
    // The registry and printer-data calls answer with a status and leave the thread's last error
    // as an earlier call set it; the status is what the failure report must show.
    RegistryKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.Get(), 0, KEY_SET_VALUE, key.Put());
    if (status != ERROR_SUCCESS || !key) {
      ReportErrorCode(static_cast<DWORD>(status), TEXT("レジストリ '%ws' のオープンができません!"),
                      keyPath.Get());
      return false;
    }

    DWORD type = REG_SZ;
    DWORD size = 0;
    DWORD answer = GetPrinterDataW(printer.Get(), const_cast<LPWSTR>(SpoolFolderData), &type,
                                   nullptr, 0, &size);
    // A printer handle reads the printer's own data, which holds the spool folder only when the
    // driver stored one there; Windows keeps it as a value of the print server. Without a value of
    // the printer's own, the print server's is the printer's spool folder.
    HANDLE source = printer.Get();
    PrinterHandle server;
    if (answer == ERROR_FILE_NOT_FOUND) {
      PRINTER_DEFAULTSW enumerate = {nullptr, nullptr, SERVER_ACCESS_ENUMERATE};
      if (!OpenPrinterW(nullptr, server.Put(), &enumerate) || !server) {
        ReportError(TEXT("スプールフォルダの取得ができません!"));
        return false;
      }
      source = server.Get();
      type = REG_SZ;
      size = 0;
      answer = GetPrinterDataW(source, const_cast<LPWSTR>(SpoolFolderData), &type, nullptr, 0,
                               &size);
    }
    // The buffer is one character larger than the value, zero-filled, so a value stored without
    // its terminator is still followed by one: RegSetValueExW looks at the character after REG_SZ
    // data. A size that leaves no room for it is no answer either.
    if (answer != ERROR_MORE_DATA || size > 0xFFFFFFFF - sizeof(WCHAR)) {
      ReportErrorCode(answer, TEXT("スプールフォルダの取得ができません!"));
      return false;
    }
    LocalBlock<BYTE> folder(static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<SIZE_T>(size) + sizeof(WCHAR))));
    if (!folder) {
      ReportError(TEXT("スプールフォルダの取得ができません!"));
      return false;
    }
    DWORD stored = 0;
    answer = GetPrinterDataW(source, const_cast<LPWSTR>(SpoolFolderData), &type, folder.Get(),
                             size, &stored);
    if (answer != ERROR_SUCCESS) {
      ReportErrorCode(answer, TEXT("スプールフォルダの取得ができません!"));
      return false;
    }
    // Written as REG_SZ whatever type the spooler reported, with exactly the bytes it stored.
    status = RegSetValueExW(key.Get(), SpoolFolderValue, 0, REG_SZ, folder.Get(), stored);
    if (status != ERROR_SUCCESS) {
      ReportErrorCode(static_cast<DWORD>(status),
                      TEXT("スプールフォルダのレジストリキー '%s' の取得ができません!"),
                      keyPath.Get());
      return false;
    }
    folder.Reset();
    server.Reset();
    key.Reset();
  }
  // A printer handle does not survive a spooler restart: it is closed before the spooler is
  // touched.
  printer.Reset();
  return RestartSpooler();
}

bool VerifyDriverVersion(LPCWSTR printerName) {
  LocalBlock<DEVMODEW> devMode(CopyPrinterDevMode(printerName));
  if (!devMode) {
    ReportError(TEXT("プリンタ '%ws' のデバイスモードの取得ができません!"), printerName);
    return false;
  }
  if (devMode->dmDriverVersion != ExpectedDriverVersion) {
    ReportError(TEXT("ドライバのバージョン[%d]が %d でありません!"),
                static_cast<int>(devMode->dmDriverVersion),
                static_cast<int>(ExpectedDriverVersion));
    return false;
  }
  return true;
}
