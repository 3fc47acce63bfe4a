// Stand-in for the printer driver's configuration module. The spooler asks it for a printer's
// default device mode when the printer is added: it reports dmDriverVersion 0x0500, or the
// version named by the environment variable ZQTEST_DRIVER_VERSION (for example 0x0400), and
// records the printer's "DefaultSpoolDirectory" printer data, which a real driver's spooler
// provides on Windows.
#include <windows.h>
#include <winspool.h>

#include <stdlib.h>

namespace {

// The header the spooler passes when it wants a device mode without showing property sheets.
struct DocumentPropertyHeader {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
};

constexpr WORD PrivateBytes = 16;

WORD DriverVersion() {
  wchar_t text[32];
  DWORD n = GetEnvironmentVariableW(L"ZQTEST_DRIVER_VERSION", text, 32);
  if (n == 0 || n >= 32) return 0x0500;
  return static_cast<WORD>(wcstoul(text, nullptr, 0));
}

void RecordSpoolDirectory(HANDLE printer, LPWSTR printerName) {
  static wchar_t folder[] = L"C:\\windows\\system32\\spool\\PRINTERS";
  DWORD status = ERROR_INVALID_HANDLE;
  if (printer)
    status = SetPrinterDataW(printer, const_cast<LPWSTR>(L"DefaultSpoolDirectory"), REG_SZ,
                             reinterpret_cast<BYTE*>(folder), sizeof(folder));
  // Wine passes no printer handle while it builds a new printer's device mode: open it by name.
  HANDLE own = nullptr;
  if (status != ERROR_SUCCESS && printerName && OpenPrinterW(printerName, &own, nullptr)) {
    status = SetPrinterDataW(own, const_cast<LPWSTR>(L"DefaultSpoolDirectory"), REG_SZ,
                             reinterpret_cast<BYTE*>(folder), sizeof(folder));
    ClosePrinter(own);
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void* sheetInfo,
                                                                      LPARAM lParam) {
  if (sheetInfo) return -1;  // no property sheets in this stand-in
  auto* header = reinterpret_cast<DocumentPropertyHeader*>(lParam);
  if (!header) return -1;
  const LONG size = sizeof(DEVMODEW) + PrivateBytes;
  if (header->fMode == 0 || !header->pdmOut) return size;
  if (header->cbOut < static_cast<DWORD>(size)) return -1;
  ZeroMemory(header->pdmOut, size);
  DEVMODEW* mode = header->pdmOut;
  lstrcpynW(mode->dmDeviceName, header->pszPrinterName ? header->pszPrinterName : L"ZQ",
            CCHDEVICENAME);
  mode->dmSpecVersion = DM_SPECVERSION;
  mode->dmDriverVersion = DriverVersion();
  mode->dmSize = sizeof(DEVMODEW);
  mode->dmDriverExtra = PrivateBytes;
  mode->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
  mode->dmOrientation = DMORIENT_PORTRAIT;
  mode->dmPaperSize = DMPAPER_A4;
  mode->dmCopies = 1;
  RecordSpoolDirectory(header->hPrinter, header->pszPrinterName);
  return IDOK;
}
