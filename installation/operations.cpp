#include "installation/operations.h"

#include "installation/installer_lock.h"
#include "installation/steps.h"
#include "spooler/queries.h"
#include "spooler/service.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

// Size of the buffer that receives the port name, in bytes.
constexpr DWORD PortNameCapacityBytes = 256;

constexpr const WCHAR* InstallStatusFormat =
    TEXT("インストール Brimcastelleプリンタドライバ．\n\n  プリンタ名：'%ws'.");

void ShowOperationError(HWND owner, LPCWSTR text) { ShowErrorBox(owner, ProductTitle, text); }

void ShowFailureReport(HWND owner) {
  WCHAR report[MessageTextCapacity];
  FailureReport(report);
  ShowOperationError(owner, report);
}

// Looks the driver up; `installed` tells found from absent when the lookup worked.
bool LookUpDriver(bool* installed) {
  DRIVER_INFO_3W* drivers = nullptr;
  DWORD position = 0;
  if (!FindDriver(&drivers, &position, DriverName)) return false;
  *installed = drivers != nullptr;
  LocalFree(drivers);
  return true;
}

}  // namespace

bool InstallPrinter(LPCWSTR printerName, LPCWSTR driverFolder, TargetProcessor processor,
                    bool copyDriver) {
  if (copyDriver && !InstallDriverFiles(driverFolder, processor, false)) return false;
  WCHAR portName[PortNameCapacityBytes / sizeof(WCHAR)] = {};
  if (!ProvisionPort(portName, PortNameCapacityBytes)) return false;
  if (!CreatePrinter(printerName, portName)) return false;
  return VerifyDriverVersion(printerName);
}

bool InstallOperation(const OperationRequest& request) {
  SetStatus(request.owner, TEXT("プリンタドライバがインスール可能か確認しています．"));
  bool printerExists = false;
  PrinterExists(&printerExists, request.printerName);
  // The own printer of an earlier run that was ended before its work was done is completed.
  if (printerExists && !IsUnfinishedOwnPrinter(request.printerName)) {
    ShowOperationError(request.owner, TEXT("既にプリンタ名が使用されています!"));
    return false;
  }
  bool installed = false;
  if (!LookUpDriver(&installed)) {
    ShowOperationError(request.owner, TEXT("同一プリンタ名の確認ができません!"));
    return false;
  }
  bool replace = true;
  if (installed) {
    // The question names the default printer whatever printer was asked for.
    replace = AskConfirm(
        request.owner,
        TEXT("ドライバ '%ws' 既にインストールされています.\n既存のドライバを使用する場合には、")
            TEXT("\"いいえ\" をクリックしてください.\n\nドライバを更新する場合には、ドライバ '%ws' ")
                TEXT("を使用しているアプリケーションをすべてクローズし、 \"はい\" をクリックしてください."),
        DriverName, DefaultPrinterName);
  }
  SetStatus(request.owner, InstallStatusFormat, request.printerName);
  bool result = replace ? RemoveDriver() && InstallPrinter(request.printerName,
                                                          request.driverFolder,
                                                          request.processor, true)
                        : InstallPrinter(request.printerName, request.driverFolder,
                                         request.processor, false);
  if (!result) ShowFailureReport(request.owner);
  return result;
}

bool UninstallOperation(const OperationRequest& request) {
  SetStatus(request.owner, TEXT("アンインストール Brimcastelleプリンタドライバ."));
  return RemoveDriver();
}

bool CheckOperation(const OperationRequest& request) {
  SetStatus(request.owner, TEXT("Brimcastelleプリンタドライバをチェックしています."));
  bool installed = false;
  if (!LookUpDriver(&installed)) {
    ShowOperationError(request.owner, TEXT("プリンタドライバ名が存在しています。!"));
    return false;
  }
  if (installed) {
    ShowInfo(request.owner, TEXT("ドライバ '%ws' が正常にインストールされました."), DriverName);
    return true;
  }
  ShowInfo(request.owner, TEXT("ドライバ '%ws' が正常にインストールされませんでした."), DriverName);
  return false;
}

bool AddOperation(const OperationRequest& request) {
  SetStatus(request.owner, TEXT("プリンタドライバが追加可能か確認しています．"));
  bool printerExists = false;
  PrinterExists(&printerExists, request.printerName);
  if (!printerExists) {
    ShowOperationError(request.owner, TEXT("プリンタ名が登録されていません!"));
    return false;
  }
  bool installed = false;
  if (!LookUpDriver(&installed)) {
    ShowOperationError(request.owner, TEXT("プリンタ名の確認ができません!"));
    return false;
  }
  if (!installed) {
    WCHAR text[MessageTextCapacity];
    BoundedFormat(text, MessageTextCapacity, TEXT("ドライバ '%ws' インストールされていません.\n"),
                  DriverName);
    ShowOperationError(request.owner, text);
    return false;
  }
  SetStatus(request.owner, InstallStatusFormat, request.printerName);
  bool result = InstallDriverFiles(request.driverFolder, request.processor, true);
  if (!result) ShowFailureReport(request.owner);
  return result;
}

namespace {

// A spooler that is not running fails every spooler call. A run killed while it had the spooler
// stopped leaves it so, as does a person who stopped it: every run starts it before its first
// spooler call. A state that cannot be read is left to the run's own calls to show.
bool StartStoppedSpooler() {
  DWORD state = QuerySpoolerState();
  // A stop under way (the killed run's own) accepts no start until it is done: its end is awaited
  // as a stop's is.
  for (int query = 0; state == SERVICE_STOP_PENDING && query < SpoolerStopQueries; ++query) {
    Sleep(SpoolerStopPauseMs);
    state = QuerySpoolerState();
  }
  if (state == 0 || state == SERVICE_RUNNING) return true;
  DebugLog("RunMode - the spooler is not running (state %d); starting it", static_cast<int>(state));
  return StartSpooler();
}

// The failed start is reported as the mode reports a failed step: the failure report where the
// mode shows one, the exit code alone where removal begins the run.
void ReportFailedStart(InstallerMode mode, const OperationRequest& request) {
  if (mode == Install || mode == Check || mode == Add) ShowFailureReport(request.owner);
}

bool RunOperation(InstallerMode mode, const OperationRequest& request) {
  switch (mode) {
    case Install:
      return InstallOperation(request);
    case Check:
      return CheckOperation(request);
    case Uninstall:
      return UninstallOperation(request);
    case Reinstall:
      return UninstallOperation(request) && InstallOperation(request);
    case Add:
      return AddOperation(request);
    default:
      return true;
  }
}

}  // namespace

bool RunMode(InstallerMode mode, const OperationRequest& request) {
  // One installer at a time on the machine, from the first spooler query to the last change.
  KernelHandle lock;
  if (!AcquireInstallerLock(request.owner, &lock)) return false;
  bool result = StartStoppedSpooler();
  if (result) {
    result = RunOperation(mode, request);
  } else {
    ReportFailedStart(mode, request);
  }
  ReleaseInstallerLock(&lock);
  return result;
}
