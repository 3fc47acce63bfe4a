// The simulated registry and file system: access checks, the size protocol of value reads, and
// Windows' error codes for files.
#include <cstring>

#include "platform/sim/files.h"
#include "platform/sim/registry.h"
#include "tests/support/sim_test.h"

namespace {

class SimRegistryTest : public SimTest {};

TEST_F(SimRegistryTest, KeysOpenWithoutCaseAndCheckTheirAccess) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Missing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  sim::SetRegistryText(HKEY_CURRENT_USER, u"SOFTWARE\\Zq", u"Name", u"abc");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\ZQ", 0, KEY_QUERY_VALUE, &key),
            ERROR_SUCCESS);
  DWORD value = 1;
  EXPECT_EQ(RegSetValueExW(key, u"N", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
            ERROR_ACCESS_DENIED);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  WCHAR text[8] = {0};
  size = 6;
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  size = sizeof text;
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(U8(text), "abc");
  EXPECT_EQ(RegQueryValueExW(key, u"Other", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(SimRegistryTest, CreateMakesTheWholePathAndTellsWhetherItWasNew) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  DWORD value = 42;
  EXPECT_EQ(RegSetValueExW(key, u"V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"a\\b\\c", 0, nullptr, 0, KEY_READ, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  auto stored = sim::GetRegistryValue(HKEY_LOCAL_MACHINE, u"A\\B\\C", u"v");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, static_cast<DWORD>(REG_DWORD));

  sim::DenyRegistryKey(HKEY_CURRENT_USER, u"Locked");
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Locked\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
}

class SimFilesTest : public SimTest {};

TEST_F(SimFilesTest, PathsResolveWithoutCaseAndAgainstTheCurrentDirectory) {
  sim::PutFile(u"C:\\Drivers\\x64\\Drv.DLL", "abc");
  EXPECT_TRUE(sim::FileExists(u"c:\\DRIVERS\\X64\\drv.dll"));
  EXPECT_EQ(sim::HostPath(u"c:\\drivers\\X64\\drv.dll"), sim::HostPath(u"C:\\Drivers\\x64\\Drv.DLL"));
  sim::SetCurrentDir(u"C:\\Drivers");
  EXPECT_EQ(sim::FullPath(u"x64\\..\\x64\\.\\drv.dll"), u"C:\\Drivers\\x64\\drv.dll");
  EXPECT_EQ(sim::FileContents(u"x64\\drv.dll"), "abc");
  EXPECT_EQ(sim::FullPath(u"\\Windows"), u"C:\\Windows");
  EXPECT_TRUE(sim::DirExists(u"C:\\Windows\\System32\\spool\\drivers\\x64"));
  EXPECT_TRUE(sim::DirExists(u"C:\\Windows\\System32\\spool\\drivers\\W32X86"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\drivers"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\nothing\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SimFilesTest, DeleteGivesWindowsErrorCodes) {
  sim::PutFile(u"C:\\d\\locked.dll", "x");
  sim::PutFile(u"C:\\d\\readonly.dll", "x");
  sim::PutFile(u"C:\\d\\plain.dll", "x");
  sim::LockFile(u"C:\\D\\LOCKED.DLL", 2);
  sim::SetReadOnly(u"C:\\d\\readonly.dll");
  struct Case {
    const char16_t* path;
    DWORD error;
  } cases[] = {{u"C:\\d\\missing.dll", ERROR_FILE_NOT_FOUND},
               {u"C:\\nofolder\\x.dll", ERROR_PATH_NOT_FOUND},
               {u"C:\\d", ERROR_ACCESS_DENIED},
               {u"C:\\d\\readonly.dll", ERROR_ACCESS_DENIED},
               {u"C:\\d\\locked.dll", ERROR_SHARING_VIOLATION},
               {u"C:\\d\\locked.dll", ERROR_SHARING_VIOLATION}};
  for (auto& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(c.path)) << U8(c.path);
    EXPECT_EQ(GetLastError(), c.error) << U8(c.path);
  }
  EXPECT_TRUE(DeleteFileW(u"C:\\d\\locked.dll"));  // let go after two attempts
  EXPECT_TRUE(DeleteFileW(u"c:\\D\\Plain.dll"));
  EXPECT_FALSE(sim::FileExists(u"C:\\d\\plain.dll"));
}

TEST_F(SimFilesTest, CopyHonoursFailIfExists) {
  sim::PutFile(u"C:\\src\\a.dll", "new");
  sim::PutFile(u"C:\\dst\\a.dll", "old");
  EXPECT_FALSE(CopyFileW(u"C:\\src\\a.dll", u"C:\\dst\\a.dll", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_FALSE(CopyFileW(u"C:\\src\\b.dll", u"C:\\dst\\b.dll", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileW(u"C:\\src\\a.dll", u"C:\\none\\a.dll", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  sim::LockFile(u"C:\\dst\\a.dll");
  EXPECT_FALSE(CopyFileW(u"C:\\src\\a.dll", u"C:\\dst\\a.dll", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CopyFileW(u"C:\\src\\a.dll", u"C:\\dst\\b.dll", FALSE));
  EXPECT_EQ(sim::FileContents(u"C:\\dst\\b.dll"), "new");
}

TEST_F(SimFilesTest, RuntimeFopenAndClockTexts) {
  sim::SetDateTime({2013, 5, 15, 23, 59, 58});
  char date[9], time[9];
  EXPECT_STREQ(_strdate(date), "05/15/13");
  EXPECT_STREQ(_strtime(time), "23:59:58");
  sim::AdvanceClock(3000);
  EXPECT_STREQ(_strtime(time), "00:00:01");
  FILE* file = fopen("C:\\Installer\\log.txt", "a+");
  ASSERT_NE(file, nullptr);
  fprintf(file, "%s", "one");
  fclose(file);
  EXPECT_EQ(sim::FileContents(u"c:\\installer\\LOG.TXT"), "one");
  EXPECT_EQ(fopen("C:\\missing\\log.txt", "a+"), nullptr);
}

}  // namespace
