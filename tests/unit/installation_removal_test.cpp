// Driver removal on the simulated machine: exact-case matching, jobs before their printer, the
// registration before the stop, files deleted while the spooler is stopped with the retry pauses,
// and every failure with its message and the spooler's state afterwards.
#include "installation/steps.h"
#include "platform/sim/registry.h"
#include "spooler/queries.h"
#include "support/product.h"
#include "tests/unit/installation_fixture.h"

namespace {

class RemovalTest : public InstallationTest {
 protected:
  static std::u16string File(const char16_t* name) {
    return std::u16string(kDriverDir) + u"\\" + name;
  }
  // A driver of its own files, in the same folder.
  static sim::Driver OtherDriver(const std::u16string& name) {
    sim::Driver d = InstalledDriver(name);
    d.driverPath = File(u"other_drv.dll");
    d.configFile = File(u"other_ui.dll");
    d.dataFile = File(u"other.gpd");
    return d;
  }
  static sim::Driver FullDriver() {
    sim::Driver d = InstalledDriver();
    d.helpFile = File(u"ZQPrinter.hlp");
    d.dependentFiles = {File(u"zqdep1.dll"), File(u"zqdep2.dll")};
    return d;
  }
  static std::vector<std::string> Pauses(const std::string& ms) {
    std::vector<std::string> out;
    for (auto& s : Args("Sleep"))
      if (s == ms) out.push_back(s);
    return out;
  }
  static bool Has(const std::u16string& printer) { return sim::FindPrinter(printer) != nullptr; }
};

TEST_F(RemovalTest, RemovesPrintersJobsRegistrationAndFilesInOrder) {
  Install(FullDriver());
  sim::AddPrinter(PrinterOf(u"ZQ Printer2", u"ZqDriver2"));
  sim::AddJob(u"ZQ Printer2", u"report.pdf");
  sim::AddJob(u"ZQ Printer2", u"letter.doc");
  sim::AddJob(u"ZQ Printer2", u"photo.png");
  sim::AddPrinter(PrinterOf(u"Second", u"ZqDriver2", u"LPT1:"));
  // Another driver on the same port is left alone.
  sim::AddDriver(OtherDriver(u"Other Driver"));
  sim::AddPrinter(PrinterOf(u"Neighbour", u"Other Driver"));

  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_FALSE(Has(u"ZQ Printer2"));
  EXPECT_FALSE(Has(u"Second"));
  EXPECT_TRUE(Has(u"Neighbour"));
  ASSERT_EQ(sim::Drivers().size(), 1u);
  EXPECT_EQ(sim::Drivers()[0].name, u"Other Driver");
  for (const char16_t* f : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD",
                            u"ZQPrinter.hlp", u"zqdep1.dll", u"zqdep2.dll"})
    EXPECT_FALSE(sim::FileExists(File(f))) << sim::Utf8(f);
  EXPECT_TRUE(SpoolerRunning());

  // Both printers opened with every right (the print server's open by the start comes last).
  EXPECT_EQ(Args("OpenPrinterW", 1),
            (std::vector<std::string>{"0xf000c", "0xf000c", "no defaults"}));
  auto jobs = sim::Calls("SetJobW");
  ASSERT_EQ(jobs.size(), 3u);
  const char* documents[] = {"report.pdf", "letter.doc", "photo.png"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(jobs[i].args[1], std::to_string(i + 1));
    EXPECT_EQ(jobs[i].args[2], "1");
    EXPECT_EQ(jobs[i].args[3], documents[i]);
    EXPECT_EQ(jobs[i].args[4], "5");
  }
  EXPECT_EQ(sim::CallNames({"SetJobW", "DeletePrinter", "DeletePrinterDriverW", "ControlService",
                            "CreateFileW", "StartServiceW"}),
            (std::vector<std::string>{"SetJobW", "SetJobW", "SetJobW", "DeletePrinter",
                                      "DeletePrinter", "DeletePrinterDriverW", "ControlService",
                                      "CreateFileW", "CreateFileW", "CreateFileW", "CreateFileW",
                                      "CreateFileW", "CreateFileW", "StartServiceW"}));
  EXPECT_EQ(sim::Calls("DeletePrinterDriverW")[0].args,
            (std::vector<std::string>{"(null)", "Windows x64", "ZqDriver2"}));
  // Configuration, data, driver, help, then the dependent files; no pause when all went.
  EXPECT_EQ(Args("CreateFileW"),
            (std::vector<std::string>{
                sim::Utf8(File(u"ZQPrinter_ui2.dll")), sim::Utf8(File(u"ZQPrinter.PDD")),
                sim::Utf8(File(u"ZQPrinter_drv2.dll")), sim::Utf8(File(u"ZQPrinter.hlp")),
                sim::Utf8(File(u"zqdep1.dll")), sim::Utf8(File(u"zqdep2.dll"))}));
  EXPECT_TRUE(Pauses("250").empty());
  // The printer's settings key went with it.
  EXPECT_FALSE(sim::RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                      std::u16string(sim::kPrintersKey) + u"\\ZQ Printer2"));
}

