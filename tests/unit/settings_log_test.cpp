// Settings and the diagnostic log on the simulated machine: the settings key, the readers' limits,
// records byte for byte in the debugger output and the log file, and the logging helpers.
#include <algorithm>
#include <cstring>
#include <functional>
#include <regex>
#include <string>

#include "platform/sim/code_pages.h"
#include "platform/sim/files.h"
#include "platform/sim/registry.h"
#include "platform/sim/session.h"
#include "support/handles.h"
#include "support/library.h"
#include "support/messages.h"
#include "support/product.h"
#include "support/settings_log.h"
#include "tests/support/sim_test.h"

namespace {

const std::string kPrefix =
    std::string("ZQPrinter2 [") + BuildStamp.date + " " + BuildStamp.time + "] ";
const std::string kNoFile = "Could not open the debug logging file.";

class SettingsLogTest : public SimTest {
 protected:
  static void SetNumber(const std::u16string& name, DWORD value) {
    sim::SetRegistryNumber(HKEY_CURRENT_USER, SettingsKey, name, value);
  }
  static void SetRaw(const std::u16string& name, const void* data, size_t bytes) {
    sim::RegistryValue v;
    v.type = REG_SZ;
    v.bytes.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + bytes);
    sim::SetRegistryValue(HKEY_CURRENT_USER, SettingsKey, name, v);
  }
  static void SetLogFile(const std::u16string& path) {
    sim::SetRegistryText(HKEY_CURRENT_USER, SettingsKey, u"LOGFILE", path);
  }
};

TEST_F(SettingsLogTest, ReadingASettingCreatesTheKey) {
  EXPECT_FALSE(sim::RegistryKeyExists(HKEY_CURRENT_USER, SettingsKey));
  EXPECT_EQ(ReadSettingNumber(TEXT("LOGLEVEL"), 7), 7);
  EXPECT_TRUE(sim::RegistryKeyExists(HKEY_CURRENT_USER, u"software\\zqprinter2"));
  auto create = sim::Calls("RegCreateKeyExW")[0];
  EXPECT_EQ(create.args, (std::vector<std::string>{"HKCU", "SOFTWARE\\ZQPrinter2", "0xf003f"}));
}

TEST_F(SettingsLogTest, NumbersAreSignedAndFallBackToTheDefault) {
  SetNumber(u"LOGLEVEL", 3);
  EXPECT_EQ(ReadSettingNumber(TEXT("loglevel"), 1), 3);
  SetNumber(u"LOGLEVEL", static_cast<DWORD>(-2));
  EXPECT_EQ(ReadSettingNumber(TEXT("LOGLEVEL"), 1), -2);
  BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  SetRaw(u"BIG", eight, sizeof eight);
  EXPECT_EQ(ReadSettingNumber(TEXT("BIG"), 9), 9);  // does not fit in 32 bits
  EXPECT_EQ(ReadSettingNumber(TEXT("ABSENT"), -5), -5);
  sim::FailAlways("RegCreateKeyExW", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadSettingNumber(TEXT("LOGLEVEL"), 4), 4);
}

TEST_F(SettingsLogTest, StringsFitWithTheirTerminatorOrLeaveTheBufferAlone) {
  struct Guarded {
    WCHAR text[SettingTextCapacity];
    WCHAR guard[4];
  } buffer;
  auto reset = [&] {
    for (auto& c : buffer.text) c = u'#';
    for (auto& c : buffer.guard) c = u'G';
  };
  auto guardIntact = [&] {
    for (auto c : buffer.guard)
      if (c != u'G') return false;
    return true;
  };

  reset();
  sim::SetRegistryText(HKEY_CURRENT_USER, SettingsKey, u"LOGFILE", u"C:\\log.txt");
  EXPECT_EQ(ReadSettingString(TEXT("LOGFILE"), buffer.text), buffer.text);
  EXPECT_EQ(U8(buffer.text), "C:\\log.txt");

  std::u16string full(259, u'a');  // 259 characters, stored without a terminator
  reset();
  SetRaw(u"S", full.data(), full.size() * 2);
  ReadSettingString(TEXT("S"), buffer.text);
  EXPECT_EQ(std::u16string(buffer.text), full);  // terminated after its last character

  std::u16string over(260, u'b');  // fills all 260 characters, no room for the terminator
  reset();
  SetRaw(u"S", over.data(), over.size() * 2);
  ReadSettingString(TEXT("S"), buffer.text);
  EXPECT_EQ(buffer.text[0], u'#');
  EXPECT_TRUE(guardIntact());

  std::u16string longer(300, u'c');
  reset();
  SetRaw(u"S", longer.c_str(), (longer.size() + 1) * 2);
  ReadSettingString(TEXT("S"), buffer.text);
  EXPECT_EQ(buffer.text[0], u'#');
  EXPECT_TRUE(guardIntact());

  reset();
  ReadSettingString(TEXT("ABSENT"), buffer.text);
  EXPECT_EQ(buffer.text[0], u'#');
}

