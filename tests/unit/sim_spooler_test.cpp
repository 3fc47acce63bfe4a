// The simulated spooler and service manager behave as Windows does where the product relies on
// it: the two-call protocol, records pointing into the caller's block, access rights, and the
// service's state moving on the virtual clock.
#include <cstring>
#include <vector>

#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "tests/support/sim_test.h"

namespace {

class SimSpoolerTest : public SimTest {
 protected:
  static sim::Driver ZqDriver(const std::u16string& environment = sim::kEnvironmentX64) {
    sim::Driver d;
    d.name = u"ZqDriver2";
    d.environment = environment;
    d.driverPath = u"C:\\drv\\a.dll";
    d.dataFile = u"C:\\drv\\a.pdd";
    d.configFile = u"C:\\drv\\a_ui.dll";
    d.dependentFiles = {u"C:\\drv\\dep1.dll", u"C:\\drv\\dep2.dll"};
    return d;
  }
  static bool Inside(const void* p, const std::vector<BYTE>& block) {
    auto* b = static_cast<const BYTE*>(p);
    return b >= block.data() && b < block.data() + block.size();
  }
};

TEST_F(SimSpoolerTest, EnumPrinterDriversFollowsTheTwoCallProtocol) {
  sim::AddDriver(ZqDriver());
  sim::AddDriver(ZqDriver(sim::kEnvironmentX86));
  DWORD needed = 0, returned = 99;
  SetLastError(0);
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  ASSERT_GT(needed, sizeof(DRIVER_INFO_3W));

  std::vector<BYTE> block(needed);
  DWORD shortNeeded = 0;
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 3, block.data(), needed - 1, &shortNeeded,
                                   &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(shortNeeded, needed);

  ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 3, block.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 1u);  // only the machine's own environment
  auto* info = reinterpret_cast<DRIVER_INFO_3W*>(block.data());
  EXPECT_EQ(U8(info->pName), "ZqDriver2");
  EXPECT_EQ(U8(info->pEnvironment), "Windows x64");
  EXPECT_EQ(info->pHelpFile, nullptr);
  EXPECT_TRUE(Inside(info->pName, block));
  EXPECT_TRUE(Inside(info->pDependentFiles, block));
  const WCHAR* dep = info->pDependentFiles;
  EXPECT_EQ(U8(dep), "C:\\drv\\dep1.dll");
  dep += lstrlenW(dep) + 1;
  EXPECT_EQ(U8(dep), "C:\\drv\\dep2.dll");
  dep += lstrlenW(dep) + 1;
  EXPECT_EQ(*dep, 0);  // the list ends with an empty string

  block.assign(1024, 0);  // the x86 record's strings are longer
  EXPECT_TRUE(EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(u"windows nt x86"), 3, block.data(),
                                  1024, &needed, &returned));
  EXPECT_EQ(returned, 1u);
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(u"Windows IA64"), 3, nullptr, 0,
                                   &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_F(SimSpoolerTest, NothingToReturnIsASuccessfulSizeQuery) {
  DWORD needed = 7, returned = 7;
  EXPECT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
}

TEST_F(SimSpoolerTest, PrintersCarryTheirDevModeAndPortsTheirMonitor) {
  sim::Printer p;
  p.name = u"ZQ Printer2";
  p.port = u"LPT1:";
  p.driver = u"ZqDriver2";
  p.devMode = sim::MakeDevMode(u"ZQ Printer2", 0x0500, 16);
  sim::AddPrinter(p);
  sim::Printer remote = p;
  remote.name = u"\\\\server\\shared";
  remote.connection = true;
  sim::AddPrinter(remote);

  DWORD needed = 0, returned = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> block(needed);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, block.data(), needed, &needed,
                            &returned));
  ASSERT_EQ(returned, 1u);
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
  ASSERT_TRUE(Inside(info->pDevMode, block));
  EXPECT_EQ(info->pDevMode->dmDriverVersion, 0x0500);
  EXPECT_EQ(info->pDevMode->dmDriverExtra, 16);
  ASSERT_LE(reinterpret_cast<BYTE*>(info->pDevMode) + sizeof(DEVMODEW) + 16,
            block.data() + block.size());
  EXPECT_EQ(reinterpret_cast<BYTE*>(info->pDevMode)[sizeof(DEVMODEW) + 15], 0xAF);

  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed,
                &returned);
  block.assign(needed, 0);
  ASSERT_TRUE(EnumPrintersW(6, nullptr, 2, block.data(), needed, &needed, &returned));
  EXPECT_EQ(returned, 2u);

  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned);
  block.assign(needed, 0);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, block.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 8u);
  auto* port = reinterpret_cast<PORT_INFO_2W*>(block.data());
  EXPECT_EQ(U8(port[0].pPortName), "LPT1:");
  EXPECT_EQ(U8(port[7].pPortName), "FILE:");
  EXPECT_EQ(U8(port[7].pMonitorName), "Local Port");
}

