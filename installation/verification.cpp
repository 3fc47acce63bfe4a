// verify: each piece an install leaves, checked in order, nothing changed and no spooler started.
#include "installation/verification.h"

#include <cstdarg>

#include "installation/driver_manifest.h"
#include "installation/driver_paths.h"
#include "installation/machine_checks.h"
#include "spooler/queries.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

constexpr WCHAR StateFormat[] = TEXT("ドライバ 'ZqDriver2' の状態が正しくありません: %ws");

// The first piece found missing: why the run ends, and the piece in plain words.
struct Finding {
  RunOutcome outcome;
  WCHAR piece[MessageTextCapacity];
};

// Notes the missing piece and writes its record; always false.
bool Missing(Finding* finding, RunOutcome why, LPCWSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatToFitArgs(finding->piece, MessageTextCapacity, format, arguments);
  va_end(arguments);
  finding->outcome = why;
  DebugLogText("verify: missing", finding->piece);
  return false;
}

// Whether the first `length` characters of both texts are the same, letter case aside.
bool SameText(LPCWSTR first, LPCWSTR second, int length) {
  constexpr int Capacity = MAX_PATH;
  if (length < 0 || length >= Capacity) return false;
  WCHAR a[Capacity];
  WCHAR b[Capacity];
  BoundedCopy(a, length + 1, first);
  BoundedCopy(b, length + 1, second);
  return lstrcmpiW(a, b) == 0;
}

// The file name behind the last backslash.
LPCWSTR FileNameOf(LPCWSTR path) {
  LPCWSTR name = path;
  for (LPCWSTR c = path; *c; ++c)
    if (*c == TEXT('\\') || *c == TEXT('/')) name = c + 1;
  return name;
}

// Whether the registration's path lies in the spooler's driver folder, both in their plain form.
bool InsideFolder(LPCWSTR path, LPCWSTR folder) {
  WCHAR file[DriverPathCapacity];
  WCHAR base[DriverPathCapacity];
  return NormalizePath(path, file, DriverPathCapacity) &&
         NormalizePath(folder, base, DriverPathCapacity) && LiesInside(file, base);
}

bool IsPlainFile(LPCWSTR path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// The driver's three files as the registration names them, in the spooler's driver folder of the
// processor's environment, and (with a driver manifest) as shipped: a manifest without that
// processor's files counts them as other files.
bool CheckDriverFiles(const DRIVER_INFO_3W& driver, const ProcessorRow& row, Finding* finding) {
  LPCWSTR environment = row.environment;
  LocalBlock<WCHAR> folder(GetDriverDirectory(environment));
  if (!folder)
    return Missing(finding, StepFailed, TEXT("'%ws' のドライバフォルダを読み取れません (%d)"),
                   environment, static_cast<int>(GetLastError()));
  const LPCWSTR paths[3] = {driver.pDriverPath, driver.pConfigFile, driver.pDataFile};
  const bool listed = HasDriverManifest();
  for (int i = 0; i < 3; ++i) {
    LPCWSTR path = paths[i] ? paths[i] : TEXT("");
    if (lstrcmpiW(FileNameOf(path), DriverFileSet[i]) != 0 || !InsideFolder(path, folder.Get()) ||
        !IsPlainFile(path))
      return Missing(finding, NotInstalled, TEXT("ドライバファイル '%ws' がありません"),
                     DriverFileSet[i]);
    if (listed && !VerifyDriverFile(row.processor, DriverFileSet[i], path))
      return Missing(finding, NotInstalled,
                     TEXT("ドライバファイル '%ws' が出荷されたものと異なります"), DriverFileSet[i]);
    DebugLog("verify: %ws of \"%ws\": %ws (%s)", DriverFileSet[i], environment, path,
             listed ? "as shipped" : "present");
  }
  return true;
}

// DriverName registered for the processor's environment, with its files.
bool CheckDriver(const ProcessorRow& row, Finding* finding) {
  LPCWSTR environment = row.environment;
  DWORD count = 0;
  LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDriversOf(environment, &count));
  if (!drivers)
    return Missing(finding, StepFailed, TEXT("'%ws' のドライバ一覧を読み取れません (%d)"),
                   environment, static_cast<int>(GetLastError()));
  for (DWORD i = 0; i < count; ++i) {
    const DRIVER_INFO_3W& driver = drivers.Get()[i];
    if (!driver.pName || lstrcmpiW(driver.pName, DriverName) != 0) continue;
    DebugLog("verify: %ws is registered for \"%ws\"", DriverName, environment);
    return CheckDriverFiles(driver, row, finding);
  }
  return Missing(finding, NotInstalled, TEXT("ドライバ '%ws' が '%ws' に登録されていません"),
                 DriverName, environment);
}

