// The simulated file handles and temporary files: dispositions and their error codes, writes at
// the file pointer and the short-write knob, the temporary folder's size rule and the platform's
// temporary naming rule.
#include <string>

#include "platform/sim/files.h"
#include "tests/support/sim_test.h"

namespace {

class SimFileIoTest : public SimTest {
 protected:
  static HANDLE Open(const char16_t* path, DWORD disposition, DWORD access = GENERIC_WRITE) {
    return CreateFileW(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

TEST_F(SimFileIoTest, DispositionsGiveWindowsResultsAndLastErrors) {
  HANDLE h = Open(u"C:\\Installer\\a.txt", OPEN_EXISTING);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(u"C:\\Missing\\a.txt", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open(u"C:\\Installer", OPEN_EXISTING), INVALID_HANDLE_VALUE);  // a folder
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(u"C:\\Installer\\a.txt", 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  h = Open(u"C:\\Installer\\a.txt", CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(sim::OpenHandles("file"), 1u);
  EXPECT_TRUE(sim::FileExists(u"c:\\installer\\A.TXT"));
  CloseHandle(h);
  EXPECT_EQ(sim::OpenHandles("file"), 0u);

  EXPECT_EQ(Open(u"C:\\Installer\\a.txt", CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  sim::PutFile(u"C:\\Installer\\a.txt", "keep");
  h = Open(u"C:\\Installer\\a.txt", OPEN_ALWAYS);  // opened as it is
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(h);
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\a.txt"), "keep");
  h = Open(u"C:\\Installer\\a.txt", CREATE_ALWAYS);  // overwritten
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(h);
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\a.txt"), "");
  h = Open(u"C:\\Installer\\b.txt", OPEN_ALWAYS);  // made
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(h);
}

TEST_F(SimFileIoTest, ReadOnlyAndLockedFilesRefuseWriters) {
  sim::PutFile(u"C:\\Installer\\ro.txt", "x");
  sim::SetReadOnly(u"C:\\Installer\\ro.txt");
  EXPECT_EQ(Open(u"C:\\Installer\\ro.txt", OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  HANDLE reader = Open(u"C:\\Installer\\ro.txt", OPEN_EXISTING, GENERIC_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(reader, "y", 1, &written, nullptr));  // not opened for writing
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(written, 0u);
  CloseHandle(reader);

  sim::PutFile(u"C:\\Installer\\held.txt", "x");
  sim::LockFile(u"C:\\Installer\\held.txt");
  EXPECT_EQ(Open(u"C:\\Installer\\held.txt", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\held.txt"), "x");
}

TEST_F(SimFileIoTest, WritesFollowTheFilePointerAndCanBeShortOrFail) {
  HANDLE h = Open(u"C:\\Installer\\w.bin", CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\w.bin"), "abc");  // visible while open

  sim::LimitWrites(2, 1);
  EXPECT_TRUE(WriteFile(h, "defg", 4, &written, nullptr));  // success, but short
  EXPECT_EQ(written, 2u);
  EXPECT_TRUE(WriteFile(h, "hi", 2, &written, nullptr));  // the knob was for one write
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\w.bin"), "abcdehi");

  sim::FailNth("WriteFile", 1, ERROR_DISK_FULL);  // the next one
  written = 9;
  EXPECT_FALSE(WriteFile(h, "j", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(WriteFile(h, nullptr, 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
  CloseHandle(h);

  EXPECT_FALSE(WriteFile(h, "k", 1, &written, nullptr));  // closed
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\w.bin"), "abcdehi");
}

TEST_F(SimFileIoTest, TempPathReportsTheSizeItNeedsWhenTheBufferIsSmall) {
  WCHAR buffer[MAX_PATH + 1];
  std::u16string expected = sim::DefaultTempPath;
  EXPECT_EQ(GetTempPathW(MAX_PATH + 1, buffer), expected.size());
  EXPECT_EQ(std::u16string(buffer), expected);
  EXPECT_TRUE(sim::DirExists(buffer));

  sim::SetTempPath(u"D:\\Tmp");  // the backslash is added
  EXPECT_EQ(GetTempPathW(8, buffer), 7u);
  EXPECT_EQ(U8(buffer), "D:\\Tmp\\");
  buffer[0] = u'#';
  EXPECT_EQ(GetTempPathW(7, buffer), 8u);  // no room for the terminator: size with it
  EXPECT_EQ(buffer[0], u'#');

  std::u16string deep = u"C:\\" + std::u16string(300, u'd') + u"\\";
  sim::SetTempPath(deep);
  EXPECT_EQ(GetTempPathW(MAX_PATH + 1, buffer), deep.size() + 1);
}

TEST_F(SimFileIoTest, TempFileNamesFollowThePlatformRule) {
  WCHAR name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameW(u"C:\\Installer", u"zqpr", 0, name), 1u);
  EXPECT_EQ(U8(name), "C:\\Installer\\zqp1.tmp");
  EXPECT_TRUE(sim::FileExists(name));
  EXPECT_EQ(sim::FileContents(name), "");

  sim::PutFile(u"C:\\Installer\\zqp2.tmp", "taken");
  EXPECT_EQ(GetTempFileNameW(u"C:\\Installer\\", u"zqpr", 0, name), 3u);  // 2 is skipped
  EXPECT_EQ(U8(name), "C:\\Installer\\zqp3.tmp");
  EXPECT_EQ(sim::FileContents(u"C:\\Installer\\zqp2.tmp"), "taken");

  // A chosen number: only its low 16 bits, in upper-case hexadecimal; no file is made.
  EXPECT_EQ(GetTempFileNameW(u"C:\\Installer", u"a", 0x1BCDE, name), 0x1BCDEu);
  EXPECT_EQ(U8(name), "C:\\Installer\\aBCDE.tmp");
  EXPECT_FALSE(sim::FileExists(name));

  EXPECT_EQ(GetTempFileNameW(u"C:\\Nowhere", u"zqpr", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(sim::DirExists(u"C:\\Nowhere"));
  std::u16string tooLong = u"C:\\" + std::u16string(MAX_PATH - 14 - 2, u'x');
  EXPECT_EQ(GetTempFileNameW(tooLong.c_str(), u"zqpr", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
}

}  // namespace
