// Virtual port provisioning: the local port PortName, created through the "Local Port" monitor
// when it is missing. The monitor asks for the port's name in a modal dialog of its own inside
// AddPortW, so AddPortW runs on a short-lived port thread while this thread finds that dialog,
// writes the name into its edit field and confirms it.
#include "installation/steps.h"

#include <atomic>
#include <new>

#include "spooler/queries.h"
#include "support/handles.h"
#include "support/library.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "support/strings.h"

namespace {

constexpr DWORD PollIntervalMs = 5;
constexpr WCHAR DialogClass[] = TEXT("#32770");
constexpr WCHAR EditClass[] = TEXT("Edit");

// Shared with the port thread, in a local-heap block that outlives whichever side is done first:
// the port thread may still be in AddPortW (and write its result) after the caller has given up
// waiting. Each side lets go of it once; the last one releases it.
struct PortRequest {
  WCHAR monitorName[16];
  BOOL result;
  DWORD error;  // the port thread's last error when AddPortW failed
  std::atomic<LONG> holders;
};

PortRequest* NewPortRequest() {
  void* block = LocalAlloc(LPTR, sizeof(PortRequest));
  if (!block) return nullptr;
  PortRequest* request = new (block) PortRequest();
  BoundedCopy(request->monitorName, 16, TEXT("Local Port"));
  request->result = FALSE;
  request->holders = 2;  // the caller and the port thread
  return request;
}

void LetGo(PortRequest* request) {
  if (request->holders.fetch_sub(1) == 1) LocalFree(request);
}

DWORD WINAPI PortThread(LPVOID parameter) {
  PortRequest* request = static_cast<PortRequest*>(parameter);
  request->result = AddPortW(nullptr, nullptr, request->monitorName);
  request->error = request->result ? ERROR_SUCCESS : GetLastError();
  LetGo(request);
  return 0;
}

// Stores the port thread's first dialog window and stops there. The thread owns other top-level
// windows too, such as the hidden IME window created just before the dialog: those are passed
// over, or the name would be written into a window that has no edit field.
BOOL CALLBACK TakeFirstDialog(HWND window, LPARAM found) {
  WCHAR className[32] = {};
  if (GetClassNameW(window, className, 32) > 0 && lstrcmpiW(className, DialogClass) == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// Cancels every window of the port thread: the monitor's dialog and any box it raised on top.
BOOL CALLBACK CancelWindow(HWND window, LPARAM) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  return TRUE;
}

// After the limit: polls (of PollIntervalMs) allowed for the cancelled thread to end, and how
// often the cancel is repeated meanwhile, for boxes that appear as the dialog closes.
constexpr int CancelPolls = 1000;
constexpr int CancelRepeatPolls = 20;

}  // namespace

bool AddLocalPortSilently(LPCWSTR portName) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  PrinterHandle channel;
  if (!OpenPrinterW(const_cast<LPWSTR>(TEXT(",XcvMonitor Local Port")), channel.Put(), &defaults))
    return false;
  DWORD needed = 0;
  DWORD status = ERROR_SUCCESS;
  if (!XcvDataW(channel.Get(), TEXT("AddPort"),
                reinterpret_cast<PBYTE>(const_cast<LPWSTR>(portName)),
                static_cast<DWORD>(StringByteSize(portName)), nullptr, 0, &needed, &status))
    return false;
  // A port that appeared meanwhile is as good as one added: the caller looks for it afterwards.
  if (status == ERROR_SUCCESS || status == ERROR_ALREADY_EXISTS) return true;
  SetLastError(status);
  return false;
}

bool DeleteLocalPortSilently(LPCWSTR portName) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  PrinterHandle channel;
  if (!OpenPrinterW(const_cast<LPWSTR>(TEXT(",XcvMonitor Local Port")), channel.Put(), &defaults))
    return false;
  DWORD needed = 0;
  DWORD status = ERROR_SUCCESS;
  if (!XcvDataW(channel.Get(), TEXT("DeletePort"),
                reinterpret_cast<PBYTE>(const_cast<LPWSTR>(portName)),
                static_cast<DWORD>(StringByteSize(portName)), nullptr, 0, &needed, &status))
    return false;
  if (status == ERROR_SUCCESS) return true;
  SetLastError(status);
  return false;
}

