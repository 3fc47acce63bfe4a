// Whole runs of the installer on a staged simulated machine: a real command line in, the boxes
// the person saw, the status texts in order, the machine afterwards and the exit code out.
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/files.h"
#include "platform/sim/port_dialog.h"
#include "platform/sim/registry.h"
#include "platform/sim/security.h"
#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "platform/sim/threads.h"
#include "platform/sim/ui.h"
#include "platform/sim/user.h"
#include "shell/dialog_window.h"
#include "shell/installer_dialog.h"
#include "shell/installer_main.h"
#include "support/messages.h"
#include "tests/support/sim_test.h"
#include "tests/support/staging.h"
#include "tests/support/watchdog.h"

namespace {

constexpr char kTitle[] = "Brimcastelleプリンタドライバ インストーラ";
constexpr char kCommandCaption[] = "ZQInst.exe [ドライバ インスール]";
constexpr char kCheckingStatus[] = "プリンタドライバがインスール可能か確認しています．";
constexpr char kInstallStatus[] =
    "インストール Brimcastelleプリンタドライバ．\n\n  プリンタ名：'ZQ Printer2'.";
constexpr char16_t kDriverDir[] = u"C:\\Windows\\System32\\spool\\drivers\\x64";
constexpr char16_t kPrintersKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";

class InstallerScenario : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
    LastErrorCode = 0;
    PutDriverFolder(u"C:\\zqdriver", "new");
  }

  static void PutDriverFolder(const std::u16string& folder, const std::string& tag) {
    staging::PutDriverFolder(folder, tag);
  }

  // "ZqDriver2" installed as an earlier run left it: files in the driver folder, a printer.
  static void StageInstalledDriver(const std::u16string& printer = u"ZQ Printer2",
                                   WORD devModeVersion = 0x0500) {
    staging::StageInstalledDriver(staging::InstalledDriver(devModeVersion), printer);
  }

  static int Run(const std::u16string& arguments) {
    sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + arguments);
    return RunInstallerMain(GetModuleHandleW(nullptr), nullptr);
  }

  // A run that must end: a hang fails the test with the journal's tail instead of blocking it.
  static int RunWatched(const std::u16string& arguments) {
    sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + arguments);
    int exitCode = 0;
    if (!watchdog::RunInstallerWithin(watchdog::kRunLimit, &exitCode))
      watchdog::HangAndExit(::testing::UnitTest::GetInstance()->current_test_info()->name());
    return exitCode;
  }

  static std::vector<std::string> Statuses() {
    std::vector<std::string> out;
    for (auto& text : sim::ItemTextHistory(1001)) out.push_back(sim::Utf8(text));
    return out;
  }

  static std::vector<sim::MessageBoxRecord> Boxes() { return sim::MessageBoxes(); }

  static const sim::Printer* Printer(const std::u16string& name) { return sim::FindPrinter(name); }

  static bool HasDriver() {
    for (auto& d : sim::Drivers())
      if (d.name == u"ZqDriver2") return true;
    return false;
  }
  static bool HasPort() {
    for (auto& p : sim::Ports())
      if (p.name == u"ZQVirtualPrinterPort") return true;
    return false;
  }
  static std::string InstalledFile(const char16_t* name) {
    return sim::FileContents(std::u16string(kDriverDir) + u"\\" + name);
  }
};

// ----- install -----

TEST_F(InstallerScenario, InstallOnACleanMachine) {
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), 0);

  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Statuses(), (std::vector<std::string>{kCheckingStatus, kInstallStatus}));
  ASSERT_TRUE(HasDriver());
  auto drivers = sim::Drivers();
  EXPECT_EQ(drivers[0].version, 4u);
  EXPECT_EQ(drivers[0].environment, u"Windows x64");
  EXPECT_EQ(drivers[0].driverPath, std::u16string(kDriverDir) + u"\\ZQPrinter_drv2.dll");
  EXPECT_EQ(InstalledFile(u"ZQPrinter_ui2.dll"), "ZQPrinter_ui2.dll new");
  EXPECT_TRUE(HasPort());
  const sim::Printer* printer = Printer(u"ZQ Printer2");
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->port, u"ZQVirtualPrinterPort");
  EXPECT_EQ(printer->driver, u"ZqDriver2");
  EXPECT_EQ(printer->printProcessor, u"WinPrint");
  EXPECT_EQ(printer->dataType, u"NT EMF 1.006");
  EXPECT_EQ(printer->attributes, 0x41u);
  auto spool = sim::GetRegistryValue(HKEY_LOCAL_MACHINE, std::u16string(kPrintersKey) +
                                                             u"ZQ Printer2", u"SpoolDirectory");
  ASSERT_TRUE(spool.has_value());
  EXPECT_EQ(spool->type, static_cast<DWORD>(REG_SZ));
  EXPECT_TRUE(sim::SpoolerRunning());
  // The port was typed into the monitor's own dialog.
  auto dialogs = sim::PortDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].name, u"ZQVirtualPrinterPort");
}

