// Printer creation and verification on the simulated machine: the record handed to the spooler,
// the spool folder copied into the printer's key, the restart after the handle was closed, every
// failure with its message, and what stays installed after a failed step.
#include "installation/steps.h"
#include "platform/sim/registry.h"
#include "support/product.h"
#include "tests/unit/installation_fixture.h"

namespace {

constexpr char16_t kKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\ZQ Printer2";
constexpr char kKeyText[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\ZQ Printer2";

class PrinterTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    Install(InstalledDriver());
    sim::AddPort(u"ZQVirtualPrinterPort");
  }
  static bool Create() { return CreatePrinter(DefaultPrinterName, PortName); }
  static bool Installed() { return sim::FindPrinter(u"ZQ Printer2") != nullptr; }
};

TEST_F(PrinterTest, AddsTheQueueCopiesTheSpoolFolderAndRestartsAfterClosingTheHandle) {
  ASSERT_TRUE(Create()) << Message();

  EXPECT_EQ(sim::Calls("OpenPrinterW")[0].args,
            (std::vector<std::string>{"ZQ Printer2", "no defaults"}));
  auto add = sim::Calls("AddPrinterW");
  ASSERT_EQ(add.size(), 1u);
  EXPECT_EQ(add[0].args,
            (std::vector<std::string>{"(null)", "2", "ZQ Printer2", "ZQVirtualPrinterPort",
                                      "ZqDriver2", "WinPrint", "NT EMF 1.006", "0x41"}));
  const sim::Printer* p = sim::FindPrinter(u"ZQ Printer2");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->port, u"ZQVirtualPrinterPort");
  EXPECT_EQ(p->attributes, 0x41u);

  // Opened, never created, with the right to set values only; the name follows the backslash.
  auto open = sim::Calls("RegOpenKeyExW");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].args, (std::vector<std::string>{"HKLM", kKeyText, "0x2"}));
  EXPECT_EQ(sim::CallCount("RegCreateKeyExW"), 0u);
  auto value = sim::GetRegistryValue(HKEY_LOCAL_MACHINE, kKey, u"SpoolDirectory");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value->bytes, sim::TextValue(sim::kDefaultSpoolDirectory).bytes);

  // The new printer's own data has no spool folder (its driver stored none): the print server's
  // value is read, on a handle of the print server opened to enumerate.
  auto reads = sim::Calls("GetPrinterDataW");
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].args[1], "DefaultSpoolDirectory");
  EXPECT_EQ(reads[0].args[2], "null");
  EXPECT_EQ(reads[0].args[3], "0");
  EXPECT_EQ(reads[0].result, "2");
  EXPECT_NE(reads[1].args[0], reads[0].args[0]);
  EXPECT_EQ(reads[1].args[1], "DefaultSpoolDirectory");
  EXPECT_EQ(reads[1].args[3], "0");
  EXPECT_EQ(reads[2].args[0], reads[1].args[0]);
  auto opens = sim::Calls("OpenPrinterW");
  ASSERT_GE(opens.size(), 2u);  // then the restart's probe
  EXPECT_EQ(opens[1].args, (std::vector<std::string>{"(null)", "0x2"}));

  // The new printer's handle is closed before the stop; the stop comes before the start.
  size_t closed = Position("ClosePrinter", add[0].result);
  ASSERT_NE(closed, std::string::npos);
  EXPECT_LT(closed, Position("ControlService"));
  EXPECT_LT(Position("ControlService"), Position("StartServiceW"));
  EXPECT_LT(Position("RegCloseKey"), closed);
  EXPECT_TRUE(SpoolerRunning());
}

TEST_F(PrinterTest, TheValueIsReadIntoOneMoreCharacterAndWrittenWithTheSizeRead) {
  sim::SetNewPrinterSpoolDirectory(sim::TextValue(u"C:\\Spool\\ZQ\\Folder1"));  // 19 + 1 chars
  ASSERT_TRUE(Create()) << Message();
  EXPECT_EQ(sim::Calls("GetPrinterDataW")[1].args[3], "40");
  bool found = false;
  for (auto& alloc : sim::Calls("LocalAlloc")) found |= alloc.args[1] == "42";
  EXPECT_TRUE(found);
  EXPECT_EQ(sim::Calls("RegSetValueExW")[0].args,
            (std::vector<std::string>{sim::Calls("RegSetValueExW")[0].args[0], "SpoolDirectory",
                                      "1", "40"}));
}

