#include "shell/installer_main.h"

#include <memory>

#include "installation/operations.h"
#include "shell/command_line.h"
#include "shell/console_events.h"
#include "shell/installer_dialog.h"
#include "shell/run_environment.h"
#include "support/handles.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "support/stop_request.h"
#include "support/strings.h"

namespace {

constexpr WCHAR UnavailableLibraryFormat[] =
    TEXT("システムライブラリ '%ws' が読み込めません．\n\nError code: %d\n詳細エラー: %ws");

// A dialog whose worker still ran when the run ended; it stays reachable until the process ends.
InstallerDialogWindow* AbandonedDialog = nullptr;

// The hidden main window, once created. A window whose creation failed is destroyed at once and
// must not ask for the quit message: the dialog's modal loop would end on it before any work.
HWND MainWindow = nullptr;

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY && window == MainWindow) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

// The process's arguments, split once for the whole run.
struct RunArguments {
  int count;
  LPWSTR* vector;
};

// A run with the progress dialog: the hidden main window, the checks, the dialog and its worker.
RunOutcome RunWithDialog(HINSTANCE instance, HINSTANCE previousInstance,
                         const RunArguments& arguments, LPCWSTR driverFolder) {
  if (!previousInstance) {
    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(32512));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszMenuName = ProductTitle;
    windowClass.lpszClassName = ProductTitle;
    RegisterClassW(&windowClass);
  }
  // The hidden main window: never shown, it takes no further part in the run.
  MainWindow = nullptr;  // until this run's window exists
  MainWindow = CreateWindowExW(0, ProductTitle, ProductTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);

  if (!CheckPlatform()) return MachineRefused;
  InitCommonControls();
  InstallerRequest request = {};
  if (!ParseArguments(arguments.count, arguments.vector, &request)) return CommandLineRejected;

  auto dialog = std::make_unique<InstallerDialogWindow>(
      instance, request.mode, driverFolder, request.printerName, request.processor);
  bool shown = dialog->ShowModal(nullptr) != -1;
  if (!shown) {
    // No dialog: no worker ran and no window will ask for the quit message. The platform's
    // reason goes to the debugger output.
    ReportError(TEXT("インストーラのダイアログが表示できません!"));
  } else {
    // The dialog has gone and its final message asked for the quit message. Asking again here
    // (the request is a flag of the thread's queue, not a second message) keeps the loop from
    // waiting for ever when that request was lost.
    PostQuitMessage(0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  RunOutcome outcome = shown ? dialog->Outcome() : StepFailed;
  if (dialog->WorkDone() || dialog->Worker().Wait(0)) {
    dialog.reset();  // the worker has ended or is about to: its destructor waits for it
  } else {
    // The person closed the dialog while the worker still runs: the process ends now and the
    // worker with it; waiting for it here would keep the closed installer running.
    AbandonedDialog = dialog.release();
  }
  return outcome;
}

// A run that shows no window: the same checks and the mode itself on this thread; every text goes
// to the records (and the console).
RunOutcome RunQuietly(const RunArguments& arguments, LPCWSTR driverFolder) {
  if (!CheckPlatform()) return MachineRefused;
  InstallerRequest request = {};
  if (!ParseArguments(arguments.count, arguments.vector, &request)) return CommandLineRejected;
  OperationRequest operation = {nullptr, driverFolder,
                                request.printerName ? request.printerName : DefaultPrinterName,
                                request.processor};
  RunOutcome outcome = StepFailed;
  (void)RunMode(request.mode, operation, &outcome);  // the outcome tells it all
  return outcome;
}

// The start-up error of a run without one of its system libraries: which one, and why.
RunOutcome RejectUnavailableLibrary(const UnavailableLibrary& library) {
  LocalBlock<WCHAR> systemText(SystemErrorText(library.error));
  WCHAR text[MessageTextCapacity];
  BoundedFormat(text, MessageTextCapacity, UnavailableLibraryFormat,
                library.name ? library.name : TEXT(""), static_cast<int>(library.error),
                systemText ? systemText.Get() : TEXT(""));
  ShowErrorBox(nullptr, CommandCaption, text);
  return StepFailed;
}

}  // namespace

int RunInstallerMain(HINSTANCE instance, HINSTANCE previousInstance,
                     const UnavailableLibrary* unavailable) {
  // The command line is read once; its switches before anything could be shown: a quiet run, or
  // one where nobody could answer a box, must not show the first one. The request's strings point
  // into the vector, which lives until the run's end.
  LPCWSTR commandLine = GetCommandLineW();
  RunArguments arguments = {0, nullptr};
  ArgumentVector vector(SplitCommandLine(commandLine, &arguments.count));
  arguments.vector = vector.Get();
  RunSwitches switches = ReadSwitches(arguments.count, arguments.vector);
  SetLogFilePath(switches.logPath);
  bool stationVisible = WindowStationVisible();
  SetQuietRun(switches.quiet || !stationVisible);
  // The driver folder is made absolute once, here: every later step and record uses this form,
  // whatever the current folder becomes. One that cannot be is used as given.
  WCHAR absoluteFolder[MAX_PATH] = {};
  LPCWSTR folderArgument = DriverFolderArgument(arguments.count, arguments.vector, switches);
  LPCWSTR driverFolder = folderArgument ? folderArgument : TEXT(".");
  if (MakeFolderAbsolute(driverFolder, absoluteFolder, MAX_PATH)) driverFolder = absoluteFolder;
  LogRunStart(commandLine, switches, stationVisible, folderArgument ? driverFolder : nullptr);
  ClearStopRequest();
  RunOutcome outcome = StepFailed;
  if (unavailable) {
    outcome = RejectUnavailableLibrary(*unavailable);
  } else if (IsQuietRun()) {
    // A quiet run writes to its starter's console: a console event there asks it to stop.
    (void)WatchConsoleEvents();  // without the handler a console event just ends the run
    // A run asked to stop before its work was done ends as stopped on request (RunMode); one
    // asked after it was done has done it.
    outcome = RunQuietly(arguments, driverFolder);
  } else {
    outcome = RunWithDialog(instance, previousInstance, arguments, driverFolder);
  }
  // One table turns the outcome into the exit code: 0 or -1 for a person, the Windows
  // Installer's numbers for the tools that start quiet runs.
  int exitCode = ExitCodeOf(outcome, IsQuietRun());
  LogRunEnd(exitCode, RowOf(outcome).meaning);
  StopWatchingConsoleEvents();
  return exitCode;
}