TEST_F(InstallerScenario, InstallWhoseDriverLookupFailsSaysSo) {
  // A spooler that goes away after the run's start: the driver lookup fails, the person is told.
  sim::FailAlways("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()), "同一プリンタ名の確認ができません!");
  EXPECT_EQ(U8(Boxes()[0].caption.c_str()), kTitle);
  EXPECT_EQ(Boxes()[0].flags, static_cast<UINT>(MB_ICONERROR));
  EXPECT_FALSE(HasDriver());
}

TEST_F(InstallerScenario, InstallOverAnInstalledDriverAnsweredNoKeepsItsFiles) {
  StageInstalledDriver(u"Old Printer");
  sim::AnswerMessageBox("Confirm", "既にインストールされています", IDNO);

  // A name other than the default: the question names the default printer whatever was asked for.
  EXPECT_EQ(Run(u"install C:\\zqdriver \"Office Printer\" x64"), 0);

  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()),
            "ドライバ 'ZqDriver2' 既にインストールされています.\n既存のドライバを使用する場合には、"
            "\"いいえ\" をクリックしてください.\n\nドライバを更新する場合には、ドライバ 'ZQ Printer2' "
            "を使用しているアプリケーションをすべてクローズし、 \"はい\" をクリックしてください.");
  EXPECT_EQ(Boxes()[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
  EXPECT_NE(Boxes()[0].owner, nullptr);
  EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "old");
  EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
  EXPECT_NE(Printer(u"Old Printer"), nullptr);
  ASSERT_NE(Printer(u"Office Printer"), nullptr);
  EXPECT_EQ(Printer(u"Office Printer")->port, u"ZQVirtualPrinterPort");
}

TEST_F(InstallerScenario, InstallOverAnInstalledDriverAnsweredYesReplacesEverything) {
  StageInstalledDriver(u"Old Printer");
  sim::AddJob(u"Old Printer", u"report.txt");
  sim::AnswerMessageBox("Confirm", "既にインストールされています", IDYES);

  EXPECT_EQ(Run(u"install C:\\zqdriver \"Office Printer\" x64"), 0);

  EXPECT_EQ(Printer(u"Old Printer"), nullptr);
  EXPECT_NE(Printer(u"Office Printer"), nullptr);
  EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "ZQPrinter_drv2.dll new");
  EXPECT_EQ(sim::CallCount("DeletePrinterDriverW"), 1u);
  EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 1u);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(U8(Boxes()[0].text.c_str()).find("ドライバ 'ZQ Printer2' を使用している"), std::string::npos);
}

TEST_F(InstallerScenario, InstallOfAPrinterNameInUseChangesNothing) {
  StageInstalledDriver();
  auto printersBefore = sim::Printers().size();
  EXPECT_EQ(Run(u"install C:\\zqdriver \"zq printer2\" x64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()), "既にプリンタ名が使用されています!");
  EXPECT_EQ(Statuses(), std::vector<std::string>{kCheckingStatus});
  EXPECT_EQ(sim::Printers().size(), printersBefore);
  EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "old");
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
}

TEST_F(InstallerScenario, AFailedStepEndsWithTheFailureReport) {
  sim::FailWhen("CopyFileW", ERROR_ACCESS_DENIED,
                [](const sim::CallRecord& call) { return sim::ArgContains(call, "ZQPrinter.PDD"); });
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].caption.c_str()), kTitle);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()),
            "ドライバ 'C:\\zqdriver\\x64\\ZQPrinter.PDD' を システムフォルダ "
            "'C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter.PDD' にインストールできません!"
            "\nインストールの中断します.\n\nError code: 5\n詳細エラー: Access is denied.\r\n");
  // Nothing is rolled back: the two files copied first stay.
  EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "ZQPrinter_drv2.dll new");
  EXPECT_FALSE(HasDriver());
}

