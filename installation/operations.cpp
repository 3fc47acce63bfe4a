#include "installation/operations.h"

#include "installation/installer_lock.h"
#include "installation/steps.h"
#include "spooler/queries.h"
#include "support/messages.h"
#include "support/product.h"
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

// Notes why an operation failed, for a caller that asked; always false.
bool FailWith(RunOutcome* failure, RunOutcome why) {
  if (failure) *failure = why;
  return false;
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
  if (printerExists) {
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

bool CheckOperation(const OperationRequest& request, RunOutcome* failure) {
  SetStatus(request.owner, TEXT("Brimcastelleプリンタドライバをチェックしています."));
  bool installed = false;
  if (!LookUpDriver(&installed)) {
    ShowOperationError(request.owner, TEXT("プリンタドライバ名が存在しています。!"));
    return FailWith(failure, StepFailed);
  }
  if (installed) {
    ShowInfo(request.owner, TEXT("ドライバ '%ws' が正常にインストールされました."), DriverName);
    return true;
  }
  ShowInfo(request.owner, TEXT("ドライバ '%ws' が正常にインストールされませんでした."), DriverName);
  return FailWith(failure, NotInstalled);
}

bool AddOperation(const OperationRequest& request, RunOutcome* failure) {
  SetStatus(request.owner, TEXT("プリンタドライバが追加可能か確認しています．"));
  bool printerExists = false;
  PrinterExists(&printerExists, request.printerName);
  if (!printerExists) {
    ShowOperationError(request.owner, TEXT("プリンタ名が登録されていません!"));
    return FailWith(failure, NotInstalled);
  }
  bool installed = false;
  if (!LookUpDriver(&installed)) {
    ShowOperationError(request.owner, TEXT("プリンタ名の確認ができません!"));
    return FailWith(failure, StepFailed);
  }
  if (!installed) {
    WCHAR text[MessageTextCapacity];
    BoundedFormat(text, MessageTextCapacity, TEXT("ドライバ '%ws' インストールされていません.\n"),
                  DriverName);
    ShowOperationError(request.owner, text);
    return FailWith(failure, NotInstalled);
  }
  SetStatus(request.owner, InstallStatusFormat, request.printerName);
  bool result = InstallDriverFiles(request.driverFolder, request.processor, true);
  if (!result) ShowFailureReport(request.owner);
  return result || FailWith(failure, StepFailed);
}

namespace {

bool RunOperation(InstallerMode mode, const OperationRequest& request, RunOutcome* failure) {
  switch (mode) {
    case Install:
      return InstallOperation(request);
    case Check:
      return CheckOperation(request, failure);
    case Uninstall:
      return UninstallOperation(request);
    case Reinstall:
      return UninstallOperation(request) && InstallOperation(request);
    case Add:
      return AddOperation(request, failure);
    default:
      return true;
  }
}

}  // namespace

bool RunMode(InstallerMode mode, const OperationRequest& request, RunOutcome* outcome) {
  RunOutcome ended = StepFailed;  // what a false result means unless told otherwise
  // One installer at a time on the machine, from the first spooler query to the last change.
  KernelHandle lock;
  bool result = AcquireInstallerLock(request.owner, &lock, &ended);
  if (result) {
    result = RunOperation(mode, request, &ended);
    ReleaseInstallerLock(&lock);
  }
  if (outcome) *outcome = result ? Done : ended;
  return result;
}
