// Windows and dialogs as far as one process can drive them: a dialog box from the resources with
// its WM_INITDIALOG parameter, window properties, a second thread that finds the dialog
// (EnumThreadWindows, FindWindowExW), sets its text (SetDlgItemTextW, sent across threads) and ends
// it with a posted command; moving a window; posting to a window that is gone.
#include "resources/resource.h"
#include "tests/conformance/conformance.h"

namespace {

constexpr WCHAR kTitle[] = TEXT("ZQ Conformance Dialog");
constexpr WCHAR kProperty[] = TEXT("ZqConformance");
constexpr LPARAM kInitParam = 0x5A51;
constexpr INT_PTR kResult = 77;

struct DialogRun {
  DWORD mainThread = 0;
  HWND dialog = nullptr;
  LPARAM initParam = 0;
  HANDLE propertyAtInit = nullptr;
  HANDLE propertyAtEnd = nullptr;
  HANDLE propertyRemoved = nullptr;
  RECT before = {}, after = {};
  BOOL moved = FALSE;
  HANDLE worker = nullptr;
  // What the worker saw.
  HWND enumerated = nullptr;
  HWND found = nullptr;
  BOOL textSet = FALSE;
  WCHAR textRead[64] = {};
  BOOL posted = FALSE;
};

DialogRun* run = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
  WCHAR name[32] = {};
  GetClassNameW(window, name, 32);
  if (!conformance::Same(name, TEXT("#32770"))) return TRUE;  // the IME window, for one
  *reinterpret_cast<HWND*>(parameter) = window;
  return FALSE;
}

