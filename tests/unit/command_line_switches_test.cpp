// Switches before the mode keyword: /quiet (/q) and /log <path>, with "/" or "-" in any letter
// case; the mode and its arguments counted from the first argument that is not a switch; the bad
// inputs and what they are rejected with.
#include "platform/sim/user.h"
#include "shell/command_line.h"
#include "support/quiet_run.h"
#include "support/settings_log.h"
#include "tests/support/sim_test.h"

namespace {

const char kUsage[] =
    "パラメータの数が足りません．: 使用方法:\nZQInst.exe [モード] [ドライバフォルダ] [プリンタ名] "
    "[プロセッサ]";
const char kBadMode[] =
    "モードが不正です．: 'install', 'check' ,'uninstall', 'add' を指定してください．";
const char kNoProcessor[] = "プロセッサが指定されていません．: 'x86', 'x64' を指定してください．";

struct SwitchCase {
  const char16_t* line;
  bool quiet;
  const char* logPath;   // "" when none
  const char* rejected;  // nullptr: accepted
  InstallerMode mode;
  const char* folder;   // "<absent>" when not given
  const char* printer;  // "<absent>" when not given
};

class CommandLineSwitchesTest : public SimTest {
 protected:
  void TearDown() override {
    SetLogFilePath(nullptr);
    SimTest::TearDown();
  }
};

TEST_F(CommandLineSwitchesTest, SwitchesComeBeforeTheModeAndShiftNothingElse) {
  const SwitchCase cases[] = {
      {u"ZQInst.exe /quiet install C:\\d \"P 1\" x64", true, "", nullptr, Install, "C:\\d", "P 1"},
      {u"ZQInst.exe /q check . P X64", true, "", nullptr, Check, ".", "P"},
      {u"ZQInst.exe -QUIET -Q uninstall", true, "", nullptr, Uninstall, "<absent>", "<absent>"},
      {u"ZQInst.exe /Log C:\\l.txt /quiet add a b x86", true, "C:\\l.txt", nullptr, Add, "a", "b"},
      {u"ZQInst.exe -log \"C:\\my logs\\z.log\" reinstall a b x64", false, "C:\\my logs\\z.log", nullptr,
       Reinstall, "a", "b"},
      // Today's command lines: a switch after the mode is an ordinary argument.
      {u"ZQInst.exe install /quiet b x64", false, "", nullptr, Install, "/quiet", "b"},
      {u"ZQInst.exe install a b x64", false, "", nullptr, Install, "a", "b"},
      // Bad input.
      {u"ZQInst.exe /log", false, "", kUsage, Install, "", ""},
      {u"ZQInst.exe /quiet /log", true, "", kUsage, Install, "", ""},
      {u"ZQInst.exe /log \"\" install a b x64", false, "", kUsage, Install, "", ""},
      {u"ZQInst.exe /quiet", true, "", kUsage, Install, "", ""},
      {u"ZQInst.exe /x install a b x64", false, "", kBadMode, Install, "", ""},
      {u"ZQInst.exe /quietly install a b x64", false, "", kBadMode, Install, "", ""},
      {u"ZQInst.exe /q install a b", true, "", kNoProcessor, Install, "", ""},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(U8(c.line));
    sim::Reset();
    sim::SetCommandLine(c.line);
    RunSwitches switches = ReadRunSwitches();
    EXPECT_EQ(switches.quiet, c.quiet);
    EXPECT_EQ(switches.logPath, nullptr);  // put in effect, not kept
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);

    InstallerRequest request = {};
    LPWSTR* vector = nullptr;
    bool parsed = ParseCommandLine(&request, &vector);
    EXPECT_EQ(parsed, c.rejected == nullptr);
    if (!parsed) {
      ASSERT_EQ(sim::MessageBoxes().size(), 1u);
      EXPECT_EQ(U8(sim::MessageBoxes()[0].text.c_str()), c.rejected);
      continue;
    }
    EXPECT_EQ(request.mode, c.mode);
    EXPECT_EQ(request.driverFolder ? U8(request.driverFolder) : "<absent>", c.folder);
    EXPECT_EQ(request.printerName ? U8(request.printerName) : "<absent>", c.printer);
    GlobalFree(vector);
  }
}

TEST_F(CommandLineSwitchesTest, AQuietRejectionIsARecordNotABox) {
  SetQuietRun(true);
  sim::SetCommandLine(u"ZQInst.exe /quiet /log");
  InstallerRequest request = {};
  LPWSTR* vector = nullptr;
  EXPECT_FALSE(ParseCommandLine(&request, &vector));
  SetQuietRun(false);
  EXPECT_TRUE(sim::MessageBoxes().empty());
  bool recorded = false;
  for (auto& line : sim::DebugOutput())
    recorded = recorded || line.find("Error: パラメータの数が足りません．") != std::string::npos;
  EXPECT_TRUE(recorded);
}

TEST_F(CommandLineSwitchesTest, ReadSwitchesStopsAtTheModesPlace) {
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
}

}  // namespace