// RegSetValueExW reads the character after REG_SZ data that lacks its terminator; the spare
// character of the buffer is that terminator, so nothing past the block is read (ASan) and the
// stored text is terminated.
TEST_F(PrinterTest, AValueWithoutTerminatorIsStoredTerminatedWithoutReadingPastTheBuffer) {
  std::u16string text = u"C:\\Spool\\ZQ\\Folder1";
  sim::PrinterValue value;
  value.bytes.assign(reinterpret_cast<const BYTE*>(text.data()),
                     reinterpret_cast<const BYTE*>(text.data() + text.size()));
  sim::SetNewPrinterSpoolDirectory(value);
  ASSERT_TRUE(Create()) << Message();
  EXPECT_EQ(sim::Calls("RegSetValueExW")[0].args[3], "38");
  auto stored = sim::GetRegistryValue(HKEY_LOCAL_MACHINE, kKey, u"SpoolDirectory");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes, sim::TextValue(text).bytes);
}

TEST_F(PrinterTest, ANameInUseAddsNothing) {
  sim::AddPrinter(PrinterOf(u"zq printer2", u"Other Driver"));
  EXPECT_FALSE(Create());
  EXPECT_EQ(Message(), "プリンタ名が既に使用されています!");
  EXPECT_EQ(sim::CallCount("AddPrinterW"), 0u);
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
}

