// Whole runs on machines of each architecture and policy: which runs are refused before anything
// is read or changed, which go on, and what uninstall removes after the driver.
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/bcrypt.h"
#include "platform/sim/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry.h"
#include "platform/sim/resources.h"
#include "platform/sim/services.h"
#include "platform/sim/spooler.h"
#include "platform/sim/user.h"
#include "installation/machine_checks.h"
#include "platform/sim/windows_runtime.h"
#include "shell/installer_main.h"
#include "support/messages.h"
#include "support/product.h"
#include "tests/support/sim_test.h"
#include "tests/support/staging.h"

namespace {

constexpr USHORT kX86 = 0x014c;
constexpr USHORT kX64 = 0x8664;
constexpr USHORT kArm64 = 0xaa64;
constexpr char16_t kPolicyKey[] = u"Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
constexpr char16_t kDrivers[] = u"C:\\Windows\\System32\\spool\\drivers\\";
constexpr char kTitle[] = "Brimcastelleプリンタドライバ インストーラ";
constexpr char kProtected[] =
    "Windowsの保護された印刷モードが有効なため、ドライバをインストールできません!";

class MachineScenario : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    std::memset(LastErrorMessage, 0, sizeof LastErrorMessage);
    LastErrorCode = 0;
    staging::PutDriverFolder(u"C:\\zqdriver", "new");
    for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
      sim::PutFile(std::u16string(u"C:\\zqdriver\\arm64\\") + file, "arm64 new");
    // The installer makes no folder: the arm64 driver folder is there when a machine has one.
    sim::MakeDir(std::u16string(kDrivers) + u"arm64");
  }

  static int Run(const std::u16string& arguments) {
    sim::SetCommandLine(u"\"C:\\Setup\\ZQInst.exe\" " + arguments);
    return RunInstallerMain(GetModuleHandleW(nullptr), nullptr);
  }

  static std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (auto& box : sim::MessageBoxes()) out.push_back(sim::Utf8(box.text));
    return out;
  }

  static std::vector<std::u16string> Environments() {
    std::vector<std::u16string> out;
    for (auto& d : sim::Drivers()) out.push_back(d.environment);
    return out;
  }

  static bool Recorded(const std::string& text) {
    for (auto& line : sim::DebugOutput())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

struct MachineCase {
  std::string name;
  USHORT native, process;
  bool isWow64Process2;
  int policy;  // WindowsProtectedPrintGroupPolicyState; -1: absent
  bool installed;
  std::u16string arguments;
  int exitCode;
  const char* box;  // the one box's text when refused; null: as the mode's own run shows
  std::vector<std::u16string> environmentsAfter;
  int printerAfter = -1;  // "ZQ Printer2" there (1) or not, nothing of ours left (0); -1: neither
  sim::ProtectedPrintClass wpp = sim::ProtectedPrintClass::Absent;
  const char* record = nullptr;  // the first record tells who answered
};

// The machine, not the exe, decides: a local printer needs a driver of the spooler's own
// environment, the native machine's. An x64 exe emulated on ARM64 is told "x64" by
// GetNativeSystemInfo; IsWow64Process2 tells it the truth.
TEST_F(MachineScenario, RunsAreRefusedBeforeAnyChangeOrGoOnAsTheMachineAndPolicySay) {
  const std::u16string longest(220, u'N');
  const std::u16string tooLong(221, u'N');
  const std::u16string installLongest = u"install C:\\zqdriver \"" + longest + u"\" x64";
  const std::u16string installTooLong = u"install C:\\zqdriver \"" + tooLong + u"\" x64";
  const std::string tooLongBox = "プリンタ名 '" + std::string(221, 'N') + "' は使用できません!";
  const MachineCase cases[] = {
      // Printer names Windows cannot take are refused before anything changes.
      {"install: a comma", kX64, kX64, true, -1, false, u"install C:\\zqdriver \"a,b\" x64", -1,
       "プリンタ名 'a,b' は使用できません!", {}},
      {"install: a backslash", kX64, kX64, true, -1, false,
       u"install C:\\zqdriver \"a\\b\" x64", -1, "プリンタ名 'a\\b' は使用できません!", {}},
      {"install: empty", kX64, kX64, true, -1, false, u"install C:\\zqdriver \"\" x64", -1,
       "プリンタ名 '' は使用できません!", {}},
      {"install: only spaces", kX64, kX64, true, -1, false, u"install C:\\zqdriver \"   \" x64",
       -1, "プリンタ名 '   ' は使用できません!", {}},
      {"install: 221 characters", kX64, kX64, true, -1, false, installTooLong.c_str(), -1,
       tooLongBox.c_str(), {}},
      {"install: 220 characters", kX64, kX64, true, -1, false, installLongest.c_str(), 0, nullptr,
       {u"Windows x64"}},
      {"reinstall: the spooler's port name", kX64, kX64, true, -1, true,
       u"reinstall C:\\zqdriver \",XcvPort ZQVirtualPrinterPort\" x64", -1,
       "プリンタ名 ',XcvPort ZQVirtualPrinterPort' は使用できません!", {u"Windows x64"}},
      {"add: empty (the print server)", kX64, kX64, true, -1, true, u"add C:\\zqdriver \"\" x64",
       -1, "プリンタ名 '' は使用できません!", {u"Windows x64"}},
      {"add: the monitor's name", kX64, kX64, true, -1, true,
       u"add C:\\zqdriver \",XcvMonitor Local Port\" x64", -1,
       "プリンタ名 ',XcvMonitor Local Port' は使用できません!", {u"Windows x64"}},
      {"check does not use the name", kX64, kX64, true, -1, true, u"check . \"a,b\" x64", 0,
       nullptr, {u"Windows x64"}},
      {"arm64 on x64", kX64, kX64, true, -1, false, u"install C:\\zqdriver \"ZQ Printer2\" arm64",
       -1, "プロセッサ 'arm64' のドライバはこのコンピュータ（x64）では使用できません!", {}},
      {"x64 emulated on ARM64", kArm64, kX64, true, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x64", -1,
       "プロセッサ 'x64' のドライバはこのコンピュータ（arm64）では使用できません!", {}},
      {"arm64 from the x64 exe on ARM64", kArm64, kX64, true, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" ARM64", 0, nullptr, {u"Windows ARM64"}},
      {"arm64 on ARM64", kArm64, kArm64, true, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" arm64", 0, nullptr, {u"Windows ARM64"}},
      {"x86 exe on x64 (WoW64) installs x64", kX64, kX86, true, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x64", 0, nullptr, {u"Windows x64"}},
      {"x86 exe on x64 asked for x86", kX64, kX86, true, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x86", -1,
       "プロセッサ 'x86' のドライバはこのコンピュータ（x64）では使用できません!", {}},
      {"without IsWow64Process2: IsWow64Process and GetNativeSystemInfo", kX64, kX86, false, -1,
       false, u"install C:\\zqdriver \"ZQ Printer2\" x86", -1,
       "プロセッサ 'x86' のドライバはこのコンピュータ（x64）では使用できません!", {}},
      {"32-bit Windows, x86", kX86, kX86, false, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x86", 0, nullptr, {u"Windows NT x86"}},
      {"32-bit Windows, x64", kX86, kX86, true, -1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x64", -1,
       "プロセッサ 'x64' のドライバはこのコンピュータ（x86）では使用できません!", {}},
      {"reinstall refused: the installed driver stays", kX64, kX64, true, -1, true,
       u"reinstall C:\\zqdriver \"ZQ Printer2\" arm64", -1,
       "プロセッサ 'arm64' のドライバはこのコンピュータ（x64）では使用できません!",
       {u"Windows x64"}},
      {"check is not refused", kX64, kX64, true, -1, true, u"check . \"ZQ Printer2\" arm64", 0,
       nullptr, {u"Windows x64"}},
      {"add registers an additional driver", kX64, kX64, true, -1, true,
       u"add C:\\zqdriver \"ZQ Printer2\" arm64", 0, nullptr,
       {u"Windows x64", u"Windows ARM64"}},
      {"protected print mode: install", kX64, kX64, true, 1, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x64", -1, kProtected, {}},
      {"protected print mode: reinstall", kX64, kX64, true, 1, true,
       u"reinstall C:\\zqdriver \"ZQ Printer2\" x64", -1, kProtected, {u"Windows x64"}},
      {"protected print mode: add", kX64, kX64, true, 1, true,
       u"add C:\\zqdriver \"ZQ Printer2\" x64", -1, kProtected, {u"Windows x64"}},
      {"protected print mode: check", kX64, kX64, true, 1, true, u"check . \"ZQ Printer2\" x64",
       0, nullptr, {u"Windows x64"}},
      {"protected print mode: uninstall", kX64, kX64, true, 1, true, u"uninstall", 0, nullptr,
       {}},
      {"protected print mode off", kX64, kX64, true, 0, false,
       u"install C:\\zqdriver \"ZQ Printer2\" x64", 0, nullptr, {u"Windows x64"}},
      // Windows 11 24H2 answers for every way the mode was switched on; the policy after it.
      {"WindowsProtectedPrintInfo on, no policy", kX64, kX64, true, -1, false, u"install C:\\zqdriver P x64", -1,
       kProtected, {}, -1, sim::ProtectedPrintClass::On, "protected print mode: on (WindowsProtectedPrintInfo)"},
      {"WindowsProtectedPrintInfo off over the policy", kX64, kX64, true, 1, false, u"install C:\\zqdriver P x64", 0,
       nullptr, {u"Windows x64"}, -1, sim::ProtectedPrintClass::Off, "protected print mode: off (WindowsProtectedPrintInfo)"},
      {"WindowsProtectedPrintInfo failing: the policy", kX64, kX64, true, 1, true, u"add C:\\zqdriver \"ZQ Printer2\" x64",
       -1, kProtected, {u"Windows x64"}, -1, sim::ProtectedPrintClass::Failing, "mode: on (the policy; WindowsProtectedPrintInfo: 0x80004005)"},
      {"WindowsProtectedPrintInfo absent: the policy", kX64, kX64, true, 0, false, u"install C:\\zqdriver P x64", 0,
       nullptr, {u"Windows x64"}, -1, sim::ProtectedPrintClass::Absent, "mode: off (the policy; WindowsProtectedPrintInfo: 0x80040154)"},
  };
  std::vector<MachineCase> table(std::begin(cases), std::end(cases));
  // Every exe on every machine it runs on, in every mode, interactive and quiet, with the
  // machine's own processor: the machine's environment is the one registered, looked up and
  // removed, never the exe's.
  const USHORT exes[][2] = {{kX86, kX86}, {kX64, kX86}, {kArm64, kX86}, {kX64, kX64}, {kArm64, kX64}};
  const char16_t* modes[] = {u"install C:\\zqdriver", u"check .", u"add C:\\zqdriver",
                             u"reinstall C:\\zqdriver", u"uninstall ."};
  for (auto& exe : exes)
    for (const char16_t* mode : modes)
      for (const char16_t* quiet : {u"", u"/quiet "}) {
        const ProcessorRow& own = *ProcessorOfMachine(exe[0]);
        bool printer = mode[0] != u'u', installed = mode[0] != u'i';  // uninstall, install
        table.push_back({U8(MachineText(exe[1])) + " exe on " + U8(MachineText(exe[0])) + ": " +
                             U8(quiet) + U8(mode), exe[0], exe[1], true, -1, installed,
                         quiet + std::u16string(mode) + u" \"ZQ Printer2\" " + own.keyword, 0,
                         nullptr, std::vector<std::u16string>(printer, own.environment), printer});
      }
  for (const MachineCase& c : table) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    SetUp();
    sim::SetMachines(c.native, c.process);
    sim::SetIsWow64Process2Exported(c.isWow64Process2);
    if (c.policy >= 0)
      sim::SetRegistryNumber(HKEY_LOCAL_MACHINE, kPolicyKey,
                             u"WindowsProtectedPrintGroupPolicyState",
                             static_cast<DWORD>(c.policy));
    const ProcessorRow& own = *ProcessorOfMachine(c.native);  // the driver of the machine's own
    if (c.installed)
      staging::StageInstalledDriver(staging::AdditionalDriver(own.environment, own.driverSubFolder),
                                    u"ZQ Printer2");
    sim::SetProtectedPrintClass(c.wpp);
    sim::AnswerMessageBox("", "", IDOK);

    EXPECT_EQ(Run(c.arguments), c.exitCode) << U8(LastErrorMessage);
    if (c.record) EXPECT_TRUE(Recorded(c.record)) << c.record;
    EXPECT_EQ(Environments(), c.environmentsAfter);
    if (c.printerAfter >= 0) EXPECT_EQ(sim::FindPrinter(u"ZQ Printer2") != nullptr, c.printerAfter);
    for (const ProcessorRow& row : ProcessorTable)  // nothing of ours is left after uninstall
      for (const char16_t* file : DriverFileSet)
        EXPECT_TRUE(c.printerAfter || !sim::FileExists(std::u16string(kDrivers) +
                                                       row.driverSubFolder + u"\\" + file));
    if (c.box) {
      ASSERT_EQ(BoxTexts(), std::vector<std::string>{c.box});
      EXPECT_EQ(sim::Utf8(sim::MessageBoxes()[0].caption), kTitle);
      // Nothing was read or changed: not even the installer lock was taken.
      for (const char* call : {"CreateMutexW", "EnumPrinterDriversW", "CopyFileW",
                               "DeletePrinterDriverW", "AddPrinterDriverW"})
        EXPECT_EQ(sim::CallCount(call), 0u) << call;
    }
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u) << sim::OpenHandleReport();
  }
}

TEST_F(MachineScenario, AddForAnotherProcessorSaysItRegistersAnAdditionalDriver) {
  staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
  sim::AnswerMessageBox("", "", IDOK);
  EXPECT_EQ(Run(u"add C:\\zqdriver \"ZQ Printer2\" arm64"), 0);
  EXPECT_TRUE(Recorded("processor arm64 is not this machine's own (x64): its driver is "
                       "registered as an additional driver"));
  EXPECT_EQ(sim::FileContents(std::u16string(kDrivers) + u"arm64\\ZQPrinter_drv2.dll"),
            "arm64 new");
  EXPECT_EQ(sim::FileContents(std::u16string(kDrivers) + u"x64\\ZQPrinter_drv2.dll"), "old");
}

TEST_F(MachineScenario, TheFirstRecordNamesTheMachinesAndThePolicies) {
  sim::SetMachines(kArm64, kX64);
  sim::SetRegistryNumber(HKEY_LOCAL_MACHINE, kPolicyKey, u"WindowsProtectedPrintGroupPolicyState",
                         0);
  sim::SetRegistryNumber(HKEY_LOCAL_MACHINE,
                         u"Software\\Policies\\Microsoft\\Windows NT\\Printers\\PointAndPrint",
                         u"RestrictDriverInstallationToAdministrators", 1);
  EXPECT_EQ(Run(u"/quiet check . \"ZQ Printer2\" x64"), 1605);
  EXPECT_TRUE(Recorded("machine: native arm64, process x64 (IsWow64Process2); protected print "
                       "policy: 0; RestrictDriverInstallationToAdministrators: 1"));

  sim::Reset();
  sim::SetMachines(kX64, kX86);
  sim::SetIsWow64Process2Exported(false);
  EXPECT_EQ(Run(u"/quiet check . \"ZQ Printer2\" x86"), 1605);
  EXPECT_TRUE(Recorded("machine: native x64, process x86 (IsWow64Process, GetNativeSystemInfo); "
                       "protected print policy: absent; "
                       "RestrictDriverInstallationToAdministrators: absent (administrators only)"));
}

struct VerifyCase {
  const char* name;
  void (*stage)();
  const char16_t* arguments;
  int exitCode;
  const char* piece;  // the missing piece the box names; null: the installed box
};
void Installed() { staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2"); }
// The program carries the manifest of the x64 files now installed.
void Shipped() {
  std::string text = "ZQInst driver manifest 1\n";
  for (const char16_t* file : DriverFileSet) {
    std::string bytes = sim::FileContents(std::u16string(kDrivers) + u"x64\\" + file);
    text += "x64 " + U8(file) + " " + std::to_string(bytes.size()) + " " + sim::Sha256Hex(bytes) + "\n";
  }
  sim::SetProgramData(u"DRIVERMANIFEST", text);
}

// verify changes nothing, starts no spooler and names the first piece missing.
TEST_F(MachineScenario, VerifyEndsZeroOnlyWhenEverythingIsInPlace) {
  const char16_t* const asked = u"verify . \"ZQ Printer2\" x64";
  const VerifyCase cases[] = {
      {"in place", Installed, asked, 0, nullptr},
      {"keyword in capitals", Installed, u"VERIFY . \"zq printer2\" X64", 0, nullptr},
      {"nothing installed", [] {}, asked, -1, "ドライバ 'ZqDriver2' が 'Windows x64' に登録されていません"},
      {"printer deleted", [] { staging::PutInstalledDriver(staging::InstalledDriver()); sim::AddPort(u"ZQVirtualPrinterPort"); },
       asked, -1, "プリンタ 'ZQ Printer2' がありません"},
      {"another printer asked", Installed, u"verify . Office x64", -1, "プリンタ 'Office' がありません"},
      {"a file gone", [] { Installed(); sim::RemoveFile(std::u16string(kDrivers) + u"x64\\ZQPrinter_ui2.dll"); },
       asked, -1, "ドライバファイル 'ZQPrinter_ui2.dll' がありません"},
      {"port gone", [] { Installed(); sim::RemovePort(u"ZQVirtualPrinterPort"); }, asked, -1,
       "ポート 'ZQVirtualPrinterPort' がありません"},
      {"printer on another driver", [] { Installed(); sim::UpdatePrinter(u"ZQ Printer2", [](sim::Printer& p) { p.driver = u"Other"; }); },
       asked, -1, "プリンタ 'ZQ Printer2' のドライバが 'Other' です"},
      {"x86 exe on x64: the machine's own driver", [] { sim::SetMachines(kX64, kX86); Installed(); }, asked, 0, nullptr},
      {"additional driver missing", Installed, u"verify . \"ZQ Printer2\" arm64", -1,
       "ドライバ 'ZqDriver2' が 'Windows ARM64' に登録されていません"},
      {"additional driver in place", [] { Installed(); staging::StageAdditionalDriver(sim::kEnvironmentArm64, u"arm64"); },
       u"verify . \"ZQ Printer2\" arm64", 0, nullptr},
      {"spooler stopped: not started", [] { Installed(); sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED); },
       asked, -1, "'Windows x64' のドライバ一覧を読み取れません (1722)"},
      {"quiet: 1605", Installed, u"/quiet verify . Office x64", 1605, "プリンタ 'Office' がありません"},
      {"files as shipped", [] { Installed(); Shipped(); }, asked, 0, nullptr},
      {"a file changed since", [] { Installed(); Shipped(); sim::PutFile(std::u16string(kDrivers) + u"x64\\ZQPrinter.PDD", "x"); },
       asked, -1, "ドライバファイル 'ZQPrinter.PDD' が出荷されたものと異なります"},
  };
  for (const VerifyCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    SetUp();
    c.stage();
    const auto before = Environments();
    sim::AnswerMessageBox("", "", IDOK);
    EXPECT_EQ(Run(c.arguments), c.exitCode);
    const std::string text = c.piece ? std::string("ドライバ 'ZqDriver2' の状態が正しくありません: ") + c.piece
                                     : "ドライバ 'ZqDriver2' が正常にインストールされました.";
    if (c.exitCode == 1605) EXPECT_TRUE(Recorded(text));
    if (c.exitCode != 1605) EXPECT_EQ(BoxTexts(), std::vector<std::string>{text});
    EXPECT_EQ(Environments(), before);
    for (const char* call : {"StartServiceW", "ControlService", "CopyFileW", "AddPrinterDriverW", "AddPortW",
                             "XcvDataW", "AddPrinterW", "DeletePrinter", "DeletePrinterDriverW", "DeleteFileW"})
      EXPECT_EQ(sim::CallCount(call), 0u) << call;
    EXPECT_EQ(sim::LiveHeapBlocks() + sim::OpenHandles(), 0u) << sim::OpenHandleReport();
  }
}

// ----- what uninstall removes after the driver -----

TEST_F(MachineScenario, UninstallRemovesTheRegistrationsOfOtherEnvironmentsAndThePort) {
  staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
  staging::StageAdditionalDriver(sim::kEnvironmentX86, u"w32x86");
  staging::StageAdditionalDriver(sim::kEnvironmentArm64, u"arm64");
  EXPECT_EQ(Run(u"uninstall"), 0);
  EXPECT_TRUE(sim::Drivers().empty());
  for (const char16_t* folder : {u"x64", u"w32x86", u"arm64"})
    EXPECT_FALSE(sim::FileExists(std::u16string(kDrivers) + folder + u"\\ZQPrinter_drv2.dll"))
        << U8(folder);
  auto deletions = sim::Calls("DeletePrinterDriverExW");
  ASSERT_EQ(deletions.size(), 2u);
  EXPECT_EQ(deletions[0].args[1], "Windows NT x86");
  EXPECT_EQ(deletions[1].args[1], "Windows ARM64");
  for (auto& port : sim::Ports()) EXPECT_NE(port.name, u"ZQVirtualPrinterPort");
  EXPECT_EQ(sim::Calls("XcvDataW").at(0).args[1], "DeletePort");
  EXPECT_EQ(sim::CallCount("AddPortW"), 0u);  // no window: the data channel only
  EXPECT_TRUE(Recorded("uninstall: the registration of ZqDriver2 for \"Windows NT x86\" was removed"));
  EXPECT_TRUE(Recorded("uninstall: port ZQVirtualPrinterPort was deleted"));
}

TEST_F(MachineScenario, UninstallLeavesAPortThatAnotherPrinterUses) {
  staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
  sim::Printer other;
  other.name = u"Someone Else's";
  other.driver = u"Other Driver";
  other.port = u"LPT1:,ZQVirtualPrinterPort";
  sim::AddPrinter(other);
  EXPECT_EQ(Run(u"uninstall"), 0);
  bool portStays = false;
  for (auto& port : sim::Ports()) portStays = portStays || port.name == u"ZQVirtualPrinterPort";
  EXPECT_TRUE(portStays);
  EXPECT_EQ(sim::CallCount("XcvDataW"), 0u);
  EXPECT_TRUE(Recorded("uninstall: port ZQVirtualPrinterPort is left: printer Someone Else's uses it"));
}

TEST_F(MachineScenario, WhatUninstallCannotRemoveAfterTheDriverIsARecordNotAFailure) {
  staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
  staging::StageAdditionalDriver(sim::kEnvironmentX86, u"w32x86");
  sim::FailAlways("DeletePrinterDriverExW", ERROR_ACCESS_DENIED);
  sim::FailAlways("XcvDataW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"uninstall"), 0);
  EXPECT_EQ(Environments(), std::vector<std::u16string>{u"Windows NT x86"});
  EXPECT_TRUE(sim::FileExists(std::u16string(kDrivers) + u"w32x86\\ZQPrinter_drv2.dll"));
  EXPECT_TRUE(Recorded("uninstall: the registration of ZqDriver2 for \"Windows NT x86\" stays"));
  EXPECT_TRUE(Recorded("uninstall: port ZQVirtualPrinterPort could not be deleted"));
}

TEST_F(MachineScenario, ReinstallKeepsThePortForItsInstall) {
  staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
  staging::StageAdditionalDriver(sim::kEnvironmentX86, u"w32x86");
  EXPECT_EQ(Run(u"reinstall C:\\zqdriver \"ZQ Printer2\" x64"), 0);
  EXPECT_EQ(sim::CallCount("DeletePrinterDriverExW"), 0u);
  EXPECT_EQ(sim::CallCount("XcvDataW"), 0u);
  EXPECT_EQ(Environments(), (std::vector<std::u16string>{u"Windows NT x86", u"Windows x64"}));
}

// The x86 exe on x64 Windows would list the drivers of its own environment ("Windows NT x86") by
// default; the removal names the machine's.
TEST_F(MachineScenario, TheX86ExeOnX64UninstallsTheX64Driver) {
  sim::SetMachines(kX64, kX86);
  staging::StageInstalledDriver(staging::InstalledDriver(), u"ZQ Printer2");
  EXPECT_EQ(Run(u"uninstall"), 0);
  EXPECT_TRUE(sim::Drivers().empty());
  EXPECT_TRUE(sim::Printers().empty());
  EXPECT_FALSE(sim::FileExists(std::u16string(kDrivers) + u"x64\\ZQPrinter_drv2.dll"));
  EXPECT_EQ(sim::Calls("DeletePrinterDriverW").at(0).args[1], "Windows x64");
}

}  // namespace
