// The platform check and real command lines turned into requests or rejected with one box each.
#include "platform/sim/user.h"
#include "shell/command_line.h"
#include "support/quiet_run.h"
#include "tests/support/sim_test.h"

namespace {

const char kUsage[] =
    "パラメータの数が足りません．: 使用方法:\nZQInst.exe [モード] [ドライバフォルダ] [プリンタ名] "
    "[プロセッサ]";
const char kBadMode[] =
    "モードが不正です．: 'install', 'check' ,'uninstall', 'add', 'verify' を指定してください．";
const char kNoProcessor[] = "プロセッサが指定されていません．: 'x86', 'x64' を指定してください．";
const char kBadProcessor[] = "プロセッサが不正です．: 'x86', 'x64' を指定してください．";

class CommandLineTest : public SimTest {
 protected:
  struct Parsed {
    bool ok = false;
    InstallerMode mode = Install;
    std::string folder, printer;  // "<absent>" when not given
    TargetProcessor processor = X86;
  };

  Parsed Parse(const char16_t* line) {
    sim::SetCommandLine(line);
    InstallerRequest request = {};
    LPWSTR* vector = reinterpret_cast<LPWSTR*>(0x1);
    Parsed out;
    out.ok = ParseCommandLine(&request, &vector);
    if (!out.ok) {
      EXPECT_EQ(vector, nullptr);
      EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << "a rejected vector is released";
      return out;
    }
    EXPECT_NE(vector, nullptr);
    out.mode = request.mode;
    out.folder = request.driverFolder ? U8(request.driverFolder) : "<absent>";
    out.printer = request.printerName ? U8(request.printerName) : "<absent>";
    out.processor = request.processor;
    GlobalFree(vector);  // the caller's part; the strings die with it
    return out;
  }