TEST_F(PrinterTest, ARefusedAddLeavesTheMachineAsItWas) {
  struct Case {
    const char* what;
    void (*stage)();
    DWORD code;
  } cases[] = {
      {"unknown port", [] { sim::RemovePort(u"ZQVirtualPrinterPort"); }, ERROR_UNKNOWN_PORT},
      {"unknown driver",
       [] {
         sim::Reset();
         sim::AddPort(u"ZQVirtualPrinterPort");
       },
       ERROR_UNKNOWN_PRINTER_DRIVER},
      {"refused", [] { sim::FailAlways("AddPrinterW", ERROR_ACCESS_DENIED); }, ERROR_ACCESS_DENIED},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    Install(InstalledDriver());
    sim::AddPort(u"ZQVirtualPrinterPort");
    c.stage();
    EXPECT_FALSE(Create());
    EXPECT_EQ(Message(), "プリンタ 'ZQ Printer2' の追加ができません!");
    EXPECT_EQ(LastErrorCode, c.code);
    EXPECT_FALSE(Installed());
    EXPECT_FALSE(sim::RegistryKeyExists(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_EQ(sim::CallCount("ControlService"), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
  }
}

TEST_F(PrinterTest, FailuresAfterTheAddLeaveThePrinterInstalledAndTheSpoolerAlone) {
  struct Case {
    const char* what;
    void (*stage)();
    std::string message;
    DWORD code;
  } cases[] = {
      {"key denied", [] { sim::DenyRegistryKey(HKEY_LOCAL_MACHINE, kKey); },
       std::string("レジストリ '") + kKeyText + "' のオープンができません!", ERROR_ACCESS_DENIED},
      {"value missing on the printer and the print server",
       [] { sim::SetServerSpoolDirectory(std::nullopt); }, "スプールフォルダの取得ができません!",
       ERROR_FILE_NOT_FOUND},
      {"print server not opened", [] { sim::FailNth("OpenPrinterW", 2, ERROR_ACCESS_DENIED); },
       "スプールフォルダの取得ができません!", ERROR_ACCESS_DENIED},
      {"the print server's value of zero bytes",
       [] { sim::SetServerSpoolDirectory(sim::PrinterValue{}); },
       "スプールフォルダの取得ができません!", ERROR_SUCCESS},
      {"value of zero bytes", [] { sim::SetNewPrinterSpoolDirectory(sim::PrinterValue{}); },
       "スプールフォルダの取得ができません!", ERROR_SUCCESS},
      {"size query refused", [] { sim::FailNth("GetPrinterDataW", 1, ERROR_ACCESS_DENIED); },
       "スプールフォルダの取得ができません!", ERROR_ACCESS_DENIED},
      {"read refused", [] { sim::FailNth("GetPrinterDataW", 2, ERROR_INVALID_HANDLE); },
       "スプールフォルダの取得ができません!", ERROR_INVALID_HANDLE},
      {"write refused", [] { sim::FailAlways("RegSetValueExW", ERROR_ACCESS_DENIED); },
       std::string("スプールフォルダのレジストリキー '") + kKeyText + "' の取得ができません!",
       ERROR_ACCESS_DENIED},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    Install(InstalledDriver());
    sim::AddPort(u"ZQVirtualPrinterPort");
    c.stage();
    EXPECT_FALSE(Create());
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(LastErrorCode, c.code);
    EXPECT_TRUE(Installed());  // nothing is rolled back
    EXPECT_EQ(sim::CallCount("ControlService"), 0u);
    EXPECT_EQ(sim::CallCount("StartServiceW"), 0u);
    EXPECT_EQ(sim::OpenHandles(), 0u);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

TEST_F(PrinterTest, AKeyPathThatCannotBeBuiltFailsWithoutOpeningAnyKey) {
  sim::FailHeapAfter(0);
  EXPECT_FALSE(Create());
  sim::FailHeapAfter(-1);
  EXPECT_EQ(Message(), "メモリが不足しています!");
  EXPECT_EQ(sim::CallCount("RegOpenKeyExW"), 0u);
  EXPECT_TRUE(Installed());
}

TEST_F(PrinterTest, TheRestartFollowsTheSpoolersState) {
  // Not running at the restart (its status query fails): only started.
  sim::FailWhen("QueryServiceStatus", ERROR_ACCESS_DENIED,
                [](const sim::CallRecord&) { return sim::CallCount("StartServiceW") == 0; });
  ASSERT_TRUE(Create()) << Message();
  EXPECT_EQ(sim::CallCount("ControlService"), 0u);
  EXPECT_EQ(sim::CallCount("StartServiceW"), 1u);

  sim::Reset();
  Install(InstalledDriver());
  sim::AddPort(u"ZQVirtualPrinterPort");
  sim::FailAlways("ControlService", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Create());
  EXPECT_EQ(Message(), "スプーラの停止ができません!");
  EXPECT_EQ(sim::CallCount("StartServiceW"), 0u);
  EXPECT_TRUE(sim::GetRegistryValue(HKEY_LOCAL_MACHINE, kKey, u"SpoolDirectory"));
}

TEST_F(PrinterTest, TheDriverVersionIsReadFromTheDeviceMode) {
  ASSERT_TRUE(Create()) << Message();
  EXPECT_TRUE(VerifyDriverVersion(DefaultPrinterName)) << Message();

  sim::UpdatePrinter(u"ZQ Printer2",
                     [](sim::Printer& p) { p.devMode = sim::MakeDevMode(p.name, 0x0400, 16); });
  EXPECT_FALSE(VerifyDriverVersion(DefaultPrinterName));
  EXPECT_EQ(Message(), "ドライバのバージョン[1024]が 1280 でありません!");
  // A later version is just as wrong: the version must be 0x0500 exactly.
  sim::UpdatePrinter(u"ZQ Printer2",
                     [](sim::Printer& p) { p.devMode = sim::MakeDevMode(p.name, 0x0501, 16); });
  EXPECT_FALSE(VerifyDriverVersion(DefaultPrinterName));
  EXPECT_EQ(Message(), "ドライバのバージョン[1281]が 1280 でありません!");

  sim::UpdatePrinter(u"ZQ Printer2", [](sim::Printer& p) { p.devMode.clear(); });
  EXPECT_FALSE(VerifyDriverVersion(DefaultPrinterName));
  EXPECT_EQ(Message(), "プリンタ 'ZQ Printer2' のデバイスモードの取得ができません!");

  EXPECT_FALSE(VerifyDriverVersion(u"Nobody"));
  EXPECT_EQ(Message(), "プリンタ 'Nobody' のデバイスモードの取得ができません!");
}

TEST_F(PrinterTest, TheDeviceModeComesFromTheDriverOfTheNewPrinter) {
  sim::Reset();
  sim::Driver old = InstalledDriver();
  old.devModeVersion = 0x0400;
  Install(old);
  sim::AddPort(u"ZQVirtualPrinterPort");
  ASSERT_TRUE(Create()) << Message();
  EXPECT_FALSE(VerifyDriverVersion(DefaultPrinterName));
  EXPECT_EQ(Message(), "ドライバのバージョン[1024]が 1280 でありません!");
}

}  // namespace
