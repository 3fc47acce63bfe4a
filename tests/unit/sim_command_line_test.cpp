// CommandLineToArgvW splits as the shell does; the installer's request depends on these rules.
#include "platform/sim/command_line.h"
#include "tests/support/sim_test.h"

namespace {

class SimCommandLineTest : public SimTest {
 protected:
  // Splits the line, checks the block's layout and releases it as the installer does.
  std::vector<std::string> Split(const char16_t* line) {
    int argc = -1;
    LPWSTR* argv = CommandLineToArgvW(line, &argc);
    EXPECT_NE(argv, nullptr);
    if (!argv) return {};
    EXPECT_EQ(sim::LiveHeapBlocks(), 1u) << "the vector and its strings are one block";
    std::vector<std::string> out;
    for (int i = 0; i < argc; ++i) out.push_back(U8(argv[i]));
    EXPECT_EQ(argv[argc], nullptr);
    EXPECT_EQ(GlobalFree(argv), nullptr);
    return out;
  }
  using V = std::vector<std::string>;
};

TEST_F(SimCommandLineTest, ProgramNameIsTakenWithoutBackslashRules) {
  EXPECT_EQ(Split(u"ZQInst.exe install"), (V{"ZQInst.exe", "install"}));
  EXPECT_EQ(Split(u"\"C:\\Program Files\\ZQ\\\" install"),
            (V{"C:\\Program Files\\ZQ\\", "install"}));
  EXPECT_EQ(Split(u"C:\\a\\\"b c"), (V{"C:\\a\\\"b", "c"}));  // unquoted: up to the blank
  EXPECT_EQ(Split(u" install"), (V{"", "install"}));          // leading blank: empty name
  EXPECT_EQ(Split(u"\"C:\\ZQ\\ZQInst.exe\"check x64"), (V{"C:\\ZQ\\ZQInst.exe", "check", "x64"}));
}

TEST_F(SimCommandLineTest, BlanksQuotesAndBackslashes) {
  EXPECT_EQ(Split(u"p  a\tb   "), (V{"p", "a", "b"}));  // trailing blanks add nothing
  EXPECT_EQ(Split(u"p \"ZQ Printer2\" \"\" x\"y z\"w"), (V{"p", "ZQ Printer2", "", "xy zw"}));
  EXPECT_EQ(Split(u"p C:\\drv\\ a\\\\b"), (V{"p", "C:\\drv\\", "a\\\\b"}));  // literal
  EXPECT_EQ(Split(u"p a\\\\\"b c\""), (V{"p", "a\\b c"}));       // 2n: n and a quote toggle
  EXPECT_EQ(Split(u"p a\\\\\\\"b c"), (V{"p", "a\\\"b", "c"}));  // 2n+1: n and a literal quote
  EXPECT_EQ(Split(u"p \"C:\\drv\\\\\" x64"), (V{"p", "C:\\drv\\", "x64"}));
  EXPECT_EQ(Split(u"p \"C:\\drv\\\" x64"), (V{"p", "C:\\drv\" x64"}));  // the classic trap
  // Two quotes inside a quoted part: one literal quote, the part stays open.
  EXPECT_EQ(Split(u"p \"a\"\"b c\" d"), (V{"p", "a\"b c", "d"}));
  EXPECT_EQ(Split(u"p \"unterminated arg"), (V{"p", "unterminated arg"}));
}

TEST_F(SimCommandLineTest, EmptyLineGivesTheProgramPath) {
  EXPECT_EQ(Split(u""), (V{"C:\\ZQInst\\ZQInst.exe"}));
  sim::SetProgramPath(u"D:\\tools\\ZQInst.exe");
  EXPECT_EQ(Split(nullptr), (V{"D:\\tools\\ZQInst.exe"}));
  sim::Reset();
  EXPECT_EQ(sim::ProgramPath(), u"C:\\ZQInst\\ZQInst.exe");
}

TEST_F(SimCommandLineTest, FailuresReturnNoVector) {
  SetLastError(0);
  EXPECT_EQ(CommandLineToArgvW(u"p a", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  int argc = 0;
  sim::FailHeapAfter(0);
  EXPECT_EQ(CommandLineToArgvW(u"p a", &argc), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  auto calls = sim::Calls("CommandLineToArgvW");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args[0], "p a");
}

}  // namespace