TEST_F(RemovalTest, OnlyTheExactNameIsRemoved) {
  Install(InstalledDriver(u"zqdriver2"));
  sim::AddPrinter(PrinterOf(u"ZQ Printer2", u"zqdriver2"));
  DRIVER_INFO_3W* list = nullptr;
  DWORD position = 9;
  ASSERT_TRUE(FindDriver(&list, &position, DriverName, nullptr));
  EXPECT_NE(list, nullptr);  // the lookup ignores case
  LocalFree(list);

  EXPECT_TRUE(RemoveDriver()) << Message();
  EXPECT_EQ(sim::Drivers().size(), 1u);
  EXPECT_TRUE(Has(u"ZQ Printer2"));
  EXPECT_EQ(sim::CallCount("EnumPrintersW"), 0u);
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
  EXPECT_EQ(sim::CallCount("StartServiceW"), 0u);
}

TEST_F(RemovalTest, PrintersWithoutJobsToDelete) {
  // No printers at all; then one whose record shows no jobs; then one whose jobs ended between
  // the listing and the job query, which leaves nothing to delete.
  Install(InstalledDriver());
  ASSERT_TRUE(RemoveDriver()) << Message();

  sim::Reset();
  Install(InstalledDriver());
  sim::AddPrinter(PrinterOf(u"Idle", u"ZqDriver2"));
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_EQ(sim::CallCount("EnumJobsW"), 0u);
  EXPECT_FALSE(Has(u"Idle"));

  sim::Reset();
  Install(InstalledDriver());
  sim::AddPrinter(PrinterOf(u"Busy", u"ZqDriver2"));
  sim::AddJob(u"Busy", u"done.txt");
  sim::UpdatePrinter(u"Busy", [](sim::Printer& p) { p.jobsEndAfterListing = true; });
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_GE(sim::CallCount("EnumJobsW"), 1u);
  EXPECT_EQ(sim::CallCount("SetJobW"), 0u);
  EXPECT_FALSE(Has(u"Busy"));
}

