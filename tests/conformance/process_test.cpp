// Process services the installer uses besides: the local heap, threads (CreateThread and the
// runtime's _beginthreadex) with their exit codes, the tick count, the command line, the
// common-controls library loaded by name with its DllGetVersion, and the key mapping the port
// dialog's automation uses.
#include <atomic>
#include <cstring>

#include "tests/conformance/conformance.h"

CONFORMANCE_TEST(LocalHeapBlocksAreZeroed) {
  auto* block = static_cast<BYTE*>(LocalAlloc(LPTR, 64));
  ok(block != nullptr, "LocalAlloc");
  if (!block) return;
  bool zero = true;
  for (int i = 0; i < 64; ++i) zero = zero && block[i] == 0;
  ok(zero, "LPTR zeroes the block");
  ok(LocalFree(block) == nullptr, "LocalFree returns no block");
}

namespace {

DWORD WINAPI Returns42(LPVOID parameter) {
  *static_cast<int*>(parameter) += 1;
  return 42;
}

unsigned __stdcall Returns7(void* parameter) {
  *static_cast<int*>(parameter) += 1;
  return 7;
}

DWORD WINAPI WaitsForItsEvent(LPVOID parameter) {
  auto* stop = static_cast<std::atomic<LONG>*>(parameter);
  while (!stop->load()) Sleep(1);
  return 0;
}

}  // namespace

CONFORMANCE_TEST(ThreadsAndTheirExitCodes) {
  int calls = 0;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, Returns42, &calls, 0, &id);
  ok(thread != nullptr && id != 0 && id != GetCurrentThreadId(), "CreateThread: %u",
     conformance::LastError());
  if (thread) {
    ok(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0, "the thread ended");
    DWORD code = 0;
    ok(GetExitCodeThread(thread, &code) && code == 42, "exit code %u", unsigned(code));
    ok(CloseHandle(thread), "CloseHandle");
  }
  unsigned runtimeId = 0;
  uintptr_t started = _beginthreadex(nullptr, 0, Returns7, &calls, 0, &runtimeId);
  ok(started != 0 && runtimeId != 0, "_beginthreadex");
  if (started) {
    HANDLE handle = reinterpret_cast<HANDLE>(started);
    ok(WaitForSingleObject(handle, 10000) == WAIT_OBJECT_0, "the runtime's thread ended");
    DWORD code = 0;
    ok(GetExitCodeThread(handle, &code) && code == 7, "exit code %u", unsigned(code));
    CloseHandle(handle);
  }
  ok(calls == 2, "both ran: %d", calls);
  // A running thread: still active, and a wait of 0 times out.
  std::atomic<LONG> stop{0};
  thread = CreateThread(nullptr, 0, WaitsForItsEvent, &stop, 0, nullptr);
  if (ok(thread != nullptr, "CreateThread")) {
    DWORD code = 0;
    ok(GetExitCodeThread(thread, &code) && code == STILL_ACTIVE, "still active: %u",
       unsigned(code));
    ok(WaitForSingleObject(thread, 0) == WAIT_TIMEOUT, "a wait of 0 times out");
    stop.store(1);
    ok(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0, "ended");
    CloseHandle(thread);
  }
  SetLastError(conformance::Sentinel);
  ok(!CloseHandle(nullptr) && GetLastError() == ERROR_INVALID_HANDLE, "closing no handle: %u",
     conformance::LastError());
}

CONFORMANCE_TEST(TickCountAndCommandLine) {
  // The tick count moves on across a sleep and never runs backwards (how far it moves depends on
  // the clock's resolution, at most about 16 ms: at least 20 - 16 here).
  DWORD first = GetTickCount();
  Sleep(20);
  DWORD second = GetTickCount();
  ok(second - first >= 4 && second - first < 0x80000000u, "from %u to %u", unsigned(first),
     unsigned(second));
  LPWSTR line = GetCommandLineW();
  ok(line && line[0], "a command line");
  int count = 0;
  LPWSTR* arguments = line ? CommandLineToArgvW(line, &count) : nullptr;
  ok(arguments && count >= 1 && arguments[0][0], "it splits: %d", count);
  if (arguments) LocalFree(arguments);
}

CONFORMANCE_TEST(CommonControlsLibraryByName) {
  SetLastError(conformance::Sentinel);
  HMODULE missing = LoadLibraryW(TEXT("zqnosuchlibrary.dll"));
  ok(!missing && GetLastError() == ERROR_MOD_NOT_FOUND, "a missing library: %u",
     conformance::LastError());
  HMODULE library = LoadLibraryW(TEXT("comctl32.dll"));
  if (!ok(library != nullptr, "LoadLibraryW(comctl32.dll): %u", conformance::LastError())) return;
  SetLastError(conformance::Sentinel);
  ok(GetProcAddress(library, "ZqNoSuchExport") == nullptr && GetLastError() == ERROR_PROC_NOT_FOUND,
     "a missing export: %u", conformance::LastError());
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(library, "DllGetVersion"));
  ok(getVersion != nullptr, "DllGetVersion is exported");
  if (getVersion) {
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info;
    HRESULT result = getVersion(&info);
    // Version 5 (the system's default) or 6 (with a manifest asking for the common controls 6).
    ok(result == S_OK && (info.dwMajorVersion == 5 || info.dwMajorVersion == 6), "version %u.%u: %#x",
       unsigned(info.dwMajorVersion), unsigned(info.dwMinorVersion), static_cast<unsigned>(result));
    DLLVERSIONINFO wrongSize = {};
    wrongSize.cbSize = 4;
    ok(getVersion(&wrongSize) == E_INVALIDARG, "a record of the wrong size is refused");
  }
  ok(FreeLibrary(library), "FreeLibrary");
}

CONFORMANCE_TEST(KeyMapping) {
  ok(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC) == 0x1C, "Enter's scan code: %#x",
     MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC));
  ok(MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC) == 0x01, "Escape's scan code: %#x",
     MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC));
}