TEST_F(SimSpoolerTest, OpenPrinterAndGetPrinter) {
  sim::Printer p;
  p.name = u"ZQ Printer2";
  p.port = u"ZQVirtualPrinterPort";
  sim::AddPrinter(p);
  sim::Printer locked = p;
  locked.name = u"Locked";
  locked.refusesOpen = true;
  sim::AddPrinter(locked);

  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Nope"), &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"locked"), &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"zq printer2"), &h, nullptr));
  EXPECT_EQ(sim::OpenHandles("printer"), 1u);
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> block(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, block.data(), needed, &needed));
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
  EXPECT_EQ(U8(info->pPrinterName), "ZQ Printer2");
  EXPECT_EQ(U8(info->pPortName), "ZQVirtualPrinterPort");
  EXPECT_EQ(info->pDevMode, nullptr);
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SimSpoolerTest, AStoppedSpoolerAnswersNothingAndARestartKillsOldHandles) {
  sim::Printer p;
  p.name = u"P";
  sim::AddPrinter(p);
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &h, nullptr));
  sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  HANDLE server = nullptr;
  EXPECT_FALSE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  sim::SetServiceState(sim::kSpoolerService, SERVICE_RUNNING);
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(ClosePrinter(h));
}

TEST_F(SimSpoolerTest, JobsListAndEndAfterThePrinterListing) {
  sim::Printer p;
  p.name = u"P";
  p.jobsEndAfterListing = true;
  sim::AddPrinter(p);
  DWORD first = sim::AddJob(u"p", u"doc1");
  sim::AddJob(u"P", u"doc2");
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &h, nullptr));
  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(EnumJobsW(h, 0, 1, 1, nullptr, 0, &needed, &returned));
  std::vector<BYTE> block(needed);
  ASSERT_TRUE(EnumJobsW(h, 0, 1, 1, block.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 1u);
  EXPECT_EQ(reinterpret_cast<JOB_INFO_1W*>(block.data())->JobId, first);
  EXPECT_EQ(U8(reinterpret_cast<JOB_INFO_1W*>(block.data())->pDocument), "doc1");

  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
  block.assign(needed, 0);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, block.data(), needed, &needed,
                            &returned));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_2W*>(block.data())->cJobs, 2u);
  EXPECT_TRUE(EnumJobsW(h, 0, 10, 1, nullptr, 0, &needed, &returned));  // they have finished
  EXPECT_EQ(needed, 0u);
  ClosePrinter(h);
}

TEST_F(SimSpoolerTest, DriverDirectoryPerEnvironment) {
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> block(needed);
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, block.data(), needed, &needed));
  EXPECT_EQ(U8(reinterpret_cast<WCHAR*>(block.data())), "C:\\Windows\\System32\\spool\\drivers\\x64");
  EXPECT_EQ(sim::DriverDirectory(sim::kEnvironmentX86),
            u"C:\\Windows\\System32\\spool\\drivers\\w32x86");
}

// ----- the service manager -----
class SimServiceTest : public SimTest {};

TEST_F(SimServiceTest, RightsAreCheckedAgainstWhatWasAsked) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_READ);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE query = OpenServiceW(manager, u"spooler", SERVICE_QUERY_STATUS);
  ASSERT_NE(query, nullptr);
  SERVICE_STATUS status{};
  EXPECT_FALSE(StartServiceW(query, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(ControlService(query, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(QueryServiceStatus(query, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(OpenServiceW(manager, u"Nope", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(sim::OpenHandles("service"), 2u);
  EXPECT_TRUE(CloseServiceHandle(query));
  EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST_F(SimServiceTest, StartAndStopTakeTheirTimeOnTheVirtualClock) {
  sim::SetServiceTimes(sim::kSpoolerService, 3000, sim::kNever);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE);
  SC_HANDLE service = OpenServiceW(manager, u"Spooler", SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  sim::AdvanceClock(600000);
  EXPECT_EQ(sim::ServiceState(u"Spooler"), static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));

  sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  sim::AdvanceClock(2999);
  EXPECT_EQ(sim::ServiceState(u"Spooler"), static_cast<DWORD>(SERVICE_START_PENDING));
  EXPECT_FALSE(sim::SpoolerRunning());
  sim::AdvanceClock(1);
  EXPECT_TRUE(sim::SpoolerRunning());
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

}  // namespace
