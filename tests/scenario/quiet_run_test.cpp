// Runs nobody watches, from a real command line to the exit code: /quiet and an invisible window
// station show no window and record every text instead; /log chooses the records' file; the
// console of whoever started the run gets the texts; the port is added without the monitor's
// dialog, or with it bounded in time; one installer at a time holds the machine-wide lock.
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "installation/installer_lock.h"
#include "installation/operations.h"
#include "installation/steps.h"
#include "platform/sim/mutexes.h"
#include "platform/sim/namespaces.h"
#include "platform/sim/port_dialog.h"
#include "platform/sim/registry.h"
#include "platform/sim/session.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "platform/sim/user.h"
#include "shell/installer_main.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "tests/unit/installation_fixture.h"

namespace {

constexpr char kReplaceQuestion[] =
    "ドライバ 'ZqDriver2' 既にインストールされています.\\n既存のドライバを使用する場合には、";
constexpr char kWaiting[] = "Status: 他のインストーラの終了を待っています．";
constexpr char kBusy[] = "他のインストーラが実行中です!";

// The lock as another installer (an administrator's) holds it: the mutex "ZqDriver2\Installer"
// in the private namespace whose boundary "ZqDriver2.Installer" holds the Administrators SID.
std::u16string LockInNamespace() {
  return sim::PrivateObjectName(u"ZqDriver2.Installer", {"S-1-5-32-544"}, u"Installer");
}

class QuietRunTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
    PutSourceFiles(u"C:\\zqdriver", u"x86");
  }
  void TearDown() override {
    // The run's settings are process-wide: the next test starts interactive, with LOGFILE.
    SetQuietRun(false);
    SetLogFilePath(nullptr);
    InstallationTest::TearDown();
  }

  static int Run(const std::u16string& arguments) {
    sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + arguments);
    return RunInstallerMain(GetModuleHandleW(nullptr), nullptr);
  }

  static void StageInstalled(const std::u16string& printer = u"ZQ Printer2") {
    Install(InstalledDriver());
    sim::AddPort(u"ZQVirtualPrinterPort");
    sim::AddPrinter(PrinterOf(printer, u"ZqDriver2"));
  }

  // The records of the run (debugger output lines of the log), prefix and line end cut off.
  static std::vector<std::string> Records() {
    std::vector<std::string> out;
    for (auto& line : sim::DebugOutput()) {
      size_t start = line.find("] ");
      if (line.rfind("ZQPrinter2 [", 0) != 0 || start == std::string::npos) continue;
      std::string record = line.substr(start + 2);
      while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
      out.push_back(record);
    }
    return out;
  }
  static bool Recorded(const std::string& text) {
    for (auto& r : Records())
      if (r.find(text) != std::string::npos) return true;
    return false;
  }
  static std::string AllRecords() {
    std::string out;
    for (auto& r : Records()) out += r + "\n";
    return out;
  }
  static bool HasPrinter(const char16_t* name) { return sim::FindPrinter(name) != nullptr; }
  static bool HasPort() {
    for (auto& p : sim::Ports())
      if (p.name == u"ZQVirtualPrinterPort") return true;
    return false;
  }
  // Nothing was shown: no box, no window of any kind was ever made.
  static void ExpectNothingShown() {
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(sim::CallCount("CreateWindowExW"), 0u);
    EXPECT_EQ(sim::CallCount("DialogBoxParamW"), 0u);
    EXPECT_EQ(sim::CallCount("AddPortW"), 0u);
    EXPECT_TRUE(sim::Windows().empty());
  }
};

// ----- every mode, quietly -----

struct ModeCase {
  const char* name;
  bool installed;
  const char16_t* arguments;
  int exitCode;
  std::vector<std::string> records;  // in this order among the run's records
  bool printerAfter;
};