DWORD WINAPI Worker(LPVOID parameter) {
  auto* r = static_cast<DialogRun*>(parameter);
  EnumThreadWindows(r->mainThread, FindDialog, reinterpret_cast<LPARAM>(&r->enumerated));
  r->found = FindWindowExW(nullptr, nullptr, TEXT("#32770"), kTitle);
  r->textSet = SetDlgItemTextW(r->dialog, IDC_STATUS, TEXT("状態：テスト中"));
  GetDlgItemTextW(r->dialog, IDC_STATUS, r->textRead, 64);
  r->posted = PostMessageW(r->dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
  return 0;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    run->dialog = dialog;
    run->initParam = lParam;
    SetWindowTextW(dialog, kTitle);
    SetPropW(dialog, kProperty, reinterpret_cast<HANDLE>(run));
    run->propertyAtInit = GetPropW(dialog, kProperty);
    GetWindowRect(dialog, &run->before);
    run->moved =
        SetWindowPos(dialog, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(dialog, &run->after);
    run->worker = CreateThread(nullptr, 0, Worker, run, 0, nullptr);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    run->propertyAtEnd = GetPropW(dialog, kProperty);
    run->propertyRemoved = RemovePropW(dialog, kProperty);
    EndDialog(dialog, kResult);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

CONFORMANCE_TEST(DialogDrivenFromASecondThread) {
  DialogRun state;
  state.mainThread = GetCurrentThreadId();
  run = &state;
  SetLastError(conformance::Sentinel);
  INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
                                   nullptr, DialogProc, kInitParam);
  ok(result == kResult, "DialogBoxParamW: %d, %u", static_cast<int>(result),
     conformance::LastError());
  if (state.worker) {
    ok(WaitForSingleObject(state.worker, 10000) == WAIT_OBJECT_0, "the worker ended");
    CloseHandle(state.worker);
  }
  ok(state.initParam == kInitParam, "WM_INITDIALOG's lParam: %#x",
     static_cast<unsigned>(state.initParam));
  ok(state.propertyAtInit == &state && state.propertyAtEnd == &state &&
         state.propertyRemoved == &state,
     "the property: %p %p %p", state.propertyAtInit, state.propertyAtEnd, state.propertyRemoved);
  ok(state.moved && state.after.left == 10 && state.after.top == 20 &&
         state.after.right - state.after.left == state.before.right - state.before.left &&
         state.after.bottom - state.after.top == state.before.bottom - state.before.top,
     "moved to (%d, %d), %d x %d", static_cast<int>(state.after.left),
     static_cast<int>(state.after.top), static_cast<int>(state.after.right - state.after.left),
     static_cast<int>(state.after.bottom - state.after.top));
  ok(state.before.right > state.before.left && state.before.bottom > state.before.top,
     "the dialog has a size");
  ok(state.enumerated == state.dialog, "EnumThreadWindows found the dialog: %p",
     static_cast<void*>(state.enumerated));
  ok(state.found == state.dialog, "FindWindowExW found the dialog: %p",
     static_cast<void*>(state.found));
  ok(state.textSet && conformance::Same(state.textRead, TEXT("状態：テスト中")),
     "the text set from the worker: %d '%s'", state.textSet, conformance::Utf8(state.textRead));
  ok(state.posted, "the command was posted");
  // The dialog is gone.
  ok(!IsWindow(state.dialog), "the dialog is destroyed");
  SetLastError(conformance::Sentinel);
  ok(!PostMessageW(state.dialog, WM_USER, 0, 0) && GetLastError() == ERROR_INVALID_WINDOW_HANDLE,
     "posting to the ended dialog: %u", conformance::LastError());
  run = nullptr;
}

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

CONFORMANCE_TEST(PlainWindowPropertiesAndLookups) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = PlainProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = TEXT("ZqConformanceWindow");
  ok(RegisterClassW(&windowClass) != 0, "RegisterClassW: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  ok(RegisterClassW(&windowClass) == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS,
     "registered again: %u", conformance::LastError());
  HWND window = CreateWindowExW(0, TEXT("ZqConformanceWindow"), TEXT("ZQ Conformance Window"),
                                WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!ok(window != nullptr, "CreateWindowExW: %u", conformance::LastError())) return;
  ok(!IsWindowVisible(window), "created hidden");
  SetLastError(conformance::Sentinel);
  ok(GetPropW(window, kProperty) == nullptr, "no property yet");
  ok(SetPropW(window, kProperty, reinterpret_cast<HANDLE>(0x1234)), "SetPropW");
  ok(SetPropW(window, kProperty, reinterpret_cast<HANDLE>(0x5678)), "SetPropW again replaces");
  ok(GetPropW(window, kProperty) == reinterpret_cast<HANDLE>(0x5678), "GetPropW");
  ok(RemovePropW(window, kProperty) == reinterpret_cast<HANDLE>(0x5678), "RemovePropW");
  ok(GetPropW(window, kProperty) == nullptr, "removed");
  ok(FindWindowExW(nullptr, nullptr, TEXT("ZqConformanceWindow"), TEXT("ZQ Conformance Window")) ==
         window,
     "FindWindowExW by class and title");
  ok(FindWindowExW(nullptr, nullptr, TEXT("ZqConformanceWindow"), nullptr) == window,
     "FindWindowExW by class");
  ok(FindWindowExW(nullptr, nullptr, nullptr, TEXT("ZQ Conformance Window")) == window,
     "FindWindowExW by title");
  SetLastError(conformance::Sentinel);
  ok(FindWindowExW(nullptr, nullptr, TEXT("ZqConformanceWindow"), TEXT("other")) == nullptr,
     "FindWindowExW of another title");
  HWND listed = nullptr;
  struct Finder {
    static BOOL CALLBACK Visit(HWND candidate, LPARAM parameter) {
      auto* pair = reinterpret_cast<HWND*>(parameter);
      if (candidate == pair[0]) pair[1] = candidate;
      return TRUE;
    }
  };
  HWND pair[2] = {window, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), Finder::Visit, reinterpret_cast<LPARAM>(pair));
  listed = pair[1];
  ok(listed == window, "EnumThreadWindows lists the window");
  ok(SetWindowPos(window, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE),
     "SetWindowPos");
  RECT rect = {};
  ok(GetWindowRect(window, &rect) && rect.left == 30 && rect.top == 40 &&
         rect.right - rect.left == 200 && rect.bottom - rect.top == 100,
     "GetWindowRect: %d %d %d %d", static_cast<int>(rect.left), static_cast<int>(rect.top),
     static_cast<int>(rect.right), static_cast<int>(rect.bottom));
  ok(DestroyWindow(window), "DestroyWindow");
  SetLastError(conformance::Sentinel);
  ok(!PostMessageW(window, WM_USER, 0, 0) && GetLastError() == ERROR_INVALID_WINDOW_HANDLE,
     "posting to a destroyed window: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  ok(!GetWindowRect(window, &rect) && GetLastError() == ERROR_INVALID_WINDOW_HANDLE,
     "the rectangle of a destroyed window: %u", conformance::LastError());
  // Unsourced (see README): the code for a destroyed window.
  SetLastError(conformance::Sentinel);
  BOOL set = SetDlgItemTextW(window, IDC_STATUS, TEXT("x"));
  ok((!set && GetLastError() == ERROR_INVALID_WINDOW_HANDLE) ||
         wine_differs(!set && GetLastError() == conformance::Sentinel,
                      "Wine's item lookup finds no item of a destroyed window and leaves the last "
                      "error; Windows rejects the window handle with ERROR_INVALID_WINDOW_HANDLE"),
     "SetDlgItemTextW on a destroyed window: %d, %u", set, conformance::LastError());
}

