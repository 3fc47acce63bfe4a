// Spooler queries on the simulated machine: calls and arguments, results, and what every failure
// leaves behind (no block, the count untouched, the failing call's last-error code).
#include <cstring>
#include <functional>

#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "spooler/queries.h"
#include "support/handles.h"
#include "support/product.h"
#include "tests/support/sim_test.h"

namespace {

class SpoolerQueriesTest : public SimTest {
 protected:
  static void AddDriverNamed(const std::u16string& name, const std::u16string& path = u"C:\\d.dll") {
    sim::Driver d;
    d.name = name;
    d.driverPath = path;
    sim::AddDriver(d);
  }
  static void AddPrinterNamed(const std::u16string& name, std::vector<BYTE> devMode = {}) {
    sim::Printer p;
    p.name = name;
    p.port = PortName;
    p.driver = DriverName;
    p.devMode = std::move(devMode);
    sim::AddPrinter(p);
  }
};

TEST_F(SpoolerQueriesTest, EnumerationsMakeTheTwoCallsWithTheirArguments) {
  AddDriverNamed(u"A");
  AddDriverNamed(u"B");
  DWORD count = 0;
  LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDrivers(&count));
  ASSERT_TRUE(drivers);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(U8(drivers[1].pName), "B");
  EXPECT_EQ(sim::CallNames({"EnumPrinterDriversW", "LocalAlloc"}),
            (std::vector<std::string>{"EnumPrinterDriversW", "LocalAlloc", "EnumPrinterDriversW"}));
  auto calls = sim::Calls("EnumPrinterDriversW");
  EXPECT_EQ(calls[0].args[0], "(null)");
  EXPECT_EQ(calls[0].args[1], "(null)");
  EXPECT_EQ(calls[0].args[2], "3");
  EXPECT_EQ(calls[0].args[4], "0");

  AddPrinterNamed(u"P");
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  ASSERT_TRUE(printers);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(sim::Calls("EnumPrintersW")[0].args[0], "0x6");
  EXPECT_EQ(sim::Calls("EnumPrintersW")[0].args[2], "2");

  LocalBlock<PORT_INFO_1W> ports(EnumeratePorts(&count));
  ASSERT_TRUE(ports);
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(sim::Calls("EnumPortsW")[0].args[1], "1");
}

// Nothing to list is an empty list with a count of 0, for every enumeration alike; the driver
// folder and a printer's configuration are never empty, so there it stays no answer.
TEST_F(SpoolerQueriesTest, NothingToListIsAnEmptyList) {
  DWORD count = 5;
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  EXPECT_TRUE(printers);
  EXPECT_EQ(count, 0u);
  count = 5;
  LocalBlock<DRIVER_INFO_3W> drivers(EnumerateDrivers(&count));
  EXPECT_TRUE(drivers);
  EXPECT_EQ(count, 0u);

  DRIVER_INFO_3W* list = reinterpret_cast<DRIVER_INFO_3W*>(1);
  DWORD position = 77;
  EXPECT_TRUE(FindDriver(&list, &position, DriverName, nullptr));
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(position, 77u);

  AddPrinterNamed(u"P");
  PrinterHandle printer;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), printer.Put(), nullptr));
  count = 5;
  LocalBlock<JOB_INFO_1W> jobs(EnumerateJobs(printer.Get(), 10, &count));
  EXPECT_TRUE(jobs);
  EXPECT_EQ(count, 0u);
}

TEST_F(SpoolerQueriesTest, AMachineWithoutPortsHasNoSuchPort) {
  for (auto& port : sim::Ports()) sim::RemovePort(port.name);
  bool exists = true;
  EXPECT_TRUE(PortExists(&exists, PortName));
  EXPECT_FALSE(exists);
}