TEST_F(QuietRunTest, EveryModeRunsWithoutAWindowAndRecordsWhatAPersonWouldHaveSeen) {
  const ModeCase cases[] = {
      {"install on a clean machine", false, u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64", 0,
       {"Status: プリンタドライバがインスール可能か確認しています．",
        "Status: インストール Brimcastelleプリンタドライバ．\\n\\n  プリンタ名：'ZQ Printer2'.",
        "Run: exit code 0"},
       true},
      {"install over the driver: the question takes No", true,
       u"/q install C:\\zqdriver \"ZQ Second\" x64", 0,
       {std::string("Question (answer taken: No): ") + kReplaceQuestion, "Run: exit code 0"}, true},
      {"install of a name in use", true, u"-QUIET install C:\\zqdriver \"ZQ Printer2\" x64", 1603,
       {"Error: 既にプリンタ名が使用されています!", "Run: exit code 1603 (a step failed)"}, true},
      {"check, installed", true, u"/quiet check . \"ZQ Printer2\" x64", 0,
       {"Status: Brimcastelleプリンタドライバをチェックしています.",
        "Information: ドライバ 'ZqDriver2' が正常にインストールされました.", "Run: exit code 0"},
       true},
      {"check, absent", false, u"/quiet check . \"ZQ Printer2\" x64", 1605,
       {"Information: ドライバ 'ZqDriver2' が正常にインストールされませんでした.",
        "Run: exit code 1605 (not installed)"},
       false},
      {"uninstall", true, u"/quiet uninstall", 0,
       {"Status: アンインストール Brimcastelleプリンタドライバ.", "Run: exit code 0"}, false},
      {"reinstall", true, u"/quiet reinstall C:\\zqdriver \"ZQ Printer2\" x64", 0,
       {"Status: アンインストール Brimcastelleプリンタドライバ.",
        "Status: プリンタドライバがインスール可能か確認しています．", "Run: exit code 0"},
       true},
      {"add", true, u"/quiet add C:\\zqdriver \"ZQ Printer2\" x64", 0,
       {"Status: プリンタドライバが追加可能か確認しています．", "Run: exit code 0"}, true},
      {"add without the printer", false, u"/quiet add C:\\zqdriver \"ZQ Printer2\" x64", 1605,
       {"Error: プリンタ名が登録されていません!", "Run: exit code 1605 (not installed)"}, false},
      {"a failed step ends with the failure report", false,
       u"/quiet install C:\\missing \"ZQ Printer2\" x64", 1603,
       {"\\nインストールの中断します.\\n\\nError code: 3\\n詳細エラー: ", "Run: exit code 1603 (a step failed)"},
       false},
      {"a rejected command line", false, u"/quiet install C:\\zqdriver \"ZQ Printer2\" ia64", 1639,
       {"Error: プロセッサが不正です．: 'x86', 'x64' を指定してください．",
        "Run: exit code 1639 (the command line is rejected)"},
       false},
      {"an empty driver folder", false, u"/quiet install \"\" \"ZQ Printer2\" x64", 1639,
       {"Error: パラメータの数が足りません．", "Run: exit code 1639 (the command line is rejected)"}, false},
      {"a printer name Windows refuses", false, u"/quiet reinstall C:\\zqdriver \"a\\b\" x64", 1639,
       {"Error: プリンタ名 'a\\b' は使用できません!",
        "Run: exit code 1639 (the command line is rejected)"},
       false},
      {"a processor that is not the machine's", false,
       u"/quiet install C:\\zqdriver \"ZQ Printer2\" arm64", 1633,
       {"Error: プロセッサ 'arm64' のドライバはこのコンピュータ（x64）では使用できません!",
        "Run: exit code 1633 (refused: the machine does not fit)"},
       false},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
    if (c.installed) StageInstalled();
    EXPECT_EQ(Run(c.arguments), c.exitCode);
    ExpectNothingShown();
    auto records = Records();
    size_t at = 0;
    for (auto& expected : c.records) {
      while (at < records.size() && records[at].find(expected) == std::string::npos) ++at;
      ASSERT_LT(at, records.size()) << "missing or out of order: " << expected << "\n" << AllRecords();
      ++at;  // the next expected record is a later one, never this one again
    }
    EXPECT_EQ(HasPrinter(u"ZQ Printer2"), c.printerAfter) << AllRecords();
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u) << sim::OpenHandleReport();
  }
}

// ----- the reason of a failure -----

// Nobody reads the debugger output of a quiet run: every failure's error record, with its code
// and the system's text, is an "Error" record of the log too; uninstall's as well, which shows no
// box with the dialog either.
TEST_F(QuietRunTest, EveryFailureGivesItsReasonInTheLog) {
  struct Case {
    const char* name;
    const char16_t* arguments;
    const char* call;  // fails with ERROR_ACCESS_DENIED
    int quietCode;
    const char* record;
  } cases[] = {
      {"uninstall: the driver cannot be deleted", u"uninstall", "DeletePrinterDriverW", 1603,
       "Error: ドライバ 'ZqDriver2' の削除ができません!\\nError code: 5\\n詳細エラー: Access is "
       "denied."},
      {"uninstall: the printer cannot be deleted", u"uninstall", "DeletePrinter", 1603,
       "Error: プリンタ 'ZQ Printer2' のアンインストールができません!\\nError code: 5\\n詳細エラー: "
       "Access is denied."},
      {"reinstall: the driver cannot be deleted", u"reinstall C:\\zqdriver \"ZQ Printer2\" x64",
       "DeletePrinterDriverW", 1603,
       "Error: ドライバ 'ZqDriver2' の削除ができません!\\nError code: 5\\n詳細エラー: Access is "
       "denied."},
  };
  for (const Case& c : cases) {
    for (bool quiet : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.name << (quiet ? ", quiet" : ", with the dialog"));
      sim::Reset();
      SetQuietRun(false);
      PutSourceFiles(u"C:\\zqdriver", u"x64");
      StageInstalled();
      sim::FailAlways(c.call, ERROR_ACCESS_DENIED);
      sim::AnswerMessageBox("", "", IDOK);
      EXPECT_EQ(Run(std::u16string(quiet ? u"/quiet " : u"") + c.arguments), quiet ? c.quietCode : -1)
          << AllRecords();
      bool found = false;
      for (auto& r : Records()) found = found || r.find(c.record) != std::string::npos;
      EXPECT_EQ(found, quiet) << AllRecords();
      if (!quiet && std::u16string(c.arguments) == u"uninstall")
        EXPECT_TRUE(sim::MessageBoxes().empty());
    }
  }
}

