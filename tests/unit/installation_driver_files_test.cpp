// Driver file installation on the simulated machine: where the files go, the registration record,
// the order of the pause and the copies, every refusal with its message, and what stays behind.
#include "installation/steps.h"
#include "platform/sim/security.h"
#include "platform/sim/session.h"
#include "tests/unit/installation_fixture.h"

namespace {

class DriverFilesTest : public InstallationTest {
 protected:
  static constexpr char16_t kFolder[] = u"C:\\Drivers";
  void SetUp() override {
    InstallationTest::SetUp();
    PutSourceFiles(kFolder, u"x64");
    PutSourceFiles(kFolder, u"x86");
  }
  static std::u16string Target(const std::u16string& env, const char16_t* file) {
    return u"C:\\Windows\\System32\\spool\\drivers\\" + env + u"\\" + file;
  }
};

TEST_F(DriverFilesTest, CopiesAfterThePauseInOrderThenRegistersTheRecordExactly) {
  ASSERT_TRUE(InstallDriverFiles(kFolder, X64, false)) << Message();

  EXPECT_EQ(
      sim::CallNames({"EnumPrinterDriversW", "GetPrinterDriverDirectoryW", "Sleep", "CopyFileW",
                      "AddPrinterDriverW"}),
      (std::vector<std::string>{"EnumPrinterDriversW", "EnumPrinterDriversW",
                                "GetPrinterDriverDirectoryW", "GetPrinterDriverDirectoryW", "Sleep",
                                "CopyFileW", "CopyFileW", "CopyFileW", "AddPrinterDriverW"}));
  EXPECT_EQ(Args("Sleep"), (std::vector<std::string>{"500"}));
  auto copies = sim::Calls("CopyFileW");
  const char* files[] = {"ZQPrinter_drv2.dll", "ZQPrinter_ui2.dll", "ZQPrinter.PDD"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(copies[i].args[0], std::string("C:\\Drivers\\x64\\") + files[i]);
    EXPECT_EQ(copies[i].args[1],
              std::string("C:\\Windows\\System32\\spool\\drivers\\x64\\") + files[i]);
    EXPECT_EQ(copies[i].args[2], "0");  // an older copy is overwritten
  }
  EXPECT_EQ(sim::FileContents(Target(u"x64", u"ZQPrinter.PDD")), "ZQPrinter.PDD new");

  // server, level, cVersion, name, environment, driver, data, config, help, dependents, monitor,
  // default data type: the last an empty text, not none.
  EXPECT_EQ(
      sim::Calls("AddPrinterDriverW")[0].args,
      (std::vector<std::string>{"(null)", "3", "4", "ZqDriver2", "Windows x64",
                                "C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_drv2.dll",
                                "C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter.PDD",
                                "C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll",
                                "(null)", "(null)", "(null)", ""}));
  auto drivers = sim::Drivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].version, 4u);
}

// Each processor's source sub-folder, the spooler's driver folder its files go to and the
// environment its registration names, and the simulated spooler knows that environment.
TEST_F(DriverFilesTest, EveryProcessorInstallsIntoItsFoldersAndEnvironment) {
  const struct {
    TargetProcessor processor;
    const char16_t* source;       // sub-folder of the driver folder
    const char16_t* target;       // folder of the spooler's driver directory
    const char16_t* environment;
  } rows[] = {{X86, u"x86", u"w32x86", u"Windows NT x86"},
              {X64, u"x64", u"x64", u"Windows x64"},
              {Arm64, u"arm64", u"arm64", u"Windows ARM64"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(U8(row.source));
    sim::Reset();
    PutSourceFiles(kFolder, row.source);
    sim::MakeDir(Target(row.target, u""));  // "arm64" is not there on a fresh machine
    ASSERT_TRUE(InstallDriverFiles(kFolder, row.processor, false)) << Message();
    EXPECT_EQ(Args("CopyFileW")[0], U8(kFolder) + "\\" + U8(row.source) + "\\ZQPrinter_drv2.dll");
    for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
      EXPECT_TRUE(sim::FileExists(Target(row.target, file))) << U8(file);
    auto drivers = sim::Drivers();
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].environment, row.environment);
  }
}

