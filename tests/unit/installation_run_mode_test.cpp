// RunMode: each mode runs its own operation, and Reinstall installs only after a successful
// removal.
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