// ----- exit codes -----

// Each ending a run can reach here, quietly and with the dialog: the Windows Installer's numbers
// for quiet runs, 0 and -1 for a person. The last record names the code.
TEST_F(QuietRunTest, EachEndingHasItsExitCode) {
  struct Case {
    const char* name;
    std::function<void()> stage;
    const char16_t* arguments;  // after the switches
    int quietCode;
    int interactiveCode;
    const char* lastRecord;  // of the quiet run
    // The error recorded on the debugger output with the system's text of ERROR_ACCESS_DENIED.
    const char* errorDenied = nullptr;
  };
  auto none = [] {};
  auto installed = [] { StageInstalled(); };
  const Case cases[] = {
      {"done", none, u"install C:\\zqdriver \"ZQ Printer2\" x64", 0, 0, "Run: exit code 0 (done)"},
      {"check finds the driver", installed, u"check . \"ZQ Printer2\" x64", 0, 0,
       "Run: exit code 0 (done)"},
      {"check finds no driver", none, u"check . \"ZQ Printer2\" x64", 1605, -1,
       "Run: exit code 1605 (not installed)"},
      {"add without the driver", [] { sim::AddPrinter(PrinterOf(u"ZQ Printer2", u"Other Driver")); },
       u"add C:\\zqdriver \"ZQ Printer2\" x64", 1605, -1, "Run: exit code 1605 (not installed)"},
      {"a failed step", none, u"install C:\\missing \"ZQ Printer2\" x64", 1603, -1,
       "Run: exit code 1603 (a step failed)"},
      {"a driver file not the one shipped", [] { PutDriverManifest(u"C:\\zqdriver", {u"x64"});
         sim::PutFile(u"C:\\zqdriver\\x64\\ZQPrinter_ui2.dll", "planted"); }, u"install C:\\zqdriver \"ZQ Printer2\" x64", 1603, -1, "Run: exit code 1603 (a step failed)"},
      {"the driver cannot be looked up", [] { sim::FailAlways("EnumPrinterDriversW", ERROR_ACCESS_DENIED); },
       u"check . \"ZQ Printer2\" x64", 1603, -1, "Run: exit code 1603 (a step failed)"},
      {"another installer never lets go", [] { sim::HoldMutexElsewhere(LockInNamespace(), {}); },
       u"uninstall", 1618, -1,
       "Run: exit code 1618 (another installer is still running: try again later)"},
      {"the installer lock cannot be made", [] { sim::FailAlways("CreateMutexW", ERROR_ACCESS_DENIED); },
       u"uninstall", 1603, -1, "Run: exit code 1603 (a step failed)", "他のインストーラが実行中です!"},
      {"an unsupported Windows", [] { sim::SetVersion(0x00000004); }, u"check . \"ZQ Printer2\" x64",
       1633, -1, "Run: exit code 1633 (refused: the machine does not fit)"},
      {"no mode", none, u"", 1639, -1, "Run: exit code 1639 (the command line is rejected)"},
      {"an unknown mode", none, u"remove", 1639, -1, "Run: exit code 1639 (the command line is rejected)"},
      {"no processor", none, u"install C:\\zqdriver \"ZQ Printer2\"", 1639, -1,
       "Run: exit code 1639 (the command line is rejected)"},
      {"a printer name Windows refuses", none, u"install C:\\zqdriver \"a,b\" x64", 1639, -1,
       "Run: exit code 1639 (the command line is rejected)"},
      {"add for the print server's empty name", installed, u"add C:\\zqdriver \"\" x64", 1639, -1,
       "Run: exit code 1639 (the command line is rejected)"},
  };
  for (const Case& c : cases) {
    for (bool quiet : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.name << (quiet ? ", quiet" : ", with the dialog"));
      sim::Reset();
      SetQuietRun(false);
      PutSourceFiles(u"C:\\zqdriver", u"x64");
      c.stage();
      std::u16string arguments = std::u16string(quiet ? u"/quiet " : u"") + c.arguments;
      EXPECT_EQ(Run(arguments), quiet ? c.quietCode : c.interactiveCode) << AllRecords();
      if (quiet) {
        ASSERT_FALSE(Records().empty());
        EXPECT_EQ(Records().back(), c.lastRecord);
      }
      if (c.errorDenied) {
        std::string output;
        for (auto& line : sim::DebugOutput()) output += line;
        EXPECT_NE(output.find(std::string(c.errorDenied) + "\n" + PlatformText(ERROR_ACCESS_DENIED)),
                  std::string::npos)
            << output;
      }
    }
  }
  // "/log" without its path is a rejected command line too.
  sim::Reset();
  EXPECT_EQ(Run(u"/quiet /log"), 1639);
}

