// The simulated spooler's write side refuses what Windows refuses, with Windows' error codes; the
// installation tests rely on these answers.
#include "platform/sim/port_dialog.h"
#include "platform/sim/registry.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "platform/sim/user.h"
#include "tests/unit/installation_fixture.h"

namespace {

class SimSpoolerWriteTest : public InstallationTest {
 protected:
  static HANDLE Add(const char16_t* name, const char16_t* port = u"LPT1:",
                    const char16_t* driver = u"ZqDriver2") {
    PRINTER_INFO_2W info{};
    std::u16string n = name, p = port, d = driver;
    std::u16string processor = u"WinPrint";
    info.pPrinterName = n.data();
    info.pPortName = p.data();
    info.pDriverName = d.data();
    info.pPrintProcessor = processor.data();
    return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  }
};

TEST_F(SimSpoolerWriteTest, DriversNeedTheirFilesAndCannotGoWhileInUse) {
  sim::Driver d = InstalledDriver();
  DRIVER_INFO_3W info{};
  std::u16string name = d.name, path = d.driverPath, data = d.dataFile, config = d.configFile;
  info.cVersion = 4;
  info.pName = name.data();
  info.pDriverPath = path.data();
  info.pDataFile = data.data();
  info.pConfigFile = config.data();
  EXPECT_FALSE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  for (auto* f : {&path, &data, &config}) sim::PutFile(*f, "x");
  ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(sim::Drivers()[0].environment, u"Windows x64");  // none: the machine's own

  HANDLE printer = Add(u"P");
  ASSERT_NE(printer, nullptr);
  EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, name.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
  ASSERT_TRUE(DeletePrinter(printer));
  ASSERT_TRUE(ClosePrinter(printer));
  ASSERT_TRUE(DeletePrinterDriverW(nullptr, nullptr, name.data()));
  EXPECT_TRUE(sim::FileExists(path));  // the files stay
  EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, name.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(SimSpoolerWriteTest, PrintersAreRefusedForTakenNamesUnknownPortsAndDrivers) {
  Install(InstalledDriver());
  HANDLE printer = Add(u"P");
  ASSERT_NE(printer, nullptr);
  EXPECT_TRUE(
      sim::RegistryKeyExists(HKEY_LOCAL_MACHINE, std::u16string(sim::kPrintersKey) + u"\\P"));
  const sim::Printer* p = sim::FindPrinter(u"P");
  ASSERT_NE(p, nullptr);
  ASSERT_GE(p->devMode.size(), sizeof(DEVMODEW));
  EXPECT_EQ(reinterpret_cast<const DEVMODEW*>(p->devMode.data())->dmDriverVersion, 0x0500);
  ClosePrinter(printer);

  struct Case {
    const char16_t *name, *port, *driver;
    DWORD error;
  } cases[] = {{u"p", u"LPT1:", u"ZqDriver2", ERROR_PRINTER_ALREADY_EXISTS},
               {u"Q", u"NOPORT:", u"ZqDriver2", ERROR_UNKNOWN_PORT},
               {u"Q", u"LPT1:", u"Nobody", ERROR_UNKNOWN_PRINTER_DRIVER},
               {u"A\\B", u"LPT1:", u"ZqDriver2", ERROR_INVALID_PRINTER_NAME}};
  for (auto& c : cases) {
    EXPECT_EQ(Add(c.name, c.port, c.driver), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
  EXPECT_EQ(Add(u"Q"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(SimSpoolerWriteTest, PrinterDataFollowsTheTwoCallProtocol) {
  Install(InstalledDriver());
  HANDLE printer = Add(u"P");
  std::u16string name = u"DefaultSpoolDirectory";
  DWORD type = 0, needed = 0;
  // A printer's data is its driver's: the spool folder is a value of the print server.
  EXPECT_EQ(GetPrinterDataW(printer, name.data(), &type, nullptr, 0, &needed),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_EQ(GetPrinterDataW(server, name.data(), &type, nullptr, 0, &needed),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, sim::TextValue(sim::kDefaultSpoolDirectory).bytes.size());
  std::vector<BYTE> block(needed);
  EXPECT_EQ(GetPrinterDataW(server, name.data(), &type, block.data(), needed, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(U8(reinterpret_cast<const char16_t*>(block.data())),
            "C:\\Windows\\System32\\spool\\PRINTERS");
  std::u16string missing = u"Nothing";
  EXPECT_EQ(GetPrinterDataW(printer, missing.data(), &type, nullptr, 0, &needed),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A driver that stores one gives the printer a value of its own.
  sim::SetNewPrinterSpoolDirectory(sim::TextValue(u"C:\\Spool"));
  HANDLE other = Add(u"Q");
  EXPECT_EQ(GetPrinterDataW(other, name.data(), &type, nullptr, 0, &needed),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 18u);  // 8 characters and the terminator
  ClosePrinter(other);
  ClosePrinter(server);
  ClosePrinter(printer);
}

TEST_F(SimSpoolerWriteTest, JobsAreDeletedByIdAndDeletionNeedsTheRight) {
  Install(InstalledDriver());
  sim::AddPrinter(PrinterOf(u"P", u"ZqDriver2"));
  DWORD id = sim::AddJob(u"P", u"doc");
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &printer, nullptr));
  EXPECT_FALSE(SetJobW(printer, id + 7, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetJobW(printer, id, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_TRUE(sim::FindPrinter(u"P")->jobs.empty());
  EXPECT_FALSE(DeletePrinter(printer));  // opened for use only
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ClosePrinter(printer);
}

TEST_F(SimSpoolerWriteTest, AddPortRunsTheMonitorsDialogOnTheCallingThread) {
  std::u16string monitor = u"Local Port", other = u"Standard TCP/IP Port";
  EXPECT_FALSE(AddPortW(nullptr, nullptr, other.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));

  sim::PortDialogScript script;
  script.person = sim::PortDialogScript::Person::kConfirms;
  script.typedName = u"NEW:";
  sim::SetPortDialogScript(script);
  ASSERT_TRUE(AddPortW(nullptr, nullptr, monitor.data()));
  EXPECT_EQ(sim::Ports().back().name, u"NEW:");
  EXPECT_EQ(sim::PortDialogs()[0].thread, GetCurrentThreadId());

  // An existing name: the monitor says so in a box and adds nothing.
  script.typedName = u"new:";
  sim::SetPortDialogScript(script);
  size_t ports = sim::Ports().size();
  EXPECT_FALSE(AddPortW(nullptr, nullptr, monitor.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(sim::Ports().size(), ports);
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(sim::MessageBoxes()[0].caption, u"Local Port");

  script.person = sim::PortDialogScript::Person::kCancels;
  sim::SetPortDialogScript(script);
  EXPECT_FALSE(AddPortW(nullptr, nullptr, monitor.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
}

}  // namespace
