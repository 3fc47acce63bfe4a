// The registry calls of the settings and the printer key, and the file calls of the driver file
// installation and removal, with the codes their callers tell apart.
#include <cstring>

#include <initializer_list>

#include "tests/conformance/conformance.h"

namespace {

constexpr WCHAR kKey[] = TEXT("Software\\ZQConformance");

}  // namespace

CONFORMANCE_TEST(RegistryCreateOpensAnExistingKey) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  SetLastError(conformance::Sentinel);
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, &disposition);
  ok(status == ERROR_SUCCESS && key, "create: %d", static_cast<int>(status));
  ok(disposition == REG_CREATED_NEW_KEY || disposition == REG_OPENED_EXISTING_KEY, "disposition %u",
     unsigned(disposition));
  if (key) RegCloseKey(key);
  key = nullptr;
  status = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key, &disposition);
  ok(status == ERROR_SUCCESS && disposition == REG_OPENED_EXISTING_KEY, "again: %d, %u",
     static_cast<int>(status), unsigned(disposition));
  // Registry functions return their code; the thread's last error is left alone.
  ok(GetLastError() == conformance::Sentinel, "last error %#x", conformance::LastError());
  if (key) RegCloseKey(key);
  HKEY missing = nullptr;
  status = RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\ZQConformance\\NoSuchKey"), 0, KEY_READ,
                         &missing);
  ok(status == ERROR_FILE_NOT_FOUND, "open a missing key: %d", static_cast<int>(status));
}