TEST_F(QuietRunTest, QuietRecordsAreWrittenWhateverLogLevelSaysAndLogChoosesTheirFile) {
  sim::SetRegistryNumber(HKEY_CURRENT_USER, u"SOFTWARE\\ZQPrinter2", u"LOGLEVEL", 0);
  sim::SetRegistryText(HKEY_CURRENT_USER, u"SOFTWARE\\ZQPrinter2", u"LOGFILE", u"C:\\logs\\setting.log");
  sim::PutFile(u"C:\\logs\\keep", "");
  EXPECT_EQ(Run(u"/Quiet /LOG C:\\logs\\run.log install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  std::string file = sim::FileContents(u"C:\\logs\\run.log");
  EXPECT_NE(file.find("ZQPrinter2 ["), std::string::npos);
  EXPECT_NE(file.find("Run: ZQInst 2.0.0.0; command line: \"C:\\Setup\\ZQInst.exe\" /Quiet /LOG "),
            std::string::npos);
  EXPECT_NE(file.find("Status: インストール Brimcastelleプリンタドライバ．"), std::string::npos);
  EXPECT_NE(file.find("Run: exit code 0"), std::string::npos);
  EXPECT_EQ(sim::FileContents(u"C:\\logs\\setting.log"), "");  // LOGFILE is not used this run

  // Without /quiet, /log alone changes only the file: the same boxes as ever, and LOGLEVEL 0
  // keeps the plain records (the run's first one included) out of it.
  sim::Reset();
  PutSourceFiles(u"C:\\zqdriver", u"x64");
  SetQuietRun(false);
  sim::PutFile(u"C:\\logs\\keep", "");
  StageInstalled();
  EXPECT_EQ(Run(u"/log C:\\logs\\second.log check . \"ZQ Printer2\" x64"), 0);
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(U8(sim::MessageBoxes()[0].text.c_str()), "ドライバ 'ZqDriver2' が正常にインストールされました.");
  EXPECT_NE(sim::FileContents(u"C:\\logs\\second.log").find("Run: ZQInst 2.0.0.0"), std::string::npos);
}

TEST_F(QuietRunTest, TheFirstRecordSaysWhatTheRunRunsOn) {
  sim::SetElevated(false);
  sim::SetServiceState(u"Spooler", SERVICE_STOPPED);
  // The stopped spooler fails the driver's lookup: a failed step.
  EXPECT_EQ(Run(u"/q check . \"ZQ Printer2\" x64"), 1603);
  auto records = Records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0],
            "Run: ZQInst 2.0.0.0; command line: \"C:\\Setup\\ZQInst.exe\" /q check . \"ZQ Printer2\" "
            "x64; elevated: no; interactive: yes, the run is quiet (/quiet); spooler: stopped; "
            "machine: native x64, process x64 (IsWow64Process2); protected print policy: absent; "
            "RestrictDriverInstallationToAdministrators: absent (administrators only); protected "
            "print mode: off (the policy; WindowsProtectedPrintInfo: 0x80040154); driver folder: "
            "C:\\Installer; driver manifest: none");
  EXPECT_EQ(records.back(), "Run: exit code 1603 (a step failed)");
  EXPECT_TRUE(Recorded("check: the spooler is stopped (state 1); it is left as it is"));
}

TEST_F(QuietRunTest, AnInvisibleWindowStationRunsQuietlyAndSaysSo) {
  sim::SetWindowStation(u"Service-0x0-3e7$", false);
  StageInstalled();
  // Today's command line, unchanged: nobody could answer a box, so none is shown.
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Other\" x64"), 0);
  ExpectNothingShown();
  EXPECT_NE(Records().at(0).find("interactive: no: the window station is not visible, the run is quiet"),
            std::string::npos);
  EXPECT_TRUE(Recorded(std::string("Question (answer taken: No): ") + kReplaceQuestion));
  EXPECT_TRUE(HasPrinter(u"ZQ Other"));
  // Even a rejected command line is recorded rather than shown.
  EXPECT_EQ(Run(u""), 1639);
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_TRUE(Recorded("Error: パラメータの数が足りません．: 使用方法:\\nZQInst.exe [モード]"));
}