bool AddLocalPortViaMonitor(LPCWSTR portName, DWORD limitMs) {
  PortRequest* request = NewPortRequest();
  if (!request) return false;

  DWORD threadId = 0;
  KernelHandle thread(CreateThread(nullptr, 0, PortThread, request, 0, &threadId));
  if (!thread) {
    LocalFree(request);  // no thread ever saw it
    return false;
  }

  DWORD wait = WAIT_TIMEOUT;
  HWND dialog = nullptr;
  HWND edit = nullptr;
  const DWORD start = GetTickCount();
  auto expired = [&] { return limitMs != INFINITE && GetTickCount() - start >= limitMs; };
  // The dialog and its field appear some time after the thread starts; until both exist the
  // search is repeated at each poll, and the dialog once found is kept.
  while ((!dialog || !edit) && wait == WAIT_TIMEOUT && !expired()) {
    if (!dialog) EnumThreadWindows(threadId, TakeFirstDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog) edit = FindWindowExW(dialog, nullptr, EditClass, nullptr);
    wait = WaitForSingleObject(thread.Get(), PollIntervalMs);
  }
  if (dialog && edit) {
    // Confirmed twice over: the OK command, and a carriage return as the keyboard would send it
    // (the scan code as MapVirtualKeyW gives it, not shifted into the key data's bits).
    SetWindowTextW(edit, portName);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    PostMessageW(dialog, WM_CHAR, VK_RETURN,
                 static_cast<LPARAM>(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC)));
  }
  // Without a field to fill the dialog is left to the person; the thread ends when they close it.
  while (wait == WAIT_TIMEOUT && !expired())
    wait = WaitForSingleObject(thread.Get(), PollIntervalMs);

  bool timedOut = wait == WAIT_TIMEOUT;
  for (int poll = 0; wait == WAIT_TIMEOUT && poll < CancelPolls; ++poll) {
    // Nobody completed the dialog in time: it is cancelled, and so is any box it raised.
    if (poll % CancelRepeatPolls == 0) EnumThreadWindows(threadId, CancelWindow, 0);
    wait = WaitForSingleObject(thread.Get(), PollIntervalMs);
  }
  if (timedOut) SetLastError(ERROR_TIMEOUT);  // the step's reason, whatever follows

  if (wait != WAIT_OBJECT_0) {
    // The wait failed, or the cancelled dialog did not go: the thread is stopped. Termination
    // completes asynchronously, so only a thread seen ended afterwards no longer touches the
    // request; one that could not be stopped keeps it and releases it if it ever ends (otherwise
    // it stays for the process's life, which is cheaper than a write into freed memory).
    LastErrorKeeper keep;
    if (TerminateThread(thread.Get(), 0) &&
        WaitForSingleObject(thread.Get(), INFINITE) == WAIT_OBJECT_0) {
      LocalFree(request);
    } else {
      LetGo(request);
    }
    return false;
  }
  // The thread has ended: it has let go of the request and nothing else will touch it.
  if (timedOut) {
    LocalFree(request);
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  bool result = request->result != FALSE;
  // The port thread's reason is the one the caller's report should carry.
  if (!result) SetLastError(request->error);
  LastErrorKeeper keep;
  LocalFree(request);
  return result;
}

bool ProvisionPort(LPWSTR portName, DWORD capacityBytes) {
  {
    // The printers are listed first; one that already prints to the port changes nothing, as the
    // new printer simply shares the port with it. A spooler that cannot list them fails here.
    DWORD count = 0;
    LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
    if (!printers) {
      ReportError(TEXT("メモリが不足しています!"));
      return false;
    }
  }

  size_t size = StringByteSize(PortName);
  if (size >= capacityBytes) {
    ReportErrorCode(ERROR_INSUFFICIENT_BUFFER, TEXT("ポート名 '%ws' が長すぎます!"), PortName);
    return false;
  }
  strCopy(portName, PortName, size);

  bool exists = false;
  if (!PortExists(&exists, PortName)) {
    ReportError(TEXT("ポートの登録が確認できません!"));
    return false;
  }
  if (exists) return true;

  // A quiet run never waits for a person: the monitor's silent route first, and its dialog only
  // when that is refused, bounded in time.
  bool added = false;
  if (IsQuietRun()) {
    added = AddLocalPortSilently(PortName);
    if (!added) {
      DebugLog(
          "ProvisionPort - the monitor's data channel refused the port (%lu); using its dialog",
          GetLastError());
      added = AddLocalPortViaMonitor(PortName, QuietPortDialogLimitMs);
    }
  } else {
    added = AddLocalPortViaMonitor(PortName);
  }
  if (!added) {
    ReportError(TEXT("ポート '%ws' が登録ができません!"), PortName);
    return false;
  }
  if (!PortExists(&exists, PortName)) {
    ReportError(TEXT("ポートの登録が確認ができません!"));
    return false;
  }
  if (!exists) {
    ReportError(TEXT("ポート '%ws' が登録できません!"), PortName);
    return false;
  }
  return true;
}

namespace {

constexpr int PortNameCapacity = 128;

// True when `ports` (one port, or several separated by commas for a pool) names `port`.
bool PortListNames(LPCWSTR ports, LPCWSTR port) {
  if (!ports) return false;
  int length = lstrlenW(port);
  for (LPCWSTR item = ports; *item;) {
    LPCWSTR end = item;
    while (*end && *end != TEXT(',')) ++end;
    if (end - item == length && length < PortNameCapacity) {
      WCHAR name[PortNameCapacity] = {};
      BoundedCopy(name, static_cast<size_t>(length) + 1, item);  // the item without its comma
      if (lstrcmpiW(name, port) == 0) return true;
    }
    item = *end ? end + 1 : end;
  }
  return false;
}

}  // namespace

// The monitor answers ERROR_FILE_NOT_FOUND for a port that is not there.
void RemovePortWhenUnused() {
  DWORD count = 0;
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  if (!printers) {
    DebugLogError(GetLastError(), "uninstall: the printers cannot be listed; port %ws is left",
                  PortName);
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (PortListNames(printers[i].pPortName, PortName)) {
      DebugLog("uninstall: port %ws is left: printer %ws uses it", PortName,
               printers[i].pPrinterName);
      return;
    }
  }
  if (DeleteLocalPortSilently(PortName))
    DebugLog("uninstall: port %ws was deleted", PortName);
  else if (GetLastError() == ERROR_FILE_NOT_FOUND)
    DebugLog("uninstall: there is no port %ws", PortName);
  else
    DebugLogError(GetLastError(), "uninstall: port %ws could not be deleted", PortName);
}