TEST_F(SettingsLogTest, APlainRecordWithoutLogFile) {
  DebugLog("count %d of '%s'", 5, "x");
  EXPECT_EQ(sim::DebugOutput(),
            (std::vector<std::string>{kPrefix + "count 5 of 'x'\r\n", kNoFile}));
  EXPECT_EQ(std::string(LogLine), kPrefix + "count 5 of 'x'\r\n");
}

TEST_F(SettingsLogTest, RecordsCarryThisBuildsDateAndTime) {
  // As the compiler renders them: month abbreviation, day (space-padded), year; and the time.
  EXPECT_TRUE(std::regex_match(BuildStamp.date, std::regex("[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}")))
      << BuildStamp.date;
  EXPECT_TRUE(std::regex_match(BuildStamp.time, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
      << BuildStamp.time;
  EXPECT_STRNE(BuildStamp.date, "May 15 2013");
  DebugLog("stamped");
  ASSERT_FALSE(sim::DebugOutput().empty());
  EXPECT_EQ(sim::DebugOutput()[0], std::string("ZQPrinter2 [") + BuildStamp.date + " " +
                                       BuildStamp.time + "] stamped\r\n");
}

TEST_F(SettingsLogTest, LogLevelZeroSilencesPlainRecordsButNotErrorRecords) {
  SetNumber(u"LOGLEVEL", 0);
  DebugLog("hidden");
  EXPECT_TRUE(sim::DebugOutput().empty());
  SetNumber(u"LOGLEVEL", static_cast<DWORD>(-1));
  DebugLog("hidden");
  EXPECT_TRUE(sim::DebugOutput().empty());

  DebugLogError(ERROR_ACCESS_DENIED, "write of %ws failed", TEXT("C:\\f"));
  std::string system = PlatformText(ERROR_ACCESS_DENIED).substr(0, 255);
  ASSERT_EQ(sim::DebugOutput().size(), 2u);
  EXPECT_EQ(sim::DebugOutput()[0],
            kPrefix + "write of C:\\f failed\r\nLast error was: " + system + "\r\n");
}

TEST_F(SettingsLogTest, AMessageLongerThanAPieceIsShortenedWithItsMarkAndStillEndsTheLine) {
  std::string longMessage(300, 'm');
  DebugLog("%s", longMessage.c_str());
  // 255 bytes: the piece's text up to its mark "…" (in the machine's ANSI code page, UTF-8 here).
  EXPECT_EQ(sim::DebugOutput()[0], kPrefix + std::string(252, 'm') + "\xE2\x80\xA6\r\n");
}

TEST_F(SettingsLogTest, TheLogFileGrowsByOneRecordPerCall) {
  sim::MakeDir(u"C:\\Logs");
  SetLogFile(u"c:\\logs\\zq.log");
  sim::SetDateTime({2013, 5, 15, 16, 7, 45});
  DebugLog("first");
  EXPECT_EQ(sim::FileContents(u"C:\\Logs\\zq.log"), "05/15/13 16:07:45 - " + kPrefix + "first\r\n");
  sim::AdvanceClock(61000);
  DebugLog("second %ws", TEXT("rec"));
  EXPECT_EQ(sim::FileContents(u"C:\\Logs\\zq.log"), "05/15/13 16:07:45 - " + kPrefix + "first\r\n" +
                                                        "05/15/13 16:08:46 - " + kPrefix +
                                                        "second rec\r\n");
  EXPECT_EQ(sim::DebugOutput().size(), 2u);  // no complaint about the file
  // Appending only (read to tell a log of ours in an elevated run), an existing file opened
  // first, then created with the right to delete it again, a link at the path opened as itself.
  ASSERT_EQ(sim::Calls("CreateFileW").size(), 3u);
  EXPECT_EQ(sim::Calls("CreateFileW")[0].args,
            (std::vector<std::string>{"c:\\logs\\zq.log", "0x80100084", "0x3", "3", "0x200080"}));
  EXPECT_EQ(sim::OpenHandles(), 0u);
}

// The log never follows a link: a symbolic link, a junction or another reparse point at the
// path, or a file with more than one name, gets no record; the records go to the debugger output
// only, and one record (once per path) says why.
TEST_F(SettingsLogTest, TheLogFileIsNeverALink) {
  const std::string kLinkReason = "it is a symbolic link, a junction or another reparse point";
  const std::string kHardLinkReason = "the file has more than one hard link";
  const std::string kPathReason = "its final path is another: a folder on the way is a link";
  struct Case {
    const char* what;
    void (*stage)();
    const char* untouched;  // a file whose contents must stay "elsewhere\r\n" ("" for none)
    std::string reason;     // "" when the file is written
    bool logfileOnly = false;  // an elevated run refuses it for LOGFILE; /log is the administrator's
  } cases[] = {
      {"a file that is no log of ours", [] { sim::PutFile(u"C:\\Logs\\zq.log", "[core]\r\n"); }, "",
       "it is no log of ours: an elevated run appends LOGFILE's records only to an empty file or "
       "one that begins with a record of ours", true},
      {"a plain file", [] { sim::PutFile(u"C:\\Logs\\zq.log", ""); }, "", ""},
      {"a missing file", [] { sim::MakeDir(u"C:\\Logs"); }, "", ""},
      {"a symbolic link to a file",
       [] {
         sim::PutFile(u"C:\\Windows\\win.ini", "elsewhere\r\n");
         sim::MakeSymbolicLink(u"C:\\Logs\\zq.log", u"C:\\Windows\\win.ini");
       },
       "C:\\Windows\\win.ini", kLinkReason},
      {"a symbolic link to nothing yet",
       [] { sim::MakeSymbolicLink(u"C:\\Logs\\zq.log", u"C:\\Windows\\made.txt"); },
       "C:\\Windows\\made.txt", kLinkReason},
      {"a junction",
       [] { sim::MakeJunction(u"C:\\Logs\\zq.log", u"C:\\Windows\\System32"); }, "",
       kLinkReason},
      {"another reparse point",
       [] {
         sim::PutFile(u"C:\\Logs\\zq.log", "elsewhere\r\n");
         sim::MarkReparsePoint(u"C:\\Logs\\zq.log");
       },
       "C:\\Logs\\zq.log", kLinkReason},
      {"a hard link",
       [] {
         sim::PutFile(u"C:\\Windows\\win.ini", "elsewhere\r\n");
         sim::MakeHardLink(u"C:\\Logs\\zq.log", u"C:\\Windows\\win.ini");
       },
       "C:\\Windows\\win.ini", kHardLinkReason},
      {"a junction on the way",
       [] {
         sim::PutFile(u"C:\\Windows\\System32\\zq.log", "elsewhere\r\n");
         sim::MakeJunction(u"C:\\Logs", u"C:\\Windows\\System32");
       },
       "C:\\Windows\\System32\\zq.log", kPathReason},
      {"a junction on the way to no file yet", [] { sim::MakeJunction(u"C:\\Logs", u"C:\\Tasks"); },
       "C:\\Tasks\\zq.log", kPathReason},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    c.stage();
    for (bool runLog : {false, true}) {  // LOGFILE, then /log
      SCOPED_TRACE(runLog ? "/log" : "LOGFILE");
      const std::string reason = runLog && c.logfileOnly ? "" : c.reason;
      const size_t before = sim::DebugOutput().size();
      if (runLog) {
        SetLogFilePath(TEXT("C:\\Logs\\zq.log"));
      } else {
        SetLogFile(u"C:\\Logs\\zq.log");
      }
      DebugLog("first");
      DebugLog("second");
      auto output = sim::DebugOutput();
      output.erase(output.begin(), output.begin() + static_cast<long>(before));
      if (reason.empty()) {
        EXPECT_EQ(output, (std::vector<std::string>{kPrefix + "first\r\n", kPrefix + "second\r\n"}));
      } else {
        // Both records, and the reason once, for this path.
        ASSERT_EQ(output.size(), 3u);
        EXPECT_EQ(output[0], kPrefix + "first\r\n");
        {
          EXPECT_EQ(output[1], kPrefix + "EmitDebugLine - the log file 'C:\\Logs\\zq.log' is not "
                                         "written: " + reason +
                                         "; the records go to the debugger output only\r\n");
        }
        EXPECT_EQ(output.back(), kPrefix + "second\r\n");
      }
      if (*c.untouched) {
        std::string contents = sim::FileContents(sim::Utf16(c.untouched));
        EXPECT_TRUE(contents.empty() || contents == "elsewhere\r\n") << contents;
      }
      EXPECT_EQ(sim::OpenHandles(), 0u);
      SetLogFilePath(nullptr);
    }
    if (c.reason.empty()) {
      std::string contents = sim::FileContents(u"C:\\Logs\\zq.log");
      EXPECT_EQ(std::count(contents.begin(), contents.end(), '\n'), 4) << contents;
      EXPECT_EQ(contents.find("\r\r"), std::string::npos);
    }
  }
}

TEST_F(SettingsLogTest, EveryLineOfTheLogFileEndsInOneCrLf) {
  // An error record has two lines; a file made by someone else is appended to (by a run that is
  // not elevated), a missing one is created.
  sim::SetElevated(false);
  sim::PutFile(u"C:\\Logs\\old.log", "earlier\r\n");
  for (const char16_t* path : {u"C:\\Logs\\old.log", u"C:\\Logs\\new.log"}) {
    SCOPED_TRACE(U8(path));
    SetLogFile(path);
    DebugLog("plain");
    DebugLogError(ERROR_FILE_NOT_FOUND, "error");
    std::string contents = sim::FileContents(path);
    EXPECT_EQ(contents.find("\r\r"), std::string::npos) << contents;
    size_t lines = 0;
    for (size_t at = 0; (at = contents.find('\n', at)) != std::string::npos; ++at) {
      EXPECT_TRUE(at > 0 && contents[at - 1] == '\r') << "bare LF at " << at;
      ++lines;
    }
    bool old = std::u16string(path).find(u"old") != std::u16string::npos;
    EXPECT_EQ(lines, old ? 5u : 4u);  // the system text brings its own line break
    EXPECT_EQ(contents.find("earlier\r\n"), old ? 0u : std::string::npos);
  }
}

// The system's ANSI code page is UTF-8 on the simulated machine (GetACP), so wide text in a
// record keeps every character; the runtime's own "%ws" would have cut the record there.
TEST_F(SettingsLogTest, WideTextInARecordIsWrittenInTheAnsiCodePageAndKeepsTheRest) {
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
  struct Case {
    const char16_t* path;
    std::string written;
  } cases[] = {
      {u"C:\\Logs\\ドライバ\\ZQPrinter_drv2.dll", "C:\\Logs\\ドライバ\\ZQPrinter_drv2.dll"},
      {u"C:\\Logs\\café.dll", "C:\\Logs\\café.dll"},
      // A surrogate without its partner has no form in the code page: the default character.
      {u"C:\\Logs\\\xD800x.dll", "C:\\Logs\\\uFFFDx.dll"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    sim::Reset();
    sim::MakeDir(u"C:\\Logs\\ドライバ");
    SetLogFile(u"C:\\Logs\\zq.log");
    EXPECT_TRUE(SafeDeleteFile(c.path));
    std::string record =
        kPrefix + "SafeDeleteFile - file '" + c.written + "' does not already exist\r\n";
    ASSERT_EQ(sim::DebugOutput().size(), 1u);
    EXPECT_EQ(sim::DebugOutput()[0], record);
    EXPECT_EQ(sim::FileContents(u"C:\\Logs\\zq.log"), "12/08/26 09:30:00 - " + record);
  }
}

// The run's own file (/log) is UTF-8, with a byte-order mark when the run creates it; the file
// LOGFILE names keeps the ANSI code page and gets no mark.
TEST_F(SettingsLogTest, TheRunsOwnLogFileIsUtf8WithAMarkWhenItIsNew) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string record = "12/08/26 09:30:00 - " + kPrefix + "Status: ドライバ 'ZQ Printer2'\r\n";
  sim::MakeDir(u"C:\\Logs");
  SetLogFile(u"C:\\Logs\\setting.log");
  SetLogFilePath(u"C:\\Logs\\run.log");
  DebugLogText("Status", u"ドライバ 'ZQ Printer2'");
  DebugLogText("Status", u"ドライバ 'ZQ Printer2'");
  EXPECT_EQ(sim::FileContents(u"C:\\Logs\\run.log"), bom + record + record);
  // A file with records of earlier runs is appended to, without a mark in its middle.
  sim::PutFile(u"C:\\Logs\\older.log", "earlier\r\n");
  SetLogFilePath(u"C:\\Logs\\older.log");
  DebugLogText("Status", u"ドライバ 'ZQ Printer2'");
  EXPECT_EQ(sim::FileContents(u"C:\\Logs\\older.log"), "earlier\r\n" + record);
  // A line assembled elsewhere reaches the file in UTF-8 too.
  SetLogFilePath(u"C:\\Logs\\line.log");
  EmitDebugLine("plain line\r\n");
  EXPECT_EQ(sim::FileContents(u"C:\\Logs\\line.log"), bom + "12/08/26 09:30:00 - plain line\r\n");
  // LOGFILE again: no mark.
  SetLogFilePath(nullptr);
  DebugLogText("Status", u"ドライバ 'ZQ Printer2'");
  EXPECT_EQ(sim::FileContents(u"C:\\Logs\\setting.log"), record);
}

// The UTF-8 form keeps a Japanese text as long as the ANSI form keeps it: three bytes a character
// fit where the ANSI record has room.
TEST_F(SettingsLogTest, TheUtf8RecordKeepsALongJapaneseText) {
  sim::MakeDir(u"C:\\Logs");
  SetLogFilePath(u"C:\\Logs\\run.log");
  std::u16string text(200, u'ド');
  DebugLogText("Error", text.c_str());
  SetLogFilePath(nullptr);
  std::string contents = sim::FileContents(u"C:\\Logs\\run.log");
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "ド";
  EXPECT_NE(contents.find("Error: " + expected + "\r\n"), std::string::npos) << contents;
}

TEST_F(SettingsLogTest, AJapaneseSystemTextEndsTheErrorRecord) {
  sim::SetUiLanguage(0x0411);
  DebugLogError(ERROR_ACCESS_DENIED, "write of %ws failed (%d)", TEXT("C:\\ログ\\a.txt"), 5);
  ASSERT_EQ(sim::DebugOutput().size(), 2u);
  EXPECT_EQ(sim::DebugOutput()[0], kPrefix +
                                       "write of C:\\ログ\\a.txt failed (5)\r\nLast error was: "
                                       "アクセスが拒否されました。\r\n\r\n");
}

TEST_F(SettingsLogTest, RecordFormatsKeepTheRuntimeRulesForEverythingElse) {
  struct Case {
    std::string expected;
    std::function<void()> log;
  } cases[] = {
      {"[  -7|0x1f|4294967295|abc  |ab|%|ab]",
       [] {
         DebugLog("[%4d|%#x|%u|%-5s|%.2s|%%|%.*ws]", -7, 31, -1, "abc", "abcd", 2, TEXT("abc"));
       }},
      {"[x|y|  z|12345678901|(null)]",
       [] {
         DebugLog("[%c|%wc|%3ws|%I64d|%s]", 'x', TEXT('y'), TEXT("z"), 12345678901LL,
                  static_cast<const char*>(nullptr));
       }},
      {"[ポート|ド|ab]", [] { DebugLog("[%S|%C|%hs]", TEXT("ポート"), TEXT('ド'), "ab"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    sim::Reset();
    c.log();
    ASSERT_FALSE(sim::DebugOutput().empty());
    EXPECT_EQ(sim::DebugOutput()[0], kPrefix + c.expected + "\r\n");
  }
}

TEST_F(SettingsLogTest, ALogFileThatCannotBeOpenedCostsOnlyTheFileCopy) {
  SetLogFile(u"C:\\NoSuchFolder\\zq.log");
  DebugLog("kept");
  EXPECT_EQ(sim::DebugOutput(), (std::vector<std::string>{kPrefix + "kept\r\n", kNoFile}));
  EXPECT_FALSE(sim::FileExists(u"C:\\NoSuchFolder\\zq.log"));
}

TEST_F(SettingsLogTest, SafeDeleteFile) {
  sim::PutFile(u"C:\\d\\a.dll", "x");
  EXPECT_TRUE(SafeDeleteFile(nullptr));
  EXPECT_FALSE(SafeDeleteFile(TEXT("")));
  EXPECT_TRUE(sim::DebugOutput().empty());
  EXPECT_EQ(sim::CallCount("DeleteFileW"), 0u);
  EXPECT_TRUE(SafeDeleteFile(TEXT("C:\\d\\a.dll")));
  EXPECT_FALSE(sim::FileExists(u"C:\\d\\a.dll"));
  EXPECT_TRUE(sim::DebugOutput().empty());

  EXPECT_TRUE(SafeDeleteFile(TEXT("C:\\d\\a.dll")));
  EXPECT_EQ(sim::DebugOutput()[0],
            kPrefix + "SafeDeleteFile - file 'C:\\d\\a.dll' does not already exist\r\n");

  EXPECT_FALSE(SafeDeleteFile(TEXT("C:\\gone\\a.dll")));  // a missing folder is a failure
  EXPECT_EQ(sim::DebugOutput()[2],
            kPrefix + "SafeDeleteFile - Cannot delete file 'C:\\gone\\a.dll'\r\n");
}

// The caller reports a failed deletion with the code DeleteFileW left, so the record written in
// between must not replace it, even when the log's own calls fail.
TEST_F(SettingsLogTest, LoggingKeepsTheLastErrorOfTheFailedDeletion) {
  sim::PutFile(u"C:\\d\\held.dll", "x");
  sim::LockFile(u"C:\\d\\held.dll");
  sim::FailAlways("RegCreateKeyExW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SafeDeleteFile(TEXT("C:\\d\\held.dll")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(sim::FileExists(u"C:\\d\\held.dll"));
}

TEST_F(SettingsLogTest, StrCopyCopiesExactlyTheBytesAsked) {
  char destination[8] = "-------";
  strCopy(destination, "abcdef", 3);
  EXPECT_STREQ(destination, "abc----");
  strCopy(nullptr, "abc", 3);
  strCopy(destination, nullptr, 3);
  EXPECT_STREQ(destination, "abc----");
  auto out = sim::DebugOutput();
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0], kPrefix + "strCopy - invalid pointers!!\r\n");
  EXPECT_EQ(out[2], out[0]);
}

}  // namespace

namespace {

// The settings by their type: LOGLEVEL only as a REG_DWORD, LOGFILE only as a REG_SZ or a
// REG_EXPAND_SZ (expanded); any other type counts as absent, and one record says so.
struct TypedSetting {
  const char* name;
  const char16_t* value;  // LOGLEVEL or LOGFILE
  DWORD type;
  std::vector<BYTE> bytes;
  int level;             // what LOGLEVEL reads as (default 1)
  const char16_t* path;  // what LOGFILE reads as ("" when it counts as absent)
  bool recorded;         // one record says the type is not the setting's own
};

std::vector<BYTE> TextBytes(const std::u16string& text) {
  std::vector<BYTE> out;
  for (char16_t c : text + u'\0') {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  return out;
}

}  // namespace

TEST_F(SettingsLogTest, SettingsCountOnlyWithTheirOwnType) {
  const TypedSetting cases[] = {
      {"LOGLEVEL as REG_DWORD 0", u"LOGLEVEL", REG_DWORD, {0, 0, 0, 0}, 0, u"", false},
      {"LOGLEVEL as the text \"0\"", u"LOGLEVEL", REG_SZ, TextBytes(u"0"), 1, u"", true},
      {"LOGLEVEL as binary", u"LOGLEVEL", REG_BINARY, {0, 0, 0, 0}, 1, u"", true},
      {"LOGLEVEL as REG_DWORD of 2 bytes", u"LOGLEVEL", REG_DWORD, {0, 0}, 1, u"", false},
      {"LOGFILE as REG_SZ", u"LOGFILE", REG_SZ, TextBytes(u"C:\\Logs\\a.log"), 1,
       u"C:\\Logs\\a.log", false},
      {"LOGFILE as REG_EXPAND_SZ", u"LOGFILE", REG_EXPAND_SZ, TextBytes(u"%TEMP%\\zq.log"), 1,
       u"C:\\Windows\\Temp\\zq.log", false},
      {"LOGFILE as REG_EXPAND_SZ of an unknown variable", u"LOGFILE", REG_EXPAND_SZ,
       TextBytes(u"%ZQ_NONE%\\zq.log"), 1, u"%ZQ_NONE%\\zq.log", false},
      {"LOGFILE as REG_DWORD", u"LOGFILE", REG_DWORD, {0x43, 0x3A, 0x5C, 0}, 1, u"", true},
      {"LOGFILE as REG_MULTI_SZ", u"LOGFILE", REG_MULTI_SZ, TextBytes(u"C:\\a.log"), 1, u"", true},
  };
  for (const TypedSetting& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    SetLogFilePath(nullptr);  // a new run
    sim::RegistryValue v;
    v.type = c.type;
    v.bytes = c.bytes;
    sim::SetRegistryValue(HKEY_CURRENT_USER, SettingsKey, c.value, v);
    EXPECT_EQ(ReadSettingNumber(TEXT("LOGLEVEL"), 1), c.level);
    WCHAR path[SettingTextCapacity] = {0};
    EXPECT_EQ(std::u16string(ReadSettingString(TEXT("LOGFILE"), path)), c.path);
    // Read again: the record is written once a run.
    ReadSettingNumber(TEXT("LOGLEVEL"), 1);
    ReadSettingString(TEXT("LOGFILE"), path);
    size_t records = 0;
    for (auto& line : sim::DebugOutput())
      if (line.find("counts as absent") != std::string::npos) ++records;
    EXPECT_EQ(records, c.recorded ? 1u : 0u);
  }
}

namespace {

// Whether a text is well-formed UTF-8.
bool ValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

// A record too long for its line is shortened at a whole character, marked with "…", and ends
// in CR LF: in the ANSI file (UTF-8 or code page 932) and in the UTF-8 /log file alike.
TEST_F(SettingsLogTest, ARecordThatDoesNotFitIsShortenedAtAWholeCharacterAndEndsInCrLf) {
  std::u16string emoji;
  for (int i = 0; i < 1000; ++i) emoji += u"\U0001F5A8";
  struct Case {
    const char* name;
    UINT ansiCodePage;
    bool runLog;  // /log (UTF-8) instead of LOGFILE (ANSI)
    std::u16string text;
  } cases[] = {
      {"Japanese, ANSI UTF-8", 65001, false, std::u16string(2000, u'日')},
      {"Japanese, ANSI 932", 932, false, std::u16string(2000, u'日')},
      {"Japanese, /log", 932, true, std::u16string(2000, u'日')},
      {"emoji, /log", 65001, true, emoji},
      {"emoji, ANSI UTF-8", 65001, false, emoji},
      {"ASCII, ANSI 932", 932, false, std::u16string(3000, u'a')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::SetAnsiCodePage(c.ansiCodePage);
    sim::MakeDir(u"C:\\Logs");
    SetLogFilePath(c.runLog ? u"C:\\Logs\\zq.log" : nullptr);
    if (!c.runLog) SetLogFile(u"C:\\Logs\\zq.log");
    DebugLogText("Status", c.text.c_str());
    DebugLog("next");
    std::string file = sim::FileContents(u"C:\\Logs\\zq.log");
    size_t first = file.find("\r\n");
    ASSERT_NE(first, std::string::npos);
    std::string record = file.substr(0, first);
    // The second record is a line of its own.
    std::string second = file.substr(first + 2);
    EXPECT_EQ(second.find("\r\n"), second.size() - 2);
    EXPECT_EQ(second.substr(second.size() - 6), "next\r\n");
    EXPECT_EQ(second.find("Status"), std::string::npos);
    std::u16string wide = c.runLog || c.ansiCodePage == 65001 ? sim::Utf16(record)
                                                              : sim::AnsiToWide(record);
    EXPECT_EQ(wide.substr(wide.size() - 1), u"…");
    if (c.runLog || c.ansiCodePage == 65001) EXPECT_TRUE(ValidUtf8(file));
    if (!c.runLog && c.ansiCodePage == 932) {
      EXPECT_EQ(wide.find(u'\u30FB'), std::u16string::npos);  // no half character
    }
    SetLogFilePath(nullptr);
  }
}
