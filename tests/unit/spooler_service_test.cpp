// Spooler service control on the simulated machine: access rights, the waits (exact pauses from
// the journal), the attempts, and the message and code of every failure.
#include <cstring>

#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "spooler/service.h"
#include "support/messages.h"
#include "tests/support/sim_test.h"

namespace {

class SpoolerServiceTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
    LastErrorCode = 0;
  }
  static std::vector<std::string> Sleeps() {
    std::vector<std::string> out;
    for (auto& call : sim::Calls("Sleep")) out.push_back(call.args[0]);
    return out;
  }
  static std::vector<std::string> Repeat(size_t n, const std::string& pause) {
    return std::vector<std::string>(n, pause);
  }
  static void Spooler(DWORD state, uint64_t startMs = 1000, uint64_t stopMs = 400) {
    sim::SetServiceTimes(sim::kSpoolerService, startMs, stopMs);
    sim::SetServiceState(sim::kSpoolerService, state);
  }
  static std::string Message() { return U8(LastErrorMessage); }
  // A message recorded before, which a silent failure must leave in place.
  static void RecordEarlierMessage() {
    SetLastError(ERROR_FILE_NOT_FOUND);
    ReportError(TEXT("earlier"));
  }
};

TEST_F(SpoolerServiceTest, IsSpoolerRunningAsksWithReadRightsAndClosesServiceFirst) {
  EXPECT_TRUE(IsSpoolerRunning());
  auto manager = sim::Calls("OpenSCManagerW")[0];
  auto service = sim::Calls("OpenServiceW")[0];
  EXPECT_EQ(manager.args, (std::vector<std::string>{"(null)", "(null)", "0x80000000"}));
  EXPECT_EQ(service.args[1], "Spooler");
  EXPECT_EQ(service.args[2], "0x4");
  auto closes = sim::Calls("CloseServiceHandle");
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0].args[0], service.result);
  EXPECT_EQ(closes[1].args[0], manager.result);

  Spooler(SERVICE_START_PENDING, sim::kNever);
  EXPECT_FALSE(IsSpoolerRunning());
  Spooler(SERVICE_STOPPED);
  EXPECT_FALSE(IsSpoolerRunning());
  Spooler(SERVICE_RUNNING);
  sim::FailNth("QueryServiceStatus", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(IsSpoolerRunning());
  sim::FailNth("OpenServiceW", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(IsSpoolerRunning());
  sim::FailNth("OpenSCManagerW", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(IsSpoolerRunning());
  EXPECT_EQ(Message(), "");  // records nothing
}

TEST_F(SpoolerServiceTest, StartingARunningSpoolerMakesNoPause) {
  EXPECT_TRUE(StartSpooler());
  EXPECT_EQ(sim::Calls("OpenSCManagerW")[0].args[2], "0x20000000");
  EXPECT_EQ(sim::Calls("OpenServiceW")[0].args[2], "0x14");
  EXPECT_EQ(sim::Calls("StartServiceW")[0].lastError,
            static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_TRUE(Sleeps().empty());
  EXPECT_EQ(sim::CallNames({"StartServiceW", "QueryServiceStatus", "OpenPrinterW", "ClosePrinter",
                            "CloseServiceHandle"}),
            (std::vector<std::string>{"StartServiceW", "QueryServiceStatus", "OpenPrinterW",
                                      "ClosePrinter", "CloseServiceHandle", "CloseServiceHandle"}));
  EXPECT_EQ(sim::Calls("OpenPrinterW")[0].args,
            (std::vector<std::string>{"(null)", "no defaults"}));
}

TEST_F(SpoolerServiceTest, RunningAfterTheTenthPauseIsInTime) {
  Spooler(SERVICE_STOPPED, 20000);
  EXPECT_TRUE(StartSpooler());
  EXPECT_EQ(Sleeps(), Repeat(10, "2000"));
  EXPECT_EQ(sim::CallCount("QueryServiceStatus"), 11u);
  EXPECT_EQ(sim::ServiceState(sim::kSpoolerService), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(SpoolerServiceTest, RunningOnlyAfterTheEleventhPauseIsTooLate) {
  Spooler(SERVICE_STOPPED, 21000);
  EXPECT_FALSE(StartSpooler());
  EXPECT_EQ(Sleeps(), Repeat(10, "2000"));
  EXPECT_EQ(sim::CallCount("QueryServiceStatus"), 11u);
  EXPECT_EQ(sim::CallCount("OpenPrinterW"), 0u);
  EXPECT_EQ(Message(), "スプーラの開始ができません!");
  EXPECT_EQ(LastErrorCode, 0u);  // whatever the calls before left: none failed
}

TEST_F(SpoolerServiceTest, APrintServerThatDoesNotOpenMakesASecondAttempt) {
  Spooler(SERVICE_STOPPED, 1000);
  sim::FailPrintServerOpens(1);
  EXPECT_TRUE(StartSpooler());
  EXPECT_EQ(sim::CallCount("StartServiceW"), 2u);
  EXPECT_EQ(sim::Calls("StartServiceW")[1].lastError,
            static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_EQ(sim::CallCount("OpenPrinterW"), 2u);
  EXPECT_EQ(sim::CallCount("ClosePrinter"), 1u);
  EXPECT_EQ(Sleeps(), Repeat(1, "2000"));  // the second attempt finds it running

  sim::Reset();
  sim::FailPrintServerOpens(5);
  EXPECT_TRUE(StartSpooler());  // two attempts at most, and still a success
  EXPECT_EQ(sim::CallCount("StartServiceW"), 2u);
  EXPECT_EQ(sim::CallCount("OpenPrinterW"), 2u);
  EXPECT_EQ(Message(), "");
}

TEST_F(SpoolerServiceTest, StartFailures) {
  sim::FailAlways("OpenSCManagerW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(StartSpooler());
  EXPECT_EQ(Message(), "サービスマネージャがオープンできません．");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));

  sim::Reset();
  Spooler(SERVICE_STOPPED);
  sim::FailAlways("StartServiceW", ERROR_SERVICE_DISABLED);
  EXPECT_FALSE(StartSpooler());
  EXPECT_EQ(Message(), "スプーラの開始ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_SERVICE_DISABLED));
  EXPECT_EQ(sim::CallCount("QueryServiceStatus"), 0u);

  // A status query that fails ends the wait on the state seen last: still pending.
  sim::Reset();
  Spooler(SERVICE_STOPPED, 10000);
  sim::FailNth("QueryServiceStatus", 3, ERROR_INVALID_HANDLE);
  EXPECT_FALSE(StartSpooler());
  EXPECT_EQ(Sleeps(), Repeat(2, "2000"));
  EXPECT_EQ(Message(), "スプーラの開始ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ...when the start cleans up after a recorded failure; otherwise it names its own.
TEST_F(SpoolerServiceTest, AServiceThatCannotBeOpenedForStartingRecordsNothing) {
  RecordEarlierMessage();
  sim::FailAlways("OpenServiceW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(StartSpooler());
  EXPECT_EQ(Message(), "スプーラの開始ができません!");
  RecordEarlierMessage();
  EXPECT_FALSE(StartSpooler(true));
  EXPECT_EQ(Message(), "earlier");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(sim::CallCount("CloseServiceHandle"), 2u);  // the manager, each time
}

TEST_F(SpoolerServiceTest, StoppingWaitsInHalfSeconds) {
  Spooler(SERVICE_RUNNING, 1000, 1200);
  EXPECT_TRUE(StopSpooler());
  EXPECT_EQ(sim::Calls("OpenServiceW")[0].args[2], "0x34");
  EXPECT_EQ(sim::Calls("ControlService")[0].args[1], "1");
  EXPECT_EQ(Sleeps(), Repeat(3, "500"));
  EXPECT_EQ(sim::ServiceState(sim::kSpoolerService), static_cast<DWORD>(SERVICE_STOPPED));
  // Each query comes after its pause.
  EXPECT_EQ(sim::CallNames({"Sleep", "QueryServiceStatus"}),
            (std::vector<std::string>{"Sleep", "QueryServiceStatus", "Sleep", "QueryServiceStatus",
                                      "Sleep", "QueryServiceStatus"}));
}

TEST_F(SpoolerServiceTest, StoppingAStoppedSpoolerPausesOnce) {
  Spooler(SERVICE_STOPPED);
  EXPECT_TRUE(StopSpooler());
  EXPECT_EQ(sim::Calls("ControlService")[0].lastError, static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(Sleeps(), Repeat(1, "500"));
  EXPECT_EQ(Message(), "");
}

TEST_F(SpoolerServiceTest, ASpoolerThatNeverStopsIsGivenUpAfterAMinute) {
  Spooler(SERVICE_RUNNING, 1000, sim::kNever);
  EXPECT_FALSE(StopSpooler());
  EXPECT_EQ(Sleeps(), Repeat(120, "500"));
  EXPECT_EQ(sim::CallCount("QueryServiceStatus"), 120u);
  EXPECT_EQ(Message(), "スプーラの停止ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
}

TEST_F(SpoolerServiceTest, StopFailures) {
  sim::FailAlways("OpenSCManagerW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(StopSpooler());
  EXPECT_EQ(Message(), "サービスマネージャがオープンできません．");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));

  sim::Reset();
  sim::FailAlways("OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(StopSpooler());
  EXPECT_EQ(Message(), "スプーラサービスのオープンができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

  sim::Reset();
  Spooler(SERVICE_START_PENDING, sim::kNever);  // accepts no control while on its way up
  EXPECT_FALSE(StopSpooler());
  EXPECT_EQ(Message(), "スプーラの停止ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  EXPECT_TRUE(Sleeps().empty());

  // A status query that fails during the wait ends it with success, and records nothing.
  sim::Reset();
  std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
  Spooler(SERVICE_RUNNING, 1000, 5000);
  sim::FailNth("QueryServiceStatus", 2, ERROR_INVALID_HANDLE);
  EXPECT_TRUE(StopSpooler());
  EXPECT_EQ(Sleeps(), Repeat(2, "500"));
  EXPECT_EQ(Message(), "");
}

TEST_F(SpoolerServiceTest, RestartOfARunningSpoolerStopsThenStarts) {
  EXPECT_TRUE(RestartSpooler());
  EXPECT_EQ(Sleeps(), (std::vector<std::string>{"500", "2000"}));
  EXPECT_EQ(sim::CallCount("ControlService"), 1u);
  EXPECT_EQ(sim::ServiceState(sim::kSpoolerService), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(SpoolerServiceTest, RestartOfAStoppedOrPendingSpoolerOnlyStarts) {
  Spooler(SERVICE_STOPPED);
  EXPECT_TRUE(RestartSpooler());
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
  EXPECT_EQ(Sleeps(), Repeat(1, "2000"));

  sim::Reset();
  Spooler(SERVICE_START_PENDING, 3000);
  EXPECT_TRUE(RestartSpooler());
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
  EXPECT_EQ(sim::Calls("StartServiceW")[0].lastError,
            static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_EQ(Sleeps(), Repeat(2, "2000"));
}

TEST_F(SpoolerServiceTest, RestartStopsAtAFailedStop) {
  sim::FailAlways("ControlService", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RestartSpooler());
  EXPECT_EQ(Message(), "スプーラの停止ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(sim::CallCount("StartServiceW"), 0u);
}

}  // namespace