TEST_F(RemovalTest, FailuresBeforeTheStopLeaveTheSpoolerUntouched) {
  struct Case {
    const char* what;
    void (*stage)();
    const char* message;
  } cases[] = {
      {"driver list", [] { sim::FailAlways("EnumPrinterDriversW", ERROR_ACCESS_DENIED); },
       "インストール済のプリンタドライバの確認ができません!"},
      {"printer list", [] { sim::FailAlways("EnumPrintersW", ERROR_ACCESS_DENIED); },
       "インストール済のプリンタ情報が取得できません!"},
      {"open", [] { sim::UpdatePrinter(u"P", [](sim::Printer& p) { p.refusesOpen = true; }); },
       "プリンタ 'P' のアンインストールができません!"},
      {"job list", [] { sim::FailAlways("EnumJobsW", ERROR_ACCESS_DENIED); },
       "プリンタ'P'のペンディング中の印刷ジョブが取得できません！"},
      {"second job", [] { sim::FailNth("SetJobW", 2, ERROR_ACCESS_DENIED); },
       "プリンタ 'P' のジョブ 'two.txt' が削除できません!"},
      {"printer delete", [] { sim::FailAlways("DeletePrinter", ERROR_ACCESS_DENIED); },
       "プリンタ 'P' のアンインストールができません!"},
      {"registration", [] { sim::FailAlways("DeletePrinterDriverW", ERROR_ACCESS_DENIED); },
       "ドライバ 'ZqDriver2' の削除ができません!"},
      // A connection goes from this machine only (DeletePrinter would delete its server's printer).
      {"connection",
       [] {
         sim::Printer connection = PrinterOf(u"\\\\srv\\Shared", u"ZqDriver2");
         connection.connection = true;
         sim::AddPrinter(connection);
         sim::FailAlways("DeletePrinterConnectionW", ERROR_ACCESS_DENIED);
       },
       "プリンタ '\\\\srv\\Shared' のアンインストールができません!"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    Install(InstalledDriver());
    sim::AddPrinter(PrinterOf(u"P", u"ZqDriver2"));
    sim::AddJob(u"P", u"one.txt");
    sim::AddJob(u"P", u"two.txt");
    c.stage();
    EXPECT_FALSE(RemoveDriver());
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::CallCount("ControlService"), 0u);
    EXPECT_EQ(sim::CallCount("StartServiceW"), 0u);
    EXPECT_EQ(sim::CallCount("CreateFileW"), 0u);
    EXPECT_EQ(sim::Drivers().size(), 1u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

TEST_F(RemovalTest, AJobWithoutADocumentNameIsNamedByItsIdInDecimal) {
  Install(InstalledDriver());
  sim::Printer printer = PrinterOf(u"P", u"ZqDriver2");
  sim::Job unnamed;  // no document name
  unnamed.id = 1234;
  printer.jobs = {unnamed};
  sim::AddPrinter(printer);
  sim::FailAlways("SetJobW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), "プリンタ 'P' のジョブ '1234' が削除できません!");
}

TEST_F(RemovalTest, APrinterOfTheDriverInAnotherLetterCaseKeepsTheDriverInUse) {
  Install(InstalledDriver());
  sim::AddPrinter(PrinterOf(u"Odd", u"ZQDRIVER2"));
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), "ドライバ 'ZqDriver2' の削除ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));
  EXPECT_TRUE(Has(u"Odd"));
}

TEST_F(RemovalTest, FileFieldsThatNameNoFileOrAMissingFileCountAsDeleted) {
  sim::Driver d = InstalledDriver();
  d.configFile = u"";  // names no file
  Install(d);
  DeleteFileW(File(u"ZQPrinter.PDD").c_str());  // already missing
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_TRUE(Pauses("250").empty());
  EXPECT_FALSE(sim::FileExists(File(u"ZQPrinter_drv2.dll")));
  auto deleted = Args("CreateFileW");
  ASSERT_FALSE(deleted.empty());
  for (auto& path : deleted) EXPECT_FALSE(path.empty());
}

TEST_F(RemovalTest, ALockedHelpFileFailsAllTenAttemptsThenTheSpoolerIsStartedAgain) {
  Install(FullDriver());
  sim::LockFile(File(u"ZQPrinter.hlp"));
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), "ドライバ 'ZqDriver2' のファイルの削除ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Pauses("250").size(), 10u);  // after every failed attempt, the tenth included
  EXPECT_EQ(sim::CallCount("CreateFileW"), 40u);
  EXPECT_FALSE(sim::FileExists(File(u"ZQPrinter_ui2.dll")));
  EXPECT_TRUE(sim::FileExists(File(u"ZQPrinter.hlp")));
  EXPECT_TRUE(sim::FileExists(File(u"zqdep1.dll")));  // never reached
  EXPECT_GT(Position("StartServiceW"), LastPosition("CreateFileW"));
  EXPECT_TRUE(SpoolerRunning());
}

TEST_F(RemovalTest, AFileLetGoAfterThreeAttemptsIsDeletedByTheFourth) {
  Install(FullDriver());
  sim::LockFile(File(u"ZQPrinter.hlp"), 3);
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_EQ(Pauses("250").size(), 3u);
  EXPECT_FALSE(sim::FileExists(File(u"ZQPrinter.hlp")));
  EXPECT_FALSE(sim::FileExists(File(u"zqdep2.dll")));
}

TEST_F(RemovalTest, DependentFiles) {
  // A list whose first text is empty deletes nothing; a dependent file that is one of the main
  // files was deleted already and counts as deleted.
  sim::Driver d = InstalledDriver();
  d.dependentFiles = {File(u"ZQPrinter_drv2.dll"), File(u"zqdep.dll")};
  Install(d);
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_FALSE(sim::FileExists(File(u"zqdep.dll")));

  sim::Reset();
  d.dependentFiles = {u"", File(u"zqdep.dll")};
  Install(d);
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_TRUE(sim::FileExists(File(u"zqdep.dll")));
  EXPECT_EQ(sim::CallCount("CreateFileW"), 3u);

  // A locked dependent file: no retry, no pause, the spooler started again.
  sim::Reset();
  d.dependentFiles = {File(u"zqdep.dll")};
  Install(d);
  sim::LockFile(File(u"zqdep.dll"));
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), " '" + sim::Utf8(File(u"zqdep.dll")) + "' のファイルの削除ができません!");
  EXPECT_TRUE(Pauses("250").empty());
  EXPECT_EQ(sim::CallCount("StartServiceW"), 1u);
  EXPECT_TRUE(SpoolerRunning());
}