TEST_F(SpoolerQueriesTest, FailuresGiveNoneAndLeaveTheCountAndTheErrorCode) {
  AddDriverNamed(u"A");
  struct Case {
    const char* what;
    std::function<void()> stage;
    DWORD error;
  } cases[] = {
      {"size query refused", [] { sim::FailNth("EnumPrinterDriversW", 1, ERROR_ACCESS_DENIED); },
       ERROR_ACCESS_DENIED},
      {"no heap", [] { sim::FailAlways("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY); },
       ERROR_NOT_ENOUGH_MEMORY},
      {"fill refused", [] { sim::FailNth("EnumPrinterDriversW", 2, ERROR_INVALID_HANDLE); },
       ERROR_INVALID_HANDLE},
      {"spooler stopped",
       [] { sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED); },
       RPC_S_SERVER_UNAVAILABLE},
  };
  for (auto& c : cases) {
    sim::Reset();
    AddDriverNamed(u"A");
    c.stage();
    DWORD count = 42;
    SetLastError(0);
    EXPECT_EQ(EnumerateDrivers(&count), nullptr) << c.what;
    EXPECT_EQ(count, 42u) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << c.what;

    DRIVER_INFO_3W* list = nullptr;
    DWORD position = 9;
    sim::Reset();
    AddDriverNamed(u"A");
    c.stage();
    EXPECT_FALSE(FindDriver(&list, &position, u"A", nullptr)) << c.what;
    EXPECT_EQ(position, 9u);
  }
}

TEST_F(SpoolerQueriesTest, OtherEnumerationsFailTheSameWay) {
  sim::FailNth("EnumPortsW", 2, ERROR_INVALID_PARAMETER);
  DWORD count = 3;
  EXPECT_EQ(EnumeratePorts(&count), nullptr);
  EXPECT_EQ(count, 3u);
  bool exists = true;
  sim::FailNth("EnumPortsW", 1, ERROR_ACCESS_DENIED);  // the next size query
  EXPECT_FALSE(PortExists(&exists, u"LPT1:"));
  EXPECT_TRUE(exists);  // not written

  sim::FailNth("EnumPrintersW", 1, ERROR_ACCESS_DENIED);
  EXPECT_EQ(EnumeratePrinters(&count), nullptr);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(sim::CallCount("EnumPrintersW"), 1u);

  sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
  EXPECT_EQ(GetDriverDirectory(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(SpoolerQueriesTest, JobsOfAPrinter) {
  AddPrinterNamed(u"P");
  DWORD first = sim::AddJob(u"P", u"a");
  DWORD second = sim::AddJob(u"P", u"b");
  sim::AddJob(u"P", u"c");
  PrinterHandle printer;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), printer.Put(), nullptr));
  DWORD count = 0;
  LocalBlock<JOB_INFO_1W> jobs(EnumerateJobs(printer.Get(), 2, &count));
  ASSERT_TRUE(jobs);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(jobs[0].JobId, first);
  EXPECT_EQ(jobs[1].JobId, second);
  auto call = sim::Calls("EnumJobsW")[0];
  EXPECT_EQ(call.args[1], "0");  // from the first job
  EXPECT_EQ(call.args[2], "2");
  EXPECT_EQ(call.args[3], "1");
}

TEST_F(SpoolerQueriesTest, JobsThatEndedAfterThePrinterListingLeaveNothingToDelete) {
  AddPrinterNamed(u"P");
  sim::AddJob(u"P", u"a");
  sim::UpdatePrinter(u"P", [](sim::Printer& p) { p.jobsEndAfterListing = true; });
  DWORD count = 0;
  LocalBlock<PRINTER_INFO_2W> printers(EnumeratePrinters(&count));
  ASSERT_TRUE(printers);
  EXPECT_EQ(printers[0].cJobs, 1u);
  PrinterHandle printer;
  ASSERT_TRUE(OpenPrinterW(printers[0].pPrinterName, printer.Put(), nullptr));
  count = 9;
  LocalBlock<JOB_INFO_1W> jobs(EnumerateJobs(printer.Get(), printers[0].cJobs, &count));
  EXPECT_TRUE(jobs);
  EXPECT_EQ(count, 0u);
}

TEST_F(SpoolerQueriesTest, DriverDirectory) {
  LocalBlock<WCHAR> directory(GetDriverDirectory());
  ASSERT_TRUE(directory);
  EXPECT_EQ(U8(directory.Get()), "C:\\Windows\\System32\\spool\\drivers\\x64");
  auto call = sim::Calls("GetPrinterDriverDirectoryW")[0];
  EXPECT_EQ(call.args[0], "(null)");
  EXPECT_EQ(call.args[1], "(null)");
  EXPECT_EQ(call.args[2], "1");
}

TEST_F(SpoolerQueriesTest, PrinterInfoOpensQueriesAndClosesOnEveryPath) {
  AddPrinterNamed(u"ZQ Printer2");
  {
    LocalBlock<PRINTER_INFO_2W> info(GetPrinterInfo2(u"zq printer2"));
    ASSERT_TRUE(info);
    EXPECT_EQ(U8(info->pPortName), "ZQVirtualPrinterPort");
    EXPECT_EQ(U8(info->pDriverName), "ZqDriver2");
  }
  EXPECT_EQ(sim::CallNames({"OpenPrinterW", "GetPrinterW", "LocalAlloc", "ClosePrinter"}),
            (std::vector<std::string>{"OpenPrinterW", "GetPrinterW", "LocalAlloc", "GetPrinterW",
                                      "ClosePrinter"}));
  EXPECT_EQ(sim::Calls("OpenPrinterW")[0].args[1], "no defaults");
  EXPECT_EQ(sim::Calls("GetPrinterW")[0].args[1], "2");

  EXPECT_EQ(GetPrinterInfo2(u"Other"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

  sim::FailNth("GetPrinterW", 2, ERROR_NOT_ENOUGH_MEMORY);  // the next fill call
  EXPECT_EQ(GetPrinterInfo2(u"ZQ Printer2"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(sim::CallCount("ClosePrinter"), 2u);
}

TEST_F(SpoolerQueriesTest, DevModeCopyHoldsThePublicAndThePrivatePart) {
  AddPrinterNamed(u"P", sim::MakeDevMode(u"P", 0x0500, 40));
  AddPrinterNamed(u"NoDevMode");
  LocalBlock<DEVMODEW> copy(CopyPrinterDevMode(u"P"));
  ASSERT_TRUE(copy);
  std::vector<BYTE> expected = sim::MakeDevMode(u"P", 0x0500, 40);
  EXPECT_EQ(copy->dmDriverVersion, 0x0500);
  ASSERT_EQ(sim::Calls("LocalAlloc")[1].args[1], std::to_string(sizeof(DEVMODEW) + 40));
  EXPECT_EQ(std::memcmp(copy.Get(), expected.data(), expected.size()), 0);

  EXPECT_EQ(CopyPrinterDevMode(u"NoDevMode"), nullptr);
  EXPECT_EQ(CopyPrinterDevMode(u"Missing"), nullptr);
  sim::FailNth("LocalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY);  // counts from here: info, then copy
  EXPECT_EQ(CopyPrinterDevMode(u"P"), nullptr);
}

TEST_F(SpoolerQueriesTest, FindDriverMatchesWithoutCaseAndTakesTheFirst) {
  AddDriverNamed(u"Other");
  AddDriverNamed(u"ZQDRIVER2", u"C:\\first.dll");
  AddDriverNamed(u"ZqDriver2", u"C:\\second.dll");
  DRIVER_INFO_3W* list = nullptr;
  DWORD position = 0;
  ASSERT_TRUE(FindDriver(&list, &position, u"zqdriver2", nullptr));
  LocalBlock<DRIVER_INFO_3W> owned(list);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(position, 1u);
  EXPECT_EQ(U8(list[position].pDriverPath), "C:\\first.dll");
}

TEST_F(SpoolerQueriesTest, PrinterExistsNeverFails) {
  AddPrinterNamed(u"P");
  AddPrinterNamed(u"Closed");
  sim::UpdatePrinter(u"Closed", [](sim::Printer& p) { p.refusesOpen = true; });
  bool exists = true;
  EXPECT_TRUE(PrinterExists(&exists, nullptr));
  EXPECT_FALSE(exists);
  EXPECT_EQ(sim::CallCount("OpenPrinterW"), 0u);
  EXPECT_TRUE(PrinterExists(&exists, u"p"));
  EXPECT_TRUE(exists);
  EXPECT_TRUE(PrinterExists(&exists, u"Closed"));  // exists, but not for this user
  EXPECT_FALSE(exists);
  sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
  exists = true;
  EXPECT_TRUE(PrinterExists(&exists, u"P"));
  EXPECT_FALSE(exists);
}

// Only a printer's own name finds it: the empty name opens the print server and the names with a
// comma open the spooler's own objects, none of them a printer.
TEST_F(SpoolerQueriesTest, PrinterExistsFindsOnlyPrinters) {
  sim::AddPort(PortName);
  struct Case {
    const char16_t* name;
    bool exists;
  } cases[] = {
      {u"", false},
      {u",XcvMonitor Local Port", false},
      {u",XcvPort ZQVirtualPrinterPort", false},
      {u"P", true},
  };
  AddPrinterNamed(u"P");
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.name));
    bool exists = !c.exists;
    EXPECT_TRUE(PrinterExists(&exists, c.name));
    EXPECT_EQ(exists, c.exists);
  }
  EXPECT_EQ(sim::OpenHandles(), 0u);
}

TEST_F(SpoolerQueriesTest, PortExistsMatchesWithoutCase) {
  sim::AddPort(PortName);
  bool exists = false;
  EXPECT_TRUE(PortExists(&exists, u"zqvirtualprinterport"));
  EXPECT_TRUE(exists);
  EXPECT_TRUE(PortExists(&exists, u"LPT9:"));
  EXPECT_FALSE(exists);
}

}  // namespace