// The progress dialog's calls as the program makes them: the common controls initialised, the
// hidden window's class icon and cursor, a modeless dialog from the template (CreateDialogParamW)
// centred in the work area, its items looked up (GetDlgItem; the template has no item 1002, which
// the program disables all the same), shown, told from another thread that the work is done
// (SendMessageW), and the main loop (GetMessageW, TranslateMessage, DispatchMessageW) ended by
// PostQuitMessage.
namespace {

constexpr UINT kWorkDone = WM_USER + 1;

struct LoopRun {
  HWND dialog = nullptr;
  DWORD mainThread = 0;
  DWORD doneOnThread = 0;
  LRESULT sent = -1;
};
LoopRun* loop = nullptr;

INT_PTR CALLBACK ModelessProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    loop = reinterpret_cast<LoopRun*>(lParam);
    return TRUE;
  }
  if (message == kWorkDone) {
    loop->doneOnThread = GetCurrentThreadId();
    DestroyWindow(dialog);
    PostQuitMessage(0);
    return TRUE;
  }
  return FALSE;
}

DWORD WINAPI TellDone(LPVOID parameter) {
  auto* run = static_cast<LoopRun*>(parameter);
  run->sent = SendMessageW(run->dialog, kWorkDone, 0, 0);
  return 0;
}

}  // namespace