TEST_F(DriverFilesTest, TheProcessorAloneChoosesFoldersAndEnvironment) {
  ASSERT_TRUE(InstallDriverFiles(kFolder, X86, false)) << Message();
  EXPECT_EQ(Args("CopyFileW")[0], "C:\\Drivers\\x86\\ZQPrinter_drv2.dll");
  EXPECT_TRUE(sim::FileExists(Target(u"w32x86", u"ZQPrinter_ui2.dll")));
  EXPECT_FALSE(sim::FileExists(Target(u"x64", u"ZQPrinter_ui2.dll")));
  EXPECT_EQ(sim::Calls("AddPrinterDriverW")[0].args[4], "Windows NT x86");
  EXPECT_EQ(sim::Drivers()[0].environment, u"Windows NT x86");
}

TEST_F(DriverFilesTest, AnInstalledDriverIsRefusedUnlessThePrecheckIsSkipped) {
  Install(InstalledDriver(u"zqdriver2"));  // the lookup ignores case
  EXPECT_FALSE(InstallDriverFiles(kFolder, X64, false));
  EXPECT_EQ(Message(), "ドライバが既にインストールされています!");
  EXPECT_EQ(sim::CallCount("Sleep"), 0u);
  EXPECT_EQ(sim::CallCount("CopyFileW"), 0u);
  EXPECT_EQ(sim::FileContents(Target(u"x64", u"ZQPrinter_drv2.dll")), "old");

  // The add mode: the files are replaced and the registration with them, under the same name.
  ASSERT_TRUE(InstallDriverFiles(kFolder, X64, true)) << Message();
  EXPECT_EQ(sim::CallCount("EnumPrinterDriversW"), 2u);  // only the refused call's lookup
  EXPECT_EQ(sim::FileContents(Target(u"x64", u"ZQPrinter_drv2.dll")), "ZQPrinter_drv2.dll new");
  auto drivers = sim::Drivers();
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0].name, u"ZqDriver2");
  EXPECT_EQ(drivers[0].version, 4u);
}

