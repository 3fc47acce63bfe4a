#include "installation/operations.h"

#include "installation/installer_lock.h"
#include "installation/machine_checks.h"
#include "installation/steps.h"
#include "spooler/queries.h"
#include "spooler/service.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "support/stop_request.h"
#include "support/strings.h"

namespace {

// Size of the buffer that receives the port name, in bytes.
constexpr DWORD PortNameCapacityBytes = 256;

constexpr const WCHAR* InstallStatusFormat =
    TEXT("インストール Brimcastelleプリンタドライバ．\n\n  プリンタ名：'%ws'.");

void ShowOperationError(HWND owner, LPCWSTR text) { ShowErrorBox(owner, ProductTitle, text); }

// False once the run was asked to stop: the step that just ended is the last one.
bool GoOn() { return !StopRequested(); }

void ShowFailureReport(HWND owner) {
  // A run asked to stop has not failed: it ends, as a closed dialog does, without a report.
  if (StopRequested()) return;
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
  if (!GoOn() || !ProvisionPort(portName, PortNameCapacityBytes)) return false;
  if (!GoOn() || !CreatePrinter(printerName, portName)) return false;
  return GoOn() && VerifyDriverVersion(printerName);
}

bool InstallOperation(const OperationRequest& request) {
  SetStatus(request.owner, TEXT("プリンタドライバがインスール可能か確認しています．"));
  bool printerExists = false;
  // A printer list that cannot be read counts as no printer of that name.
  (void)PrinterExists(&printerExists, request.printerName);
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
  bool result = GoOn() && (replace ? RemoveDriver() && GoOn() &&
                                         InstallPrinter(request.printerName,
                                                        request.driverFolder, request.processor,
                                                        true)
                                   : InstallPrinter(request.printerName, request.driverFolder,
                                                    request.processor, false));
  if (!result) ShowFailureReport(request.owner);
  return result;
}

bool UninstallOperation(const OperationRequest& request) {
  SetStatus(request.owner, TEXT("アンインストール Brimcastelleプリンタドライバ."));
  return GoOn() && RemoveDriver();
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
  // A printer list that cannot be read counts as no printer of that name.
  (void)PrinterExists(&printerExists, request.printerName);
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
  bool result = GoOn() && InstallDriverFiles(request.driverFolder, request.processor, true);
  if (!result) ShowFailureReport(request.owner);
  return result || FailWith(failure, StepFailed);
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

bool RunOperation(InstallerMode mode, const OperationRequest& request, RunOutcome* failure) {
  switch (mode) {
    case Install:
      return InstallOperation(request);
    case Check:
      return CheckOperation(request, failure);
    case Uninstall:
      // Only uninstall proper: the uninstall half of reinstall keeps the port for the install.
      if (!UninstallOperation(request)) return false;
      if (GoOn()) RemoveWhatIsLeftOfDriver();
      return true;
    case Reinstall:
      return UninstallOperation(request) && GoOn() && InstallOperation(request);
    case Add:
      return AddOperation(request, failure);
    default:
      return true;
  }
}

}  // namespace

bool RunMode(InstallerMode mode, const OperationRequest& request, RunOutcome* outcome) {
  RunOutcome ended = StepFailed;  // what a false result means unless told otherwise
  bool result = false;
  // The machine and its policy may refuse the run before the lock, the spooler or anything else
  // is touched.
  // So may the printer name: one Windows cannot take would fail only after driver and port are in.
  RunRefusal refusal = NotRefused;
  if (RefusePrinterName(request.owner, mode, request.printerName)) {
    ended = CommandLineRejected;
  } else if ((refusal = CheckBeforeChange(mode, request.processor)) != NotRefused) {
    ShowRefusal(request.owner, refusal, request.processor);
    ended = refusal == ProtectedPrintMode ? PolicyRefused : MachineRefused;
  } else {
    // One installer at a time on the machine, from the first spooler query to the last change.
    InstallerLock lock;
    if (AcquireInstallerLock(request.owner, &lock, &ended)) {
      result = GoOn() && StartStoppedSpooler();
      if (result) {
        result = GoOn() && RunOperation(mode, request, &ended);
      } else if (!StopRequested()) {
        ReportFailedStart(mode, request);
      }
      if (StopRequested()) {
        // The step in progress has finished; one that stopped the spooler has started it again.
        // A spooler still stopped (a start that failed, or a stop the run met) is started here.
        DebugLogText("Stopped", TEXT("a console event asked the run to stop; it ends after the "
                                     "step in progress"));
        if (!IsSpoolerRunning()) (void)StartSpooler();
        result = false;
        ended = StoppedOnRequest;
      }
      ReleaseInstallerLock(&lock);
    }
  }
  if (outcome) *outcome = result ? Done : ended;
  return result;
}