TEST_F(QuietRunTest, AQuietRunFromAPromptWritesItsTextsToThatConsole) {
  StageInstalled();
  sim::SetParentConsole(true);
  EXPECT_EQ(Run(u"/quiet check . \"ZQ Printer2\" x64"), 0);
  EXPECT_EQ(sim::ConsoleText(),
            "Status: Brimcastelleプリンタドライバをチェックしています.\r\n"
            "Information: ドライバ 'ZqDriver2' が正常にインストールされました.\r\n");
  // An interactive run leaves the console alone.
  sim::Reset();
  sim::SetParentConsole(true);
  SetQuietRun(false);
  StageInstalled();
  EXPECT_EQ(Run(u"check . \"ZQ Printer2\" x64"), 0);
  EXPECT_FALSE(sim::ConsoleAttached());
}

TEST_F(QuietRunTest, AMissingSystemLibraryIsRecordedAndPrintedNotShown) {
  sim::SetParentConsole(true);
  sim::SetCommandLine(u"ZQInst.exe /quiet check . \"ZQ Printer2\" x64");
  UnavailableLibrary library = {TEXT("winspool.drv!XcvDataW"), 127};
  EXPECT_EQ(RunInstallerMain(GetModuleHandleW(nullptr), nullptr, &library), 1603);
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_TRUE(Recorded("Error: システムライブラリ 'winspool.drv!XcvDataW' が読み込めません．"));
  EXPECT_NE(sim::ConsoleText().find("Error: システムライブラリ 'winspool.drv!XcvDataW' が読み込めません．"
                                    "\r\n\r\nError code: 127\r\n"
                                    "詳細エラー: The specified procedure could not be found."),
            std::string::npos)
      << sim::ConsoleText();
  EXPECT_EQ(sim::CallCount("OpenPrinterW"), 0u);
}

// ----- the port -----