  // The one box every rejection shows.
  void ExpectRejectedWith(const char* text) {
    auto boxes = sim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(sim::Utf8(boxes[0].caption), "ZQInst.exe [ドライバ インスール]");
    EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(sim::Utf8(boxes[0].text), text);
  }
};

TEST_F(CommandLineTest, PlatformMajorVersionFiveOrMoreRuns) {
  sim::SetVersion(0x0A280105);  // 5.1 (build 2600)
  EXPECT_TRUE(CheckPlatform());
  sim::SetVersion(0x23F00206);  // 6.2, what Windows 10 reports to an unmanifested program
  EXPECT_TRUE(CheckPlatform());
  EXPECT_TRUE(sim::MessageBoxes().empty());
  sim::SetVersion(0xC0000A04);  // 4.10: only the low byte counts
  EXPECT_FALSE(CheckPlatform());
  ExpectRejectedWith("現在のWindowsシステムはサポートされていません．");
}

TEST_F(CommandLineTest, FullInstallRequest) {
  auto r = Parse(
      u"\"C:\\Program Files\\ZQ\\ZQInst.exe\" install \"C:\\ZQ drivers\\\\\" "
      u"\"ZQ Printer2\" x64");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.mode, Install);
  EXPECT_EQ(r.folder, "C:\\ZQ drivers\\");
  EXPECT_EQ(r.printer, "ZQ Printer2");
  EXPECT_EQ(r.processor, X64);
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(CommandLineTest, KeywordsInAnyLetterCase) {
  struct Case {
    const char16_t* line;
    InstallerMode mode;
    TargetProcessor processor;
  } cases[] = {
      {u"ZQInst.exe INSTALL d p x86", Install, X86},
      {u"ZQInst.exe Install d p X64", Install, X64},
      {u"ZQInst.exe cHeCk d p x64", Check, X64},
      {u"ZQInst.exe REINSTALL d p X86", Reinstall, X86},
      {u"ZQInst.exe Add d p x64", Add, X64},
  };
  for (auto& c : cases) {
    auto r = Parse(c.line);
    ASSERT_TRUE(r.ok) << sim::Utf8(c.line);
    EXPECT_EQ(r.mode, c.mode) << sim::Utf8(c.line);
    EXPECT_EQ(r.processor, c.processor) << sim::Utf8(c.line);
  }
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

// The three processors of the command line, each in any letter case.
TEST_F(CommandLineTest, EveryProcessorKeywordParsesToItsProcessor) {
  const struct {
    const char16_t* keyword;
    TargetProcessor processor;
  } rows[] = {{u"x86", X86}, {u"x64", X64}, {u"arm64", Arm64}, {u"ARM64", Arm64}, {u"X86", X86}};
  for (const auto& row : rows) {
    SCOPED_TRACE(sim::Utf8(row.keyword));
    sim::Reset();
    auto r = Parse((u"ZQInst.exe install d p " + std::u16string(row.keyword)).c_str());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.processor, row.processor);
    EXPECT_TRUE(sim::MessageBoxes().empty());
  }
}

TEST_F(CommandLineTest, UninstallTakesNoArguments) {
  auto bare = Parse(u"ZQInst.exe uninstall");
  ASSERT_TRUE(bare.ok);
  EXPECT_EQ(bare.mode, Uninstall);
  EXPECT_EQ(bare.folder, "<absent>");
  EXPECT_EQ(bare.printer, "<absent>");
  EXPECT_EQ(bare.processor, X86);
  auto extra = Parse(u"ZQInst.exe UnInstall C:\\drv \"Some Printer\" arm64 more");
  ASSERT_TRUE(extra.ok);
  EXPECT_EQ(extra.mode, Uninstall);
  EXPECT_EQ(extra.folder, "<absent>");
  EXPECT_EQ(extra.printer, "<absent>");
  EXPECT_EQ(extra.processor, X86);
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(CommandLineTest, FolderAndPrinterMayBeAnyTextAndASixthArgumentIsIgnored) {
  auto r = Parse(u"ZQInst.exe check \"\" \"\" x86 sixth seventh");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.mode, Check);
  EXPECT_EQ(r.folder, "");
  EXPECT_EQ(r.printer, "");
  EXPECT_EQ(r.processor, X86);
}

// Each rejection in a fresh machine: exactly one box, with the text of the first failed test.
TEST_F(CommandLineTest, RejectionsShowTheirText) {
  struct Case {
    const char16_t* line;
    const char* text;
  } cases[] = {
      {u"\"C:\\ZQ\\ZQInst.exe\"", kUsage},  // the program path alone
      {u"", kUsage},                        // Windows supplies the program path
      {u"ZQInst.exe setup d p x64", kBadMode},
      {u"ZQInst.exe \"\" d p x64", kBadMode},
      {u"ZQInst.exe install C:\\drv \"ZQ Printer2\"", kNoProcessor},
      {u"ZQInst.exe check", kNoProcessor},
      {u"ZQInst.exe reinstall d", kNoProcessor},
      {u"ZQInst.exe add d p \"\"", kBadProcessor},  // empty is invalid, not missing
      {u"ZQInst.exe install d p \"x64 \"", kBadProcessor},
      {u"ZQInst.exe setup d p", kBadMode},  // the mode is tested before the processor
  };
  for (auto& c : cases) {
    SCOPED_TRACE(sim::Utf8(c.line));
    sim::Reset();
    EXPECT_FALSE(Parse(c.line).ok);
    ExpectRejectedWith(c.text);
  }
}

TEST_F(CommandLineTest, NoVectorFromTheShellIsRejectedWithTheUsage) {
  sim::FailAlways("CommandLineToArgvW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(Parse(u"ZQInst.exe install d p x64").ok);
  ExpectRejectedWith(kUsage);
}

// ----- switches before the mode: /quiet (/q) and /log <path> -----

struct SwitchCase {
  const char16_t* line;
  bool quiet;
  const char* rejected;  // nullptr: accepted
  InstallerMode mode;
  const char* folder;   // "<absent>" when not given
  const char* printer;  // "<absent>" when not given
};

TEST_F(CommandLineTest, SwitchesComeBeforeTheModeAndShiftNothingElse) {
  const SwitchCase cases[] = {
      {u"ZQInst.exe /quiet install C:\\d \"P 1\" x64", true, nullptr, Install, "C:\\d", "P 1"},
      {u"ZQInst.exe /q check . P X64", true, nullptr, Check, ".", "P"},
      {u"ZQInst.exe -QUIET -Q uninstall", true, nullptr, Uninstall, "<absent>", "<absent>"},
      {u"ZQInst.exe /Log C:\\l.txt /quiet add a b x86", true, nullptr, Add, "a", "b"},
      {u"ZQInst.exe -log \"C:\\my logs\\z.log\" reinstall a b x64", false, nullptr, Reinstall, "a", "b"},
      // Today's command lines: a switch after the mode is an ordinary argument.
      {u"ZQInst.exe install /quiet b x64", false, nullptr, Install, "/quiet", "b"},
      // Bad input.
      {u"ZQInst.exe /log", false, kUsage, Install, "", ""},
      {u"ZQInst.exe /quiet /log", true, kUsage, Install, "", ""},
      {u"ZQInst.exe /log \"\" install a b x64", false, kUsage, Install, "", ""},
      {u"ZQInst.exe /quiet", true, kUsage, Install, "", ""},
      {u"ZQInst.exe /x install a b x64", false, kBadMode, Install, "", ""},
      {u"ZQInst.exe /quietly install a b x64", false, kBadMode, Install, "", ""},
      {u"ZQInst.exe /q install a b", true, kNoProcessor, Install, "", ""},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(sim::Utf8(c.line));
    sim::Reset();
    int count = 0;
    LPWSTR* vector = SplitCommandLine(c.line, &count);
    RunSwitches switches = ReadSwitches(count, vector);
    EXPECT_EQ(switches.quiet, c.quiet);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    GlobalFree(vector);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    Parsed parsed = Parse(c.line);
    EXPECT_EQ(parsed.ok, c.rejected == nullptr);
    if (c.rejected) {
      ExpectRejectedWith(c.rejected);
      continue;
    }
    EXPECT_EQ(parsed.mode, c.mode);
    EXPECT_EQ(parsed.folder, c.folder);
    EXPECT_EQ(parsed.printer, c.printer);
  }
}

TEST_F(CommandLineTest, AQuietRejectionIsARecordNotABox) {
  SetQuietRun(true);
  EXPECT_FALSE(Parse(u"ZQInst.exe /quiet /log").ok);
  SetQuietRun(false);
  EXPECT_TRUE(sim::MessageBoxes().empty());
  bool recorded = false;
  for (auto& line : sim::DebugOutput())
    recorded = recorded || line.find("Error: パラメータの数が足りません．: 使用方法:") != std::string::npos;
  EXPECT_TRUE(recorded);
}

TEST_F(CommandLineTest, ReadSwitchesStopsAtTheModesPlace) {
  WCHAR program[] = u"ZQInst.exe", quiet[] = u"/q", log[] = u"-LOG", path[] = u"x.log",
        mode[] = u"check";
  LPWSTR arguments[] = {program, quiet, log, path, mode};
  RunSwitches s = ReadSwitches(5, arguments);
  EXPECT_TRUE(s.quiet);
  EXPECT_EQ(s.logPath, path);
  EXPECT_FALSE(s.logPathMissing);
  EXPECT_EQ(s.modeIndex, 4);
  s = ReadSwitches(3, arguments);  // "-LOG" is the last argument
  EXPECT_TRUE(s.logPathMissing);
  EXPECT_EQ(s.modeIndex, 3);
  s = ReadSwitches(0, nullptr);  // a command line that could not be split
  EXPECT_FALSE(s.quiet);
  EXPECT_EQ(s.modeIndex, 1);
}

}  // namespace
