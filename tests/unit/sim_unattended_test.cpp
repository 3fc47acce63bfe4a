// The simulated Windows' share of unattended runs: named mutexes (with owners in other processes
// and abandoned ones), the port monitors' data channel, the window station, the token and the
// console.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sim/mutexes.h"
#include "platform/sim/services.h"
#include "platform/sim/session.h"
#include "platform/sim/spooler.h"
#include "platform/sim/threads.h"
#include "tests/support/sim_test.h"

namespace {

class SimUnattendedTest : public SimTest {};

constexpr char16_t kLock[] = u"Global\\ZqDriver2";

// ----- mutexes -----

TEST_F(SimUnattendedTest, NamedMutexesAreSharedRecursiveAndOwnedByOneThread) {
  SetLastError(12345);
  HANDLE first = CreateMutexW(nullptr, FALSE, kLock);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  HANDLE second = CreateMutexW(nullptr, TRUE, kLock);  // the same object: no initial ownership
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(sim::InspectMutex(kLock).owned);
  EXPECT_EQ(sim::InspectMutex(kLock).handles, 2u);

  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);  // recursive
  EXPECT_EQ(sim::InspectMutex(kLock).recursion, 2);

  // Another thread cannot take it and cannot release it.
  std::atomic<DWORD> otherWait{0}, otherRelease{0}, otherError{0};
  std::thread other([&] {
    otherWait = WaitForSingleObject(first, 20);
    otherRelease = ReleaseMutex(first);
    otherError = GetLastError();
  });
  other.join();
  EXPECT_EQ(otherWait.load(), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(otherRelease.load(), 0u);
  EXPECT_EQ(otherError.load(), static_cast<DWORD>(ERROR_NOT_OWNER));

  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_TRUE(sim::InspectMutex(kLock).owned);
  EXPECT_TRUE(ReleaseMutex(second));
  EXPECT_FALSE(sim::InspectMutex(kLock).owned);
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));

  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(sim::InspectMutex(kLock).exists);  // the last handle took the object with it
}

TEST_F(SimUnattendedTest, MutexNamesFollowTheSessionNamespace) {
  HANDLE local = CreateMutexW(nullptr, FALSE, u"Local\\Name");
  HANDLE plain = CreateMutexW(nullptr, FALSE, u"Name");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE global = CreateMutexW(nullptr, FALSE, u"Global\\Name");
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\No\\Such"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  for (HANDLE h : {local, plain, global}) EXPECT_TRUE(CloseHandle(h));
}

DWORD TakeAndEnd(LPVOID mutex) {
  WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
  return 0;  // ends without releasing
}

TEST_F(SimUnattendedTest, AThreadEndingWithTheMutexAbandonsIt) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kLock);
  HANDLE thread = CreateThread(nullptr, 0, TakeAndEnd, mutex, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(sim::InspectMutex(kLock).abandoned);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_EQ(sim::InspectMutex(kLock).ownerThread, GetCurrentThreadId());
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // abandoned once only
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(thread);
  CloseHandle(mutex);
}

// Another process holds the mutex and lets go at a moment of virtual time; waits cost none.
TEST_F(SimUnattendedTest, AMutexHeldElsewhereIsWaitedForInVirtualTime) {
  struct Case {
    const char* name;
    sim::ForeignHolder holder;
    DWORD timeout;
    DWORD result;
    uint64_t clockAfter;
  };
  const Case cases[] = {
      {"released in time", {60000, false}, 300000, WAIT_OBJECT_0, 60000},
      {"abandoned in time", {1000, true}, 5000, WAIT_ABANDONED, 1000},
      {"released too late", {90000, false}, 30000, WAIT_TIMEOUT, 30000},
      {"never released", {std::nullopt, false}, 300000, WAIT_TIMEOUT, 300000},
      {"released at once", {0, false}, 0, WAIT_OBJECT_0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kLock);
    sim::HoldMutexElsewhere(kLock, c.holder);
    EXPECT_EQ(sim::InspectMutex(kLock).ownedElsewhere, c.holder.releaseAfter != uint64_t{0});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(mutex, c.timeout), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(sim::Now(), c.clockAfter);
    SetLastError(0);
    EXPECT_EQ(ReleaseMutex(mutex) != FALSE, c.result != WAIT_TIMEOUT);
    CloseHandle(mutex);
  }
}

// ----- the port monitors' data channel -----

struct XcvCase {
  const char* name;
  const char16_t* openName;
  DWORD access;
  bool elevated;
  DWORD openError;  // 0: opens
  const char16_t* command;
  const char16_t* port;
  DWORD status;
  bool portAfter;
};