TEST_F(RemovalTest, TheSpoolersStopAndStart) {
  // Not running at the stop (its status query fails): no stop, the files go, it is started.
  Install(InstalledDriver());
  sim::FailNth("QueryServiceStatus", 1, ERROR_ACCESS_DENIED);
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
  EXPECT_EQ(sim::CallCount("StartServiceW"), 1u);
  EXPECT_FALSE(sim::FileExists(File(u"ZQPrinter.PDD")));

  // A stop that fails: nothing is deleted and the spooler is left as the failed stop left it.
  sim::Reset();
  Install(InstalledDriver());
  sim::FailAlways("ControlService", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), "スプーラの停止ができません!");
  EXPECT_EQ(sim::CallCount("CreateFileW"), 0u);
  EXPECT_EQ(sim::CallCount("StartServiceW"), 0u);
  EXPECT_TRUE(sim::Drivers().empty());  // the registration went before the stop

  // A start that fails at the end.
  sim::Reset();
  Install(InstalledDriver());
  sim::FailAlways("StartServiceW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), "スプーラの開始ができません!");
  EXPECT_FALSE(SpoolerRunning());

  // After a file failure, a start that fails as well leaves its own message.
  sim::Reset();
  Install(InstalledDriver());
  sim::LockFile(File(u"ZQPrinter_ui2.dll"));
  sim::FailAlways("StartServiceW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDriver());
  EXPECT_EQ(Message(), "スプーラの開始ができません!");
  EXPECT_EQ(Pauses("250").size(), 10u);
}

// Only the driver's own files go: a file is deleted when, in its plain absolute form, it lies in
// the spooler's driver folder for the registration's environment and no other driver of any
// environment lists it. A file left for either reason is recorded and counts as done.
// A driver folder at a drive's root holds what lies below the root, not the root itself.
TEST_F(RemovalTest, ARootDriverFolderDoesNotHoldTheRootItself) {
  sim::SetDriverDirectory(u"Windows x64", u"C:\\");
  sim::Driver d = InstalledDriver();
  d.dependentFiles = {u"C:\\"};
  Install(d);
  ASSERT_TRUE(RemoveDriver()) << Message();
  bool recorded = false;
  for (auto& line : sim::DebugOutput())
    recorded = recorded || line.find(
                               "RemoveDriver - file 'C:\\' is left: it does not lie in the "
                               "driver folder ''") != std::string::npos;
  EXPECT_TRUE(recorded);
}

TEST_F(RemovalTest, OnlyFilesInTheDriverFolderThatNoOtherDriverListsAreDeleted) {
  const std::u16string x86Dir = u"C:\\Windows\\System32\\spool\\drivers\\w32x86";
  struct Case {
    const char* what;
    std::u16string listed;  // the dependent file as the registration lists it
    std::u16string staged;  // where that file lies
    bool deleted;
    const char* reason;  // the record's reason for a file left
    int otherDriver;     // 0: none; 1: a driver of this environment lists the file too;
                         // 2: a driver of the x86 environment does
    const char16_t* otherSpelling = nullptr;  // how that driver lists it (none: as `listed`)
    char position = 'o';     // in its driver, data, config or help file, its only, first, middle
                             // or last dependent file ('d', 'a', 'c', 'h', 'o', 'f', 'm', 'l')
    bool registered = true;  // false: our files are there with no registration left
    const char16_t* junctionTo = nullptr; bool inVersionFolder = false;  // "link" leads to; x64\3
    };
  std::vector<Case> cases = {
      {"in the version folder", File(u"3\\zqdep.dll"), File(u"3\\zqdep.dll"), true, nullptr, 0,
       nullptr, 'o', true, nullptr, true},
      {"beside the version folder", File(u"zqdep.dll"), File(u"zqdep.dll"), false,
       "does not lie in the driver folder", 0, nullptr, 'o', true, nullptr, true},
      {"through a junction in the folder", File(u"link\\zqdep.dll"),
       u"C:\\Users\\Tester\\Documents\\zqdep.dll", false, "outside the driver folder", 0, nullptr,
       'o', true, u"C:\\Users\\Tester\\Documents"},
      {"own dependent file", File(u"zqdep.dll"), File(u"zqdep.dll"), true, nullptr, 0},
      {"in a sub-folder", File(u"3\\zqdep.dll"), File(u"3\\zqdep.dll"), true, nullptr, 0},
      {"'..' that stays inside", File(u"3\\..\\zqdep.dll"), File(u"zqdep.dll"), true, nullptr, 0},
      {"forward slashes", u"C:/Windows/System32/spool/drivers/x64/zqdep.dll", File(u"zqdep.dll"),
       true, nullptr, 0},
      {"another letter case", u"c:\\WINDOWS\\system32\\SPOOL\\Drivers\\X64\\zqdep.dll",
       File(u"zqdep.dll"), true, nullptr, 0},
      {"shared with another driver", File(u"zqdep.dll"), File(u"zqdep.dll"), false,
       "driver 'Shared Driver' (Windows x64) lists it too", 1},
      {"shared with a driver of another environment", File(u"zqdep.dll"), File(u"zqdep.dll"), false,
       "driver 'Shared Driver' (Windows NT x86) lists it too", 2},
      {"'..' out of the folder", File(u"..\\..\\..\\zqdep.dll"),
       u"C:\\Windows\\System32\\zqdep.dll", false, "does not lie in the driver folder", 0},
      {"outside the folder", u"C:\\Users\\Tester\\Documents\\zqdep.dll",
       u"C:\\Users\\Tester\\Documents\\zqdep.dll", false, "does not lie in the driver folder", 0},
      {"a folder whose name begins alike",
       u"C:\\Windows\\System32\\spool\\drivers\\x64old\\zqdep.dll",
       u"C:\\Windows\\System32\\spool\\drivers\\x64old\\zqdep.dll", false,
       "does not lie in the driver folder", 0},
      {"another environment's folder", x86Dir + u"\\zqdep.dll", x86Dir + u"\\zqdep.dll", false,
       "does not lie in the driver folder", 0},
      {"a relative name", u"zqdep.dll", u"C:\\Installer\\zqdep.dll", false,
       "does not lie in the driver folder", 0},
      {"a relative path", u"x64\\zqdep.dll", u"C:\\Installer\\x64\\zqdep.dll", false,
       "does not lie in the driver folder", 0},
      {"a path relative to the drive", u"\\Windows\\System32\\spool\\drivers\\x64\\zqdep.dll",
       File(u"zqdep.dll"), false, "does not lie in the driver folder", 0},
      {"a name Windows would trim", File(u"zqdep.dll."), File(u"zqdep.dll"), false,
       "does not lie in the driver folder", 0},
      {"a device path", u"\\\\?\\" + File(u"zqdep.dll"), File(u"zqdep.dll"), false,
       "does not lie in the driver folder", 0},
      {"a stream of the folder", std::u16string(kDriverDir) + u":zqdep.dll", File(u"zqdep.dll"),
       false, "does not lie in the driver folder", 0},
      {"the folder itself", std::u16string(kDriverDir) + u"\\", File(u"zqdep.dll"), false,
       "does not lie in the driver folder", 0},
      // Another driver's listing is judged in its plain form too, wherever it stands.
      {"left without a registration, listed by another driver in another spelling",
       File(u"ZQPrinter_ui2.dll"), File(u"ZQPrinter_ui2.dll"), false, "lists it", 1,
       u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\.\\zqprinter_UI2.dll", 'c', false},
  };
  for (char position : std::string("dachfml"))
    cases.push_back({"another spelling", File(u"zqdep.dll"), File(u"zqdep.dll"), false,
                     "lists it too", 1, u"c:/windows/SYSTEM32/spool/drivers/x64/3/../zqdep.dll",
                     position});
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " " + c.position);
    sim::Reset();
    sim::Driver d = InstalledDriver();
    d.dependentFiles = {c.listed};
    if (c.inVersionFolder)
      for (auto* file : {&d.driverPath, &d.configFile, &d.dataFile})
        file->insert(std::char_traits<char16_t>::length(kDriverDir) + 1, u"3\\");
    if (c.junctionTo) sim::MakeJunction(File(u"link"), c.junctionTo);
    if (c.registered) Install(d);
    for (auto* file : {&d.driverPath, &d.configFile, &d.dataFile})
      if (!c.registered) sim::PutFile(*file, "left");
    sim::PutFile(c.staged, "dependent");
    if (c.otherDriver) {
      sim::Driver shared = OtherDriver(u"Shared Driver");
      if (c.otherDriver == 2) {
        shared.environment = sim::kEnvironmentX86;
        shared.driverPath = x86Dir + u"\\shared_drv.dll";
        shared.configFile = x86Dir + u"\\shared_ui.dll";
        shared.dataFile = x86Dir + u"\\shared.gpd";
      }
      std::u16string as = c.otherSpelling ? c.otherSpelling : c.listed;
      std::u16string a = File(u"a.dll"), b = File(u"b.dll");
      std::u16string* fields[] = {&shared.driverPath, &shared.dataFile, &shared.configFile,
                                  &shared.helpFile};
      size_t field = std::string("dach").find(c.position),
             dependent = std::string("fml").find(c.position);
      shared.dependentFiles =
          c.position == 'o' ? std::vector<std::u16string>{as} : std::vector<std::u16string>{a, b};
      if (field != std::string::npos) *fields[field] = as;
      if (dependent != std::string::npos)
        shared.dependentFiles.insert(shared.dependentFiles.begin() + dependent, as);
      sim::AddDriver(shared);
      sim::AddPrinter(PrinterOf(u"Shared Printer", u"Shared Driver", u"LPT1:"));
    }
    ASSERT_TRUE(RemoveDriver()) << Message();
    EXPECT_EQ(sim::FileExists(c.staged), !c.deleted);
    EXPECT_FALSE(sim::FileExists(File(u"ZQPrinter_drv2.dll")));  // its own files went
    EXPECT_TRUE(SpoolerRunning());
    bool recorded = false;
    for (auto& line : sim::DebugOutput())
      if (line.find(std::string(c.registered ? "RemoveDriver - file '"
                                             : "RemoveDriver - the unregistered file '") +
                    sim::Utf8(c.listed) + "' is left: ") != std::string::npos &&
          c.reason && line.find(c.reason) != std::string::npos)
        recorded = true;
    EXPECT_EQ(recorded, !c.deleted);
    if (c.otherDriver) {
      ASSERT_EQ(sim::Drivers().size(), 1u);
      EXPECT_EQ(sim::Drivers()[0].name, u"Shared Driver");
      EXPECT_TRUE(Has(u"Shared Printer"));
    }
    // The folder asked for is the registration's environment's.
    if (c.registered)
      EXPECT_EQ(Args("GetPrinterDriverDirectoryW", 1),
                (std::vector<std::string>{"Windows x64", "Windows x64"}));  // size, then text
    EXPECT_EQ(sim::OpenHandles(), 0u);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

// A main file another driver lists too stays; the others go, with no retry spent on it.
TEST_F(RemovalTest, AMainFileAnotherDriverListsStays) {
  Install(FullDriver());
  sim::Driver shared = OtherDriver(u"Shared Driver");
  shared.configFile = File(u"ZQPrinter_ui2.dll");
  sim::AddDriver(shared);
  ASSERT_TRUE(RemoveDriver()) << Message();
  EXPECT_TRUE(sim::FileExists(File(u"ZQPrinter_ui2.dll")));
  EXPECT_FALSE(sim::FileExists(File(u"ZQPrinter_drv2.dll")));
  EXPECT_FALSE(sim::FileExists(File(u"zqdep2.dll")));
  EXPECT_TRUE(Pauses("250").empty());
  EXPECT_EQ(Args("EnumPrinterDriversW", 1).back(), "all");
}

// The folder and the other drivers are gathered before anything changes: when they cannot be
// had, nothing is removed and the spooler is not touched.
TEST_F(RemovalTest, NothingChangesWhenTheFilesCannotBeJudged) {
  struct Case {
    const char* what;
    void (*stage)();
    const char* message;
  } cases[] = {
      {"driver folder", [] { sim::FailAlways("GetPrinterDriverDirectoryW", ERROR_ACCESS_DENIED); },
       "ドライバの存在するフォルダが見つかりません!"},
      {"every driver", [] { sim::FailNth("EnumPrinterDriversW", 3, ERROR_ACCESS_DENIED); },
       "インストール済のプリンタドライバの確認ができません!"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    Install(InstalledDriver());
    sim::AddPrinter(PrinterOf(u"P", u"ZqDriver2"));
    c.stage();
    EXPECT_FALSE(RemoveDriver());
    EXPECT_EQ(Message(), c.message);
    EXPECT_TRUE(Has(u"P"));
    EXPECT_EQ(sim::Drivers().size(), 1u);
    EXPECT_EQ(sim::CallCount("ControlService"), 0u);
    EXPECT_EQ(sim::CallCount("CreateFileW"), 0u);
  }
}

}  // namespace