TEST_F(QuietRunTest, TheQuietPortGoesThroughTheMonitorsDataChannel) {
  EXPECT_EQ(Run(u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_TRUE(HasPort());
  auto opens = Args("OpenPrinterW");
  EXPECT_NE(std::find(opens.begin(), opens.end(), ",XcvMonitor Local Port"), opens.end());
  auto xcv = sim::Calls("XcvDataW");
  ASSERT_EQ(xcv.size(), 1u);
  EXPECT_EQ(xcv[0].args[1], "AddPort");
  EXPECT_EQ(xcv[0].args[2], "ZQVirtualPrinterPort");
  EXPECT_EQ(xcv[0].args[3], "42");  // the name with its terminator
  EXPECT_TRUE(sim::PortDialogs().empty());
}

// Refused either way: the channel does not open (it needs the right to administer the server),
// or it opens and the monitor answers "AddPort" with a refusal status.
TEST_F(QuietRunTest, ARefusedDataChannelFallsBackToTheMonitorsDialog) {
  for (bool opens : {false, true}) {
    SCOPED_TRACE(opens ? "the monitor answers with a refusal" : "the channel does not open");
    sim::Reset();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
    if (opens)
      sim::SetXcvAddPortRefusal(ERROR_ACCESS_DENIED);
    else
      sim::SetElevated(false);
    EXPECT_EQ(Run(u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
    EXPECT_EQ(sim::CallCount("XcvDataW"), opens ? 1u : 0u);
    EXPECT_TRUE(HasPort());
    ASSERT_EQ(sim::PortDialogs().size(), 1u);
    EXPECT_TRUE(sim::PortDialogs()[0].confirmed);
    EXPECT_TRUE(Recorded("the monitor's data channel refused the port (5); using its dialog"))
        << AllRecords();
    EXPECT_TRUE(sim::MessageBoxes().empty());
  }
}

// The silent route refused, the monitor's dialog is never completed: a dialog the program cannot
// fill in, or (as Wine's monitor does when the current folder is not writable) a name refused in a
// box of the monitor's own over its dialog, which stays open. At the bound the dialog goes, with
// any box it raised; the port thread ends without being terminated.
TEST_F(QuietRunTest, AMonitorDialogNeverCompletedIsCancelledAtTheBound) {
  struct Case {
    const char* name;
    bool hasEdit;
    bool refusesName;
    int refusals;
  };
  const Case cases[] = {
      {"a dialog without a field to fill in", false, false, 0},
      {"the monitor's box over its dialog", true, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
    sim::FailAlways("XcvDataW", ERROR_NOT_SUPPORTED);
    sim::PortDialogScript script;
    script.hasEdit = c.hasEdit;
    script.refusesName = c.refusesName;
    sim::SetPortDialogScript(script);
    // A minute goes by once the dialog is up, the program is looking at it (so its bound started
    // counting before) and the monitor has refused the name where it does.
    std::thread clock([&c] {
      for (;;) {
        auto dialogs = sim::PortDialogs();
        if (!dialogs.empty() && dialogs[0].dialog && dialogs[0].enumerations > 0 &&
            dialogs[0].refusals >= c.refusals)
          break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      sim::AdvanceClock(60000);  // the bound: one minute
    });
    EXPECT_EQ(Run(u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64"), 1603);
    clock.join();
    ASSERT_EQ(sim::PortDialogs().size(), 1u);
    EXPECT_TRUE(sim::PortDialogs()[0].finished);
    EXPECT_FALSE(sim::PortDialogs()[0].confirmed);
    EXPECT_EQ(sim::PortDialogs()[0].refusals >= 1, c.refusesName);
    EXPECT_EQ(sim::ParkedThreads(), 0u);  // cancelled, not terminated
    EXPECT_TRUE(sim::Windows().empty());
    EXPECT_TRUE(Recorded("Error: ポート 'ZQVirtualPrinterPort' が登録ができません!\\nインストールの中断します."
                         "\\n\\nError code: 1460"));
    EXPECT_FALSE(HasPort());
    EXPECT_FALSE(HasPrinter(u"ZQ Printer2"));
  }
}

// ----- one installer at a time -----

struct LockCase {
  const char* name;
  bool namespaces;  // private namespaces exist (Windows); without them, Wine's Global\ mutex
  sim::ForeignHolder holder;
  int exitCode;
  bool waited;     // the waiting status was recorded
  uint64_t lockedAt;  // the virtual clock at the run's first driver listing (or its end: 1618)
  bool takenOver;  // abandoned: taken over without waiting
};

TEST_F(QuietRunTest, AnotherInstallerHoldingTheLockIsWaitedForFiveMinutesAtMost) {
  const LockCase cases[] = {
      {"released after two minutes", true, {120000, false}, 0, true, 120000, false},
      {"never released", true, {std::nullopt, false}, 1618, true, 300000, false},
      {"abandoned by a crashed installer", true, {0, true}, 0, false, 0, true},
      {"its holder crashes after a minute", true, {60000, true}, 0, true, 60000, true},
      {"no namespaces: released after two minutes", false, {120000, false}, 0, true, 120000,
       false},
      {"no namespaces: never released", false, {std::nullopt, false}, 1618, true, 300000, false},
      {"no namespaces: abandoned", false, {0, true}, 0, false, 0, true},
  };
  for (const LockCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    PutSourceFiles(u"C:\\zqdriver", u"x64");
    sim::SetPrivateNamespaces(c.namespaces);
    const std::u16string lockName =
        c.namespaces ? LockInNamespace() : u"Global\\ZqDriver2.Installer";
    sim::HoldMutexElsewhere(lockName, c.holder);
    std::optional<uint64_t> readAt;
    sim::RunAtCall("EnumPrinterDriversW", 1, [&readAt] { readAt = sim::Now(); });
    EXPECT_EQ(Run(u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64"), c.exitCode);
    EXPECT_EQ(Recorded(kWaiting), c.waited) << AllRecords();
    EXPECT_EQ(readAt.value_or(sim::Now()), c.lockedAt);
    EXPECT_EQ(Recorded("taken over from an installer that ended without releasing it"), c.takenOver);
    if (c.exitCode != 0) {
      EXPECT_TRUE(Recorded(std::string("Error: ") + kBusy));
      EXPECT_EQ(Records().back(), "Run: exit code 1618 (another installer is still running: try again later)");
      // Nothing was read or changed while the lock was not had.
      EXPECT_EQ(sim::CallCount("EnumPrintersW"), 0u);
      EXPECT_EQ(sim::CallCount("EnumPrinterDriversW"), 0u);
    } else {
      EXPECT_TRUE(HasPrinter(u"ZQ Printer2"));
      EXPECT_FALSE(sim::InspectMutex(lockName).owned);  // let go at the end
    }
    // The first record about the lock says which one is in use.
    EXPECT_TRUE(Recorded(c.namespaces ? "Lock: mutex 'ZqDriver2\\Installer' in the private namespace"
                                      : "Lock: mutex 'Global\\ZqDriver2.Installer' (no private "
                                        "namespaces here)"))
        << AllRecords();
    if (!c.namespaces) EXPECT_EQ(sim::CallCount("AddSIDToBoundaryDescriptor"), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u) << sim::OpenHandleReport();
    EXPECT_EQ(sim::OpenNamespaces(), 0u);
  }
}

// No one else can hold the lock: a mutex of the lock's Global\ name made first by a process whose
// token is not an administrator's does not keep the installer waiting; the installer's own mutex
// lives in the Administrators' private namespace, with a DACL for Administrators and SYSTEM only.
TEST_F(QuietRunTest, AMutexOfTheLocksNameMadeByANonAdministratorDoesNotBlock) {
  sim::HoldMutexElsewhere(u"Global\\ZqDriver2.Installer", {std::nullopt, false});
  std::vector<std::string> allowed;
  sim::RunAtCall("EnumPrintersW", 1, [&allowed] {
    allowed = sim::InspectMutex(LockInNamespace()).allowedSids;
  });
  EXPECT_EQ(Run(u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_FALSE(Recorded(kWaiting));
  EXPECT_LT(sim::Now(), 300000u);
  EXPECT_TRUE(HasPrinter(u"ZQ Printer2"));
  EXPECT_EQ(allowed, (std::vector<std::string>{"S-1-5-32-544", "S-1-5-18"}));
  EXPECT_EQ(sim::Calls("CreateMutexW").at(0).args.at(1), "ZqDriver2\\Installer");
  EXPECT_EQ(sim::OpenHandles(), 0u) << sim::OpenHandleReport();

  // A token that is not an administrator's cannot make the namespace: it takes the Global\ name.
  sim::Reset();
  PutSourceFiles(u"C:\\zqdriver", u"x64");
  sim::SetElevated(false);
  EXPECT_EQ(Run(u"/quiet install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_TRUE(Recorded("Lock: mutex 'Global\\ZqDriver2.Installer' (the private namespace is for "
                       "administrators only)"))
      << AllRecords();
  EXPECT_EQ(sim::OpenHandles(), 0u) << sim::OpenHandleReport();
}

// The lock is released before its handle is closed: closing does not let go of a mutex, which
// would stay owned, for a waiting installer, until the thread that took it ends.
TEST_F(QuietRunTest, TheLockIsReleasedBeforeItsHandleIsClosed) {
  InstallerLock lock;
  ASSERT_TRUE(AcquireInstallerLock(nullptr, &lock));
  EXPECT_TRUE(sim::InspectMutex(LockInNamespace()).owned);
  std::optional<bool> ownedAtClose;
  sim::RunAtCall("CloseHandle", static_cast<int>(sim::CallCount("CloseHandle")) + 1,
                 [&ownedAtClose] { ownedAtClose = sim::InspectMutex(LockInNamespace()).owned; });
  ReleaseInstallerLock(&lock);
  ASSERT_TRUE(ownedAtClose.has_value());
  EXPECT_FALSE(*ownedAtClose);
  EXPECT_FALSE(sim::InspectMutex(LockInNamespace()).exists);
}

TEST_F(QuietRunTest, TheWaitIsShownInTheProgressDialogAndItsEndInABox) {
  sim::HoldMutexElsewhere(LockInNamespace(), {});
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  ASSERT_FALSE(sim::ItemTextHistory(1001).empty());
  EXPECT_EQ(U8(sim::ItemTextHistory(1001)[0].c_str()), "他のインストーラの終了を待っています．");
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  EXPECT_EQ(U8(sim::MessageBoxes()[0].text.c_str()), kBusy);
  EXPECT_EQ(U8(sim::MessageBoxes()[0].caption.c_str()), "Brimcastelleプリンタドライバ インストーラ");
  EXPECT_NE(sim::MessageBoxes()[0].owner, nullptr);
  EXPECT_EQ(sim::Now(), 300000u);  // five minutes
}

// Two installers at once with the same printer name: one installs, the other reports the name in
// use; never both failing, never a half-made printer.
TEST_F(QuietRunTest, TwoInstallersAtOnceEndCleanly) {
#if defined(__SANITIZE_THREAD__)
  // Two installers are two processes, each with its own log line and error record; here they are
  // two threads of one process, so the waiting one's status record and the other's records share
  // those buffers. ThreadSanitizer rightly reports that as a race of this test, not of the
  // program. The real two-process case is the Wine quiet run's rounds.
  GTEST_SKIP() << "two installers share one process's log buffers here";
#endif
  SetQuietRun(true);
  OperationRequest request = {nullptr, u"C:\\zqdriver", u"ZQ Printer2", X64};
  std::atomic<int> succeeded{0};
  auto installer = [&] {
    if (RunMode(::Install, request)) ++succeeded;
  };
  std::thread first(installer), second(installer);
  first.join();
  second.join();
  EXPECT_EQ(succeeded.load(), 1);
  EXPECT_TRUE(Recorded("Error: 既にプリンタ名が使用されています!"));
  auto printers = sim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].driver, u"ZqDriver2");
  EXPECT_FALSE(printers[0].devMode.empty());
  EXPECT_FALSE(sim::InspectMutex(LockInNamespace()).exists);
  // The other's namespace gone between making and opening it: made again, not "busy".
  sim::Reset();
  PutSourceFiles(u"C:\\zqdriver", u"x64");
  sim::FailNth("CreatePrivateNamespaceW", 1, ERROR_ALREADY_EXISTS);
  sim::FailNth("OpenPrivateNamespaceW", 1, ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(RunMode(::Install, request));
  EXPECT_EQ(sim::CallCount("CreatePrivateNamespaceW"), 2u);
}

// A console event is a request to stop: during each step of a quiet run attached to a console,
// Ctrl+C, Ctrl+Break and closing the console let the step in progress finish, leave the spooler
// running (when the process ends, for a closed console) and end the run with -1, as a dialog
// closed before the work was done does.
TEST_F(QuietRunTest, AConsoleEventStopsTheRunAfterTheStepInProgress) {
  struct Step {
    const char* what;
    const char* mode;  // "install", "uninstall" or "reinstall"
    bool staged;       // the driver and its printer installed before the run
    const char* call;  // the event comes when this call begins...
    int nth;           // ...for the n-th time
    bool driver, port, printer;  // what the machine has afterwards
    int exitCode = 1602;         // stopped on request; 0: no step was left undone
  } steps[] = {
      {"before the lock", "install", false, "CreateMutexW", 1, false, false, false},
      {"copying the driver files", "install", false, "CopyFileW", 2, true, false, false},
      {"adding the port", "install", false, "XcvDataW", 1, true, true, false},
      {"adding the printer", "install", false, "AddPrinterW", 1, true, true, true},
      {"the spooler stopped for the printer's restart", "install", false, "ControlService", 1, true,
       true, true},
      // A registration is removed as one step: its printers, the registration and its files.
      {"deleting the printer", "uninstall", true, "DeletePrinter", 1, false, true, false},
      {"the spooler stopped for the driver's files", "uninstall", true, "SetFileInformationByHandle", 1, false,
       true, false},
      {"the uninstall of a reinstall", "reinstall", true, "SetFileInformationByHandle", 2, false, true,
       false},
      {"the last step, verifying", "install", false, "GetPrinterW", 1, true, true, true, 0},
  };
  struct Event {
    const char* name;
    DWORD event;
    bool endsProcess;
  } events[] = {{"Ctrl+C", CTRL_C_EVENT, false},
                {"Ctrl+Break", CTRL_BREAK_EVENT, false},
                {"console closed", CTRL_CLOSE_EVENT, true}};
  for (const Step& step : steps) {
    for (const Event& e : events) {
      SCOPED_TRACE(std::string(step.what) + ", " + e.name);
      sim::Reset();
      PutSourceFiles(u"C:\\zqdriver", u"x64");
      if (step.staged) StageInstalled();
      sim::SetParentConsole(true);
      std::atomic<int> spoolerAtEnd{-1};  // when the process ended: 1 running, 0 not
      DWORD event = e.event;
      sim::RunAtCall(step.call, step.nth, [&spoolerAtEnd, event] {
        sim::DeliverConsoleEvent(event, [&spoolerAtEnd] { spoolerAtEnd = SpoolerRunning() ? 1 : 0; });
      });
      std::u16string arguments = u"/quiet " + sim::Utf16(step.mode);
      if (std::string(step.mode) != "uninstall") arguments += u" C:\\zqdriver \"ZQ Printer2\" x64";
      EXPECT_EQ(Run(arguments), step.exitCode);
      sim::WaitForConsoleHandlers();
      EXPECT_TRUE(SpoolerRunning());
      EXPECT_EQ(sim::ProcessEndedByConsoleEvent(), e.endsProcess);
      if (e.endsProcess) EXPECT_EQ(spoolerAtEnd.load(), 1);
      if (e.endsProcess && std::string(step.call) == "SetFileInformationByHandle")  // by the handler
        EXPECT_EQ(sim::CallNames({step.call, "StartServiceW"}).at(size_t(step.nth)), "StartServiceW");
      bool driver = false;
      for (auto& d : sim::Drivers()) driver = driver || d.name == u"ZqDriver2";
      EXPECT_EQ(driver, step.driver);
      EXPECT_EQ(HasPort(), step.port);
      EXPECT_EQ(HasPrinter(u"ZQ Printer2"), step.printer);
      EXPECT_TRUE(Recorded(step.exitCode ? "a console event asked the run to stop"
                                         : "a stop was asked for after the work was done"));
      EXPECT_EQ(sim::ConsoleHandlerCount(), 0u);
      EXPECT_FALSE(sim::InspectMutex(LockInNamespace()).exists);
      EXPECT_EQ(sim::OpenHandles(), 0u) << sim::OpenHandleReport();
    }
  }
}

}  // namespace
