// RunMode: each mode runs its own operation, and Reinstall installs only after a successful
// removal.
#include <iterator>

#include "installation/operations.h"
#include "tests/unit/installation_fixture.h"

namespace {

class RunModeTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
  }
  static OperationRequest Request() {
    return OperationRequest{nullptr, u"C:\\zqdriver", u"ZQ Printer2", X64};
  }
};

TEST_F(RunModeTest, EachModeRunsItsOwnOperation) {
  struct Case {
    InstallerMode mode;
    bool driverBefore;
    bool result;
    size_t removals, registrations;  // DeletePrinterDriverW, AddPrinterDriverW
  } cases[] = {
      {::Install, false, true, 0, 1}, {Check, true, true, 0, 0},     {Check, false, false, 0, 0},
      {Uninstall, true, true, 1, 0},  {Reinstall, true, true, 1, 1}, {Reinstall, false, true, 0, 1},
      {Add, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " driver " << c.driverBefore);
    sim::Reset();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
    if (c.driverBefore) Install(InstalledDriver());
    EXPECT_EQ(RunMode(c.mode, Request()), c.result) << Message();
    EXPECT_EQ(sim::CallCount("DeletePrinterDriverW"), c.removals);
    EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), c.registrations);
  }
}

TEST_F(RunModeTest, ReinstallWhoseRemovalFailsInstallsNothing) {
  Install(InstalledDriver());
  sim::FailAlways("DeletePrinterDriverW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RunMode(Reinstall, Request()));
  EXPECT_EQ(sim::CallCount("CopyFileW"), 0u);
  EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
}

}  // namespace

namespace {

// The one table from an ending to the exit code: 0 and -1 for a person, the Windows Installer's
// numbers for quiet runs.
TEST(RunOutcomeTest, EachEndingGivesItsExitCode) {
  struct Case {
    RunOutcome outcome;
    int quiet, interactive;
  } cases[] = {
      {Done, 0, 0},
      {StoppedOnRequest, 1602, -1},
      {StepFailed, 1603, -1},
      {NotInstalled, 1605, -1},
      {InstallerBusy, 1618, -1},
      {PolicyRefused, 1625, -1},
      {MachineRefused, 1633, -1},
      {CommandLineRejected, 1639, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outcome);
    EXPECT_EQ(ExitCodeOf(c.outcome, true), c.quiet);
    EXPECT_EQ(ExitCodeOf(c.outcome, false), c.interactive);
  }
  EXPECT_EQ(std::size(cases), static_cast<size_t>(RunOutcomeCount));
  // A value that is no ending counts as a failed step.
  EXPECT_EQ(ExitCodeOf(static_cast<RunOutcome>(42), true), 1603);
}

class RunModeOutcomeTest : public InstallationTest {};

TEST_F(RunModeOutcomeTest, RunModeSaysHowItEnded) {
  OperationRequest request{nullptr, u"C:\\zqdriver", u"ZQ Printer2", X64};
  struct Case {
    InstallerMode mode;
    bool driverBefore;
    bool sourcePresent;
    RunOutcome outcome;
  } cases[] = {
      {Check, true, true, Done},           {Check, false, true, NotInstalled},
      {Add, false, true, NotInstalled},    {::Install, false, false, StepFailed},
      {::Install, false, true, Done},      {Reinstall, true, false, StepFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " driver " << c.driverBefore);
    sim::Reset();
    if (c.sourcePresent) PutSourceFiles(u"C:\\zqdriver", u"x64");
    if (c.driverBefore) Install(InstalledDriver());
    RunOutcome outcome = RunOutcomeCount;
    EXPECT_EQ(RunMode(c.mode, request, &outcome), c.outcome == Done);
    EXPECT_EQ(outcome, c.outcome);
  }
}

}  // namespace