CONFORMANCE_TEST(ModelessDialogAndMainLoop) {
  InitCommonControls();
  ok(LoadCursorW(nullptr, IDC_ARROW) != nullptr, "the arrow cursor: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(32512));
  // LoadIcon (Microsoft documentation): a module without that icon gives none.
  ok(icon == nullptr && (GetLastError() == ERROR_RESOURCE_NAME_NOT_FOUND ||
                         GetLastError() == ERROR_RESOURCE_TYPE_NOT_FOUND),
     "icon 32512 of a program that has none: %p, %u", static_cast<void*>(icon),
     conformance::LastError());
  RECT work = {};
  ok(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) && work.right > work.left &&
         work.bottom > work.top,
     "the work area: %d %d %d %d", static_cast<int>(work.left), static_cast<int>(work.top),
     static_cast<int>(work.right), static_cast<int>(work.bottom));

  LoopRun run;
  run.mainThread = GetCurrentThreadId();
  run.dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), nullptr,
                                  ModelessProc, reinterpret_cast<LPARAM>(&run));
  if (!ok(run.dialog != nullptr, "CreateDialogParamW: %u", conformance::LastError())) return;
  ok(loop == &run, "WM_INITDIALOG's parameter");
  ok(GetDlgItem(run.dialog, IDC_STATUS) != nullptr, "the status item");
  SetLastError(conformance::Sentinel);
  HWND missing = GetDlgItem(run.dialog, 1002);
  // Unsourced (see README): the code of an item that does not exist.
  ok(missing == nullptr && (GetLastError() == ERROR_CONTROL_ID_NOT_FOUND ||
                            wine_differs(GetLastError() == conformance::Sentinel,
                                         "Wine's GetDlgItem leaves the last error of a missing "
                                         "item; Windows sets ERROR_CONTROL_ID_NOT_FOUND")),
     "no item 1002: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  ok(!EnableWindow(missing, FALSE) && GetLastError() == ERROR_INVALID_WINDOW_HANDLE,
     "EnableWindow of no window: %u", conformance::LastError());
  // ShowWindow (Microsoft documentation): zero when the window was hidden before.
  ok(!ShowWindow(run.dialog, SW_SHOW) && IsWindowVisible(run.dialog), "shown");

  HANDLE teller = CreateThread(nullptr, 0, TellDone, &run, 0, nullptr);
  ok(teller != nullptr, "the telling thread");
  MSG message = {};
  int got = 0, loops = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0 && ++loops < 100000) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  ok(got == 0 && message.message == WM_QUIT, "the loop ended on the quit message: %d, %#x", got,
     message.message);
  if (teller) {
    ok(WaitForSingleObject(teller, 10000) == WAIT_OBJECT_0, "the telling thread ended");
    CloseHandle(teller);
  }
  // DialogProc (Microsoft documentation): a handled message's result is the dialog's
  // DWLP_MSGRESULT, 0 unless set.
  ok(run.doneOnThread == run.mainThread && run.sent == 0,
     "the sent message ran on the dialog's thread: %u, %d", unsigned(run.doneOnThread),
     static_cast<int>(run.sent));
  ok(!IsWindow(run.dialog), "the dialog is gone");
  loop = nullptr;

  // The command line's split list is one block, released with GlobalFree as well as LocalFree.
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(TEXT("prog a"), &count);
  ok(arguments && count == 2 && GlobalFree(arguments) == nullptr, "GlobalFree of the list");
}

// The "Local Port" monitor's dialog as the installer drives it: AddPortW on a thread of its own,
// the thread's first "#32770" window found through EnumThreadWindows, its "Edit" child through
// FindWindowExW; cancelled (ERROR_CANCELLED), given a port that exists (the monitor's own box),
// and left open and stopped with TerminateThread. The stopped thread comes last in the suite: it
// may take locks of the spooler's client with it.
namespace {

struct PortRun {
  BOOL result = TRUE;
  DWORD error = 0;
};

DWORD WINAPI AddPortThread(LPVOID parameter) {
  auto* run = static_cast<PortRun*>(parameter);
  WCHAR monitor[] = TEXT("Local Port");
  SetLastError(conformance::Sentinel);
  run->result = AddPortW(nullptr, nullptr, monitor);
  run->error = GetLastError();
  return 0;
}

struct ThreadWindow {
  HWND skip;
  HWND found;
};

BOOL CALLBACK FirstDialogBut(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ThreadWindow*>(parameter);
  WCHAR name[32] = {};
  if (window == search->skip || !GetClassNameW(window, name, 32) ||
      !conformance::Same(name, TEXT("#32770")))
    return TRUE;  // the IME window, for one
  search->found = window;
  return FALSE;
}

// Polls of 5 ms (virtual time on the simulated Windows) until the thread shows a dialog other
// than `skip` (with its "Edit" child when `edit` is given) or ends; at most 20 s.
HWND WaitForDialog(HANDLE thread, DWORD threadId, HWND skip, HWND* edit) {
  for (int poll = 0; poll < 4000; ++poll) {
    ThreadWindow search = {skip, nullptr};
    EnumThreadWindows(threadId, FirstDialogBut, reinterpret_cast<LPARAM>(&search));
    if (search.found && !edit) return search.found;
    if (search.found && (*edit = FindWindowExW(search.found, nullptr, TEXT("Edit"), nullptr)))
      return search.found;
    if (WaitForSingleObject(thread, 5) != WAIT_TIMEOUT) return nullptr;
  }
  return nullptr;
}

}  // namespace

