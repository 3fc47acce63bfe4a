// The further library functions: settings writers, the logged length and file write, the
// temporary-file namer, the common-controls version probe and the text conversions.
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "platform/sim/files.h"
#include "platform/sim/modules.h"
#include "platform/sim/registry.h"
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

std::string ErrorRecord(const std::string& message, DWORD code) {
  std::string system = PlatformText(code).substr(0, 255);
  return kPrefix + message + "\r\nLast error was: " + system + "\r\n";
}

std::string PointerText(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llX", static_cast<int>(2 * sizeof p),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

class LibraryTest : public SimTest {
 protected:
  static void SetLogLevel(DWORD level) {
    sim::SetRegistryNumber(HKEY_CURRENT_USER, SettingsKey, u"LOGLEVEL", level);
  }
  static std::vector<BYTE> Stored(const std::u16string& name, DWORD* type = nullptr) {
    auto value = sim::GetRegistryValue(HKEY_CURRENT_USER, SettingsKey, name);
    if (!value) return {};
    if (type) *type = value->type;
    return value->bytes;
  }
};

// ----- settings writers -----

TEST_F(LibraryTest, NumbersAreStoredAsFourByteDwords) {
  EXPECT_TRUE(WriteSettingNumber(TEXT("LOGLEVEL"), -2));  // creates the key as well
  DWORD type = 0;
  EXPECT_EQ(Stored(u"LOGLEVEL", &type), (std::vector<BYTE>{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(ReadSettingNumber(TEXT("LOGLEVEL"), 1), -2);
  EXPECT_EQ(sim::Calls("RegCreateKeyExW")[0].args[2], "0xf003f");

  sim::FailAlways("RegSetValueExW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteSettingNumber(TEXT("LOGLEVEL"), 3));
  sim::ClearFaults();
  sim::FailAlways("RegCreateKeyExW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteSettingNumber(TEXT("LOGLEVEL"), 3));
  EXPECT_EQ(sim::CallCount("RegSetValueExW"), 2u);  // the first and the refused write
  EXPECT_TRUE(sim::DebugOutput().empty());          // nothing is reported
}

TEST_F(LibraryTest, AThreeCharacterTextStoresEightBytes) {
  EXPECT_TRUE(WriteSettingString(TEXT("LOGFILE"), TEXT("a\u00e9\u65e5")));
  DWORD type = 0;
  EXPECT_EQ(Stored(u"LOGFILE", &type), (std::vector<BYTE>{'a', 0, 0xE9, 0, 0xE5, 0x65, 0, 0}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  WCHAR back[SettingTextCapacity] = {0};
  EXPECT_EQ(std::u16string(ReadSettingString(TEXT("LOGFILE"), back)), u"a\u00e9\u65e5");
  EXPECT_TRUE(sim::DebugOutput().empty());  // a good text writes no record

  EXPECT_TRUE(WriteSettingString(TEXT("EMPTY"), TEXT("")));
  EXPECT_EQ(Stored(u"EMPTY"), (std::vector<BYTE>{0, 0}));
}

TEST_F(LibraryTest, AMissingTextIsLoggedAndStoredAsTheEmptyText) {
  EXPECT_TRUE(WriteSettingString(TEXT("LOGFILE"), nullptr));
  EXPECT_EQ(Stored(u"LOGFILE"), (std::vector<BYTE>{0, 0}));
  EXPECT_EQ(sim::DebugOutput(), (std::vector<std::string>{
                                    kPrefix + "StringCchLength failed for '(null)'\r\n", kNoFile}));
  sim::FailAlways("RegSetValueExW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteSettingString(TEXT("LOGFILE"), TEXT("x")));
}

// ----- logged file write -----

class LoggedWriteTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    file.Reset(CreateFileW(u"C:\\Installer\\out.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
  }
  void TearDown() override {
    file.Reset();
    LibraryTest::TearDown();
  }
  KernelHandle file;
};

TEST_F(LoggedWriteTest, AFullWriteLogsItsCount) {
  EXPECT_TRUE(LoggedWriteFile(file.Get(), "hello", 5));
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\out.bin"), "hello");
  EXPECT_EQ(sim::DebugOutput(),
            (std::vector<std::string>{kPrefix + "WriteFile - wrote 5 bytes\r\n", kNoFile}));
  SetLogLevel(0);
  EXPECT_TRUE(LoggedWriteFile(file.Get(), "!", 1));
  EXPECT_EQ(sim::DebugOutput().size(), 2u);
}

TEST_F(LoggedWriteTest, AShortWriteIsAnErrorRecordEvenWithLogLevelZero) {
  SetLogLevel(0);
  sim::LimitWrites(3, 1);
  const char data[] = "abcdef";
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(LoggedWriteFile(file.Get(), data, 6));
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\out.bin"), "abc");
  std::string message = "WriteFile - problem writing 6 bytes from " + PointerText(data) + " to " +
                        PointerText(file.Get());
  EXPECT_EQ(sim::DebugOutput(),
            (std::vector<std::string>{ErrorRecord(message, ERROR_SUCCESS), kNoFile}));
}

TEST_F(LoggedWriteTest, AFailedWriteRecordsItsSystemText) {
  file.Reset();  // the writer shares nothing: a second handle needs it closed, as on Windows
  KernelHandle reader(CreateFileW(u"C:\\Installer\\out.bin", GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(reader);
  const char data[] = "x";
  EXPECT_FALSE(LoggedWriteFile(reader.Get(), data, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));  // logging keeps it
  std::string message = "WriteFile - problem writing 1 bytes from " + PointerText(data) + " to " +
                        PointerText(reader.Get());
  EXPECT_EQ(sim::DebugOutput(),
            (std::vector<std::string>{ErrorRecord(message, ERROR_ACCESS_DENIED), kNoFile}));
}

// ----- temporary file names -----

TEST_F(LibraryTest, ATempFileIsNamedAndCreatedInTheTempFolder) {
  WCHAR name[TempFileNameCapacity];
  EXPECT_TRUE(GetFullTempFileName(name, TempFileNameCapacity));
  EXPECT_EQ(std::u16string(name), std::u16string(sim::DefaultTempPath) + u"zqp1.tmp");
  EXPECT_TRUE(sim::FileExists(name));
  EXPECT_TRUE(GetFullTempFileName(name, TempFileNameCapacity));
  EXPECT_EQ(std::u16string(name), std::u16string(sim::DefaultTempPath) + u"zqp2.tmp");
  EXPECT_EQ(sim::Calls("GetTempFileNameW")[0].args,
            (std::vector<std::string>{U8(sim::DefaultTempPath), "zqpr", "0"}));
  EXPECT_TRUE(sim::DebugOutput().empty());
}

TEST_F(LibraryTest, AnOverLongTempFolderMakesNoFile) {
  // A folder of 260 characters still fits the 261-character buffer; two more do not.
  std::u16string folder = u"C:\\";
  for (int i = 0; i < 4; ++i) folder += std::u16string(50, u'f') + u"\\";
  folder += std::u16string(MAX_PATH - 1 - folder.size(), u'g') + u"\\";
  ASSERT_EQ(folder.size(), static_cast<size_t>(MAX_PATH));
  sim::SetTempPath(folder);
  WCHAR name[TempFileNameCapacity];
  EXPECT_FALSE(GetFullTempFileName(name, TempFileNameCapacity));  // the platform refuses it
  EXPECT_EQ(sim::CallCount("GetTempFileNameW"), 1u);
  EXPECT_TRUE(sim::DebugOutput().empty());

  sim::MakeDir(folder + u"h");  // it exists: only the size of its path is wrong
  sim::SetTempPath(folder + u"h\\");
  EXPECT_FALSE(GetFullTempFileName(name, TempFileNameCapacity));
  EXPECT_EQ(sim::CallCount("GetTempFileNameW"), 1u);  // not asked again
  EXPECT_EQ(sim::DebugOutput(),
            (std::vector<std::string>{kPrefix + "GetFullTempFileName - FAILED TO GET TEMP PATH\r\n",
                                      kNoFile}));
  EXPECT_FALSE(sim::FileExists(folder + u"h\\zqp1.tmp"));
  EXPECT_FALSE(sim::FileExists(std::u16string(sim::DefaultTempPath) + u"zqp1.tmp"));

  sim::FailAlways("GetTempPathW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(GetFullTempFileName(name, TempFileNameCapacity));
  EXPECT_EQ(sim::DebugOutput().size(), 4u);
}

TEST_F(LibraryTest, ATooSmallBufferIsAnAssertionAndNothingIsWritten) {
  expectedDebugBreaks = 1;
  WCHAR name[MAX_PATH] = {u'#'};
  EXPECT_FALSE(GetFullTempFileName(name, MAX_PATH));
  EXPECT_EQ(name[0], u'#');
  EXPECT_EQ(sim::CallCount("GetTempPathW"), 0u);
}

// ----- common-controls version -----
//
// The version is cached for the life of the process and the library stays loaded, so each
// outcome runs in a child process of its own: a fresh cache, and the module handle left to the
// child's end. The child reports what it found wrong on its error output and exits with 1.

class CommonControlsVersionTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    // A fresh process per outcome, not a fork of this one, so no earlier probe can leak in.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }

  static void InChild(const sim::CommonControlsLibrary& library,
                      const std::function<void(std::ostringstream&)>& check) {
    EXPECT_EXIT(
        {
          sim::SetCommonControls(library);
          std::ostringstream problems;
          check(problems);
          std::fputs(problems.str().c_str(), stderr);
          std::_Exit(problems.str().empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
};

#define CHILD_EXPECT_EQ(out, actual, expected)                                        \
  do {                                                                                \
    auto a_ = (actual);                                                               \
    auto e_ = (expected);                                                             \
    if (!(a_ == e_)) (out) << #actual << " is " << a_ << ", expected " << e_ << "\n"; \
  } while (0)

TEST_F(CommonControlsVersionTest, AReportedVersionIsComputedOnceAndCached) {
  sim::CommonControlsLibrary library;
  library.major = 5;
  library.minor = 82;
  InChild(library, [](std::ostringstream& out) {
    CHILD_EXPECT_EQ(out, CommonControlsVersion(), 582);
    CHILD_EXPECT_EQ(out, CommonControlsVersion(), 582);
    CHILD_EXPECT_EQ(out, sim::ModuleLoads(u"comctl32.dll"), 1u);
    CHILD_EXPECT_EQ(out, sim::CallCount("DllGetVersion"), 1u);
    CHILD_EXPECT_EQ(out, sim::CallCount("GetProcAddress"), 1u);  // no fallback probes
    CHILD_EXPECT_EQ(out, sim::Calls("DllGetVersion")[0].args[0], std::string("20"));
    CHILD_EXPECT_EQ(out, sim::DebugOutput().size(), 0u);
    CHILD_EXPECT_EQ(out, sim::ModuleReferences(u"comctl32.dll"), 1);  // stays loaded
  });
}

TEST_F(CommonControlsVersionTest, AFailingDllGetVersionIsRecordedAndTheExportsDecide) {
  sim::CommonControlsLibrary library;
  library.versionResult = E_FAIL;
  library.versionError = ERROR_NOT_SUPPORTED;
  InChild(library, [](std::ostringstream& out) {
    SetLogLevel(0);  // an error record is written whatever LOGLEVEL says
    CHILD_EXPECT_EQ(out, CommonControlsVersion(), 471);
    CHILD_EXPECT_EQ(out, CommonControlsVersion(), 471);
    CHILD_EXPECT_EQ(out, sim::ModuleLoads(u"comctl32.dll"), 1u);
    auto output = sim::DebugOutput();
    CHILD_EXPECT_EQ(out, output.size(), 2u);
    if (!output.empty())
      CHILD_EXPECT_EQ(out, output[0], ErrorRecord("DllGetVersion", ERROR_NOT_SUPPORTED));
  });
}

TEST_F(CommonControlsVersionTest, WithoutDllGetVersionTheExportsTellTheVersion) {
  struct Case {
    bool ex, flat;
    int version;
  };
  for (Case c : {Case{true, true, 471}, Case{true, false, 470}, Case{false, false, 400}}) {
    SCOPED_TRACE(c.version);
    sim::CommonControlsLibrary library;
    library.hasDllGetVersion = false;
    library.hasInitCommonControlsEx = c.ex;
    library.hasInitializeFlatSB = c.flat;
    int expected = c.version;
    InChild(library, [expected](std::ostringstream& out) {
      CHILD_EXPECT_EQ(out, CommonControlsVersion(), expected);
      CHILD_EXPECT_EQ(out, CommonControlsVersion(), expected);
      CHILD_EXPECT_EQ(out, sim::ModuleLoads(u"comctl32.dll"), 1u);
      CHILD_EXPECT_EQ(out, sim::CallCount("DllGetVersion"), 0u);
      CHILD_EXPECT_EQ(out, sim::DebugOutput().size(), 0u);
    });
  }
}

TEST_F(CommonControlsVersionTest, ALibraryThatCannotBeLoadedGivesZeroForGood) {
  sim::CommonControlsLibrary library;
  library.installed = false;
  InChild(library, [](std::ostringstream& out) {
    CHILD_EXPECT_EQ(out, CommonControlsVersion(), 0);
    sim::SetCommonControls(sim::CommonControlsLibrary{});  // installed now: too late
    CHILD_EXPECT_EQ(out, CommonControlsVersion(), 0);
    CHILD_EXPECT_EQ(out, sim::CallCount("LoadLibraryW"), 1u);
  });
}

// ----- conversions -----

TEST_F(LibraryTest, SingleUnitTextConvertsUpToTheCapacity) {
  WCHAR wide[5];
  std::memset(wide, 0xAB, sizeof wide);
  EXPECT_EQ(ToWide(wide, 5, "abcd"), wide);  // 4 bytes and the terminator: exactly full
  EXPECT_EQ(std::u16string(wide), u"abcd");
  EXPECT_EQ(ToWide(wide, 4, "abcd"), nullptr);  // no terminator within the capacity
  EXPECT_EQ(ToWide(wide, 5, ""), wide);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(ToWide(wide, 5, nullptr), nullptr);
  EXPECT_EQ(ToWide(wide, 0, "a"), nullptr);

  CHAR narrow[5];
  EXPECT_EQ(ToNarrow(narrow, 5, u"wxyz"), narrow);
  EXPECT_STREQ(narrow, "wxyz");
  EXPECT_EQ(ToNarrow(narrow, 4, u"wxyz"), nullptr);
  EXPECT_EQ(ToNarrow(narrow, 1, u""), narrow);
  EXPECT_STREQ(narrow, "");
  EXPECT_EQ(ToNarrow(nullptr, 5, u"a"), nullptr);
}

TEST_F(LibraryTest, MultiUnitTextIsTerminatedWhereItEndsAndNeverOverflows) {
  const char japanese[] = "日本語";  // 9 bytes in the ANSI code page, 3 wide characters
  struct {
    WCHAR text[10];
    WCHAR guard[2];
  } wide;
  std::memset(&wide, 0xAB, sizeof wide);
  EXPECT_EQ(ToWide(wide.text, 10, japanese), wide.text);
  EXPECT_EQ(std::u16string(wide.text), u"日本語");  // terminated after 3, not after 9
  EXPECT_EQ(wide.guard[0], 0xABAB);
  EXPECT_EQ(ToWide(wide.text, 9, japanese), nullptr);  // the source must end within the capacity

  struct {
    CHAR text[10];
    CHAR guard[4];
  } narrow;
  std::memset(&narrow, '#', sizeof narrow);
  EXPECT_EQ(ToNarrow(narrow.text, 10, u"日本語"), narrow.text);  // 9 bytes and the terminator
  EXPECT_STREQ(narrow.text, japanese);
  std::memset(&narrow, '#', sizeof narrow);
  EXPECT_EQ(ToNarrow(narrow.text, 9, u"日本語"), nullptr);  // one byte short
  EXPECT_EQ(narrow.text[0], 0);
  EXPECT_EQ(std::string(narrow.guard, 4), "####");
  EXPECT_EQ(ToNarrow(narrow.text, 4, u"日本語"), nullptr);
  EXPECT_EQ(std::string(narrow.guard, 4), "####");
}

}  // namespace