TEST_F(SimUnattendedTest, TheLocalPortMonitorAddsPortsThroughItsDataChannel) {
  const XcvCase cases[] = {
      {"adds", u",XcvMonitor Local Port", SERVER_ACCESS_ADMINISTER, true, 0, u"AddPort", u"ZQVirtualPrinterPort", ERROR_SUCCESS, true},
      {"existing port", u",XcvMonitor Local Port", SERVER_ACCESS_ADMINISTER, true, 0, u"AddPort", u"lpt1:", ERROR_ALREADY_EXISTS, false},
      {"no administer right", u",XcvMonitor Local Port", SERVER_ACCESS_ENUMERATE, true, 0, u"AddPort", u"ZQVirtualPrinterPort", ERROR_ACCESS_DENIED, false},
      {"empty name", u",XcvMonitor Local Port", SERVER_ACCESS_ADMINISTER, true, 0, u"AddPort", u"", ERROR_INVALID_NAME, false},
      {"unknown command", u",XcvMonitor Local Port", SERVER_ACCESS_ADMINISTER, true, 0, u"Frobnicate", u"ZQVirtualPrinterPort", ERROR_INVALID_PARAMETER, false},
      {"through a port", u",XcvPort LPT1:", SERVER_ACCESS_ADMINISTER, true, 0, u"AddPort", u"ZQVirtualPrinterPort", ERROR_SUCCESS, true},
      {"not elevated", u",XcvMonitor Local Port", SERVER_ACCESS_ADMINISTER, false, ERROR_ACCESS_DENIED, nullptr, nullptr, 0, false},
      {"unknown monitor", u",XcvMonitor Standard TCP/IP Port", SERVER_ACCESS_ADMINISTER, true, ERROR_INVALID_PRINTER_NAME, nullptr, nullptr, 0, false},
  };
  for (const XcvCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::SetElevated(c.elevated);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, c.access};
    HANDLE xcv = nullptr;
    SetLastError(0);
    BOOL opened = OpenPrinterW(const_cast<LPWSTR>(c.openName), &xcv, &defaults);
    if (c.openError) {
      EXPECT_FALSE(opened);
      EXPECT_EQ(GetLastError(), c.openError);
      EXPECT_EQ(xcv, nullptr);
      continue;
    }
    ASSERT_TRUE(opened);
    DWORD needed = 99, status = 99;
    EXPECT_TRUE(XcvDataW(xcv, c.command, reinterpret_cast<PBYTE>(const_cast<char16_t*>(c.port)),
                         static_cast<DWORD>((std::u16string(c.port).size() + 1) * 2), nullptr, 0, &needed,
                         &status));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(status, c.status);
    bool listed = false;
    for (auto& p : sim::Ports()) listed = listed || p.name == u"ZQVirtualPrinterPort";
    EXPECT_EQ(listed, c.portAfter);
    // No printer function takes the channel's handle.
    DWORD bytes = 0;
    EXPECT_FALSE(GetPrinterW(xcv, 2, nullptr, 0, &bytes));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(ClosePrinter(xcv));
  }
}

TEST_F(SimUnattendedTest, TheDataChannelChecksItsArgumentsAndTheSpooler) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE xcv = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor Local Port"), &xcv, &defaults));
  WCHAR name[] = u"P";
  DWORD needed = 0, status = 0;
  EXPECT_FALSE(XcvDataW(xcv, u"AddPort", reinterpret_cast<PBYTE>(name), 4, nullptr, 0, nullptr, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(XcvDataW(xcv, u"AddPort", reinterpret_cast<PBYTE>(name), 4, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_FALSE(XcvDataW(server, u"AddPort", reinterpret_cast<PBYTE>(name), 4, nullptr, 0, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  sim::SetServiceState(u"Spooler", SERVICE_STOPPED);
  EXPECT_FALSE(XcvDataW(xcv, u"AddPort", reinterpret_cast<PBYTE>(name), 4, nullptr, 0, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  ClosePrinter(server);
  ClosePrinter(xcv);
}

// ----- window station, token, console -----

TEST_F(SimUnattendedTest, TheWindowStationTellsWhetherAnyoneSeesIt) {
  for (bool visible : {true, false}) {
    sim::SetWindowStation(visible ? u"WinSta0" : u"Service-0x0-3e7$", visible);
    HWINSTA station = GetProcessWindowStation();
    ASSERT_NE(station, nullptr);
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed));
    EXPECT_EQ((flags.dwFlags & WSF_VISIBLE) != 0, visible);
    WCHAR name[64] = {};
    ASSERT_TRUE(GetUserObjectInformationW(station, UOI_NAME, name, sizeof name, &needed));
    EXPECT_EQ(U8(name), visible ? "WinSta0" : "Service-0x0-3e7$");
    EXPECT_FALSE(GetUserObjectInformationW(station, UOI_FLAGS, &flags, 4, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
}

TEST_F(SimUnattendedTest, TheTokenTellsWhetherTheProcessIsElevated) {
  for (bool elevated : {true, false}) {
    sim::SetElevated(elevated);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_ELEVATION elevation = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &needed));
    EXPECT_EQ(elevation.TokenIsElevated != 0, elevated);
    EXPECT_TRUE(CloseHandle(token));
  }
}

TEST_F(SimUnattendedTest, AGuiProgramWritesToItsParentsConsoleOnceAttached) {
  EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), nullptr);
  EXPECT_FALSE(AttachConsole(ATTACH_PARENT_PROCESS));  // started without a console
  sim::SetParentConsole(true);
  ASSERT_TRUE(AttachConsole(ATTACH_PARENT_PROCESS));
  EXPECT_FALSE(AttachConsole(ATTACH_PARENT_PROCESS));  // one console per process
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  ASSERT_TRUE(GetConsoleMode(out, &mode));
  const char16_t text[] = u"ドライバ 'ZqDriver2'\r\n";
  DWORD written = 0;
  EXPECT_TRUE(WriteConsoleW(out, text, 18, &written, nullptr));
  EXPECT_EQ(written, 18u);
  EXPECT_EQ(sim::ConsoleText(), "ドライバ 'ZqDriver2'\r\n");
}

}  // namespace