bool CheckPort(Finding* finding) {
  bool exists = false;
  if (!PortExists(&exists, PortName))
    return Missing(finding, StepFailed, TEXT("ポート一覧を読み取れません (%d)"),
                   static_cast<int>(GetLastError()));
  if (!exists) return Missing(finding, NotInstalled, TEXT("ポート '%ws' がありません"), PortName);
  DebugLog("verify: port %ws exists", PortName);
  return true;
}

// Whether a printer's port list ("LPT1:,ZQVirtualPrinterPort") names the port.
bool ListsPort(LPCWSTR ports, LPCWSTR port) {
  int length = lstrlenW(port);
  for (LPCWSTR entry = ports; entry && *entry;) {
    LPCWSTR end = entry;
    while (*end && *end != TEXT(',')) ++end;
    if (end - entry == length && SameText(entry, port, length)) return true;
    entry = *end ? end + 1 : end;
  }
  return false;
}

// The named printer, on DriverName and PortName. One that cannot be opened counts as absent.
bool CheckPrinter(LPCWSTR printerName, Finding* finding) {
  LocalBlock<PRINTER_INFO_2W> printer(GetPrinterInfo2(printerName));
  if (!printer)
    return Missing(finding, NotInstalled, TEXT("プリンタ '%ws' がありません"), printerName);
  LPCWSTR driver = printer->pDriverName ? printer->pDriverName : TEXT("");
  if (lstrcmpiW(driver, DriverName) != 0)
    return Missing(finding, NotInstalled, TEXT("プリンタ '%ws' のドライバが '%ws' です"),
                   printerName, driver);
  if (!ListsPort(printer->pPortName, PortName))
    return Missing(finding, NotInstalled, TEXT("プリンタ '%ws' のポートが '%ws' です"), printerName,
                   printer->pPortName ? printer->pPortName : TEXT(""));
  DebugLog("verify: printer %ws uses %ws on %ws", printerName, DriverName, PortName);
  return true;
}

}  // namespace

bool VerifyOperation(const OperationRequest& request, RunOutcome* failure) {
  SetStatus(request.owner, TEXT("Brimcastelleプリンタドライバの状態を確認しています."));
  // The machine's own environment: its printers use its driver. A machine that cannot be told
  // is taken to be the processor's.
  MachineArchitecture machine = {};
  const ProcessorRow* own =
      QueryMachineArchitecture(&machine) ? ProcessorOfMachine(machine.native) : nullptr;
  if (!own) own = &RowOf(request.processor);
  const ProcessorRow& asked = RowOf(request.processor);
  Finding finding = {StepFailed, {}};
  // Another processor's registration is an additional driver, for clients, as `add` makes it.
  bool whole = CheckDriver(*own, &finding) &&
               (asked.processor == own->processor || CheckDriver(asked, &finding)) &&
               CheckPort(&finding) && CheckPrinter(request.printerName, &finding);
  if (whole) {
    ShowInfo(request.owner, TEXT("ドライバ '%ws' が正常にインストールされました."), DriverName);
    return true;
  }
  WCHAR text[MessageTextCapacity];
  FormatToFit(text, MessageTextCapacity, StateFormat, finding.piece);
  ShowErrorBox(request.owner, ProductTitle, text);
  if (failure) *failure = finding.outcome;
  return false;
}