CONFORMANCE_TEST(LocalPortMonitorDialogDrivenFromAnotherThread) {
  // Cancelled.
  PortRun run;
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, AddPortThread, &run, 0, &threadId);
  if (!ok(thread != nullptr, "the port thread: %u", conformance::LastError())) return;
  HWND edit = nullptr;
  HWND dialog = WaitForDialog(thread, threadId, nullptr, &edit);
  ok(dialog && edit, "the dialog %p and its field %p", static_cast<void*>(dialog),
     static_cast<void*>(edit));
  if (dialog) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  ok(WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0, "AddPortW returned");
  // Unsourced (see README): the monitor's cancelled dialog is ERROR_CANCELLED.
  ok(!run.result && run.error == ERROR_CANCELLED, "cancelled: %d, %u", run.result,
     unsigned(run.error));
  CloseHandle(thread);

  // A port that exists: the monitor says so in a box of its own ("Local Port") on the port thread;
  // the simulated Windows' scripted person answers boxes at once, so it is seen only as a window
  // elsewhere.
  run = PortRun();
  thread = CreateThread(nullptr, 0, AddPortThread, &run, 0, &threadId);
  if (!ok(thread != nullptr, "the port thread: %u", conformance::LastError())) return;
  edit = nullptr;
  dialog = WaitForDialog(thread, threadId, nullptr, &edit);
  if (dialog && edit) {
    ok(SetWindowTextW(edit, TEXT("LPT1:")), "the name typed: %u", conformance::LastError());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    HWND box = WaitForDialog(thread, threadId, dialog, nullptr);
    ok(box || conformance::OnSimulation, "the monitor's box is shown");
    if (box) {
      WCHAR caption[64] = {};
      GetWindowTextW(box, caption, 64);
      // A Japanese system (ANSI code page 932) names the monitor in its own language.
      ok(conformance::Same(caption, TEXT("Local Port")) || (GetACP() == 932 && caption[0]),
         "the monitor's box: '%s'", conformance::Utf8(caption));
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    }
    // After the box the dialog may still be open: cancelled.
    for (int poll = 0; poll < 400 && WaitForSingleObject(thread, 5) == WAIT_TIMEOUT; ++poll)
      if (poll % 20 == 19 && IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  }
  ok(WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0, "AddPortW returned");
  // Unsourced (see README): the monitor refuses a port that exists.
  ok(!run.result ||
         wine_differs(run.result,
                      "Wine's monitor reports success for a port that exists once its box is "
                      "closed; Windows' refuses it"),
     "an existing port is not added: %d, %u", run.result, unsigned(run.error));
  CloseHandle(thread);

  // Left open: the thread is stopped, and a wait for it then ends.
  run = PortRun();
  thread = CreateThread(nullptr, 0, AddPortThread, &run, 0, &threadId);
  if (!ok(thread != nullptr, "the port thread: %u", conformance::LastError())) return;
  edit = nullptr;
  dialog = WaitForDialog(thread, threadId, nullptr, &edit);
  ok(dialog != nullptr, "the dialog is open");
  SetLastError(conformance::Sentinel);
  ok(TerminateThread(thread, 77), "TerminateThread: %u", conformance::LastError());
  ok(WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0, "the stopped thread ended");
  DWORD code = 0;
  ok(GetExitCodeThread(thread, &code) && code == 77, "its exit code: %u", unsigned(code));
  CloseHandle(thread);
}