CONFORMANCE_TEST(RegistryValuesAndTheirSizes) {
  HKEY key = nullptr;
  if (!ok(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS,
          "create"))
    return;
  DWORD type = 0, size = 0;
  SetLastError(conformance::Sentinel);
  LSTATUS status = RegQueryValueExW(key, TEXT("NoSuchValue"), nullptr, &type, nullptr, &size);
  ok(status == ERROR_FILE_NOT_FOUND, "missing value: %d", static_cast<int>(status));
  ok(GetLastError() == conformance::Sentinel, "last error %#x", conformance::LastError());

  // REG_SZ with its terminator: 8 bytes for "abc".
  const WCHAR text[] = TEXT("abc");
  status = RegSetValueExW(key, TEXT("Text"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 8);
  ok(status == ERROR_SUCCESS, "set: %d", static_cast<int>(status));
  size = 0;
  status = RegQueryValueExW(key, TEXT("Text"), nullptr, &type, nullptr, &size);
  ok(status == ERROR_SUCCESS && type == REG_SZ && size == 8, "size query: %d, type %u, %u bytes",
     static_cast<int>(status), unsigned(type), unsigned(size));
  WCHAR buffer[8];
  for (WCHAR& c : buffer) c = '#';
  size = 4;
  status =
      RegQueryValueExW(key, TEXT("Text"), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  ok(status == ERROR_MORE_DATA && size == 8, "too small: %d, %u bytes", static_cast<int>(status),
     unsigned(size));
  size = 8;
  status =
      RegQueryValueExW(key, TEXT("Text"), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  ok(status == ERROR_SUCCESS && size == 8 && conformance::Same(buffer, TEXT("abc")),
     "exact: %d, %u bytes", static_cast<int>(status), unsigned(size));

  // A size that leaves out the terminator which follows in the caller's buffer: it is stored
  // with the terminator.
  status = RegSetValueExW(key, TEXT("Short"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 6);
  size = 0;
  RegQueryValueExW(key, TEXT("Short"), nullptr, &type, nullptr, &size);
  ok(status == ERROR_SUCCESS && size == 8, "terminator after the data: %d, %u bytes",
     static_cast<int>(status), unsigned(size));
  // Really without a terminator: it comes back as stored, with a terminator appended after the
  // data where the buffer has room for it (not counted in the size).
  const WCHAR longer[] = TEXT("abcd");
  status = RegSetValueExW(key, TEXT("Bare"), 0, REG_SZ, reinterpret_cast<const BYTE*>(longer), 6);
  ok(status == ERROR_SUCCESS, "set bare: %d", static_cast<int>(status));
  for (WCHAR& c : buffer) c = '#';
  size = sizeof buffer;
  status =
      RegQueryValueExW(key, TEXT("Bare"), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  ok(status == ERROR_SUCCESS && size == 6, "bare: %d, %u bytes", static_cast<int>(status),
     unsigned(size));
  ok(buffer[0] == 'a' && buffer[2] == 'c' && buffer[3] == 0 && buffer[4] == '#',
     "after the data: %#x %#x", unsigned(buffer[3]), unsigned(buffer[4]));
  // No room for the terminator: exactly the stored bytes.
  for (WCHAR& c : buffer) c = '#';
  size = 6;
  status =
      RegQueryValueExW(key, TEXT("Bare"), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  ok(status == ERROR_SUCCESS && size == 6 && buffer[2] == 'c' && buffer[3] == '#',
     "bare, exact: %d, %u bytes, %#x", static_cast<int>(status), unsigned(size),
     unsigned(buffer[3]));

  // REG_DWORD.
  DWORD number = 0x12345678, read = 0;
  RegSetValueExW(key, TEXT("Number"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  size = sizeof read;
  status =
      RegQueryValueExW(key, TEXT("Number"), nullptr, &type, reinterpret_cast<BYTE*>(&read), &size);
  ok(status == ERROR_SUCCESS && type == REG_DWORD && read == number && size == 4,
     "number: %d, type %u, %#x", static_cast<int>(status), unsigned(type), unsigned(read));
  ok(GetLastError() == conformance::Sentinel, "last error %#x", conformance::LastError());
  RegCloseKey(key);
}

namespace {

// A file of the temporary folder with a few bytes in it.
bool MakeFile(LPWSTR path) {
  if (!conformance::MakeTempFile(TEXT("zqc"), path)) return false;
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL wrote = WriteFile(file, "data", 4, &written, nullptr);
  CloseHandle(file);
  return wrote && written == 4;
}

}  // namespace

CONFORMANCE_TEST(CopyFileCodes) {
  WCHAR source[MAX_PATH], target[MAX_PATH];
  if (!ok(MakeFile(source) && MakeFile(target), "temporary files")) return;
  struct Case {
    LPCWSTR from;
    LPCWSTR to;
    BOOL failIfExists;
    BOOL result;
    DWORD error;  // when the result is FALSE
  } cases[] = {
      {TEXT("C:\\ZqNoSuchFolder\\a.dll"), target, FALSE, FALSE, ERROR_PATH_NOT_FOUND},
      {source, TEXT("C:\\ZqNoSuchFolder\\a.dll"), FALSE, FALSE, ERROR_PATH_NOT_FOUND},
      {source, target, TRUE, FALSE, ERROR_FILE_EXISTS},
      {source, target, FALSE, TRUE, 0},
  };
  WCHAR missing[MAX_PATH];
  int n = lstrlenW(source);
  for (int i = 0; i <= n; ++i) missing[i] = source[i];
  missing[n - 1] = 'x';  // same folder, no such file
  for (const Case& c : cases) {
    SetLastError(conformance::Sentinel);
    BOOL result = CopyFileW(c.from, c.to, c.failIfExists);
    ok(result == c.result && (result || GetLastError() == c.error), "%s -> %s: %d, %u",
       conformance::Utf8(c.from), conformance::Utf8(c.to), result, conformance::LastError());
  }
  SetLastError(conformance::Sentinel);
  ok(!CopyFileW(missing, target, FALSE) && GetLastError() == ERROR_FILE_NOT_FOUND,
     "missing source: %u", conformance::LastError());
  // A target held open without sharing.
  HANDLE held = CreateFileW(target, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ok(held != INVALID_HANDLE_VALUE, "hold the target");
  SetLastError(conformance::Sentinel);
  ok(!CopyFileW(source, target, FALSE) && GetLastError() == ERROR_SHARING_VIOLATION,
     "held target: %u", conformance::LastError());
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  DeleteFileW(source);
  DeleteFileW(target);
}

CONFORMANCE_TEST(DeleteFileCodes) {
  WCHAR path[MAX_PATH], folder[MAX_PATH];
  if (!ok(MakeFile(path), "temporary file")) return;
  GetTempPathW(MAX_PATH, folder);
  int n = lstrlenW(folder);
  if (n > 0 && folder[n - 1] == '\\') folder[n - 1] = 0;
  HANDLE held =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ok(held != INVALID_HANDLE_VALUE, "hold the file");
  struct Case {
    LPCWSTR path;
    DWORD error;
  } cases[] = {
      {TEXT("C:\\ZqNoSuchFolder\\a.dll"), ERROR_PATH_NOT_FOUND},
      {path, ERROR_SHARING_VIOLATION},  // held open without delete sharing
      {folder, ERROR_ACCESS_DENIED},    // a folder is not a file
  };
  for (const Case& c : cases) {
    SetLastError(conformance::Sentinel);
    ok(!DeleteFileW(c.path) && GetLastError() == c.error, "%s: %u", conformance::Utf8(c.path),
       conformance::LastError());
  }
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  SetLastError(conformance::Sentinel);
  ok(DeleteFileW(path), "delete: %u", conformance::LastError());
  SetLastError(conformance::Sentinel);
  ok(!DeleteFileW(path) && GetLastError() == ERROR_FILE_NOT_FOUND, "deleted again: %u",
     conformance::LastError());
  ok(GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND,
     "attributes of the deleted file: %u", conformance::LastError());
}

// The log file is opened for appending only, as itself when it is a link; its handle tells the
// attributes and the number of names the file has.
CONFORMANCE_TEST(AppendingHandleAndItsFileInformation) {
  WCHAR path[MAX_PATH];
  if (!conformance::MakeTempFile(TEXT("zqa"), path)) {
    ok(false, "no temporary file");
    return;
  }
  const char first[] = "ab", second[] = "cd";
  for (const char* text : {first, second}) {
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ok(file != INVALID_HANDLE_VALUE, "opened for appending: %u", conformance::LastError());
    if (file == INVALID_HANDLE_VALUE) break;
    BY_HANDLE_FILE_INFORMATION information = {};
    ok(GetFileInformationByHandle(file, &information), "information: %u",
       conformance::LastError());
    ok(information.nNumberOfLinks == 1, "one name: %u", unsigned(information.nNumberOfLinks));
    ok(!(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT), "no reparse point: 0x%x",
       unsigned(information.dwFileAttributes));
    DWORD written = 0;
    ok(WriteFile(file, text, 2, &written, nullptr) && written == 2, "appended: %u",
       conformance::LastError());
    CloseHandle(file);
  }
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  BY_HANDLE_FILE_INFORMATION information = {};
  ok(file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information) &&
         information.nFileSizeLow == 4,
     "both writes at the end: %u bytes", unsigned(information.nFileSizeLow));
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  DeleteFileW(path);
}

// The driver files are verified by the system's SHA-256: BCryptOpenAlgorithmProvider(SHA256),
// a hash object with the provider's own memory (no object buffer, Windows 7 and later), the
// file's bytes as ReadFile gives them, a 32-byte result. Source: the documentation of
// BCryptCreateHash ("pbHashObject ... can be NULL", Windows 7) and FIPS 180-4 for the digest.
CONFORMANCE_TEST(Sha256OfAFileThroughBcrypt) {
  WCHAR path[MAX_PATH];
  if (!ok(MakeFile(path), "temporary file")) return;
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  BYTE data[16] = {}, digest[32] = {};
  DWORD read = 0;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ok(ReadFile(file, data, sizeof data, &read, nullptr) && read == 4 && CloseHandle(file) &&
         BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
         BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
         BCRYPT_SUCCESS(BCryptHashData(hash, data, read, 0)) &&
         BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0)) &&
         std::memcmp(digest, "\x3a\x6e\xb0\x79\x0f\x39\xac\x87\xc9\x4f\x38\x56\xb2\xdd\x2c\x5d\x11\x0e"
                             "\x68\x11\x60\x22\x61\xa9\xa9\x23\xd3\xbb\x23\xad\xc8\xb7", 32) == 0,
     "SHA-256 of \"data\"");
  ok(BCryptDestroyHash(hash) == 0 && BCryptCloseAlgorithmProvider(algorithm, 0) == 0 &&
         DeleteFileW(path), "released");
}

// GetFullPathNameW: an empty text fails; a relative folder is the current folder's, its trailing
// backslash kept, with no file part. Source: the documentation of GetFullPathNameW ("If lpBuffer
// refers to a directory and not a file, lpFilePart receives zero"); the empty text's last error
// is not checked: none is documented, and Wine 8 leaves it untouched. The final path of a plain
// file's handle is "\\?\" and its full path. Source: the documentation of
// GetFinalPathNameByHandleW (VOLUME_NAME_DOS).
CONFORMANCE_TEST(FullPathsAndTheFinalPathOfAPlainFile) {
  WCHAR buffer[MAX_PATH] = {}, current[MAX_PATH] = {};
  LPWSTR part = buffer;
  ok(GetFullPathNameW(TEXT(""), MAX_PATH, buffer, &part) == 0, "empty text");
  DWORD length = GetFullPathNameW(TEXT("."), MAX_PATH, current, nullptr);
  ok(GetFullPathNameW(TEXT("zq\\.\\f\\"), MAX_PATH, buffer, &part) > length && part == nullptr &&
         std::memcmp(buffer, current, length * sizeof(WCHAR)) == 0 &&
         conformance::EndsWithNoCase(buffer, length > 3 ? TEXT("\\zq\\f\\") : TEXT("zq\\f\\")),
     "relative folder: %s", conformance::Utf8(buffer));
  WCHAR path[MAX_PATH], final[MAX_PATH + 8];
  if (!ok(MakeFile(path), "temporary file")) return;
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ok(file != INVALID_HANDLE_VALUE && GetFinalPathNameByHandleW(file, final, MAX_PATH + 8, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS) &&
         std::memcmp(final, TEXT("\\\\?\\"), 4 * sizeof(WCHAR)) == 0 &&
         GetFullPathNameW(final + 4, MAX_PATH, buffer, nullptr) && lstrcmpiW(buffer, final + 4) == 0 &&
         conformance::EndsWithNoCase(final, path + lstrlenW(path) - 8),
     "final path: %s", conformance::Utf8(final));
  ok(CloseHandle(file) && DeleteFileW(path), "released");
}

// A driver file is deleted through one handle opened without following a link at its end:
// FILE_FLAG_OPEN_REPARSE_POINT with DELETE access, then SetFileInformationByHandle
// (FileDispositionInfo); the file goes when the handle is closed. Source: the documentation of
// FILE_DISPOSITION_INFO and of CreateFileW.
CONFORMANCE_TEST(DeletionThroughAHandleOpenedAsItself) {
  WCHAR path[MAX_PATH];
  if (!ok(MakeFile(path), "temporary file")) return;
  FILE_DISPOSITION_INFO gone = {TRUE};
  HANDLE file = CreateFileW(path, DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ok(SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone) && CloseHandle(file),
     "deleted through the handle: %u", conformance::LastError());
  ok(GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND,
     "gone once closed: %u", conformance::LastError());
}