TEST_F(InstallerScenario, AWrongDriverVersionNamesBothVersions) {
  // The installed driver's configuration module reports 0x0400; the person keeps it.
  StageInstalledDriver(u"Old Printer", 0x0400);
  sim::AnswerMessageBox("Confirm", "既にインストールされています", IDNO);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(U8(boxes[1].text.c_str()).rfind(
                "ドライバのバージョン[1024]が 1280 でありません!\nインストールの中断します.\n\nError code: ",
                0),
            0u);
  EXPECT_NE(Printer(u"ZQ Printer2"), nullptr);  // nothing is rolled back: the printer stays
}

// ----- check -----

TEST_F(InstallerScenario, CheckTellsBothOutcomes) {
  StageInstalledDriver();
  EXPECT_EQ(Run(u"check . \"ZQ Printer2\" x64"), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].caption.c_str()), "Confirm");
  EXPECT_EQ(U8(Boxes()[0].text.c_str()), "ドライバ 'ZqDriver2' が正常にインストールされました.");
  EXPECT_EQ(Boxes()[0].flags, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(Statuses(), std::vector<std::string>{"Brimcastelleプリンタドライバをチェックしています."});
}

TEST_F(InstallerScenario, CheckWithoutTheDriverFails) {
  EXPECT_EQ(Run(u"CHECK x y X64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()), "ドライバ 'ZqDriver2' が正常にインストールされませんでした.");
}

// ----- uninstall and reinstall -----

TEST_F(InstallerScenario, UninstallRemovesPrintersWithTheirJobsTheDriverAndItsFiles) {
  StageInstalledDriver(u"First");
  sim::Printer second = *Printer(u"First");
  second.name = u"Second";
  sim::AddPrinter(second);
  sim::AddJob(u"First", u"a.txt");
  sim::AddJob(u"Second", u"b.txt");
  sim::AddJob(u"Second", u"c.txt");

  EXPECT_EQ(Run(u"uninstall"), 0);

  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Statuses(), std::vector<std::string>{"アンインストール Brimcastelleプリンタドライバ."});
  EXPECT_EQ(Printer(u"First"), nullptr);
  EXPECT_EQ(Printer(u"Second"), nullptr);
  EXPECT_FALSE(HasDriver());
  EXPECT_FALSE(sim::FileExists(std::u16string(kDriverDir) + u"\\ZQPrinter_drv2.dll"));
  EXPECT_EQ(sim::CallCount("SetJobW"), 3u);
  EXPECT_TRUE(sim::SpoolerRunning());
  EXPECT_FALSE(HasPort());  // uninstall leaves nothing of ours: no printer uses the port now
}

TEST_F(InstallerScenario, UninstallWithNothingInstalledSucceedsQuietly) {
  EXPECT_EQ(Run(u"uninstall whatever arguments arm64"), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
}

TEST_F(InstallerScenario, AFailedUninstallShowsNothingAndEndsWithMinusOne) {
  StageInstalledDriver();
  sim::FailAlways("DeletePrinter", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"uninstall"), -1);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(U8(LastErrorMessage), "プリンタ 'ZQ Printer2' のアンインストールができません!");
}

// The removal puts back every printer it deleted before it failed, with its settings, and says
// so; a successful reinstall puts back the named printer's settings, not its device mode.
TEST_F(InstallerScenario, ReinstallWhoseRemovalFailsAttemptsNoInstallation) {
  StageInstalledDriver();
  sim::AddPrinter({u"Second", u"ZQVirtualPrinterPort", u"ZqDriver2"});
  sim::UpdatePrinter(u"ZQ Printer2", [](sim::Printer& p) {
    p.comment = u"2F", p.location = u"Room 5", p.shareName = u"zq2";
    p.attributes |= PRINTER_ATTRIBUTE_SHARED;
    p.security = sim::MakeDescriptor({sim::kAdministratorsSid});
    p.devMode = sim::MakeDevMode(p.name, 0x0400, 16);
  });
  sim::SetDefaultPrinter(u"ZQ Printer2");
  sim::FailAlways("DeletePrinterDriverW", ERROR_PRINTER_DRIVER_IN_USE);
  EXPECT_EQ(Run(u"reinstall C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  EXPECT_EQ(Boxes().size(), 1u);  // the failure report, as install shows one
  EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
  for (bool afterSuccess : {false, true}) {
    const sim::Printer* kept = Printer(u"ZQ Printer2");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->comment + kept->location + kept->shareName, u"2FRoom 5zq2");
    EXPECT_TRUE(kept->attributes & PRINTER_ATTRIBUTE_SHARED);
    EXPECT_EQ(kept->security, sim::MakeDescriptor({sim::kAdministratorsSid}));
    EXPECT_EQ(reinterpret_cast<const DEVMODEW*>(kept->devMode.data())->dmDriverVersion, 0x0500);
    EXPECT_EQ(sim::DefaultPrinter(), u"ZQ Printer2");
    EXPECT_EQ(Printer(u"Second") != nullptr, !afterSuccess);  // not made again after success
    sim::ClearFaults();
    if (!afterSuccess) EXPECT_EQ(Run(u"reinstall C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  }
}

TEST_F(InstallerScenario, ReinstallOnACleanMachineInstalls) {
  EXPECT_EQ(Run(u"reinstall C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_TRUE(HasDriver());
  EXPECT_NE(Printer(u"ZQ Printer2"), nullptr);
}

// An x64 spooler creates a local printer only with a driver of its own environment: an x86
// driver would be copied and registered, then the printer would fail. The run is refused first.
TEST_F(InstallerScenario, AnX86DriverOnAnX64MachineIsRefusedBeforeAnyChange) {
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x86"), -1);
  EXPECT_TRUE(sim::Drivers().empty());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].caption.c_str()), "Brimcastelleプリンタドライバ インストーラ");
  EXPECT_EQ(U8(Boxes()[0].text.c_str()),
            "プロセッサ 'x86' のドライバはこのコンピュータ（x64）では使用できません!");
  for (const char* call : {"CreateMutexW", "EnumPrinterDriversW", "OpenPrinterW", "CopyFileW",
                           "ControlService"})
    EXPECT_EQ(sim::CallCount(call), 0u) << call;
}

// ----- add -----

TEST_F(InstallerScenario, AddReplacesTheFilesOfAnExistingPrinter) {
  StageInstalledDriver();
  EXPECT_EQ(Run(u"add C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "ZQPrinter_drv2.dll new");
  EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 1u);
  EXPECT_EQ(sim::CallCount("AddPrinterW"), 0u);
  EXPECT_EQ(Statuses(),
            (std::vector<std::string>{"プリンタドライバが追加可能か確認しています．", kInstallStatus}));
}

TEST_F(InstallerScenario, AddRefusesAMissingPrinterOrAMissingDriver) {
  EXPECT_EQ(Run(u"add C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()), "プリンタ名が登録されていません!");

  sim::Reset();
  PutDriverFolder(u"C:\\zqdriver", "new");
  sim::AddPort(u"ZQVirtualPrinterPort");
  sim::Printer p;
  p.name = u"ZQ Printer2";
  p.driver = u"Other Driver";
  p.port = u"ZQVirtualPrinterPort";
  sim::AddPrinter(p);
  EXPECT_EQ(Run(u"add C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].text.c_str()), "ドライバ 'ZqDriver2' インストールされていません.\n");
  EXPECT_EQ(sim::CallCount("CopyFileW"), 0u);
}

// ----- start-up, defaults and the dialog -----

TEST_F(InstallerScenario, StartUpRejectionsShowOneBoxWithoutOwner) {
  sim::SetVersion(0x00000004);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  sim::SetVersion(0x23F00206);
  EXPECT_EQ(Run(u""), -1);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\""), -1);
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(U8(boxes[0].text.c_str()), "現在のWindowsシステムはサポートされていません．");
  EXPECT_EQ(U8(boxes[1].text.c_str()),
            "パラメータの数が足りません．: 使用方法:\nZQInst.exe [モード] [ドライバフォルダ] [プリンタ名] "
            "[プロセッサ]");
  EXPECT_EQ(U8(boxes[2].text.c_str()), "プロセッサが指定されていません．: 'x86', 'x64' を指定してください．");
  for (auto& box : boxes) {
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(U8(box.caption.c_str()), kCommandCaption);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_ICONERROR));
  }
  EXPECT_EQ(sim::CallCount("DialogBoxParamW"), 0u);
}

TEST_F(InstallerScenario, ASystemLibraryThatCouldNotBeLoadedEndsTheRunAtItsStart) {
  // The Windows program loads the spooler's library and the common controls from System32 before
  // anything else; when that failed, the run says which one and why, and does nothing else.
  sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" install C:\\zqdriver \"ZQ Printer2\" x64");
  UnavailableLibrary library = {TEXT("winspool.drv"), 126};
  EXPECT_EQ(RunInstallerMain(GetModuleHandleW(nullptr), nullptr, &library), -1);
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(U8(boxes[0].text.c_str()),
            "システムライブラリ 'winspool.drv' が読み込めません．\n\nError code: 126\n"
            "詳細エラー: The specified module could not be found.\r\n");
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(U8(boxes[0].caption.c_str()), kCommandCaption);
  EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(sim::CallCount("DialogBoxParamW"), 0u);
  EXPECT_EQ(sim::CallCount("OpenPrinterW"), 0u);
  EXPECT_EQ(sim::CallCount("CreateMutexW"), 0u);
  EXPECT_FALSE(HasDriver());
}

TEST_F(InstallerScenario, DefaultsAreTheCurrentFolderAndTheDefaultPrinterName) {
  // The command line always names both before the processor, so the defaults are the dialog's.
  PutDriverFolder(sim::CurrentDir(), "here");
  InstallerDialogWindow dialog(GetModuleHandleW(nullptr), Install, nullptr, nullptr, X64);
  dialog.ShowModal(nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  EXPECT_EQ(dialog.ExitCode(), 0);
  EXPECT_NE(Printer(u"ZQ Printer2"), nullptr);
  EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "ZQPrinter_drv2.dll here");
  EXPECT_TRUE(sim::ArgContains(sim::Calls("CopyFileW")[0], ".\\x64\\ZQPrinter_drv2.dll"));
}

TEST_F(InstallerScenario, EnterAndEscapeDoNotEndTheDialog) {
  sim::WhenTextShown(1001, "インストール Brimcastelle", sim::UserAction::kEnter);
  sim::WhenTextShown(1001, "インストール Brimcastelle", sim::UserAction::kEscape);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_NE(Printer(u"ZQ Printer2"), nullptr);
}

TEST_F(InstallerScenario, ClosingTheDialogMidRunEndsWithMinusOne) {
  sim::WhenTextShown(1001, "インストール Brimcastelle", sim::UserAction::kCloseBox);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  // The worker was left to the process's end; here it finishes on its own.
  EXPECT_TRUE(sim::JoinAllThreads(10000));
  skipLeakCheck = true;  // the abandoned worker's request copies and handle go with the process
}

TEST_F(InstallerScenario, AWorkerThatCannotStartEndsWithMinusOne) {
  sim::FailAlways("_beginthreadex", ERROR_NOT_ENOUGH_MEMORY);
  // The box appears on the dialog; the person then closes the dialog by hand.
  sim::MessageBoxRule rule;
  rule.textContains = "インストーラが開始できません!";
  rule.onShow = [](const sim::MessageBoxRecord& box) { sim::ClickCloseBox(box.owner); };
  sim::AnswerMessageBox(rule);
  EXPECT_EQ(Run(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(U8(Boxes()[0].caption.c_str()), kTitle);
  EXPECT_NE(Boxes()[0].owner, nullptr);
  EXPECT_FALSE(HasDriver());
}

// ----- the failure rows of check and add -----

TEST_F(InstallerScenario, FailedLookupsAndStepsOfCheckAndAddShowTheirTexts) {
  struct Case {
    const char* arguments;
    bool installed;
    void (*fault)();
    const char* text;
  } cases[] = {
      {"check . \"ZQ Printer2\" x64", true,
       [] { sim::FailAlways("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE); },
       "プリンタドライバ名が存在しています。!"},
      {"add C:\\zqdriver \"ZQ Printer2\" x64", true,
       [] { sim::FailAlways("EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE); },
       "プリンタ名の確認ができません!"},
      {"add C:\\zqdriver \"ZQ Printer2\" x64", true,
       [] {
         sim::FailWhen("CopyFileW", ERROR_ACCESS_DENIED, [](const sim::CallRecord& call) {
           return sim::ArgContains(call, "ZQPrinter_ui2.dll");
         });
       },
       "ドライバ 'C:\\zqdriver\\x64\\ZQPrinter_ui2.dll' を システムフォルダ "
       "'C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll' にインストールできません!"
       "\nインストールの中断します.\n\nError code: 5\n詳細エラー: Access is denied.\r\n"},
      // What reinstall's install needs is checked before anything is removed.
      {"reinstall C:\\zqdriver Other x64", true, [] { sim::AddPrinter({u"Other", u"LPT1:", u"D"}); },
       "既にプリンタ名が使用されています!"},
      {"reinstall C:\\zqdriver \"ZQ Printer2\" x64", true,
       [] { sim::RemoveFile(u"C:\\zqdriver\\x64\\ZQPrinter.PDD"); },
       "ドライバ 'C:\\zqdriver\\x64\\ZQPrinter.PDD' を システムフォルダ "
       "'C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter.PDD' にインストールできません!"
       "\nインストールの中断します.\n\nError code: 2\n詳細エラー: The system cannot find the file "
       "specified.\r\n"},
      {"reinstall C:\\zqdriver \"ZQ Printer2\" x64", true,
       [] { sim::UpdatePrinter(u"ZQ Printer2", [](sim::Printer& p) { p.refusesOpen = true; }); },
       "インストール済のプリンタ情報が取得できません!\nインストールの中断します.\n\nError code: 5\n"
       "詳細エラー: Access is denied.\r\n"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    sim::Reset();
    PutDriverFolder(u"C:\\zqdriver", "new");
    if (c.installed) StageInstalledDriver();
    c.fault();
    EXPECT_EQ(Run(sim::Utf16(c.arguments)), -1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(U8(Boxes()[0].text.c_str()), c.text);
    EXPECT_EQ(U8(Boxes()[0].caption.c_str()), kTitle);
    EXPECT_EQ(Boxes()[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_NE(Boxes()[0].owner, nullptr);
    EXPECT_EQ(c.installed, Printer(u"ZQ Printer2") != nullptr && HasDriver());  // as it was
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
  }
}

// ----- a run ends whatever a window call returns -----

TEST_F(InstallerScenario, ADialogThatCannotBeShownEndsWithMinusOne) {
  sim::FailAlways("DialogBoxParamW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(RunWatched(u"install C:\\zqdriver \"ZQ Printer2\" x64"), -1);
  // The platform's reason is on the debugger output; no loop waited for a quit message.
  std::string output;
  for (auto& line : sim::DebugOutput()) output += line;
  EXPECT_NE(output.find("インストーラのダイアログが表示できません!\n" + PlatformText(ERROR_NOT_ENOUGH_MEMORY)),
            std::string::npos)
      << output;
  EXPECT_EQ(sim::CallCount("GetMessageW"), 0u);
  EXPECT_EQ(sim::CallCount("_beginthreadex"), 0u);
  EXPECT_FALSE(HasDriver());
}

TEST_F(InstallerScenario, TheDialogClosesWhenItsWindowCallsFailOnce) {
  struct Case {
    const char* what;
    sim::Fault fault;
    size_t destroyCalls;
    size_t donePosts = 1;  // posts of the end of the work (0x401), lost ones included
    size_t doneSends = 0;  // the end of the work sent when no post got through
    size_t retryPauses = 0;  // of 100 ms, before each post after a lost one
  } cases[] = {
      // Without the property the dialog is still found: the end of the work closes it.
      {"property not set", {"SetPropW", ERROR_NOT_ENOUGH_MEMORY, 0, -1, {}}, 1},
      // A window that refused to go is destroyed again, once the news it posts itself comes.
      {"destroy refused", {"DestroyWindow", ERROR_ACCESS_DENIED, 1, 1, {}}, 2, 2},
      // The end of the work is posted again, or sent when no post gets through.
      {"one post lost",
       {"PostMessageW", ERROR_NOT_ENOUGH_QUOTA, 1, 1,
        [](const sim::CallRecord& call) { return call.args[1] == "0x401"; }},
       1, 2, 0, 1},
      // Five attempts: the fifth gets through after four lost ones.
      {"four posts lost",
       {"PostMessageW", ERROR_NOT_ENOUGH_QUOTA, 0, 4,
        [](const sim::CallRecord& call) { return call.args[1] == "0x401"; }},
       1, 5, 0, 4},
      {"every post lost",
       {"PostMessageW", ERROR_NOT_ENOUGH_QUOTA, 0, -1,
        [](const sim::CallRecord& call) { return call.args[1] == "0x401"; }},
       1, 5, 1, 4},
      // The dialog is found through its thread's list when the property cannot be read.
      {"property not read", {"GetPropW", ERROR_NOT_ENOUGH_MEMORY, 0, -1, {}}, 1},
      // The main loop asks for the quit itself once the dialog has gone.
      {"quit request lost", {"PostQuitMessage", ERROR_NOT_ENOUGH_MEMORY, 1, 1, {}}, 1},
      // A hidden window whose creation fails asks for no quit that would end the dialog at once.
      {"hidden window not created", {"DefWindowProcW", ERROR_NOT_ENOUGH_MEMORY, 1, 1, {}}, 1},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    PutDriverFolder(u"C:\\zqdriver", "new");
    sim::InjectFault(c.fault);
    EXPECT_EQ(RunWatched(u"install C:\\zqdriver \"ZQ Printer2\" x64"), 0);
    EXPECT_NE(Printer(u"ZQ Printer2"), nullptr);
    EXPECT_EQ(sim::CallCount("DestroyWindow"), c.destroyCalls);
    auto workDone = [](const char* call) {
      size_t n = 0;
      for (auto& record : sim::Calls(call)) n += record.args.at(1) == "0x401";
      return n;
    };
    EXPECT_EQ(workDone("PostMessageW"), c.donePosts);
    EXPECT_EQ(workDone("SendMessageW"), c.doneSends);
    size_t pauses = 0;
    for (auto& record : sim::Calls("Sleep")) pauses += record.args.at(0) == "100";
    EXPECT_EQ(pauses, c.retryPauses);
    EXPECT_TRUE(sim::JoinAllThreads());
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
  }
}

TEST_F(InstallerScenario, ADialogKeepsItsHandleUntilItsWindowHasGone) {
  DialogWindow dialog(GetModuleHandleW(nullptr), ProgressDialogTemplate);
  ASSERT_TRUE(dialog.CreateModeless(nullptr));
  HWND window = dialog.Hwnd();
  sim::FailNth("DestroyWindow", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(dialog.Destroy());
  EXPECT_EQ(dialog.Hwnd(), window);  // still reachable, so it can still be closed
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(dialog.Destroy());
  EXPECT_EQ(dialog.Hwnd(), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(InstallerScenario, ARequestThatCannotBeCopiedIsRefusedBeforeAnythingChanges) {
  // The dialog keeps heap copies of the folder (the first block the run takes itself) and of the
  // printer name (the second).
  for (int copy : {1, 2}) {
    SCOPED_TRACE(copy == 1 ? "driver folder" : "printer name");
    sim::Reset();
    PutDriverFolder(u"C:\\zqdriver", "new");
    StageInstalledDriver(u"Old Printer");
    sim::AnswerMessageBox("", "既にインストールされています", IDYES);
    sim::InjectFault({"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, copy, 1,
                      [](const sim::CallRecord& call) { return call.caller.empty(); }});
    EXPECT_EQ(RunWatched(u"install C:\\zqdriver \"Office Printer\" x64"), -1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(U8(Boxes()[0].text.c_str()), "メモリが不足しています!");
    EXPECT_EQ(U8(Boxes()[0].caption.c_str()), kTitle);
    EXPECT_EQ(Boxes()[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_NE(Boxes()[0].owner, nullptr);
    // The installed driver and its printer are untouched; no operation ran.
    EXPECT_TRUE(HasDriver());
    EXPECT_NE(Printer(u"Old Printer"), nullptr);
    EXPECT_EQ(Printer(u"Office Printer"), nullptr);
    EXPECT_EQ(InstalledFile(u"ZQPrinter_drv2.dll"), "old");
    EXPECT_EQ(sim::CallCount("_beginthreadex"), 0u);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

// ----- a stopped spooler is started by every run -----

TEST_F(InstallerScenario, EveryModeStartsAStoppedSpoolerBeforeItsFirstSpoolerCall) {
  struct Case {
    const char* arguments;
    bool installed;
    int exitCode;  // check changes nothing: its lookup fails as any failed lookup
  } cases[] = {
      {"install C:\\zqdriver \"ZQ Printer2\" x64", false, 0},
      {"install C:\\zqdriver \"New Printer\" x64", true, 0},  // answered No: the driver stays
      {"check . \"ZQ Printer2\" x64", true, -1},
      {"uninstall", true, 0},
      {"reinstall C:\\zqdriver \"ZQ Printer2\" x64", true, 0},
      {"add C:\\zqdriver \"ZQ Printer2\" x64", true, 0},
      {"/quiet install C:\\zqdriver \"ZQ Printer2\" x64", false, 0},
      {"/quiet check . \"ZQ Printer2\" x64", true, 1603},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    sim::Reset();
    PutDriverFolder(u"C:\\zqdriver", "new");
    if (c.installed) StageInstalledDriver();
    sim::AnswerMessageBox("", "既にインストールされています", IDNO);
    sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
    EXPECT_EQ(RunWatched(sim::Utf16(c.arguments)), c.exitCode);
    EXPECT_EQ(sim::SpoolerRunning(), c.exitCode == 0);
    std::string output;
    for (auto& line : sim::DebugOutput()) output += line;
    if (c.exitCode != 0) continue;  // check left it stopped
    // The start comes before any spooler call; no spooler call failed for want of it.
    auto names = sim::CallNames({"StartServiceW", "EnumPrintersW", "EnumPrinterDriversW",
                                 "OpenPrinterW"});
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "StartServiceW");
    for (auto& call : sim::Journal()) {
      if (call.name == "EnumPrintersW" || call.name == "EnumPrinterDriversW")
        EXPECT_NE(call.lastError, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    }
    EXPECT_NE(output.find("the spooler is not running (state 1); starting it"), std::string::npos)
        << output;
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
  }
}

TEST_F(InstallerScenario, ASpoolerThatCannotBeStartedIsTheRunsFirstFailure) {
  struct Case {
    const char* arguments;
    bool installed;
    bool box;  // the failure report; uninstall shows none
  } cases[] = {
      {"install C:\\zqdriver \"ZQ Printer2\" x64", false, true},
      {"install C:\\zqdriver \"New Printer\" x64", true, true},
      {"uninstall", true, false},
      {"reinstall C:\\zqdriver \"ZQ Printer2\" x64", true, true},
      {"add C:\\zqdriver \"ZQ Printer2\" x64", true, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    sim::Reset();
    std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
    PutDriverFolder(u"C:\\zqdriver", "new");
    if (c.installed) StageInstalledDriver();
    sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED);
    sim::FailAlways("StartServiceW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(RunWatched(sim::Utf16(c.arguments)), -1);
    EXPECT_EQ(U8(LastErrorMessage), "スプーラの開始ができません!");
    EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    if (c.box) {
      ASSERT_EQ(Boxes().size(), 1u);
      EXPECT_EQ(U8(Boxes()[0].text.c_str()),
                "スプーラの開始ができません!\nインストールの中断します.\n\nError code: 5\n"
                "詳細エラー: Access is denied.\r\n");
      EXPECT_EQ(U8(Boxes()[0].caption.c_str()), kTitle);
    } else {
      EXPECT_TRUE(Boxes().empty());
    }
    // Nothing of the mode ran: no spooler call, the machine as it was.
    EXPECT_EQ(sim::CallCount("EnumPrinterDriversW") + sim::CallCount("EnumPrintersW"), 0u);
    EXPECT_EQ(HasDriver(), c.installed);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
  }
}

}  // namespace