TEST_F(DriverFilesTest, FailuresBeforeAnyCopy) {
  struct Case {
    const char* what;
    void (*stage)();
    const char* message;
    DWORD code;
  } cases[] = {
      {"driver list refused", [] { sim::FailAlways("EnumPrinterDriversW", ERROR_ACCESS_DENIED); },
       "ドライバが既にインストールされているか確認ができません!", ERROR_ACCESS_DENIED},
      {"spooler stopped", [] { sim::SetServiceState(sim::kSpoolerService, SERVICE_STOPPED); },
       "ドライバが既にインストールされているか確認ができません!", RPC_S_SERVER_UNAVAILABLE},
      {"no driver directory",
       [] { sim::FailAlways("GetPrinterDriverDirectoryW", ERROR_INVALID_ENVIRONMENT); },
       "ドライバの存在するフォルダが見つかりません!", ERROR_INVALID_ENVIRONMENT},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    PutSourceFiles(kFolder, u"x64");
    c.stage();
    EXPECT_FALSE(InstallDriverFiles(kFolder, X64, false));
    EXPECT_EQ(Message(), c.message);
    EXPECT_EQ(LastErrorCode, c.code);
    EXPECT_EQ(sim::CallCount("Sleep"), 0u);
    EXPECT_EQ(sim::CallCount("CopyFileW"), 0u);
    EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

// With a manifest in the program, the copies in the spooler's folder are verified before the
// registration; a copy that is not the shipped file takes every copy with it.
TEST_F(DriverFilesTest, TheCopiesAreVerifiedAgainstTheManifestBeforeTheRegistration) {
  const struct {
    const char* what;
    std::vector<std::u16string> manifest;  // sub-folders it lists; none: no manifest
    std::string ui;                        // ZQPrinter_ui2.dll's bytes when the copy is made
    DWORD code;                            // 0: registered
    const char16_t* open = nullptr;        // a folder given this DACL, for an elevated run or not
    const char* dacl = nullptr;
    bool elevated = true;
    const char* warned = nullptr;  // the group a warning names (none: no warning)
  } rows[] = {{"the shipped files", {u"x64", u"x86"}, "ZQPrinter_ui2.dll new", 0, kFolder, "D:(A;;FA;;;WD)"},
              {"no manifest", {}, "ZQPrinter_ui2.dll nex", 0},
              {"one byte changed", {u"x64"}, "ZQPrinter_ui2.dll nex", ERROR_INVALID_DATA},
              {"no entry for the processor", {u"x86"}, "ZQPrinter_ui2.dll new", ERROR_NOT_FOUND},
              // Authenticated Users' write is only inherited, not the folder's own.
              {"no manifest, Users may write", {}, "ZQPrinter_ui2.dll new", 0, kFolder, "D:(A;OICIIO;GW;;;AU)(A;;0x1301bf;;;BU)", true, "Users"},
              {"the same, not elevated", {}, "ZQPrinter_ui2.dll new", 0, kFolder, "D:(A;;0x1301bf;;;BU)", false},
              {"the processor's sub-folder", {}, "ZQPrinter_ui2.dll new", 0, u"C:\\Drivers\\x64", "D:(A;;0x4;;;IU)", true, "INTERACTIVE"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    sim::Reset();
    PutSourceFiles(kFolder, u"x64");
    PutSourceFiles(kFolder, u"x86");
    if (!row.manifest.empty()) PutDriverManifest(kFolder, row.manifest);
    if (row.open) sim::SetDacl(row.open, row.dacl);
    sim::SetElevated(row.elevated);
    // Swapped in while the first file is copied.
    sim::RunAtCall("CopyFileW", 1, [&] { sim::PutFile(u"C:\\Drivers\\x64\\ZQPrinter_ui2.dll", row.ui); });
    EXPECT_EQ(InstallDriverFiles(kFolder, X64, false), row.code == 0) << Message();
    EXPECT_EQ(sim::Drivers().size(), row.code == 0 ? 1u : 0u);
    std::string records;  // every record, the warning among them
    for (auto& line : sim::DebugOutput()) records += line;
    EXPECT_EQ(records.find(std::string("Warning: ") + (row.warned ? row.warned : "")) != std::string::npos,
              row.warned != nullptr) << records;
    if (row.code == 0) continue;
    EXPECT_EQ(Message(), std::string("ドライバファイル 'C:\\Drivers\\x64\\ZQPrinter") +
                             (row.code == ERROR_NOT_FOUND ? "_drv2" : "_ui2") + ".dll' が改ざんされています!");
    EXPECT_EQ(LastErrorCode, row.code);
    for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
      EXPECT_FALSE(sim::FileExists(Target(u"x64", file))) << U8(file);
    EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
  }
}

TEST_F(DriverFilesTest, AFailedCopyLeavesTheEarlierCopiesAndNamesBothPaths) {
  struct Case {
    const char* what;
    void (*stage)();
    DWORD code;
  } cases[] = {
      {"second source file missing", [] { DeleteFileW(u"C:\\Drivers\\x64\\ZQPrinter_ui2.dll"); },
       ERROR_FILE_NOT_FOUND},
      {"destination in use",
       [] {
         sim::PutFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll", "old");
         sim::LockFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll");
       },
       ERROR_SHARING_VIOLATION},
      {"destination read-only",
       [] {
         sim::PutFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll", "old");
         sim::SetReadOnly(u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll");
       },
       ERROR_ACCESS_DENIED},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    PutSourceFiles(kFolder, u"x64");
    c.stage();
    EXPECT_FALSE(InstallDriverFiles(kFolder, X64, false));
    EXPECT_EQ(Message(),
              "ドライバ 'C:\\Drivers\\x64\\ZQPrinter_ui2.dll' を システムフォルダ "
              "'C:\\Windows\\System32\\spool\\drivers\\x64\\ZQPrinter_ui2.dll' "
              "にインストールできません!");
    EXPECT_EQ(LastErrorCode, c.code);
    EXPECT_EQ(sim::CallCount("CopyFileW"), 2u);
    EXPECT_TRUE(sim::FileExists(Target(u"x64", u"ZQPrinter_drv2.dll")));  // stays
    EXPECT_FALSE(sim::FileExists(Target(u"x64", u"ZQPrinter.PDD")));
    EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
    EXPECT_TRUE(sim::Drivers().empty());
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

TEST_F(DriverFilesTest, ARefusedRegistrationLeavesAllThreeFilesCopied) {
  sim::FailAlways("AddPrinterDriverW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(InstallDriverFiles(kFolder, X64, false));
  EXPECT_EQ(Message(), "ドライバの追加ができません!");
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  for (const char16_t* file : {u"ZQPrinter_drv2.dll", u"ZQPrinter_ui2.dll", u"ZQPrinter.PDD"})
    EXPECT_TRUE(sim::FileExists(Target(u"x64", file)));
  EXPECT_TRUE(sim::Drivers().empty());
}

TEST_F(DriverFilesTest, AnExhaustedHeapWhileBuildingPathsIsReported) {
  // Skipping the lookup, the driver directory is the first block, the two folders' descriptors
  // (an elevated run without a manifest) the next; the fourth path is the second file's
  // destination, so the first file has been copied.
  for (int allocations : {1, 6}) {
    SCOPED_TRACE(allocations);
    sim::Reset();
    PutSourceFiles(kFolder, u"x64");
    sim::FailHeapAfter(allocations);
    EXPECT_FALSE(InstallDriverFiles(kFolder, X64, true));
    sim::FailHeapAfter(-1);
    EXPECT_EQ(Message(), "メモリが不足しています!");
    EXPECT_EQ(sim::CallCount("CopyFileW"), allocations == 1 ? 0u : 1u);
    EXPECT_EQ(sim::CallCount("AddPrinterDriverW"), 0u);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

TEST_F(DriverFilesTest, FolderTextsThatWouldNotFitThePathBufferAreRefusedBeforeAnything) {
  // 255 characters + "\x64" fill the 260-character buffer with its terminator; one more does not.
  std::u16string fits = u"C:\\" + std::u16string(200, u'a') + u"\\" + std::u16string(51, u'b');
  ASSERT_EQ(fits.size(), 255u);
  PutSourceFiles(fits, u"x64");
  EXPECT_TRUE(InstallDriverFiles(fits.c_str(), X64, false)) << Message();

  std::u16string tooLong = fits + u"c";
  sim::Reset();
  SetLastError(ERROR_INVALID_PRINTER_NAME);  // left over from an earlier call
  EXPECT_FALSE(InstallDriverFiles(tooLong.c_str(), X64, false));
  EXPECT_EQ(Message(), "パス '" + sim::Utf8(tooLong) + "' が長すぎます!");
  EXPECT_EQ(LastErrorCode, 206u);  // ERROR_FILENAME_EXCED_RANGE, whatever an earlier call left
  EXPECT_EQ(sim::CallCount("GetPrinterDriverDirectoryW"), 0u);
  EXPECT_EQ(sim::CallCount("Sleep"), 0u);
  EXPECT_EQ(sim::CallCount("CopyFileW"), 0u);

  // The destination: the spooler's directory cut to its parent, then "x64" (3 characters).
  std::u16string parent = u"C:\\S\\" + std::u16string(251, u'd') + u"\\";  // 257 characters
  sim::Reset();
  sim::SetDriverDirectory(sim::kEnvironmentX64, parent + u"x64");
  EXPECT_FALSE(InstallDriverFiles(kFolder, X64, false));
  EXPECT_EQ(Message(), "パス '" + sim::Utf8(parent) + "' が長すぎます!");
  EXPECT_EQ(LastErrorCode, 206u);
  EXPECT_EQ(sim::CallCount("Sleep"), 0u);
  EXPECT_EQ(sim::CallCount("CopyFileW"), 0u);

  // A directory longer than the buffer whose parent fits is used as far as it is needed.
  std::u16string shortParent = u"C:\\S\\" + std::u16string(200, u'd') + u"\\";
  sim::Reset();
  PutSourceFiles(kFolder, u"x64");
  sim::MakeDir(shortParent + u"x64");
  sim::SetDriverDirectory(sim::kEnvironmentX64, shortParent + std::u16string(120, u'e'));
  EXPECT_TRUE(InstallDriverFiles(kFolder, X64, false)) << Message();
  EXPECT_TRUE(sim::FileExists(shortParent + u"x64\\ZQPrinter.PDD"));
}

TEST_F(DriverFilesTest, PathsAreJoinedAsGivenWithoutNormalising) {
  // A driver folder ending in a backslash gives two before the sub-folder.
  ASSERT_TRUE(InstallDriverFiles(u"C:\\Drivers\\", X64, false)) << Message();
  EXPECT_EQ(Args("CopyFileW")[0], "C:\\Drivers\\\\x64\\ZQPrinter_drv2.dll");

  // A driver directory without a backslash leaves a destination relative to the current folder.
  sim::Reset();
  PutSourceFiles(kFolder, u"x64");
  sim::MakeDir(u"C:\\Installer\\x64");
  sim::SetDriverDirectory(sim::kEnvironmentX64, u"drivers");
  ASSERT_TRUE(InstallDriverFiles(kFolder, X64, false)) << Message();
  EXPECT_EQ(Args("CopyFileW", 1)[0], "x64\\ZQPrinter_drv2.dll");
  EXPECT_TRUE(sim::FileExists(u"C:\\Installer\\x64\\ZQPrinter_drv2.dll"));

  // No folder is made: a missing destination folder fails the first copy.
  sim::Reset();
  PutSourceFiles(kFolder, u"x64");
  sim::SetDriverDirectory(sim::kEnvironmentX64, u"C:\\Nowhere\\x64");
  EXPECT_FALSE(InstallDriverFiles(kFolder, X64, false));
  EXPECT_EQ(sim::CallCount("CopyFileW"), 1u);
  EXPECT_EQ(LastErrorCode, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
