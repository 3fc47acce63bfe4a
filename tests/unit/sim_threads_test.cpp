// Threads of the simulated machine: real threads behind the kernel's and the runtime's thread
// starts, waits with real timeouts, handle ownership, termination.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "tests/support/sim_test.h"

namespace {

class SimThreadsTest : public SimTest {};

// A gate a thread body waits at, released by the test.
struct Gate {
  std::atomic<bool> open{false};
  std::atomic<DWORD> seenId{0};
  void Pass() {
    while (!open) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
};

DWORD GatedBody(LPVOID parameter) {
  auto* gate = static_cast<Gate*>(parameter);
  gate->seenId = GetCurrentThreadId();
  gate->Pass();
  return 7;
}

TEST_F(SimThreadsTest, WaitsTimeOutForRealThenSeeTheEndAndTheExitCode) {
  Gate gate;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, GatedBody, &gate, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, GetCurrentThreadId());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(thread, 30), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(sim::LiveThreads(), 1u);

  gate.open = true;
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(gate.seenId.load(), id);  // the id CreateThread reported is the thread's own
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(WaitForSingleObject(thread, 5), static_cast<DWORD>(WAIT_OBJECT_0));  // stays signalled
  // Waiting costs real time only: the virtual clock shows the program's own pauses.
  EXPECT_EQ(sim::Now(), 0u);

  EXPECT_EQ(sim::OpenHandles("thread"), 1u);
  EXPECT_TRUE(CloseHandle(thread));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(thread));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(sim::LiveThreads(), 0u);
  EXPECT_EQ(sim::ThreadsStarted(), 1u);
}

TEST_F(SimThreadsTest, TheRuntimeClosesTheSimpleThreadStartsHandle) {
  static std::atomic<int> ran{0};
  static int one = 1;
  ran = 0;
  uintptr_t simple = _beginthread([](void* p) { ran += *static_cast<int*>(p); }, 0, &one);
  ASSERT_NE(simple, static_cast<uintptr_t>(-1));
  ASSERT_TRUE(sim::JoinAllThreads());
  EXPECT_EQ(ran.load(), 1);
  // The handle went with the thread: a late wait fails like a wait on any closed handle.
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(simple), 50), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(sim::OpenHandles("thread"), 0u);

  // The extended start leaves its handle to the caller, with the body's exit code.
  unsigned id = 0;
  uintptr_t extended = _beginthreadex(
      nullptr, 0, [](void*) -> unsigned { return 42; }, nullptr, 0, &id);
  ASSERT_NE(extended, 0u);
  EXPECT_NE(id, 0u);
  auto handle = reinterpret_cast<HANDLE>(extended);
  EXPECT_EQ(WaitForSingleObject(handle, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(handle, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST_F(SimThreadsTest, FaultsAndRefusedFlagsStartNoThread) {
  sim::FailNth("CreateThread", 1, ERROR_NOT_ENOUGH_MEMORY);
  sim::FailAlways("_beginthreadex", ERROR_NOT_ENOUGH_MEMORY);
  sim::FailAlways("_beginthread", ERROR_NOT_ENOUGH_MEMORY);
  Gate gate;
  SetLastError(0);
  EXPECT_EQ(CreateThread(nullptr, 0, GatedBody, &gate, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(_beginthreadex(
                nullptr, 0, [](void*) -> unsigned { return 0; }, nullptr, 0, nullptr),
            0u);
  EXPECT_EQ(_beginthread([](void*) {}, 0, nullptr), static_cast<uintptr_t>(-1));
  // Nothing could resume a suspended thread, so none is made.
  SetLastError(0);
  EXPECT_EQ(CreateThread(nullptr, 0, GatedBody, &gate, CREATE_SUSPENDED, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(sim::ThreadsStarted(), 0u);
  EXPECT_EQ(sim::CallCount("CreateThread"), 2u);
}

TEST_F(SimThreadsTest, BadHandlesFailEveryThreadCall) {
  DWORD code = 0;
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
  EXPECT_FALSE(TerminateThread(nullptr, 0));
  // A handle of another kind is no thread, and CloseHandle does not close printer handles.
  HANDLE printer = sim::NewHandle("printer", nullptr);
  EXPECT_EQ(WaitForSingleObject(printer, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(printer));
  EXPECT_EQ(sim::OpenHandles("printer"), 1u);
  sim::ReleaseHandle(printer, "printer");
  // Other areas' kernel objects close through CloseHandle once their kind is known.
  HANDLE event = sim::NewHandle("event", nullptr);
  EXPECT_FALSE(CloseHandle(event));
  sim::RegisterKernelHandleKind("event");
  EXPECT_TRUE(CloseHandle(event));
}

TEST_F(SimThreadsTest, ATerminatedThreadIsReportedEndedAndDoesNothingMore) {
  static std::atomic<bool> afterLoop{false};
  afterLoop = false;
  auto body = [](LPVOID) -> DWORD {
    // Blocks in its message loop, as the port thread does in the monitor's dialog.
    CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    afterLoop = true;
    return 1;
  };
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, body, nullptr, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateThread(thread, 5));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 5u);
  ASSERT_TRUE(sim::JoinAllThreads());
  EXPECT_EQ(sim::ParkedThreads(), 1u);
  EXPECT_EQ(sim::LiveThreads(), 0u);
  // Even a quit message would not make it run on: it is stopped, and its window went with it.
  EXPECT_FALSE(PostThreadMessageW(id, WM_QUIT, 0, 0));
  EXPECT_EQ(sim::LiveWindows(), 0u);
  EXPECT_FALSE(afterLoop);
  // Terminating an ended thread changes nothing.
  EXPECT_TRUE(TerminateThread(thread, 9));
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 5u);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST_F(SimThreadsTest, JoinAllThreadsGivesUpWhileAThreadRuns) {
  Gate gate;
  HANDLE thread = CreateThread(nullptr, 0, GatedBody, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_FALSE(sim::JoinAllThreads(20));
  EXPECT_EQ(sim::LiveThreads(), 1u);
  gate.open = true;
  EXPECT_TRUE(sim::JoinAllThreads());
  EXPECT_EQ(sim::LiveThreads(), 0u);
  CloseHandle(thread);
}

}  // namespace
